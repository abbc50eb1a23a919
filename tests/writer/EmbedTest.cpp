// Replacing fonts by embedded TrueType subsets, checked with poppler's
// tools and qpdf on the saved files: the text, every word's horizontal
// extent, the fonts' embedding and the glyphs of the embedded programs.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdio>
#include <regex>
#include <sstream>
#include <tuple>

#include "AddedFonts.h"
#include "ContentRewrite.h"
#include "FontFiles_p.h"
#include "PdfWriter.h"
#include "ReplacementFonts.h"
#include "SavedFileChecks.h"
#include "TestSupport.h"

namespace {

std::optional<int32_t> RefOf(const std::string& object, const std::string& key) {
    std::smatch m;
    if (!std::regex_search(object, m, std::regex(key + R"(\s+(\d+)\s+0\s+R)"))) return std::nullopt;
    return std::stoi(m[1]);
}

// The characters the font's /ToUnicode gives its codes, and whether each
// has a glyph in its embedded program, opened with FreeType.
struct TEmbeddedCheck {
    bool opened = false;
    std::u32string characters;
    std::u32string lacking;
};

TEmbeddedCheck CheckEmbedded(const std::string& path, int32_t fontObj) {
    TEmbeddedCheck check;
    const std::string dict = ToolOutput("qpdf --show-object=" + std::to_string(fontObj) + " " + Quoted(path));
    const auto descriptor = RefOf(dict, "/FontDescriptor");
    const auto toUnicode = RefOf(dict, "/ToUnicode");
    if (!descriptor || !toUnicode) return check;
    const auto program = RefOf(ToolOutput("qpdf --show-object=" + std::to_string(*descriptor) + " " + Quoted(path)), "/FontFile2");
    if (!program) return check;
    const std::string bytes =
        ToolOutput("qpdf --show-object=" + std::to_string(*program) + " --filtered-stream-data " + Quoted(path));
    const std::string cmap =
        ToolOutput("qpdf --show-object=" + std::to_string(*toUnicode) + " --filtered-stream-data " + Quoted(path));
    const std::regex entry(R"(<[0-9A-F]{2}> <([0-9A-F]{4})>)");
    for (auto it = std::sregex_iterator(cmap.begin(), cmap.end(), entry); it != std::sregex_iterator(); ++it)
        check.characters += static_cast<char32_t>(std::stoul((*it)[1], nullptr, 16));
    FT_Library library;
    FT_Init_FreeType(&library);
    FT_Face face;
    if (FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(bytes.data()), static_cast<FT_Long>(bytes.size()),
                           0, &face) == 0) {
        check.opened = true;
        for (char32_t ch : check.characters)
            if (ch != U' ' && FT_Get_Char_Index(face, ch) == 0) check.lacking += ch;
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    return check;
}

// Times -> Liberation Serif, Helvetica -> Liberation Sans, Courier ->
// Liberation Mono, each style; Symbol and ZapfDingbats stay.
struct TFaceChoice {
    std::string family;
    bool bold = false, italic = false;
};
std::optional<TFaceChoice> MetricTwin(const std::string& baseFont) {
    TFaceChoice choice;
    if (baseFont.rfind("Times", 0) == 0) choice.family = "Liberation Serif";
    else if (baseFont.rfind("Helvetica", 0) == 0) choice.family = "Liberation Sans";
    else if (baseFont.rfind("Courier", 0) == 0) choice.family = "Liberation Mono";
    else return std::nullopt;
    choice.bold = baseFont.find("Bold") != std::string::npos;
    choice.italic = baseFont.find("Italic") != std::string::npos || baseFont.find("Oblique") != std::string::npos;
    return choice;
}

// Replaces every text font of the file by `pick` (nothing: the font stays)
// and saves; the added fonts get the given choices.
std::string SaveReplaced(const std::string& in, const std::string& name,
                         const std::function<std::optional<TFaceChoice>(const std::string&)>& pick, bool keepWidths,
                         std::vector<TReplacementReport>* reports = nullptr) {
    const std::string out = ScratchDir(name) + "/out.pdf";
    auto h = OpenHeadless(in, false);
    TPdfDocument& doc = h->doc;
    std::map<std::tuple<std::string, bool, bool>, std::string> added;
    const int32_t oldCount = doc.fontList.Count();
    for (int32_t i = 0; i < oldCount; ++i) {
        const TOldFont old = ReadOldFont(doc, doc.fontList[static_cast<size_t>(i)]);
        const auto choice = pick(old.baseFont);
        if (!choice) continue;
        const auto key = std::make_tuple(choice->family, choice->bold, choice->italic);
        if (!added.count(key)) {
            const auto resName = AddInstalledFont(doc, choice->family, choice->bold, choice->italic);
            EXPECT_TRUE(resName.has_value()) << choice->family;
            if (!resName) return out;
            added[key] = *resName;
            TFontRecord& record = doc.fontList[static_cast<size_t>(doc.fontList.Count() - 1)];
            record.keepWidths = keepWidths;
        }
        doc.fontList[static_cast<size_t>(i)].replacementName = added[key];
    }
    if (reports) *reports = DescribeReplacements(doc);
    TellUndecodablePages(doc);
    EXPECT_EQ(WritePdfFile(doc, out, 1).result, TWriteResult::Written);
    return out;
}

class EmbedStd14 : public ::testing::Test {
protected:
    const std::string in = CorpusPath("gs-std14-v12.pdf");
};

TEST_F(EmbedStd14, MetricTwinsAreEmbeddedSubsetsThatKeepTextAndLayout) {
    std::vector<TReplacementReport> reports;
    const std::string out = SaveReplaced(in, "std14-liberation", MetricTwin, true, &reports);

    const TToolResult qpdf = RunTool("qpdf --check " + Quoted(out));
    EXPECT_EQ(qpdf.status, 0) << qpdf.output;

    const auto fonts = PdfFonts(out);
    ASSERT_FALSE(fonts.empty());
    int32_t embedded = 0;
    for (const TPdfFontLine& font : fonts) {
        if (font.name == "Symbol" || font.name == "ZapfDingbats") continue;
        EXPECT_TRUE(std::regex_match(font.name, std::regex("[A-Z]{6}\\+Liberation(Serif|Sans|Mono).*"))) << font.name;
        EXPECT_EQ(font.type, "TrueType") << font.name;
        EXPECT_EQ(font.emb + font.sub + font.uni, "yesyesyes") << font.name;
        const TEmbeddedCheck check = CheckEmbedded(out, font.objNum);
        EXPECT_TRUE(check.opened) << font.name;
        EXPECT_FALSE(check.characters.empty()) << font.name;
        EXPECT_TRUE(check.lacking.empty()) << font.name;
        ++embedded;
    }
    EXPECT_EQ(embedded, 12);

    EXPECT_EQ(PageTexts(out), PageTexts(in));
    EXPECT_LE(LargestShift(WordBoxes(in), WordBoxes(out)), 0.01);

    // Each face costs about ten kilobytes.
    EXPECT_LE(ReadFileBytes(out).size(), ReadFileBytes(in).size() + 200 * 1024);

    for (const TReplacementReport& report : reports) {
        EXPECT_TRUE(report.missing.empty()) << report.oldFont << ": " << MissingCharactersText(report.missing);
        EXPECT_FALSE(report.symbolic) << report.oldFont;
        EXPECT_EQ(report.embed, TEmbedState::Embedded);
        EXPECT_TRUE(report.keptWidths);
    }
}

// Text turned by 90 degrees spans, across the page, the height the font
// states: the replacement keeps the ascent and descent that viewers gave the
// old font. A standard font not embedded gets the standard font's, whatever
// its descriptor says; another font its descriptor's.
TEST(EmbedVerticalMetrics, TurnedTextKeepsItsExtentAcrossThePage) {
    std::string widths = "/FirstChar 32 /LastChar 122 /Widths [";
    for (int code = 32; code <= 122; ++code) widths += " 556";
    widths += " ]";
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 400] /Contents 4 0 R "
                "/Resources << /Font << /F1 5 0 R /F2 7 0 R >> >> >>");
    b.Stream(4, "", "BT /F1 20 Tf 0 1 -1 0 100 50 Tm (Standard) Tj ET BT /F2 20 Tf 0 1 -1 0 300 50 Tm (Other) Tj ET");
    b.Object(5, "<< /Type /Font /Subtype /TrueType /BaseFont /ArialMT /Encoding /WinAnsiEncoding " + widths +
                    " /FontDescriptor 6 0 R >>");
    b.Object(6, "<< /Type /FontDescriptor /FontName /ArialMT /Flags 32 /FontBBox [-665 -325 2000 1006] "
                "/ItalicAngle 0 /Ascent 1491 /Descent -431 /CapHeight 716 /StemV 80 >>");
    b.Object(7, "<< /Type /Font /Subtype /TrueType /BaseFont /OwnSans /Encoding /WinAnsiEncoding " + widths +
                    " /FontDescriptor 8 0 R >>");
    b.Object(8, "<< /Type /FontDescriptor /FontName /OwnSans /Flags 32 /FontBBox [-500 -300 1500 1100] "
                "/ItalicAngle 0 /Ascent 1005 /Descent -210 /CapHeight 700 /StemV 80 >>");
    b.Trailer("/Root 1 0 R");
    const std::string in = ScratchDir("turned-text") + "/in.pdf";
    WriteFileBytes(in, b.Build());

    const auto twoFaces = [](const std::string& baseFont) -> std::optional<TFaceChoice> {
        return TFaceChoice{baseFont == "ArialMT" ? "Liberation Sans" : "Liberation Serif"};
    };
    const auto boxesIn = WordBoxes(in);
    ASSERT_EQ(boxesIn.size(), 1u);
    ASSERT_EQ(boxesIn[0].size(), 2u);
    const std::string kept = SaveReplaced(in, "turned-kept", twoFaces, true);
    EXPECT_LE(LargestShift(boxesIn, WordBoxes(kept)), 0.01);
    // The new descriptors' values; the old descriptors are copied as they are.
    const auto newVertical = [](const std::string& path, const std::string& face) {
        const std::vector<uint8_t> bytes = ReadFileBytes(path);
        const std::string text(bytes.begin(), bytes.end());
        std::smatch m;
        const std::regex descriptor("/FontName /[A-Z]{6}\\+" + face + " [^>]*/Ascent (-?[0-9]+) /Descent (-?[0-9]+)");
        return std::regex_search(text, m, descriptor) ? m[1].str() + " " + m[2].str() : std::string("none");
    };
    EXPECT_EQ(newVertical(kept, "LiberationSans"), "718 -207");
    EXPECT_EQ(newVertical(kept, "LiberationSerif"), "1005 -210");

    // With natural widths the new font's own metrics stand.
    const std::string natural = SaveReplaced(in, "turned-natural", twoFaces, false);
    EXPECT_NE(newVertical(natural, "LiberationSerif"), "1005 -210");
    EXPECT_NE(newVertical(natural, "LiberationSerif"), "none");
}

