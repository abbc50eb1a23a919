#include <gtest/gtest.h>

#include <filesystem>

#include "AddedFonts.h"
#include "FontFiles_p.h"
#include "TestSupport.h"

namespace {

// The packages fonts-liberation2 and fonts-dejavu-core are installed by the
// build scripts; without them there is nothing to measure.
std::optional<TFontFileMatch> Installed(const std::string& family, bool bold = false, bool italic = false) {
    auto match = MatchFontFile(family, bold, italic);
    if (!match || !match->familyMatches) return std::nullopt;
    return match;
}

#define REQUIRE_FONT(match, family, ...)                                                  \
    const auto match = Installed(family, ##__VA_ARGS__);                                  \
    if (!match) GTEST_SKIP() << family << " is not installed";

// ---- names --------------------------------------------------------------

struct TNameCase {
    std::string face;
    bool bold, italic;
    std::string resName, baseFont;
};

TEST(AddedFontNames, ResourceAndBaseFontNames) {
    const TNameCase cases[] = {
        {"Arial", false, false, "/Arial", "/Arial"},
        {"Arial", true, false, "/Arial", "/Arial,Bold"},
        {"Times New Roman", false, false, "/TimesNewRoman", "/Times#20New#20Roman"},
        {"Courier New", true, true, "/CourierNew", "/Courier#20New,BoldItalic"},
        {"Liberation Sans", false, true, "/LiberationSans", "/Liberation#20Sans,Italic"},
        // Delimiters and "#" would end or corrupt the name: #XX instead.
        {"A#B%C(D)E/F<G>H[I]J{K}L", false, false, "/A#23B#25C#28D#29E#2FF#3CG#3EH#5BI#5DJ#7BK#7DL",
         "/A#23B#25C#28D#29E#2FF#3CG#3EH#5BI#5DJ#7BK#7DL"},
        // Windows-1252 letters and controls: dropped from the resource name,
        // #XX in the base font name.
        {"Caf\xE9 Cr\xE8me\t1", false, false, "/CafCrme1", "/Caf#E9#20Cr#E8me#091"},
        {"  \xA0", false, false, "/", "/#20#20#A0"},
        {"", true, true, "/", "/,BoldItalic"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MakeResourceName(c.face), c.resName) << c.face;
        EXPECT_EQ(MakeBaseFontName(c.face, c.bold, c.italic), c.baseFont) << c.face;
    }
}

TEST(AddedFontNames, UniqueNameCountsOnFromTwo) {
    THeadlessUi ui;
    TPdfDocument doc{ui};
    EXPECT_EQ(MakeUniqueResourceName(doc, "/Arial"), "/Arial");

    doc.fontList.Append()->resName = "/Arial";
    EXPECT_EQ(MakeUniqueResourceName(doc, "/Arial"), "/Arial_2");
    doc.fontList.Append()->resName = "/Arial_2";
    EXPECT_EQ(MakeUniqueResourceName(doc, "/Arial"), "/Arial_3");
    // A gap is filled: the lowest free number.
    doc.fontList.Append()->resName = "/Arial_4";
    EXPECT_EQ(MakeUniqueResourceName(doc, "/Arial"), "/Arial_3");
}

TEST(AddedFontNames, ItalicAngleText) {
    const struct {
        int32_t fixed;
        const char* text;
    } cases[] = {
        {0, "0"}, {-12 * 65536, "-12"}, {-11 * 65536 - 32768, "-11.5"}, {-1070421, "-16.33"},
        {9 * 65536 + 16384, "9.25"}, {-6554, "-0.1"}, {100, "0"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatItalicAngle(c.fixed), c.text) << c.fixed;
}

// ---- the descriptor text --------------------------------------------------

TEST(AddedFontText, PlainMetricsForm) {
    TAddedFontMetrics m;
    m.outline = false;
    m.height = 1149;
    m.maxWidth = 2000;
    m.ascent = 905;
    m.descent = 212;
    m.firstChar = 65;
    m.lastChar = 67;
    m.widths[65] = 666;
    m.widths[66] = 0;
    m.widths[67] = 722;
    EXPECT_EQ(FontDictExtraText(m), "/FontDescriptor <</Type/FontDescriptor /FontBBox[0 1149 2000 0] "
                                    "/Flags 4/Ascent 905/Descent 212>> /FirstChar 65 /LastChar 67 "
                                    "/Widths [666 0 722 ] ");
}

// The expected texts were written by tests/data/fonts/expected_metrics.py,
// which reads the font tables directly, without FreeType.
struct TFileCase {
    const char* family;
    bool bold, italic;
    const char* expectedFile;
};

TEST(AddedFontText, MatchesTheFontTables) {
    const TFileCase cases[] = {
        {"Liberation Sans", false, false, "fonts/LiberationSans-Regular.txt"},
        {"DejaVu Sans", true, false, "fonts/DejaVuSans-Bold.txt"},
        {"Liberation Serif", false, true, "fonts/LiberationSerif-Italic.txt"},
    };
    for (const auto& c : cases) {
        REQUIRE_FONT(match, c.family, c.bold, c.italic);
        const auto metrics = ReadOutlineMetrics(match->path, match->faceIndex);
        ASSERT_TRUE(metrics) << match->path;
        EXPECT_EQ(FontDictExtraText(*metrics), ReadFileText(DataPath(c.expectedFile))) << c.family;
    }
}

// ---- the metrics ------------------------------------------------------------

TEST(AddedFontMetrics, LiberationSansInThousandths) {
    REQUIRE_FONT(match, "Liberation Sans");
    const auto m = ReadOutlineMetrics(match->path, match->faceIndex);
    ASSERT_TRUE(m);
    // 2048 units per em: 569, 1366, 1139, 1933 units.
    EXPECT_EQ(m->widths[' '], 277);
    EXPECT_EQ(m->widths['A'], 666);
    EXPECT_EQ(m->widths['a'], 556);
    EXPECT_EQ(m->widths['W'], 943);
    // head box -1114 -621 2666 2007: negative edges round down, outward.
    EXPECT_EQ(m->bboxLeft, -544);
    EXPECT_EQ(m->bboxBottom, -304);
    EXPECT_EQ(m->bboxRight, 1301);
    EXPECT_EQ(m->bboxTop, 979);
    EXPECT_EQ(m->ascent, 728);
    EXPECT_EQ(m->descent, -211);
    EXPECT_EQ(m->italicAngleFixed, 0);
    EXPECT_EQ(m->firstChar, 32);
    EXPECT_EQ(m->lastChar, 255);
    EXPECT_EQ(m->widths[0x80], 556) << "the euro sign through U+20AC";
    EXPECT_EQ(m->widths[0x96], 556) << "the en dash through U+2013";
}

TEST(AddedFontMetrics, DejaVuSansBoldInThousandths) {
    REQUIRE_FONT(match, "DejaVu Sans", true, false);
    const auto m = ReadOutlineMetrics(match->path, match->faceIndex);
    ASSERT_TRUE(m);
    // 2048 units per em: space 713, A 1585, a 1382, W 2259; box -2190 -850
    // 4045 2407; typographic ascent 1556, descent -492.
    EXPECT_EQ(m->widths[' '], 348);
    EXPECT_EQ(m->widths['A'], 773);
    EXPECT_EQ(m->widths['a'], 674);
    EXPECT_EQ(m->widths['W'], 1103);
    EXPECT_EQ(m->bboxLeft, -1070);
    EXPECT_EQ(m->bboxBottom, -416);
    EXPECT_EQ(m->bboxRight, 1975);
    EXPECT_EQ(m->bboxTop, 1175);
    EXPECT_EQ(m->ascent, 759);
    EXPECT_EQ(m->descent, -241);
}

TEST(AddedFontMetrics, UnassignedCodesTakeTheMissingGlyph) {
    REQUIRE_FONT(match, "Liberation Sans");
    const auto m = ReadOutlineMetrics(match->path, match->faceIndex);
    ASSERT_TRUE(m);
    // Glyph 0 of Liberation Sans is 1536 units wide; no printable
    // character of the font has that width.
    for (int code : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(m->widths[code], 750) << code;
    EXPECT_NE(m->widths['A'], 750);
}

TEST(AddedFontMetrics, ItalicAngleInDegrees) {
    REQUIRE_FONT(match, "Liberation Sans", false, true);
    const auto m = ReadOutlineMetrics(match->path, match->faceIndex);
    ASSERT_TRUE(m);
    EXPECT_EQ(FormatItalicAngle(m->italicAngleFixed), "-12");
    EXPECT_NE(FontDictExtraText(*m).find("/ItalicAngle -12>> "), std::string::npos);
}

// ---- adding to a document ---------------------------------------------------

TEST(AddInstalledFont, AppendsAHiddenRecord) {
    REQUIRE_FONT(match, "Liberation Sans");
    auto opened = OpenHeadless(DataPath("corpus/gs-std14-v12.pdf"), false);
    TPdfDocument& doc = opened->doc;
    const int32_t before = doc.fontList.Count();
    ASSERT_GT(before, 0);

    const auto name = AddInstalledFont(doc, "Liberation Sans", false, false);
    ASSERT_TRUE(name);
    EXPECT_EQ(*name, "/LiberationSans");
    ASSERT_EQ(doc.fontList.Count(), before + 1);
    const TFontRecord& font = doc.fontList[static_cast<size_t>(before)];
    EXPECT_EQ(font.hidden, 1);
    EXPECT_EQ(font.pageIndex, 0);
    EXPECT_EQ(font.encoding, 3);
    EXPECT_EQ(font.bboxWidth, 1.0);
    EXPECT_EQ(font.bboxHeight, 1.0);
    EXPECT_EQ(font.firstChar, 0);
    EXPECT_EQ(font.resName, "/LiberationSans");
    EXPECT_EQ(font.baseFontName, "/Liberation#20Sans");
    EXPECT_EQ(font.fontDictExtra, ReadFileText(DataPath("fonts/LiberationSans-Regular.txt")));
    EXPECT_EQ(font.replacementName, "");
    for (int code = 0; code < 32; ++code) EXPECT_EQ(font.Codes().widthSet[code], 0) << code;
    for (int code = 32; code < 256; ++code) EXPECT_EQ(font.Codes().widthSet[code], 1) << code;
    EXPECT_EQ(font.Codes().widths['W'], 943);
    EXPECT_EQ(font.Codes().widths[0x81], 750);

    // A second face with its own metrics.
    if (Installed("DejaVu Sans", true, false)) {
        EXPECT_EQ(AddInstalledFont(doc, "DejaVu Sans", true, false), "/DejaVuSans");
        const TFontRecord& dejaVu = doc.fontList[static_cast<size_t>(doc.fontList.Count() - 1)];
        EXPECT_EQ(dejaVu.baseFontName, "/DejaVu#20Sans,Bold");
        EXPECT_EQ(dejaVu.fontDictExtra, ReadFileText(DataPath("fonts/DejaVuSans-Bold.txt")));
        EXPECT_EQ(dejaVu.Codes().widths['W'], 1103);
    }

    // The same family again: a new resource name, the style in the base font.
    const auto again = AddInstalledFont(doc, "Liberation Sans", true, true);
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, "/LiberationSans_2");
    const TFontRecord& last = doc.fontList[static_cast<size_t>(doc.fontList.Count() - 1)];
    EXPECT_EQ(last.resName, *again);
    EXPECT_EQ(last.baseFontName, "/Liberation#20Sans,BoldItalic");
    EXPECT_NE(last.fontDictExtra.find("/ItalicAngle -12>> "), std::string::npos);
}

TEST(AddInstalledFont, OnlyFamiliesWithOutlinesAPdfEmbeds) {
    THeadlessUi ui;
    TPdfDocument doc{ui};
    // fontconfig would offer some other font for a name it does not know.
    EXPECT_FALSE(AddInstalledFont(doc, "No Such Family Glyphwell", false, false));
    EXPECT_EQ(doc.fontList.Count(), 0);
    // The URW fonts are installed both as PostScript Type 1 files and as
    // OpenType with CFF outlines: the OpenType file is the one added.
    ASSERT_TRUE(AddInstalledFont(doc, "Nimbus Sans", false, false));
    ASSERT_EQ(doc.fontList.Count(), 1);
    const std::string& file = doc.fontList[0].fontFile;
    EXPECT_EQ(file.substr(file.size() - 4), ".otf") << file;
    // A Type 1 file has no outlines a PDF embeds as they are.
    const std::string type1 = "/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.t1";
    if (std::filesystem::exists(type1)) {
        EXPECT_FALSE(ReadOutlineMetrics(type1));
    }
    EXPECT_TRUE(ReadOutlineMetrics(file));
}

}  // namespace
