// Glyph names, the standard fonts' AFM metrics and the codes a content
// shows per font: what the kept encodings and widths are built from.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "Charsets.h"
#include "GlyphNames.h"
#include "StandardFonts.h"
#include "UsedCodes.h"

namespace {

TEST(GlyphNames, StandForTheirCharacters) {
    struct TCase {
        const char* name;
        char32_t expected;  // 0: no character
    } const cases[] = {
        {"A", U'A'},           {"adieresis", U'ä'},   {"germandbls", U'ß'},   {"Euro", U'€'},
        {"quoteright", 0x2019}, {"endash", 0x2013},   {"fi", 0xFB01},         {"Lslash", 0x141},
        {"dotlessi", 0x131},   {"minus", 0x2212},     {"space", U' '},        {"uni20AC", 0x20AC},
        {"u1F600", 0x1F600},   {"uniD800", 0},        {"uni20ac", 0},         {"g123", 0},
        {"alpha", 0},          {"", 0},               {"u110000", 0},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(GlyphNameToUnicode(c.name).value_or(0), c.expected) << c.name;
}

TEST(GlyphNames, EncodingTablesNameTheCodesOfEachEncoding) {
    const TGlyphNameTable& standard = StandardEncodingNames(kStandardEncoding);
    const TGlyphNameTable& winAnsi = StandardEncodingNames(kWinAnsiEncoding);
    const TGlyphNameTable& macRoman = StandardEncodingNames(kMacRomanEncoding);
    EXPECT_EQ(standard[39], "quoteright");
    EXPECT_EQ(winAnsi[39], "quotesingle");
    EXPECT_EQ(standard[0xAE], "fi");
    EXPECT_EQ(standard[0xE4], "");  // StandardEncoding has no ä
    EXPECT_EQ(winAnsi[0xE4], "adieresis");
    EXPECT_EQ(macRoman[0x8A], "adieresis");
    EXPECT_EQ(winAnsi[0x80], "Euro");
    EXPECT_EQ(winAnsi[0x81], "");
}

TEST(StandardFonts, MetricsComeFromTheAfmFiles) {
    const TStandardFontMetrics* times = StandardFontMetrics("Times-Roman");
    ASSERT_NE(times, nullptr) << "fonts-urw-base35 is needed";
    EXPECT_EQ(times->afmName, "NimbusRoman-Regular");
    // Compare with the file itself, read another way.
    std::ifstream afm("/usr/share/fonts/type1/urw-base35/NimbusRoman-Regular.afm");
    const std::regex line(R"(^C (-?\d+) ; WX (\d+) ; N (\S+) ;.*)");
    std::string text;
    int32_t checked = 0;
    while (std::getline(afm, text)) {
        std::smatch m;
        if (!std::regex_match(text, m, line)) continue;
        ASSERT_TRUE(times->widths.count(m[3])) << m[3];
        EXPECT_EQ(times->widths.at(m[3]), std::stoi(m[2])) << m[3];
        const int code = std::stoi(m[1]);
        if (code >= 0) {
            EXPECT_EQ(times->builtInEncoding[static_cast<size_t>(code)], m[3].str());
        }
        ++checked;
    }
    EXPECT_GT(checked, 300);
    EXPECT_FALSE(times->symbolic);
    EXPECT_EQ(times->builtInEncoding[39], "quoteright");  // the StandardEncoding
}

TEST(StandardFonts, NamesAndAliasesPickTheRightFace) {
    struct TCase {
        const char* baseFont;
        const char* afmName;  // nullptr: not a standard font
    } const cases[] = {
        {"Helvetica", "NimbusSans-Regular"},
        {"Helvetica-BoldOblique", "NimbusSans-BoldItalic"},
        {"Times-BoldItalic", "NimbusRoman-BoldItalic"},
        {"Courier-Oblique", "NimbusMonoPS-Italic"},
        {"Arial,Bold", "NimbusSans-Bold"},
        {"ABCDEF+TimesNewRomanPS-ItalicMT", "NimbusRoman-Italic"},
        {"CourierNew", "NimbusMonoPS-Regular"},
        {"Symbol", "StandardSymbolsPS"},
        {"ZapfDingbats", "D050000L"},
        {"Palatino-Roman", nullptr},
        {"", nullptr},
    };
    for (const TCase& c : cases) {
        const TStandardFontMetrics* metrics = StandardFontMetrics(c.baseFont);
        if (!c.afmName) {
            EXPECT_EQ(metrics, nullptr) << c.baseFont;
            continue;
        }
        ASSERT_NE(metrics, nullptr) << c.baseFont;
        EXPECT_EQ(metrics->afmName, c.afmName) << c.baseFont;
    }
    EXPECT_TRUE(StandardFontMetrics("Symbol")->symbolic);
    EXPECT_TRUE(StandardFontMetrics("ZapfDingbats")->symbolic);
}

TEST(StandardFonts, AfmParserSkipsWhatItDoesNotKnow) {
    const TStandardFontMetrics m = ParseAfm(
        "StartFontMetrics 3.0\r\nFontName Test-Font\r\nC 65 ; WX 600 ; N A ; B 0 0 1 1 ;\r\n"
        "C -1 ; WX 500 ; N Aring ;\r\nC 66 ; N B ;\r\nC 300 ; WX 1 ; N big ;\r\ngarbage\r\n");
    EXPECT_EQ(m.afmName, "Test-Font");
    EXPECT_EQ(m.widths.at("A"), 600);
    EXPECT_EQ(m.widths.at("Aring"), 500);
    EXPECT_EQ(m.widths.count("B"), 0u);  // no width, no entry
    EXPECT_EQ(m.widths.at("big"), 1);
    EXPECT_EQ(m.builtInEncoding[65], "A");
}

TCodeSet CodesOf(const std::string& text) {
    TCodeSet codes;
    for (unsigned char ch : text) codes.set(ch);
    return codes;
}

TEST(UsedCodes, CollectsTheStringsOfEachFont) {
    struct TCase {
        const char* name;
        std::string content;
        std::map<std::string, std::string> expected;
    } const cases[] = {
        {"simple", "BT /F1 12 Tf (Hello) Tj ET", {{"/F1", "Hello"}}},
        {"two fonts", "/F1 1 Tf (ab) Tj /F2 1 Tf (cd) ' (e) Tj", {{"/F1", "ab"}, {"/F2", "cde"}}},
        {"array", "/F1 1 Tf [(A) -120 (B) 5 <4344>] TJ", {{"/F1", "ABCD"}}},
        {"escapes", R"(/F1 1 Tf (\(x\)\\\101\344\n\
y) Tj)", {{"/F1", std::string("(x)\\A\xE4\ny")}}},
        {"nested parentheses", "/F1 1 Tf (a(b)c) Tj", {{"/F1", "a(b)c"}}},
        {"hex with blanks and odd digit", "/F1 1 Tf <41 42 4> Tj", {{"/F1", std::string("AB@")}}},
        {"quote operator", "/F1 1 Tf 1 2 (xy) \"", {{"/F1", "xy"}}},
        {"string not shown", "/F1 1 Tf (abc) pop (d) Tj", {{"/F1", "d"}}},
        {"comment", "/F1 1 Tf % (zz) Tj\n(q) Tj", {{"/F1", "q"}}},
        {"inline image", "/F1 1 Tf BI /W 1 /H 1 ID (zz) Tj EI (k) Tj", {{"/F1", "k"}}},
        {"font in a dictionary", "/F1 1 Tf <</MCID 0>> BDC (m) Tj EMC", {{"/F1", "m"}}},
        {"unterminated string", "/F1 1 Tf (abc", {}},
    };
    for (const TCase& c : cases) {
        const TCodesByFont got = CodesByFont(reinterpret_cast<const uint8_t*>(c.content.data()), c.content.size());
        std::map<std::string, TCodeSet> expected;
        for (const auto& [font, text] : c.expected) expected[font] = CodesOf(text);
        EXPECT_EQ(got, expected) << c.name;
    }
}

}  // namespace
