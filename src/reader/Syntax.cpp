// The cursor, line and token level of the reader. The tokens come from
// TLexer over the span the cursor is in; past the end ReadByteSafe hands out the
// same filler bytes as the lexer (a CR first, then alternating), which ends
// every token and every scanning loop.
#include <algorithm>
#include <climits>
#include <cstring>

#include "Lexer.h"
#include "PdfFile.h"
#include "PdfText.h"

namespace {

bool IsLineEnd(uint8_t ch) { return ch == 13 || ch == 10; }

}  // namespace

std::string_view TByteSpan::View(TFilePos pos, TFilePos n) const {
    if (!Holds(pos) || n <= 0) return {};
    const TFilePos last = std::min(end, pos + n);
    return {reinterpret_cast<const char*>(data) + (pos - begin), static_cast<size_t>(last - pos)};
}

void TPdfFile::ReadBytes(uint8_t* buffer, int32_t n) {
    if (n <= 0) return;
    std::memset(buffer, 0, static_cast<size_t>(n));
    const TByteSpan span = SpanAt(filePos);
    const TFilePos start = filePos;
    const TFilePos end = start + n;
    const TFilePos from = std::max(start, span.begin);
    const TFilePos to = std::min(end, span.end);
    if (from < to) std::memcpy(buffer + (from - start), span.data + (from - span.begin), static_cast<size_t>(to - from));
    filePos = end;
}

uint8_t TPdfFile::ReadByteSafe() {
    const TByteSpan span = SpanAt(filePos);
    uint8_t ch;
    if (span.Holds(filePos)) {
        ch = span[filePos];
    } else {
        const int64_t d = span.end - filePos + 1;
        ch = (d % 2 != 0) ? 13 : 96;
    }
    if (filePos < INT64_MAX) ++filePos;
    return ch;
}

bool TPdfFile::MatchAt(const std::string& text) {
    const TByteSpan span = SpanAt(filePos);
    const TFilePos len = static_cast<TFilePos>(text.size());
    const bool match = span.View(filePos, len) == text;
    filePos += len;
    return match;
}

bool TPdfFile::PrevIsLineEnd() const {
    const TByteSpan span = SpanAt(filePos);
    return span.Holds(filePos - 1) && IsLineEnd(span[filePos - 1]);
}

void TPdfFile::BackToLineStart() {
    const TByteSpan span = SpanAt(filePos);
    TFilePos p = std::clamp(filePos, span.begin, span.end);
    while (p > span.begin && IsLineEnd(span[p - 1])) --p;
    while (p > span.begin && !IsLineEnd(span[p - 1])) --p;
    filePos = p;
}

void TPdfFile::SkipLine() {
    const TByteSpan span = SpanAt(filePos);
    if (filePos < span.begin) filePos = span.begin;
    while (span.Holds(filePos) && !IsLineEnd(span[filePos])) ++filePos;
    while (span.Holds(filePos) && IsLineEnd(span[filePos])) ++filePos;
}

std::string TPdfFile::ReadLine() {
    const TByteSpan span = SpanAt(filePos);
    if (filePos < span.begin) filePos = span.begin;
    const TFilePos start = filePos;
    while (span.Holds(filePos) && !IsLineEnd(span[filePos])) ++filePos;
    std::string line(span.View(start, filePos - start));
    while (span.Holds(filePos) && IsLineEnd(span[filePos])) ++filePos;
    return line;
}

int32_t TPdfFile::ReadLineInt() { return TryStrToInt(ReadLine()).value_or(0); }

std::string TPdfFile::ReadToken() {
    TLexer lexer = SpanAt(filePos).LexerAt(filePos);
    std::string text(lexer.Next().text);
    filePos = lexer.Pos();
    return text;
}

void TPdfFile::SkipComment() {
    TLexer lexer = SpanAt(filePos).LexerAt(filePos);
    lexer.SkipComment();
    filePos = lexer.Pos();
}

void TPdfFile::SkipBlanksAndComments() {
    TLexer lexer = SpanAt(filePos).LexerAt(filePos);
    lexer.SkipBlanksAndComments();
    filePos = lexer.Pos();
}

int32_t TPdfFile::ReadInt() { return TryStrToInt(ReadToken()).value_or(0); }

