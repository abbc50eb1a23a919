// Copying old objects byte for byte, with the added fonts spliced into the
// pages' resource dictionaries on the way.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "Lexer.h"
#include "WriterParts_p.h"

namespace {

// Each position collects its pieces in page order; equal pieces count once.
void AddInsertion(std::map<TFilePos, std::vector<std::string>>& pieces, TFilePos pos, const std::string& text) {
    auto& list = pieces[pos];
    if (std::find(list.begin(), list.end(), text) == list.end()) list.push_back(text);
}

// The bytes of the span that holds pos (the file's, or the objects taken
// out of object streams), and the position of its first byte.
struct TSpanView {
    std::string_view bytes;
    TFilePos begin = 0;
    TFilePos End() const { return begin + static_cast<TFilePos>(bytes.size()); }
    bool Holds(TFilePos pos) const { return pos >= begin && pos < End(); }
    size_t Index(TFilePos pos) const { return static_cast<size_t>(pos - begin); }
    // Up to n bytes from pos; empty outside.
    std::string_view At(TFilePos pos, size_t n) const { return Holds(pos) ? bytes.substr(Index(pos), n) : std::string_view{}; }
};

TSpanView SpanView(const TPdfDocument& doc, TFilePos pos) {
    const TByteSpan span = doc.SpanAt(pos);
    return {span.View(span.begin, span.end - span.begin), span.begin};
}

bool IsWhite(char ch) { return IsPdfWhiteSpace(static_cast<uint8_t>(ch)); }

// The /Length of a stream dictionary: a direct number, or a reference to an
// object holding one.
std::optional<TFilePos> StreamLength(TPdfDocument& doc, const TDictEntryList& entries) {
    for (const TDictEntry& entry : entries) {
        const auto& tokens = entry.tokens;
        if (tokens.size() < 2 || tokens[0] != "/Length") continue;
        if (tokens.size() >= 4 && tokens[3] == "R") {
            const auto objNum = TryStrToInt(tokens[1]);
            if (!objNum || !doc.FetchObject(*objNum)) return std::nullopt;
            return TryStrToPos(doc.ReadToken());
        }
        return TryStrToPos(tokens[1]);
    }
    return std::nullopt;
}

// Where the search for "endobj" may start: behind the stream data when the
// object is a stream whose length is known and confirmed by "endstream".
TFilePos SearchStart(TPdfDocument& doc, TFilePos offset) {
    const TSpanView span = SpanView(doc, offset);
    const std::string_view file = span.bytes;
    doc.SetPos(offset);
    doc.ReadToken();
    doc.ReadToken();
    if (doc.ReadToken() != "obj") return offset;
    const TFilePos dictPos = doc.GetPos();
    if (span.At(dictPos, 2) != "<<") return offset;
    doc.ParseDict();
    const TDictEntryList entries = doc.TakeDictEntries();
    if (doc.parseFailed) return offset;
    const TFilePos keywordPos = doc.GetPos();
    if (span.At(keywordPos, 6) != "stream") return offset;
    size_t dataPos = span.Index(keywordPos) + 6;
    if (dataPos < file.size() && file[dataPos] == '\r') ++dataPos;
    if (dataPos < file.size() && file[dataPos] == '\n') ++dataPos;
    const auto length = StreamLength(doc, entries);
    if (!length || *length < 0 || static_cast<uint64_t>(*length) > file.size() - dataPos) return offset;
    size_t after = dataPos + static_cast<size_t>(*length);
    while (after < file.size() && IsWhite(file[after])) ++after;
    if (file.substr(after, 9) != "endstream") return offset;
    return span.begin + static_cast<TFilePos>(dataPos) + *length;
}

// The position just behind the "<<" that opens the dictionary at `dictPos`,
// or nothing when no dictionary starts there.
std::optional<TFilePos> InsideDict(const TPdfDocument& doc, TFilePos dictPos) {
    if (dictPos <= 0 || SpanView(doc, dictPos).At(dictPos, 2) != "<<") return std::nullopt;
    return dictPos + 2;
}

}  // namespace

TInsertionMap BuildInsertions(const TPdfDocument& doc, const std::string& fontRefList, bool addEmpty) {
    std::map<TFilePos, std::vector<std::string>> pieces;
    for (const TPageRecord& page : doc.pageList) {
        if (!page.hasResources) continue;
        // Resources written directly into a page dictionary are not copied:
        // the writer adds to them as it writes the page (DirectResourcesText).
        const bool resourcesCopied = page.resourcesForm == TValueForm::Indirect;
        if (resourcesCopied) {
            std::string missing;
            if (page.fontsForm == TValueForm::Absent && (addEmpty || !fontRefList.empty()))
                missing += " /Font << " + fontRefList + " >>";
            if (page.xobjectsForm == TValueForm::Absent && addEmpty) missing += " /XObject << >>";
            const auto at = InsideDict(doc, page.resourcesDictPos);
            if (at && !missing.empty()) AddInsertion(pieces, *at, missing);
        }
        const bool fontsCopied = resourcesCopied || page.fontsForm == TValueForm::Indirect;
        if (fontsCopied && page.hasFonts && !fontRefList.empty())
            if (const auto at = InsideDict(doc, page.fontDictPos)) AddInsertion(pieces, *at, " " + fontRefList);
    }
    TInsertionMap insertions;
    for (auto& [pos, list] : pieces) {
        std::string joined;
        for (const std::string& piece : list) joined += piece;
        insertions.emplace(pos, std::move(joined));
    }
    return insertions;
}

