#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "Lexer.h"

namespace {

using K = TTokenKind;
using TLexed = std::vector<std::pair<TTokenKind, std::string>>;

// Every token up to the end of the data; a lexer that fails to advance
// shows up as a list cut at 1000 tokens.
TLexed Lex(const std::string& bytes) {
    TLexer lexer(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()));
    TLexed out;
    while (!lexer.AtEnd() && out.size() < 1000) {
        const TToken token = lexer.Next();
        out.emplace_back(token.kind, std::string(token.text));
    }
    return out;
}

struct TLexCase {
    std::string input;
    TLexed tokens;
};

void ExpectCases(const std::vector<TLexCase>& cases) {
    for (const auto& c : cases) {
        const TLexed got = Lex(c.input);
        ASSERT_EQ(got.size(), c.tokens.size()) << '"' << c.input << '"';
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].second, c.tokens[i].second) << '"' << c.input << "\" token " << i;
            EXPECT_EQ(static_cast<int>(got[i].first), static_cast<int>(c.tokens[i].first))
                << '"' << c.input << "\" token " << i << " \"" << got[i].second << '"';
        }
    }
}

TEST(LexerTest, EveryTokenKind) {
    ExpectCases({
        {"42", {{K::Integer, "42"}}},
        {"-17 +3", {{K::Integer, "-17"}, {K::Integer, "+3"}}},
        {"3.5 -.25 4.", {{K::Real, "3.5"}, {K::Real, "-.25"}, {K::Real, "4."}}},
        {"/Type/Page", {{K::Name, "/Type"}, {K::Name, "/Page"}}},
        {"/A#20B", {{K::Name, "/A#20B"}}},
        {"(a (b) \\) c)", {{K::LiteralString, "(a (b) \\) c)"}}},
        // A hex string is one token as written, blanks between its digits included.
        {"<4865>", {{K::HexString, "<4865>"}}},
        {"<48 65\r\n6C>", {{K::HexString, "<48 65\r\n6C>"}}},
        {"<>", {{K::HexString, "<>"}}},
        {"[<48>-250<6c>]", {{K::ArrayOpen, "["}, {K::HexString, "<48>"}, {K::Integer, "-250"},
                            {K::HexString, "<6c>"}, {K::ArrayClose, "]"}}},
        {"<</ID<ab>>>", {{K::DictOpen, "<<"}, {K::Name, "/ID"}, {K::HexString, "<ab>"}, {K::DictClose, ">>"}}},
        // A byte that belongs in no hex string ends it unclosed.
        {"<4 x", {{K::Error, "<4 "}, {K::Keyword, "x"}}},
        {"obj endobj R true null", {{K::Keyword, "obj"}, {K::Keyword, "endobj"}, {K::Keyword, "R"},
                                    {K::Keyword, "true"}, {K::Keyword, "null"}}},
        {"1.2.3 --1 -", {{K::Keyword, "1.2.3"}, {K::Keyword, "--1"}, {K::Keyword, "-"}}},
        {"[1]", {{K::ArrayOpen, "["}, {K::Integer, "1"}, {K::ArrayClose, "]"}}},
        {"<</A 1>>", {{K::DictOpen, "<<"}, {K::Name, "/A"}, {K::Integer, "1"}, {K::DictClose, ">>"}}},
        {"<<<<>>>>", {{K::DictOpen, "<<"}, {K::DictOpen, "<<"}, {K::DictClose, ">>"}, {K::DictClose, ">>"}}},
        {"{ add }", {{K::BraceOpen, "{"}, {K::Keyword, "add"}, {K::BraceClose, "}"}}},
        {"", {}},
    });
}

