#include "Lexer.h"

#include <cstdint>

namespace {

bool IsLineEnd(uint8_t ch) { return ch == 13 || ch == 10; }
bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }
bool IsHexDigit(uint8_t ch) { return IsDigit(static_cast<char>(ch)) || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F'); }

}  // namespace

uint8_t TLexer::NextByte() {
    uint8_t ch;
    if (InData(pos_)) {
        ch = At(pos_);
    } else {
        const int64_t d = end_ - pos_ + 1;
        ch = (d % 2 != 0) ? 13 : 96;
    }
    if (pos_ < INT64_MAX) ++pos_;
    return ch;
}

void TLexer::SkipComment() {
    while (InData(pos_) && !IsLineEnd(At(pos_))) ++pos_;
}

void TLexer::SkipBlanksAndComments() {
    for (;;) {
        while (IsPdfWhiteSpace(NextByte())) {
        }
        --pos_;
        if (!InData(pos_) || At(pos_) != '%') return;
        SkipComment();
    }
}

TToken TLexer::Next() {
    // Normally the previous token left the position on a non-blank byte;
    // at the start of the data, or after SetPos, it may not be.
    if (InData(pos_)) {
        SkipBlanksAndComments();
        if (pos_ > end_) pos_ = end_;  // only filler was passed over
    }
    if (InData(pos_)) {
        if (At(pos_) == '<' && (pos_ + 1 == end_ || At(pos_ + 1) != '<')) return NextHexString();
        if (At(pos_) == '(') return NextLiteralString();
    }
    return NextRegular();
}

bool TLexer::Append(uint8_t ch) {
    if (text_.size() >= kMaxTokenBytes) return false;
    text_ += static_cast<char>(ch);
    return true;
}

// A literal string keeps its escapes exactly as written, for Unescape and
// for the writer, which copies dictionary entries token by token; an
// escaped byte never ends the string, and balanced parentheses inside it
// are part of it, as PDF allows. ("\\" must stay two backslashes: a title
// "C:\\Daten" would otherwise read as "C:aten", "(C:\\)" would swallow the
// rest of its dictionary, and a title "Bericht (2) Anhang" would be cut
// after "(2".) The end of the data ends it unclosed, an error.
TToken TLexer::NextLiteralString() {
    text_.assign(1, '(');
    ++pos_;
    bool tooLong = false;
    bool closed = false;
    bool escaped = false;  // the previous byte was an escaping backslash
    int32_t nesting = 0;   // unescaped "(" not yet closed
    for (;;) {
        const uint8_t ch = NextByte();
        // A filler byte never becomes part of the string.
        if (pos_ > end_) break;
        tooLong = !Append(ch) || tooLong;
        if (escaped) {
            escaped = false;
        } else if (ch == '\\') {
            escaped = true;
        } else if (ch == '(') {
            ++nesting;
        } else if (ch == ')' && nesting-- == 0) {
            closed = true;
            break;
        }
    }
    SkipBlanksAndComments();
    TToken token;
    token.text = text_;
    token.kind = closed && !tooLong ? TTokenKind::LiteralString : TTokenKind::Error;
    return token;
}

// Names, numbers, keywords and the delimiters "[", "]", "<<", ">>". A
// backslash outside a string is kept in front of the byte behind it.
TToken TLexer::NextRegular() {
    std::string& t = text_;
    t.clear();
    bool tooLong = false;
    bool escape = false;  // a backslash waits for the byte behind it
    uint8_t ch = 0;
    bool taken = false;   // ch was consumed by the token and ends nothing
    for (;;) {
        ch = NextByte();
        // A comment before the token is skipped like a blank; one right
        // behind it ends it.
        if (ch == '%' && !escape && t.empty() && pos_ <= end_) {
            SkipComment();
            continue;
        }
        const bool backslash = ch == '\\';
        if (!backslash && escape) tooLong = !Append('\\') || tooLong;
        escape = backslash;
        taken = escape;
        if (!escape) {
            if (ch == '(' && t.empty()) {
                // Only where no token came before: the string is a token of its own.
                --pos_;
                return NextLiteralString();
            }
            if (TakesByte(t, ch)) {
                tooLong = !Append(ch) || tooLong;
                if (t == ">>") {
                    ch = 32;  // a complete ">>" ends the token at once
                    break;
                }
                taken = true;
            }
        }
        if (!taken && (IsPdfWhiteSpace(ch) || ch == '(' || ch == ')' || ch == '[' || ch == ']' || ch == '/' ||
                       ch == '<' || ch == '>' || ch == '%'))
            break;
        if (t == "[" || t == "]") break;
        if (pos_ > end_) break;
    }
    if (!(t == "[" || t == "]" || (!taken && (IsPdfWhiteSpace(ch) || ch == ')')))) --pos_;
    SkipBlanksAndComments();
    TToken token;
    token.text = t;
    token.kind = tooLong ? TTokenKind::Error : Classify(t);
    return token;
}

bool TLexer::TakesByte(const std::string& t, uint8_t ch) {
    switch (ch) {
        case 13: case 10: case 32: case 9: case 12: case 0: case '%': return false;
        case '[': case ']': case '/': return t.empty();
        case '<': return t.empty() || t == "<";
        case '>': return t.empty() || t == ">";
        case '(': return false;
        default: return true;
    }
}

// Digits and white space up to ">", all one token as written. A byte that
// belongs in no hex string, or the end of the data, ends it unclosed; such
// a token is an error, like a literal string cut by the end.
TToken TLexer::NextHexString() {
    std::string& t = text_;
    t.assign(1, '<');
    ++pos_;
    bool closed = false;
    bool tooLong = false;
    while (InData(pos_)) {
        const uint8_t ch = At(pos_);
        if (ch != '>' && !IsHexDigit(ch) && !IsPdfWhiteSpace(ch)) break;
        ++pos_;
        if (t.size() < kMaxTokenBytes) t += static_cast<char>(ch);
        else tooLong = true;
        if (ch == '>') {
            closed = true;
            break;
        }
    }
    SkipBlanksAndComments();
    TToken token;
    token.text = t;
    token.kind = closed && !tooLong ? TTokenKind::HexString : TTokenKind::Error;
    return token;
}

TTokenKind TLexer::Classify(std::string_view text) {
    if (text.empty()) return TTokenKind::End;
    const char c0 = text[0];
    switch (c0) {
        case '/': return TTokenKind::Name;
        case '(': return TTokenKind::LiteralString;
        case '[': return TTokenKind::ArrayOpen;
        case ']': return TTokenKind::ArrayClose;
        case '{': if (text.size() == 1) return TTokenKind::BraceOpen; break;
        case '}': if (text.size() == 1) return TTokenKind::BraceClose; break;
        case '<': return text == "<<" ? TTokenKind::DictOpen : TTokenKind::HexString;
        case '>': if (text == ">>") return TTokenKind::DictClose; break;
        default: break;
    }
    // Numbers: an optional sign, digits and at most one point.
    size_t i = (c0 == '+' || c0 == '-') ? 1 : 0;
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (IsDigit(text[i])) digits = true;
        else if (text[i] == '.' && !point) point = true;
        else break;
    }
    if (i == text.size() && digits) return point ? TTokenKind::Real : TTokenKind::Integer;
    return TTokenKind::Keyword;
}
