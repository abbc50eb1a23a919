// The cursor, line and token level of the reader. Everything the program can
// read goes through ReadToken and ParseDict, so their token boundaries and
// their behaviour at the end of the data are kept exactly as they are: past
// the end ReadByteSafe hands out filler bytes (a CR first, then alternating),
// which ends every token and every scanning loop.
#include <climits>
#include <cstring>

#include "PdfDocument.h"

namespace {

bool IsLineEnd(uint8_t ch) { return ch == 13 || ch == 10; }
// PDF's six white-space characters.
bool IsBlank(uint8_t ch) { return ch == 13 || ch == 10 || ch == 32 || ch == 9 || ch == 12 || ch == 0; }

}  // namespace

void TPdfDocument::ReadBytes(uint8_t* buffer, int32_t n) {
    if (n <= 0) return;
    std::memset(buffer, 0, static_cast<size_t>(n));
    const int64_t start = filePos;
    const int64_t end = start + n;
    const int64_t from = start < 0 ? 0 : start;
    const int64_t to = end < fileSize ? end : fileSize;
    if (from < to) {
        std::memcpy(buffer + (from - start), fileData + from, static_cast<size_t>(to - from));
    }
    filePos = end > INT32_MAX ? INT32_MAX : static_cast<int32_t>(end);
}

uint8_t TPdfDocument::ReadByteSafe() {
    uint8_t ch;
    if (filePos >= 0 && filePos < fileSize) {
        ch = fileData[filePos];
    } else {
        const int64_t d = static_cast<int64_t>(fileSize) - filePos + 1;
        ch = (d % 2 != 0) ? 13 : 96;
    }
    if (filePos < INT32_MAX) ++filePos;
    return ch;
}

bool TPdfDocument::MatchAt(const std::string& text) {
    const int64_t start = filePos;
    const int64_t len = static_cast<int64_t>(text.size());
    bool match = start >= 0 && start + len <= fileSize &&
                 std::memcmp(fileData + start, text.data(), text.size()) == 0;
    const int64_t end = start + len;
    filePos = end > INT32_MAX ? INT32_MAX : static_cast<int32_t>(end);
    return match;
}

bool TPdfDocument::PrevIsLineEnd() const {
    const int64_t p = static_cast<int64_t>(filePos) - 1;
    return p >= 0 && p < fileSize && IsLineEnd(fileData[p]);
}

void TPdfDocument::BackToLineStart() {
    int32_t p = filePos > fileSize ? fileSize : filePos;
    if (p < 0) p = 0;
    while (p > 0 && IsLineEnd(fileData[p - 1])) --p;
    while (p > 0 && !IsLineEnd(fileData[p - 1])) --p;
    filePos = p;
}

void TPdfDocument::SkipLine() {
    if (filePos < 0) filePos = 0;
    while (filePos < fileSize && !IsLineEnd(fileData[filePos])) ++filePos;
    while (filePos < fileSize && IsLineEnd(fileData[filePos])) ++filePos;
}

std::string TPdfDocument::ReadLine() {
    if (filePos < 0) filePos = 0;
    const int32_t start = filePos;
    while (filePos < fileSize && !IsLineEnd(fileData[filePos])) ++filePos;
    std::string line;
    if (start < filePos) line.assign(reinterpret_cast<const char*>(fileData) + start, filePos - start);
    while (filePos < fileSize && IsLineEnd(fileData[filePos])) ++filePos;
    return line;
}

int32_t TPdfDocument::ReadLineInt() { return TryStrToInt(ReadLine()).value_or(0); }