TEST_F(EmbedStd14, AccentedLettersOfDifferencesFontsSurvive) {
    // Times-Roman and Helvetica carry /Differences with ö ü ß and more.
    const std::string out = SaveReplaced(
        in, "std14-differences",
        [](const std::string& base) -> std::optional<TFaceChoice> {
            if (base == "Times-Roman" || base == "Helvetica") return TFaceChoice{"DejaVu Sans"};
            return std::nullopt;
        },
        true);
    const std::string before = ToolOutput("pdftotext -q " + Quoted(in) + " -");
    const std::string after = ToolOutput("pdftotext -q " + Quoted(out) + " -");
    for (const char* letter : {"ü", "ß", "ö", "à", "é", "î", "õ", "Ä", "Ö", "Ü", "©", "°", "½"}) {
        ASSERT_NE(before.find(letter), std::string::npos) << letter;
        EXPECT_NE(after.find(letter), std::string::npos) << letter;
    }
    EXPECT_EQ(after, before);
}

TEST_F(EmbedStd14, OtherWidthsAreKeptOrNaturalAsChosen) {
    auto dejaVuForTimes = [](const std::string& base) -> std::optional<TFaceChoice> {
        if (base == "Times-Roman") return TFaceChoice{"DejaVu Sans"};
        return std::nullopt;
    };
    const auto boxesIn = WordBoxes(in);
    const std::string kept = SaveReplaced(in, "dejavu-kept", dejaVuForTimes, true);
    EXPECT_LE(LargestShift(boxesIn, WordBoxes(kept)), 0.01);

    const std::string natural = SaveReplaced(in, "dejavu-natural", dejaVuForTimes, false);
    const auto boxesNatural = WordBoxes(natural);
    ASSERT_EQ(boxesNatural.size(), boxesIn.size());
    ASSERT_FALSE(boxesIn[0].empty());
    // The first line is set in Times-Roman: DejaVu Sans is wider, so its
    // words end further right, by more than rounding could explain.
    ASSERT_EQ(boxesNatural[0][1].text, "The");
    EXPECT_GT(boxesNatural[0][1].xMax - boxesNatural[0][1].xMin, boxesIn[0][1].xMax - boxesIn[0][1].xMin + 1.0);
    // And the width is DejaVu Sans's own: T, h and e at 14 pt.
    const auto match = MatchFontFile("DejaVu Sans", false, false);
    ASSERT_TRUE(match.has_value());
    FT_Library library;
    FT_Init_FreeType(&library);
    FT_Face face;
    ASSERT_EQ(FT_New_Face(library, match->path.c_str(), match->faceIndex, &face), 0);
    double width = 0;
    for (char ch : std::string("The")) {
        FT_Load_Char(face, static_cast<FT_ULong>(ch), FT_LOAD_NO_SCALE);
        width += std::trunc(face->glyph->advance.x * 1000.0 / face->units_per_EM) * 14 / 1000;
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    EXPECT_NEAR(boxesNatural[0][1].xMax - boxesNatural[0][1].xMin, width, 0.01);
}

}  // namespace

