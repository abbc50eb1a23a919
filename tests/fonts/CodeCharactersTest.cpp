// Which character each code of a font stands for, from each source the
// file may hold: /ToUnicode, glyph names by the Adobe Glyph List, an
// embedded TrueType's cmap subtables and post names, a CFF's charset.
#include <gtest/gtest.h>

#include "CodeCharacters.h"
#include "GlyphNames.h"
#include "ReplacementGlyphs.h"
#include "TestSupport.h"

namespace {

TEST(GlyphNameCharacters, FollowTheGlyphListRules) {
    struct TCase {
        const char* name;
        std::u32string expected;  // empty: stands for nothing
    } const cases[] = {
        {"A", U"A"},
        {"adieresis", U"ä"},
        {"alpha", U"α"},                  // Greek, as Symbol and TeX name it
        {"afii10017", U"А"},              // Cyrillic A of old Windows fonts
        {"ff", U"\uFB00"},
        {"f_f_i", U"ffi"},                // a ligature named by its parts
        {"one.oldstyle", U"1"},           // a variant: the suffix goes
        {"uni20AC", U"€"},
        {"uni00480065", U"He"},           // several groups of four digits
        {"u1F600", U"\U0001F600"},
        {"uni20ac", U""},                 // lower-case digits are no part of the list
        {"uniD800", U""},                 // a surrogate is no character
        {"u110000", U""},
        {"g123", U""},
        {"a12", U""},                     // a Dingbats name
        {".notdef", U""},
        {"f_g12", U""},                   // one part unknown: the whole name is
        {"", U""},
    };
    for (const TCase& c : cases) EXPECT_EQ(GlyphNameCharacters(c.name), c.expected) << c.name;
}

struct TSourceCase {
    THelloFont kind;
    TCharacterSource source;
    const char* what;
};

void PrintTo(const TSourceCase& c, std::ostream* os) { *os << c.what; }

class HelloWorldFont : public ::testing::TestWithParam<TSourceCase> {};

TEST_P(HelloWorldFont, EveryCodeStandsForItsCharacter) {
    const TSourceCase& c = GetParam();
    const std::string path = ScratchDir(std::string("hello-") + c.what) + "/in.pdf";
    WriteFileBytes(path, HelloWorldDocument(c.kind));
    auto opened = OpenHeadless(path, false);
    ASSERT_EQ(opened->AllMessages(), "");
    TFontRecord& font = opened->doc.fontList[0];
    ASSERT_EQ(font.resName, "/F1");
    const TOldFont old = ReadOldFont(opened->doc, font);
    const TSimpleCodeCharacters characters = SimpleCodeCharacters(opened->doc, font, old);
    const std::u32string expected = U"Helo Wrd";
    for (size_t code = 1; code <= 8; ++code) {
        SCOPED_TRACE(code);
        EXPECT_EQ(characters[code].text, expected.substr(code - 1, 1));
        EXPECT_EQ(characters[code].source, c.source);
    }
    TCodeSet codes;
    for (size_t code = 1; code <= 8; ++code) codes.set(code);
    EXPECT_EQ(CountUnknown(characters, codes), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, HelloWorldFont,
    ::testing::Values(TSourceCase{THelloFont::ToUnicodeOnly, TCharacterSource::ToUnicode, "ToUnicode"},
                      TSourceCase{THelloFont::GlyphNamesOnly, TCharacterSource::GlyphName, "GlyphNames"},
                      TSourceCase{THelloFont::TrueTypeSymbolCmap, TCharacterSource::ProgramGlyphName, "SymbolCmap"},
                      TSourceCase{THelloFont::TrueTypeUnicodeCmap, TCharacterSource::ProgramUnicode, "UnicodeCmap"},
                      TSourceCase{THelloFont::CffCharset, TCharacterSource::ProgramGlyphName, "CffCharset"}),
    [](const ::testing::TestParamInfo<TSourceCase>& param) { return std::string(param.param.what); });

TEST(CodeCharacters, WhatNoOneNamesIsUnknownAndWhatNoGlyphDrawsIsNothing) {
    const std::string dir = ScratchDir("code-characters-unknown");
    struct TCase {
        THelloFont kind;
        TCharacterSource nine;  // code 9: no name, no map entry
    } const cases[] = {
        {THelloFont::NothingSays, TCharacterSource::Unknown},
        {THelloFont::ToUnicodeOnly, TCharacterSource::Unknown},
        {THelloFont::TrueTypeSymbolCmap, TCharacterSource::NoGlyph},
        {THelloFont::CffCharset, TCharacterSource::NoGlyph},
    };
    for (const TCase& c : cases) {
        const std::string path = dir + "/in" + std::to_string(static_cast<int>(c.kind)) + ".pdf";
        WriteFileBytes(path, HelloWorldDocument(c.kind));
        auto opened = OpenHeadless(path, false);
        TFontRecord& font = opened->doc.fontList[0];
        const TSimpleCodeCharacters characters = SimpleCodeCharacters(opened->doc, font, ReadOldFont(opened->doc, font));
        EXPECT_EQ(characters[9].source, c.nine) << static_cast<int>(c.kind);
        EXPECT_TRUE(characters[9].text.empty());
        TCodeSet nine;
        nine.set(9);
        EXPECT_EQ(CountUnknown(characters, nine), c.nine == TCharacterSource::Unknown ? 1 : 0);
    }
    // The private names /g1 ... say nothing.
    const std::string path = dir + "/nothing.pdf";
    WriteFileBytes(path, HelloWorldDocument(THelloFont::NothingSays));
    auto opened = OpenHeadless(path, false);
    TFontRecord& font = opened->doc.fontList[0];
    const TSimpleCodeCharacters characters = SimpleCodeCharacters(opened->doc, font, ReadOldFont(opened->doc, font));
    TCodeSet codes;
    for (size_t code = 1; code <= 8; ++code) codes.set(code);
    EXPECT_EQ(CountUnknown(characters, codes), 8);
}

TEST(CodeCharacters, ToUnicodeThatSaysNothingGivesWayToTheNextSource) {
    // U+FFFD and control characters are what producers write for glyphs
    // they could not name; the glyph name behind them still speaks.
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode 5 0 R"
                " /Encoding << /Differences [65 /A /B /f_i] >> >>");
    b.Object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Resources << /Font << /F1 3 0 R >> >>"
                " /Contents 6 0 R >>");
    b.Stream(5, "", "1 begincodespacerange <00> <FF> endcodespacerange\n"
                    "3 beginbfchar <41> <FFFD> <42> <0001> <43> <00660069> endbfchar\n");
    b.Stream(6, "", "BT /F1 12 Tf (ABC) Tj ET");
    b.Trailer("/Root 1 0 R");
    auto opened = OpenHeadless(b.WriteTo("tounicode-says-nothing.pdf"), false);
    TFontRecord& font = opened->doc.fontList[0];
    const TSimpleCodeCharacters characters = SimpleCodeCharacters(opened->doc, font, ReadOldFont(opened->doc, font));
    EXPECT_EQ(characters['A'].text, U"A");
    EXPECT_EQ(characters['A'].source, TCharacterSource::GlyphName);
    EXPECT_EQ(characters['B'].text, U"B");
    EXPECT_EQ(characters['C'].text, U"fi");  // a ligature's /ToUnicode spells it out
    EXPECT_EQ(characters['C'].source, TCharacterSource::ToUnicode);
    // Helvetica's own encoding names the codes no /Differences changes.
    EXPECT_EQ(characters['a'].text, U"a");
    // StandardEncoding has no ä: Helvetica draws nothing for that code.
    EXPECT_EQ(characters[0xE4].source, TCharacterSource::NoGlyph);
}

}  // namespace