std::string TPdfDocument::ReadToken() {
    std::string t;
    bool inString = false;
    bool escaped = false;      // in a string: the previous byte was an escaping backslash
    int32_t nesting = 0;       // in a string: unescaped "(" not yet closed
    int32_t escapes = 0;       // backslashes in the current run
    int32_t sinceEscape = 0;   // bytes seen since the last backslash
    uint8_t ch = 0;
    bool taken = false;        // ch was consumed by the token and ends nothing
    for (;;) {
        ch = ReadByteSafe();

        // A literal string keeps its escapes exactly as written, for Unescape
        // and for the writer, which copies dictionary entries token by token;
        // an escaped byte never ends the string, and balanced parentheses
        // inside it are part of it, as PDF allows. ("\\" must stay two
        // backslashes: a title "C:\\Daten" would otherwise read as "C:aten",
        // "(C:\\)" would swallow the rest of its dictionary, and a title
        // "Bericht (2) Anhang" would be cut after "(2".)
        if (inString) {
            taken = false;
            t += static_cast<char>(ch);
            if (escaped) {
                escaped = false;
            } else if (ch == '\\') {
                escaped = true;
            } else if (ch == '(') {
                ++nesting;
            } else if (ch == ')' && nesting-- == 0) {
                break;
            }
            if (filePos > fileSize) break;
            continue;
        }

        // A comment before the token is skipped like a blank; one right
        // behind it ends it.
        if (ch == '%' && escapes == 0 && t.empty() && filePos <= fileSize) {
            SkipComment();
            continue;
        }

        if (ch == '\\') {
            ++escapes;
            sinceEscape = 0;
        } else if (escapes > 0) {
            ++sinceEscape;
            if (sinceEscape == 2) {
                escapes = 0;
            } else {
                t += '\\';  // every other escape stays as written, for Unescape
                escapes = 0;
            }
        }

        taken = false;
        if (escapes > 0) {
            taken = true;
        } else {
            bool append;
            switch (ch) {
                case 13: case 10: case 32: case 9: case 12: case 0: case '%': append = false; break;
                case '[': case ']': case '/': append = t.empty(); break;
                case '<': append = t.empty() || t == "<"; break;
                case '>': append = t.empty() || t == ">"; break;
                case '(':
                    append = t.empty();
                    if (append) inString = true;
                    break;
                default: append = true; break;
            }
            if (append) {
                t += static_cast<char>(ch);
                if (t == ">>") {
                    ch = 32;  // a complete ">>" ends the token at once
                    break;
                }
                taken = true;
            }
        }

        if (inString) {
            // The "(" that opened the string: its bytes follow.
            if (filePos > fileSize) break;
            continue;
        }
        if (!taken && (IsBlank(ch) || ch == '(' || ch == ')' || ch == '[' || ch == ']' || ch == '/' ||
                       ch == '<' || ch == '>' || ch == '%'))
            break;
        if (t == "[" || t == "]") break;
        if (filePos > fileSize) break;
    }

    if (!(t == "[" || t == "]" || (!taken && (IsBlank(ch) || ch == ')')))) --filePos;
    SkipBlanksAndComments();
    return t;
}

void TPdfDocument::SkipComment() {
    while (filePos >= 0 && filePos < fileSize && !IsLineEnd(fileData[filePos])) ++filePos;
}

void TPdfDocument::SkipBlanksAndComments() {
    for (;;) {
        while (IsBlank(ReadByteSafe())) {
        }
        --filePos;
        if (filePos < 0 || filePos >= fileSize || fileData[filePos] != '%') return;
        SkipComment();
    }
}

int32_t TPdfDocument::ReadInt() { return TryStrToInt(ReadToken()).value_or(0); }

void TPdfDocument::ParseDict() {
    if (ReadToken() != "<<") {
        parseFailed = 1;
        return;
    }
    int32_t brackets = 0;
    int32_t dicts = 0;
    int32_t tokensInEntry = 0;
    TDictEntry* entry = nullptr;
    for (;;) {
        const bool atLineStart = PrevIsLineEnd();
        const int32_t start = filePos;
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
        if (closing || filePos > fileSize) break;
    }
}

void TPdfDocument::DiscardEntries() { dictEntries.Clear(); }

TDictEntryList TPdfDocument::TakeDictEntries() {
    TDictEntryList taken(std::move(dictEntries));
    dictEntries = TDictEntryList(&curDictEntry);
    return taken;
}

bool TPdfDocument::FetchObject(int32_t objNum) {
    if (objNum < 0 || objNum >= objCount) return false;
    const TObjEntry& entry = objTable[static_cast<size_t>(objNum)];
    if (entry.kind != TObjKind::AtOffset || !entry.inUse) return false;
    SetPos(entry.offset);
    ReadToken();
    ReadToken();
    ReadToken();
    return true;
}

std::vector<std::string> TPdfDocument::FilterNames(const TDictEntry& entry) {
    std::vector<std::string> names;
    // "/Filter 7 0 R": the name or the array is in object 7.
    if (entry.tokens.size() >= 4 && entry.tokens[3] == "R") {
        const int32_t saved = filePos;
        if (FetchObject(TryStrToInt(entry.tokens[1]).value_or(-1))) {
            std::string tok = ReadToken();
            if (tok == "[") {
                // A filter chain longer than this is not a real one.
                for (int i = 0; i < 16 && (tok = ReadToken()) != "]" && !tok.empty() && filePos <= fileSize; ++i)
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