// The subset is made after the pages are written, from the codes each page
// showed as it was written: every page's letters must be in it, not only the
// first page's, also where the pages share one font object.
TEST(EmbedSharedFont, TheSubsetHoldsTheLettersOfEveryPage) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>");
    const std::vector<std::string> texts = {"Abc", "xyz", "Qrs"};
    for (int32_t page = 0; page < 3; ++page) {
        b.Object(3 + page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents " + std::to_string(10 + page) +
                               " 0 R /Resources << /Font << /F1 9 0 R >> >> >>");
        b.Stream(10 + page, "", "BT /F1 24 Tf 40 100 Td (" + texts[static_cast<size_t>(page)] + ") Tj ET");
    }
    b.Object(9, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    b.Trailer("/Root 1 0 R");
    const std::string in = ScratchDir("shared-font-pages") + "/in.pdf";
    WriteFileBytes(in, b.Build());

    const std::string out = SaveReplaced(in, "shared-font-pages-out", MetricTwin, true);
    EXPECT_EQ(RunTool("qpdf --check " + Quoted(out)).status, 0);
    EXPECT_EQ(PageTexts(out), PageTexts(in));
    const auto fonts = PdfFonts(out);
    ASSERT_EQ(fonts.size(), 1u);
    const TEmbeddedCheck check = CheckEmbedded(out, fonts[0].objNum);
    ASSERT_TRUE(check.opened);
    EXPECT_TRUE(check.lacking.empty());
    for (const char32_t letter : std::u32string(U"AbcxyzQrs"))
        EXPECT_NE(check.characters.find(letter), std::u32string::npos) << static_cast<char>(letter);
}
