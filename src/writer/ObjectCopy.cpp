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
void AddInsertion(std::map<int32_t, std::vector<std::string>>& pieces, int32_t pos, const std::string& text) {
    auto& list = pieces[pos];
    if (std::find(list.begin(), list.end(), text) == list.end()) list.push_back(text);
}

std::string_view FileView(const TPdfDocument& doc) {
    if (!doc.fileData || doc.fileSize <= 0) return {};
    return {reinterpret_cast<const char*>(doc.fileData), static_cast<size_t>(doc.fileSize)};
}

bool IsWhite(char ch) { return IsPdfWhiteSpace(static_cast<uint8_t>(ch)); }

// The /Length of a stream dictionary: a direct number, or a reference to an
// object holding one.
std::optional<int32_t> StreamLength(TPdfDocument& doc, const TDictEntryList& entries) {
    for (const TDictEntry& entry : entries) {
        const auto& tokens = entry.tokens;
        if (tokens.size() < 2 || tokens[0] != "/Length") continue;
        if (tokens.size() >= 4 && tokens[3] == "R") {
            const auto objNum = TryStrToInt(tokens[1]);
            if (!objNum || !doc.FetchObject(*objNum)) return std::nullopt;
            return TryStrToInt(doc.ReadToken());
        }
        return TryStrToInt(tokens[1]);
    }
    return std::nullopt;
}

// Where the search for "endobj" may start: behind the stream data when the
// object is a stream whose length is known and confirmed by "endstream".
int32_t SearchStart(TPdfDocument& doc, int32_t offset) {
    const std::string_view file = FileView(doc);
    doc.SetPos(offset);
    doc.ReadToken();
    doc.ReadToken();
    if (doc.ReadToken() != "obj") return offset;
    const int32_t dictPos = doc.GetPos();
    if (file.substr(static_cast<size_t>(std::min(dictPos, doc.fileSize)), 2) != "<<") return offset;
    doc.ParseDict();
    const TDictEntryList entries = doc.TakeDictEntries();
    if (doc.parseFailed) return offset;
    const int32_t keywordPos = doc.GetPos();
    if (keywordPos < 0 || keywordPos >= doc.fileSize || file.substr(static_cast<size_t>(keywordPos), 6) != "stream")
        return offset;
    size_t dataPos = static_cast<size_t>(keywordPos) + 6;
    if (dataPos < file.size() && file[dataPos] == '\r') ++dataPos;
    if (dataPos < file.size() && file[dataPos] == '\n') ++dataPos;
    const auto length = StreamLength(doc, entries);
    if (!length || *length < 0 || static_cast<uint64_t>(*length) > file.size() - dataPos) return offset;
    size_t after = dataPos + static_cast<size_t>(*length);
    while (after < file.size() && IsWhite(file[after])) ++after;
    if (file.substr(after, 9) != "endstream") return offset;
    return static_cast<int32_t>(dataPos + static_cast<size_t>(*length));
}

// The position just behind the "<<" that opens the dictionary at `dictPos`,
// or nothing when no dictionary starts there.
std::optional<int32_t> InsideDict(const TPdfDocument& doc, int32_t dictPos) {
    const std::string_view file = FileView(doc);
    if (dictPos <= 0 || static_cast<size_t>(dictPos) >= file.size() || file.substr(static_cast<size_t>(dictPos), 2) != "<<")
        return std::nullopt;
    return dictPos + 2;
}

}  // namespace

TInsertionMap BuildInsertions(const TPdfDocument& doc, const std::string& fontRefList) {
    std::map<int32_t, std::vector<std::string>> pieces;
    for (const TPageRecord& page : doc.pageList) {
        if (!page.hasResources) continue;
        // Resources written directly into a page dictionary are not copied:
        // the writer adds to them as it writes the page (DirectResourcesText).
        const bool resourcesCopied = page.resourcesForm == TValueForm::Indirect;
        if (resourcesCopied) {
            std::string missing;
            if (page.fontsForm == TValueForm::Absent) missing += " /Font << " + fontRefList + " >>";
            if (page.xobjectsForm == TValueForm::Absent) missing += " /XObject << >>";
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

bool HoldsObject(const TPdfDocument& doc, int32_t offset, int32_t objNum) {
    const std::string_view file = FileView(doc);
    if (offset < 0 || static_cast<size_t>(offset) >= file.size()) return false;
    size_t at = static_cast<size_t>(offset);
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

std::optional<int32_t> OldObjectEnd(TPdfDocument& doc, int32_t offset) {
    const std::string_view file = FileView(doc);
    if (offset < 0 || offset >= doc.fileSize) return std::nullopt;
    const uint8_t savedParseFailed = doc.parseFailed;
    doc.parseFailed = 0;
    const int32_t searchFrom = SearchStart(doc, offset);
    doc.parseFailed = savedParseFailed;
    const size_t found = file.find("endobj", static_cast<size_t>(searchFrom));
    if (found == std::string_view::npos) return std::nullopt;
    return static_cast<int32_t>(found + 6);
}

void CopyWithInsertions(const TPdfDocument& doc, int32_t start, int32_t end, const TInsertionMap& insertions,
                        TByteSink& out) {
    if (start < 0) start = 0;
    if (end > doc.fileSize) end = doc.fileSize;
    if (start >= end) return;
    int32_t pos = start;
    for (auto at = insertions.lower_bound(start); at != insertions.end() && at->first < end; ++at) {
        out.Write(doc.fileData + pos, static_cast<size_t>(at->first - pos));
        out.Write(at->second);
        pos = at->first;
    }
    out.Write(doc.fileData + pos, static_cast<size_t>(end - pos));
}

std::vector<std::string> WrittenTokens(TPdfDocument& doc, const TDictEntry& entry) {
    bool hasString = false;
    for (const std::string& token : entry.tokens) hasString = hasString || (!token.empty() && token[0] == '(');
    if (!hasString || entry.keyPos <= 0 || entry.keyPos >= doc.fileSize) return entry.tokens;
    std::vector<std::string> written;
    written.reserve(entry.tokens.size());
    doc.SetPos(entry.keyPos);
    for (const std::string& token : entry.tokens) {
        const int32_t start = doc.GetPos();
        if (doc.ReadToken() != token) return entry.tokens;
        if (token.empty() || token[0] != '(') {
            written.push_back(token);
            continue;
        }
        // ReadToken stops behind the closing parenthesis and then skips the
        // blanks that follow.
        int32_t end = std::min(doc.GetPos(), doc.fileSize);
        while (end > start && (doc.fileData[end - 1] == ' ' || doc.fileData[end - 1] == '\r' ||
                               doc.fileData[end - 1] == '\n'))
            --end;
        if (end <= start) return entry.tokens;
        written.emplace_back(reinterpret_cast<const char*>(doc.fileData) + start, static_cast<size_t>(end - start));
    }
    return written;
}