bool HoldsObject(const TPdfDocument& doc, TFilePos offset, int32_t objNum) {
    const TSpanView span = SpanView(doc, offset);
    const std::string_view file = span.bytes;
    if (!span.Holds(offset)) return false;
    size_t at = span.Index(offset);
    while (at < file.size() && IsWhite(file[at])) ++at;
    auto number = [&]() -> std::optional<int64_t> {
        const size_t start = at;
        int64_t value = 0;
        while (at < file.size() && at - start < 10 && std::isdigit(static_cast<unsigned char>(file[at])))
            value = value * 10 + (file[at++] - '0');
        if (at == start) return std::nullopt;
        return value;
    };
    auto blanks = [&]() {
        const size_t start = at;
        while (at < file.size() && IsWhite(file[at])) ++at;
        return at > start;
    };
    const auto num = number();
    if (!num || *num != objNum || !blanks() || !number()) return false;
    blanks();
    if (file.substr(at, 3) != "obj") return false;
    at += 3;
    // "obj" must end there: "object" or "objx" is something else.
    return at >= file.size() || IsWhite(file[at]) || std::strchr("<[(/%", file[at]) != nullptr;
}

std::optional<TFilePos> OldObjectEnd(TPdfDocument& doc, TFilePos offset) {
    const TSpanView span = SpanView(doc, offset);
    if (!span.Holds(offset)) return std::nullopt;
    const TFilePos searchFrom = [&doc, offset] {
        TKeptParseState kept(doc);
        kept.ClearFailure();
        return SearchStart(doc, offset);
    }();
    const size_t found = span.bytes.find("endobj", span.Index(searchFrom));
    if (found == std::string_view::npos) return std::nullopt;
    return span.begin + static_cast<TFilePos>(found) + 6;
}

void CopyWithInsertions(const TPdfDocument& doc, TFilePos start, TFilePos end, const TInsertionMap& insertions,
                        TByteSink& out) {
    const TByteSpan span = doc.SpanAt(start);
    start = std::max(start, span.begin);
    end = std::min(end, span.end);
    if (start >= end) return;
    const auto bytes = [&](TFilePos pos) { return span.data + (pos - span.begin); };
    TFilePos pos = start;
    for (auto at = insertions.lower_bound(start); at != insertions.end() && at->first < end; ++at) {
        out.Write(bytes(pos), static_cast<size_t>(at->first - pos));
        out.Write(at->second);
        pos = at->first;
    }
    out.Write(bytes(pos), static_cast<size_t>(end - pos));
}

std::vector<std::string> WrittenTokens(TPdfDocument& doc, const TDictEntry& entry) {
    bool hasString = false;
    for (const std::string& token : entry.tokens) hasString = hasString || (!token.empty() && token[0] == '(');
    const TByteSpan span = doc.SpanAt(entry.keyPos);
    if (!hasString || entry.keyPos <= 0 || !span.Holds(entry.keyPos)) return entry.tokens;
    std::vector<std::string> written;
    written.reserve(entry.tokens.size());
    doc.SetPos(entry.keyPos);
    for (const std::string& token : entry.tokens) {
        const TFilePos start = doc.GetPos();
        if (doc.ReadToken() != token) return entry.tokens;
        if (token.empty() || token[0] != '(') {
            written.push_back(token);
            continue;
        }
        // ReadToken stops behind the closing parenthesis and then skips the
        // blanks that follow.
        TFilePos end = std::min(doc.GetPos(), span.end);
        while (end > start && (span[end - 1] == ' ' || span[end - 1] == '\r' || span[end - 1] == '\n')) --end;
        if (end <= start) return entry.tokens;
        written.emplace_back(span.View(start, end - start));
    }
    return written;
}

bool EndsAsStream(const TPdfDocument& doc, TFilePos end) {
    const TSpanView span = SpanView(doc, end - 1);
    if (!span.Holds(end - 1)) return false;
    std::string_view tail = span.bytes.substr(0, span.Index(end));
    constexpr std::string_view kEndObj = "endobj";
    constexpr std::string_view kEndStream = "endstream";
    if (tail.size() < kEndObj.size() || tail.substr(tail.size() - kEndObj.size()) != kEndObj) return false;
    tail.remove_suffix(kEndObj.size());
    while (!tail.empty() && IsWhite(tail.back())) tail.remove_suffix(1);
    return tail.size() >= kEndStream.size() && tail.substr(tail.size() - kEndStream.size()) == kEndStream;
}