TEST(LexerTest, EveryWhiteSpaceSeparatesAndIsSkipped) {
    const char blanks[] = {'\0', '\t', '\n', '\f', '\r', ' '};
    for (const char b : blanks) {
        const std::string w(1, b);
        SCOPED_TRACE(static_cast<int>(b));
        ExpectCases({
            {"1" + w + "2", {{K::Integer, "1"}, {K::Integer, "2"}}},
            {"/A" + w + "/B" + w + w, {{K::Name, "/A"}, {K::Name, "/B"}}},
            {"<<" + w + "/A" + w + "(x" + w + "y)" + w + ">>",
             {{K::DictOpen, "<<"}, {K::Name, "/A"}, {K::LiteralString, "(x" + w + "y)"}, {K::DictClose, ">>"}}},
            {"[" + w + "1" + w + "]", {{K::ArrayOpen, "["}, {K::Integer, "1"}, {K::ArrayClose, "]"}}},
            {"<4" + w + "1>" + w + "2", {{K::HexString, "<4" + w + "1>"}, {K::Integer, "2"}}},
        });
    }
    ExpectCases({{std::string("\t\f\r\n\0 7", 7), {{K::Integer, "7"}}}});
    // Data of nothing but white space holds no token.
    ExpectCases({{" \r\n", {{K::End, ""}}}});
}

TEST(LexerTest, CommentsAreSkippedWhereverTheSyntaxAllows) {
    ExpectCases({
        {"1 % note\n2%x\r3", {{K::Integer, "1"}, {K::Integer, "2"}, {K::Integer, "3"}}},
        {"/A%c\n/B", {{K::Name, "/A"}, {K::Name, "/B"}}},
        {"<</A%c\n1%d\r\n>>", {{K::DictOpen, "<<"}, {K::Name, "/A"}, {K::Integer, "1"}, {K::DictClose, ">>"}}},
        {"[1%c\n]", {{K::ArrayOpen, "["}, {K::Integer, "1"}, {K::ArrayClose, "]"}}},
        {"%first\n%second\n5", {{K::Integer, "5"}}},
        {"5 %tail without line end", {{K::Integer, "5"}}},
        // Inside a string "%" is just a byte.
        {"(50%) 1", {{K::LiteralString, "(50%)"}, {K::Integer, "1"}}},
    });
}

TEST(LexerTest, BoundsAtTheEndOfTheData) {
    ExpectCases({
        {"/Nam", {{K::Name, "/Nam"}}},
        {"12", {{K::Integer, "12"}}},
        {"(abc", {{K::Error, "(abc"}}},
        {"(a\\", {{K::Error, "(a\\"}}},
        {"<41", {{K::Error, "<41"}}},
        {"<", {{K::Error, "<"}}},
        {"<< /A 1", {{K::DictOpen, "<<"}, {K::Name, "/A"}, {K::Integer, "1"}}},
        {"%", {{K::End, ""}}},
        {"1 %", {{K::Integer, "1"}}},
        {"1%", {{K::Integer, "1"}}},
    });
    // Past the end: an empty token, then the filler bytes, never a fault.
    const std::string bytes = "abc";
    TLexer lexer(reinterpret_cast<const uint8_t*>(bytes.data()), 3, 3);
    EXPECT_EQ(lexer.Next().kind, K::End);
    EXPECT_EQ(lexer.Next().text, "`");
    EXPECT_GT(lexer.Pos(), lexer.Size());
}

TEST(LexerTest, IsAValueTypeOverAnyByteRange) {
    const std::string bytes = "xx 1 0 obj yy";
    // A lexer over a part of the bytes sees nothing outside it.
    TLexer inner(reinterpret_cast<const uint8_t*>(bytes.data()) + 3, 7);
    TLexer saved = inner;
    EXPECT_EQ(inner.Next().text, "1");
    EXPECT_EQ(inner.Next().text, "0");
    EXPECT_EQ(inner.Next().text, "obj");
    EXPECT_TRUE(inner.AtEnd());
    // The copy kept its own position.
    EXPECT_EQ(saved.Pos(), 0);
    EXPECT_EQ(saved.Next().text, "1");
}

TEST(LexerTest, OverlongTokenIsCutAndFlagged) {
    std::string bytes = "(" + std::string(TLexer::kMaxTokenBytes + 10, 'a') + ") 5";
    TLexer lexer(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()));
    const TToken big = lexer.Next();
    EXPECT_EQ(big.kind, K::Error);
    EXPECT_EQ(big.text.size(), TLexer::kMaxTokenBytes);
    // The token's bytes are still passed over as a whole.
    const TToken next = lexer.Next();
    EXPECT_EQ(next.kind, K::Integer);
    EXPECT_EQ(next.text, "5");
}

}  // namespace
