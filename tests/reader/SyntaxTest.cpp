#include <gtest/gtest.h>

#include "PdfFile.h"
#include "PdfText.h"

namespace {

// The file with its table open to the test, which fills it by hand.
class TTableFile : public TPdfFile {
public:
    using TPdfFile::objCount;
    using TPdfFile::objTable;
};

class SyntaxTest : public ::testing::Test {
protected:
    TTableFile doc;

    void Load(const std::string& bytes) { doc.Assign(bytes); }
    TFilePos Size() const { return doc.SourceSize(); }
    std::vector<std::string> Tokens(const std::string& bytes) {
        Load(bytes);
        std::vector<std::string> tokens;
        while (doc.GetPos() < Size()) tokens.push_back(doc.ReadToken());
        return tokens;
    }
    std::vector<std::vector<std::string>> Entries() {
        std::vector<std::vector<std::string>> entries;
        for (const auto& e : doc.dictEntries) entries.push_back(e.tokens);
        return entries;
    }
};

using TTokenList = std::vector<std::string>;

struct TTokenCase {
    const char* input;
    TTokenList tokens;
};

TEST_F(SyntaxTest, TokenBoundaries) {
    const TTokenCase cases[] = {
        {"/Type/Page", {"/Type", "/Page"}},
        {"<< /Length 42 >>", {"<<", "/Length", "42", ">>"}},
        {"[0 0 612 792]", {"[", "0", "0", "612", "792", "]"}},
        {"(a\\)b)", {"(a\\)b)"}},
        {"(a\\nb)", {"(a\\nb)"}},
        {"(x(y)z) Tj", {"(x(y)z)", "Tj"}},
        {"(x\\(y)z)", {"(x\\(y)", "z)"}},
        {"(x\\\\)y", {"(x\\\\)", "y"}},
        {"(C:\\\\Daten)", {"(C:\\\\Daten)"}},
        {"(with blanks inside) Tj", {"(with blanks inside)", "Tj"}},
        {"<48 65 6C\r\n6C 6F> Tj", {"<48 65 6C\r\n6C 6F>", "Tj"}},
        {"<41>Tj", {"<41>", "Tj"}},
        {"[<41>-120<42>]TJ", {"[", "<41>", "-120", "<42>", "]", "TJ"}},
        {"/ID [<ab 01><CD>]>>", {"/ID", "[", "<ab 01>", "<CD>", "]", ">>"}},
        {"5 0 R", {"5", "0", "R"}},
        {"<<<</A 1>>>>", {"<<", "<<", "/A", "1", ">>", ">>"}},
        {"1\t2\f3", {"1", "2", "3"}},  // tab and form feed separate like blanks
        {"1 % note\n2%x\r3", {"1", "2", "3"}},  // comments are skipped like blanks
        {"/A%c\n/B", {"/A", "/B"}},
        {"1\r\n\r\n2", {"1", "2"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Tokens(c.input), c.tokens) << c.input;
}

TEST_F(SyntaxTest, TokenEndsOnTheNextNonBlank) {
    Load("/Key   \r\n  value");
    EXPECT_EQ(doc.ReadToken(), "/Key");
    EXPECT_EQ(doc.GetPos(), 11);
    EXPECT_EQ(doc.ReadToken(), "value");
}

TEST_F(SyntaxTest, EndOfDataGivesEmptyThenGraveAccentTokens) {
    Load("abc");
    doc.SetPos(3);
    EXPECT_EQ(doc.ReadToken(), "");
    EXPECT_EQ(doc.ReadToken(), "`");
    EXPECT_EQ(doc.ReadToken(), "`");
    EXPECT_GT(doc.GetPos(), Size());
}

TEST_F(SyntaxTest, UnterminatedStringStopsAtTheEnd) {
    Load("(never closed");
    const std::string tok = doc.ReadToken();
    EXPECT_EQ(tok.substr(0, 13), "(never closed");
    EXPECT_GT(doc.GetPos(), Size() - 1);
}

TEST_F(SyntaxTest, ReadByteSafeFillerAlternatesCrAndGraveAccent) {
    Load("x");
    EXPECT_EQ(doc.ReadByteSafe(), 'x');
    EXPECT_EQ(doc.ReadByteSafe(), 13);  // d = 1
    EXPECT_EQ(doc.ReadByteSafe(), 96);  // d = 0
    EXPECT_EQ(doc.ReadByteSafe(), 13);
    EXPECT_EQ(doc.GetPos(), 4);
}

TEST_F(SyntaxTest, ReadBytesPastTheEndDeliversZeros) {
    Load("abc");
    doc.SetPos(1);
    uint8_t buf[5];
    doc.ReadBytes(buf, 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 5), std::string("bc\0\0\0", 5));
    EXPECT_EQ(doc.GetPos(), 6);
}

TEST_F(SyntaxTest, MatchAtAdvancesEitherWayAndNeverMatchesPastTheEnd) {
    Load("%%EO");
    EXPECT_FALSE(doc.MatchAt("%%EOF"));
    EXPECT_EQ(doc.GetPos(), 5);
    Load("xref");
    EXPECT_TRUE(doc.MatchAt("xref"));
    EXPECT_EQ(doc.GetPos(), 4);
}

TEST_F(SyntaxTest, LineLevel) {
    Load("first\r\n\r\nsecond\nthird");
    EXPECT_EQ(doc.ReadLine(), "first");
    EXPECT_EQ(doc.GetPos(), 9);  // blank lines are skipped too
    doc.SkipLine();
    EXPECT_EQ(doc.ReadLine(), "third");
    doc.SetPos(Size());
    doc.BackToLineStart();
    EXPECT_EQ(doc.GetPos(), 16);
    doc.BackToLineStart();
    EXPECT_EQ(doc.GetPos(), 9);
    doc.BackToLineStart();
    EXPECT_EQ(doc.GetPos(), 0);
    doc.BackToLineStart();
    EXPECT_EQ(doc.GetPos(), 0);
    Load("12\nx4\n");
    EXPECT_EQ(doc.ReadLineInt(), 12);
    EXPECT_EQ(doc.ReadLineInt(), 0);
}

TEST_F(SyntaxTest, ParseDictSplitsEntries) {
    Load("<</Type/Page/Parent 3 0 R/MediaBox[0 0 612 792]>>");
    doc.ParseDict();
    EXPECT_EQ(Entries(), (std::vector<TTokenList>{{"/Type", "/Page"},
                                                  {"/Parent", "3", "0", "R"},
                                                  {"/MediaBox", "[", "0", "0", "612", "792", "]"}}));
    EXPECT_EQ(doc.parseFailed, 0);
}

TEST_F(SyntaxTest, ParseDictKeepsNestedDictionariesInTheirEntry) {
    Load("<< /Resources << /Font << /F1 5 0 R >> >> /Contents 7 0 R >>");
    doc.ParseDict();
    EXPECT_EQ(Entries(), (std::vector<TTokenList>{{"/Resources", "<<", "/Font", "<<", "/F1", "5", "0", "R", ">>", ">>"},
                                                  {"/Contents", "7", "0", "R"}}));
    const TDictEntry& resources = doc.dictEntries[0];
    EXPECT_EQ(resources.keyPos, 3);
    EXPECT_EQ(resources.valuePos, 14);
}

TEST_F(SyntaxTest, ParseDictStopsBehindTheClosingBrackets) {
    Load("<< /Length 42 >>stream\r\ndata");
    doc.ParseDict();
    EXPECT_EQ(doc.Source()[static_cast<size_t>(doc.GetPos())], 's');
}

TEST_F(SyntaxTest, ValueNameOnItsOwnLineBecomesAnEntry) {
    Load("<< /Type\n/Page >>");
    doc.ParseDict();
    EXPECT_EQ(Entries(), (std::vector<TTokenList>{{"/Type"}, {"/Page"}}));
    Load("<< /Type /Font /Name\n/F1 >>");
    doc.ParseDict();
    EXPECT_EQ(Entries(), (std::vector<TTokenList>{{"/Type", "/Font"}, {"/Name"}, {"/F1"}}));
}

TEST_F(SyntaxTest, ParseDictAtSomethingElseFails) {
    Load("[1 2 3]");
    doc.ParseDict();
    EXPECT_EQ(doc.parseFailed, 1);
    EXPECT_EQ(doc.dictEntries.count, 0u);
}

TEST_F(SyntaxTest, ParseDictEndsAtTheEndOfTruncatedData) {
    Load("<< /A [1 2 /B << /C");
    doc.ParseDict();
    EXPECT_GT(doc.GetPos(), Size());
    ASSERT_EQ(doc.dictEntries.count, 1u);
    EXPECT_EQ(doc.dictEntries[0].tokens[0], "/A");
}

TEST_F(SyntaxTest, DictionaryOpeningWithANestedDictionaryDoesNotCrash) {
    Load("<< << /A 1 >> /B 2 >>");
    doc.ParseDict();
    ASSERT_GE(doc.dictEntries.count, 1u);
    EXPECT_EQ(doc.dictEntries[0].tokens[0], "<<");
}

TEST_F(SyntaxTest, FetchObjectPositionsOnTheBody) {
    Load("1 0 obj\n<< /Type /Catalog >>\nendobj\n");
    doc.objTable.assign(2, TObjEntry{});
    doc.objCount = 2;
    doc.objTable[1].offset = 0;
    doc.objTable[1].inUse = 1;
    doc.objTable[1].kind = TObjKind::AtOffset;
    ASSERT_TRUE(doc.FetchObject(1));
    EXPECT_EQ(doc.ReadToken(), "<<");
    // A free entry is not an object, wherever its offset points.
    doc.objTable[1].inUse = 0;
    doc.objTable[1].kind = TObjKind::Free;
    EXPECT_FALSE(doc.FetchObject(1));
    EXPECT_FALSE(doc.FetchObject(2));
    EXPECT_FALSE(doc.FetchObject(-1));
}

struct TTextCase {
    const char* input;
    const char* expected;
};

TEST(PdfTextTest, Unescape) {
    const TTextCase cases[] = {
        {"\\101\\102", "AB"},
        {"\\53x", ""},
        {"a\\nb", "a\nb"},
        {"\\(\\)\\\\", "()\\"},
        {"\\r\\t\\b\\f", "\r\t\b\f"},
        {"\\q", ""},
        {"(keep)", "(keep)"},
        {"\\501", "A"},  // 0501 octal is 321: the byte is taken modulo 256
    };
    for (const auto& c : cases) EXPECT_EQ(Unescape(c.input), c.expected) << c.input;
}

TEST(PdfTextTest, StripParensAndNextWord) {
    EXPECT_EQ(StripParens("(abc"), "ab");
    EXPECT_EQ(StripParens("(abc)"), "abc");
    EXPECT_EQ(StripParens("x"), "x");
    EXPECT_EQ(StripParens("("), "(");
    std::string s = "Aacute \x97 \x97 231";
    EXPECT_EQ(NextWord(s), "Aacute");
    EXPECT_EQ(s, "\x97 \x97 231");
    std::string last = "231";
    EXPECT_EQ(NextWord(last), "231");
    EXPECT_TRUE(last.empty());
}

TEST(PdfTextTest, NumberConversionsIgnoreTheLocale) {
    EXPECT_EQ(TryStrToFloat("600.5"), 600.5);
    EXPECT_EQ(TryStrToFloat("-.5"), -0.5);
    EXPECT_EQ(TryStrToFloat("+3"), 3.0);
    EXPECT_EQ(TryStrToFloat("x"), std::nullopt);
    EXPECT_EQ(TryStrToFloat("1,5"), std::nullopt);
    EXPECT_EQ(TryStrToFloat("inf"), std::nullopt);
    EXPECT_EQ(TryStrToFloat(""), std::nullopt);
    EXPECT_EQ(TryStrToInt("-42"), -42);
    EXPECT_EQ(TryStrToInt("42x"), std::nullopt);
    EXPECT_EQ(TryStrToInt("99999999999"), std::nullopt);
}

TEST(PdfTextTest, Windows1252RoundTrip) {
    const std::string cp = "\x80\xE4\xDF\x9F";
    EXPECT_EQ(Cp1252ToUtf8(cp), "\u20AC\u00E4\u00DF\u0178");
    EXPECT_EQ(Utf8ToCp1252("\u20AC\u00E4\u00DF\u0178"), cp);
    EXPECT_EQ(Utf8ToCp1252("\u4E2D"), "?");
    EXPECT_EQ(RoundHalfEven(5.5), 6);
    EXPECT_EQ(RoundHalfEven(4.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
}

}  // namespace