void TPdfFile::ParseDict() {
    if (ReadToken() != "<<") {
        parseFailed = 1;
        return;
    }
    const TFilePos end = End();
    int32_t brackets = 0;
    int32_t dicts = 0;
    int32_t tokensInEntry = 0;
    TDictEntry* entry = nullptr;
    for (;;) {
        const bool atLineStart = PrevIsLineEnd();
        const TFilePos start = filePos;
        std::string tok = ReadToken();
        if (tok == "[") ++brackets;
        else if (tok == "]") --brackets;
        else if (tok == "<<") ++dicts;
        else if (tok == ">>") --dicts;

        const bool closing = tok.rfind(">>", 0) == 0 && dicts < 0;
        if (tok != ">>" && dicts == 0) {
            if (!tok.empty() && tok[0] == '/' && brackets <= 0 && (atLineStart || tokensInEntry >= 2))
                tokensInEntry = 0;
            if (tokensInEntry == 0) {
                entry = dictEntries.Append();
                entry->valuePos = filePos;
                entry->keyPos = start;
            }
        }
        if (!closing) {
            // A dictionary that opens with a nested "<<" has no key yet; its
            // tokens still need a home.
            if (!entry) {
                entry = dictEntries.Append();
                entry->valuePos = filePos;
                entry->keyPos = start;
            }
            entry->tokens.push_back(std::move(tok));
            ++tokensInEntry;
        }
        if (closing || filePos > end) break;
    }
}

void TPdfFile::DiscardEntries() { dictEntries.Clear(); }

TDictEntryList TPdfFile::TakeDictEntries() {
    TDictEntryList taken(std::move(dictEntries));
    dictEntries = TDictEntryList();
    return taken;
}

TKeptParseState::TKeptParseState(TPdfFile& file)
    : file_(file),
      entries_(file.TakeDictEntries()),
      parseFailed_(file.parseFailed),
      unsupportedFeature_(file.unsupportedFeature) {}

TKeptParseState::~TKeptParseState() {
    file_.dictEntries = std::move(entries_);
    file_.parseFailed = parseFailed_;
    file_.unsupportedFeature = std::move(unsupportedFeature_);
}

std::optional<TFilePos> TPdfFile::ObjectPos(int32_t objNum) const {
    if (objNum < 0 || objNum >= objCount) return std::nullopt;
    const TObjEntry& entry = objTable[static_cast<size_t>(objNum)];
    if (entry.kind != TObjKind::AtOffset || !entry.inUse) return std::nullopt;
    return entry.offset;
}

bool TPdfFile::FetchObject(int32_t objNum) {
    const auto pos = ObjectPos(objNum);
    if (!pos) return false;
    const auto index = static_cast<size_t>(objNum);
    if (tableFinished_ && index < valueDistance_.size() && valueDistance_[index] != 0) {
        SetPos(*pos + valueDistance_[index] - 1);
        return true;
    }
    SetPos(*pos);
    ReadToken();
    ReadToken();
    ReadToken();
    if (!tableFinished_) return true;
    if (valueDistance_.size() < static_cast<size_t>(objCount)) valueDistance_.resize(static_cast<size_t>(objCount), 0);
    const TFilePos distance = filePos - *pos + 1;
    if (index < valueDistance_.size() && distance > 0 && distance <= UINT32_MAX)
        valueDistance_[index] = static_cast<uint32_t>(distance);
    return true;
}

std::vector<std::string> TPdfFile::FilterNames(const TDictEntry& entry) {
    std::vector<std::string> names;
    // "/Filter 7 0 R": the name or the array is in object 7.
    if (entry.tokens.size() >= 4 && entry.tokens[3] == "R") {
        const TFilePos saved = filePos;
        if (FetchObject(TryStrToInt(entry.tokens[1]).value_or(-1))) {
            std::string tok = ReadToken();
            if (tok == "[") {
                // A filter chain longer than this is not a real one.
                for (int i = 0; i < 16 && (tok = ReadToken()) != "]" && !tok.empty() && filePos <= End(); ++i)
                    names.push_back(tok);
            } else if (!tok.empty() && tok[0] == '/') {
                names.push_back(tok);
            }
        }
        SetPos(saved);
        return names;
    }
    for (size_t i = 1; i < entry.tokens.size(); ++i)
        if (entry.tokens[i] != "[" && entry.tokens[i] != "]") names.push_back(entry.tokens[i]);
    return names;
}
