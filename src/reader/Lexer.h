// TLexer: PDF tokens over any byte range (the file, a decoded object stream,
// a page's content). A value type: copying it saves a position, and two
// lexers over the same bytes never disturb each other.
//
// The token text keeps the forms the rest of the reader and the writer rely
// on: a literal string with its parentheses and escapes exactly as written;
// a hex string from "<" to ">" with the blanks between its digits; ">>"
// always a token of its own. Past the end the lexer reads filler
// bytes (a CR first, then alternating with "`"), which ends every token and
// every scanning loop of its callers; a position past the end is how they
// see the end of the data.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A byte position in a file, or in the bytes the reader made from it: files
// of any size, so 64 bits wide everywhere.
using TFilePos = int64_t;

// PDF's six white-space characters: NUL, TAB, LF, FF, CR and space.
constexpr bool IsPdfWhiteSpace(uint8_t ch) {
    return ch == 32 || ch == 10 || ch == 13 || ch == 9 || ch == 12 || ch == 0;
}

enum class TTokenKind : uint8_t {
    Integer,
    Real,
    Name,
    LiteralString,
    HexString,
    Keyword,
    ArrayOpen,
    ArrayClose,
    DictOpen,
    DictClose,
    BraceOpen,
    BraceClose,
    End,    // nothing left before the end of the data
    Error,  // longer than kMaxTokenBytes, or a string cut by the end (a hex string also by a stray byte)
};

struct TToken {
    TTokenKind kind = TTokenKind::End;
    // Valid until the lexer reads the next token.
    std::string_view text;
};

class TLexer {
public:
    // No real token comes near this; a longer one is cut to it (kind Error)
    // so that a file cannot make one string take all memory.
    static constexpr size_t kMaxTokenBytes = size_t{1} << 24;

    TLexer() = default;
    TLexer(const uint8_t* data, TFilePos size, TFilePos pos = 0) : data_(data), end_(size < 0 ? 0 : size), pos_(pos) {}
    // Bytes whose first one stands at position `base` (the objects the
    // reader took out of object streams have positions of their own).
    TLexer(const uint8_t* data, TFilePos base, TFilePos end, TFilePos pos)
        : data_(data), base_(base), end_(end < base ? base : end), pos_(pos) {}

    // The next token; afterwards the position stands on the first byte behind
    // it that is neither white space nor part of a comment.
    TToken Next();
    void SkipBlanksAndComments();
    // Skips to the line end that ends a comment (not past it).
    void SkipComment();

    TFilePos Pos() const { return pos_; }
    void SetPos(TFilePos pos) { pos_ = pos; }
    // The position behind the last byte.
    TFilePos Size() const { return end_; }
    bool AtEnd() const { return pos_ >= end_; }

    // Sorts a token's text into its kind.
    static TTokenKind Classify(std::string_view text);

private:
    uint8_t NextByte();
    TToken NextHexString();
    TToken NextLiteralString();
    TToken NextRegular();
    // Appends to the token's text; false when it is full (kMaxTokenBytes).
    bool Append(uint8_t ch);
    // Whether a byte outside a string joins the token read so far.
    static bool TakesByte(const std::string& t, uint8_t ch);
    bool InData(TFilePos pos) const { return pos >= base_ && pos < end_; }
    uint8_t At(TFilePos pos) const { return data_[pos - base_]; }

    const uint8_t* data_ = nullptr;
    TFilePos base_ = 0;
    TFilePos end_ = 0;
    TFilePos pos_ = 0;
    // Reused for every token, so that reading allocates only for the longest.
    std::string text_;
};
