// Replacing fonts whose codes are no standard encoding's (embedded subsets
// as office programs and TeX write them, fonts known only by /ToUnicode or
// by glyph names) by an added TrueType font, through glyphwell-cli as a user
// would: each code draws the character it stood for, and where nothing in
// the file says which character that is, the replacement is refused and
// nothing turns into blank paper.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "SavedFileChecks.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

const char* const kReplaceByLiberation = " --add-font 'Liberation Sans' --replace /F1=/LiberationSans";

TToolResult Save(const std::string& in, const std::string& out, const std::string& options) {
    return RunTool(Quoted(CliPath()) + " save " + Quoted(in) + " -o " + Quoted(out) + options);
}

std::string Written(const std::string& dir, const std::string& name, const std::string& bytes) {
    const std::string path = dir + "/" + name;
    WriteFileBytes(path, bytes);
    return path;
}

struct THelloCase {
    THelloFont kind;
    const char* what;
};

class HelloWorldReplaced : public ::testing::TestWithParam<THelloCase> {};

TEST_P(HelloWorldReplaced, DrawsThePageThatTheTextItselfDraws) {
    const std::string dir = ScratchDir(std::string("hello-replaced-") + GetParam().what);
    const std::string in = Written(dir, "in.pdf", HelloWorldDocument(GetParam().kind));
    const std::string reference = Written(dir, "reference.pdf", HelloWorldDocument(THelloFont::HelveticaText));
    const TToolResult saved = Save(in, dir + "/out.pdf", kReplaceByLiberation);
    ASSERT_EQ(saved.status, 0) << saved.output;
    ASSERT_EQ(Save(reference, dir + "/reference-out.pdf", kReplaceByLiberation).status, 0);

    EXPECT_EQ(PageTexts(dir + "/out.pdf"), std::vector<std::string>{"Hello World\n\n"});
    // Each code names the new font's glyph of its character.
    const std::string bytes = ReadFileText(dir + "/out.pdf");
    EXPECT_NE(bytes.find("/Differences [ 1 /H /e /l /o /space /W /r /d ]"), std::string::npos);
    const TRenderDiff render = CompareRenderings(dir + "/out.pdf", dir + "/reference-out.pdf", dir);
    EXPECT_EQ(render.problem, "");
    EXPECT_LE(render.maxPixelDiff, 8);
    if (GetParam().kind == THelloFont::TrueTypeSymbolCmap || GetParam().kind == THelloFont::TrueTypeUnicodeCmap) {
        // The subsets are Liberation Sans themselves: the page looks as it did.
        const TRenderDiff same = CompareRenderings(in, dir + "/out.pdf", dir);
        EXPECT_EQ(same.problem, "");
        EXPECT_LE(same.maxPixelDiff, 16);
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, HelloWorldReplaced,
                         ::testing::Values(THelloCase{THelloFont::ToUnicodeOnly, "ToUnicode"},
                                           THelloCase{THelloFont::GlyphNamesOnly, "GlyphNames"},
                                           THelloCase{THelloFont::TrueTypeSymbolCmap, "SymbolCmap"},
                                           THelloCase{THelloFont::TrueTypeUnicodeCmap, "UnicodeCmap"},
                                           THelloCase{THelloFont::CffCharset, "CffCharset"}),
                         [](const ::testing::TestParamInfo<THelloCase>& param) { return std::string(param.param.what); });

TEST(SubsetReplacement, UnknownCharactersStopTheSaveAndForceKeepsTheOldFont) {
    const std::string dir = ScratchDir("subset-unknown");
    const std::string in = Written(dir, "in.pdf", HelloWorldDocument(THelloFont::NothingSays));
    const std::string out = dir + "/out.pdf";
    const TToolResult refused = Save(in, out, kReplaceByLiberation);
    EXPECT_EQ(refused.status, 4);
    EXPECT_NE(refused.output.find("Seite 1: Private kann nicht ersetzt werden: für 8 Zeichen ist nicht bekannt, "
                                  "welche Buchstaben sie sind."),
              std::string::npos)
        << refused.output;
    EXPECT_NE(refused.output.find("Nichts gespeichert"), std::string::npos);
    EXPECT_FALSE(fs::exists(out));

    const TToolResult forced = Save(in, out, std::string(kReplaceByLiberation) + " --force --json --title Neu");
    ASSERT_EQ(forced.status, 0) << forced.output;
    EXPECT_NE(forced.output.find("\"refused\": [{\"font\": \"Private\", \"replacement\": \"LiberationSans\", "
                                 "\"pages\": [1], \"reason\": \"unknown-characters\", \"unknownCharacters\": 8}]"),
              std::string::npos)
        << forced.output;
    // The rest is written (the title), the font stays what it was.
    EXPECT_NE(ToolOutput("pdfinfo " + Quoted(out)).find("Neu"), std::string::npos);
    const std::string fonts = ToolOutput("pdffonts " + Quoted(out));
    EXPECT_NE(fonts.find("Private"), std::string::npos) << fonts;
    EXPECT_EQ(fonts.find("LiberationSans"), std::string::npos) << fonts;
    const TRenderDiff render = CompareRenderings(in, out, dir);
    EXPECT_EQ(render.problem, "");
    EXPECT_EQ(render.maxPixelDiff, 0);
}

// Two pages with one font whose /ToUnicode names H e l o only: page 1
// shows "Hello", page 2 "Hello World".
std::string TwoPagesOneFont() {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [4 0 R 5 0 R] /Count 2 >>");
    b.Object(3, "<< /Type /Font /Subtype /TrueType /BaseFont /Private /FirstChar 1 /LastChar 8"
                " /Widths [722 556 222 556 278 944 333 556] /FontDescriptor 6 0 R /ToUnicode 7 0 R >>");
    for (int page = 4; page <= 5; ++page)
        b.Object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 100] /Resources << /Font << /F1 3 0 R >> >>"
                       " /Contents " + std::to_string(page + 4) + " 0 R >>");
    b.Object(6, "<< /Type /FontDescriptor /FontName /Private /Flags 4 /FontBBox [0 -212 1000 905] /ItalicAngle 0"
                " /Ascent 905 /Descent -212 /CapHeight 688 /StemV 80 >>");
    b.Stream(7, "", "1 begincodespacerange <00> <FF> endcodespacerange\n"
                    "4 beginbfchar <01> <0048> <02> <0065> <03> <006C> <04> <006F> endbfchar\n");
    b.Stream(8, "", "BT /F1 24 Tf 20 40 Td <0102030304> Tj ET");
    b.Stream(9, "", std::string("BT /F1 24 Tf 20 40 Td ") + kHelloWorldCodes + " Tj ET");
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

TEST(SubsetReplacement, OnlyThePageThatShowsUnknownCharactersKeepsTheOldFont) {
    const std::string dir = ScratchDir("subset-per-page");
    const std::string in = Written(dir, "in.pdf", TwoPagesOneFont());
    const std::string out = dir + "/out.pdf";
    const TToolResult refused = Save(in, out, kReplaceByLiberation);
    EXPECT_EQ(refused.status, 4);
    EXPECT_NE(refused.output.find("Seite 2: Private kann nicht ersetzt werden: für 4 Zeichen"), std::string::npos)
        << refused.output;
    EXPECT_EQ(refused.output.find("Seite 1:"), std::string::npos) << refused.output;

    ASSERT_EQ(Save(in, out, std::string(kReplaceByLiberation) + " --force").status, 0);
    // Page 1 draws with the embedded subset, page 2 exactly as before.
    EXPECT_TRUE(std::regex_search(ToolOutput("pdffonts " + Quoted(out)),
                                  std::regex("[A-Z]{6}\\+LiberationSans +TrueType +Custom +yes yes yes")));
    EXPECT_EQ(PageTexts(out).at(0), "Hello\n\n");
    const std::string runs = ToolOutput(Quoted(CliPath()) + " runs " + Quoted(out));
    EXPECT_NE(runs.find("1\t/LiberationSans\t"), std::string::npos) << runs;
    EXPECT_NE(runs.find("2\t/F1\t"), std::string::npos) << runs;
    RunTool("qpdf " + Quoted(in) + " --pages . 2 -- " + Quoted(dir + "/in-2.pdf"));
    RunTool("qpdf " + Quoted(out) + " --pages . 2 -- " + Quoted(dir + "/out-2.pdf"));
    const TRenderDiff pageTwo = CompareRenderings(dir + "/in-2.pdf", dir + "/out-2.pdf", dir);
    EXPECT_EQ(pageTwo.problem, "");
    EXPECT_EQ(pageTwo.maxPixelDiff, 0);
}

TEST(SubsetReplacement, AFontOfThePageIsRefusedWhereItDrawsOtherLetters) {
    const std::string dir = ScratchDir("subset-page-font");
    // An office subset (codes 1 to 8, a (3,0) cmap) beside Helvetica: under
    // WinAnsiEncoding its codes draw nothing.
    const std::string in = Written(dir, "in.pdf", HelloWorldDocument(THelloFont::TrueTypeSymbolCmap, true));
    const std::string out = dir + "/out.pdf";
    const TToolResult refused = Save(in, out, " --replace /F1=/F2");
    EXPECT_EQ(refused.status, 4);
    EXPECT_NE(refused.output.find("Seite 1: AAAAAA+LiberationSans kann nicht durch Helvetica ersetzt werden: "
                                  "Helvetica zeigt für 8 Zeichen andere Buchstaben oder gar keine."),
              std::string::npos)
        << refused.output;
    EXPECT_FALSE(fs::exists(out));
    const TToolResult forced = Save(in, out, " --replace /F1=/F2 --force --json");
    ASSERT_EQ(forced.status, 0) << forced.output;
    EXPECT_NE(forced.output.find("\"reason\": \"other-characters\", \"otherCharacters\": 8"), std::string::npos)
        << forced.output;
    EXPECT_EQ(CompareRenderings(in, out, dir).maxPixelDiff, 0);

    // The same words in Helvetica's own codes go over to the other
    // Helvetica as they are.
    const std::string text = Written(dir, "text.pdf", HelloWorldDocument(THelloFont::HelveticaText, true));
    const TToolResult replaced = Save(text, dir + "/text-out.pdf", " --replace /F1=/F2");
    ASSERT_EQ(replaced.status, 0) << replaced.output;
    const std::string runs = ToolOutput(Quoted(CliPath()) + " runs " + Quoted(dir + "/text-out.pdf"));
    EXPECT_NE(runs.find("1\t/F2\t"), std::string::npos) << runs;
    const TRenderDiff render = CompareRenderings(text, dir + "/text-out.pdf", dir);
    EXPECT_EQ(render.problem, "");
    EXPECT_EQ(render.maxPixelDiff, 0);
}

TEST(SubsetReplacement, SimpleAndCompositeFontsOfThePageAreNeverExchanged) {
    const std::string dir = ScratchDir("subset-code-widths");
    const std::string in = Written(dir, "in.pdf", SimpleAndCompositeDocument());
    const std::string out = dir + "/out.pdf";
    const struct {
        const char* options;
        const char* message;
    } cases[] = {
        {" --replace /F1=/F2",
         "Seite 1: Helvetica kann nicht durch Arial ersetzt werden: Arial ist eine zusammengesetzte Schrift mit "
         "Zeichencodes aus mehreren Bytes, Helvetica eine einfache mit einem Byte je Zeichen."},
        {" --replace /F2=/F1",
         "Seite 1: Arial kann nicht durch Helvetica ersetzt werden: Arial ist eine zusammengesetzte Schrift"},
    };
    for (const auto& c : cases) {
        const TToolResult refused = Save(in, out, c.options);
        EXPECT_EQ(refused.status, 4) << c.options;
        EXPECT_NE(refused.output.find(c.message), std::string::npos) << refused.output;
        EXPECT_FALSE(fs::exists(out));
    }
    // With --force the old font stays, and so does its text.
    ASSERT_EQ(Save(in, out, std::string(cases[1].options) + " --force").status, 0);
    EXPECT_EQ(PageTexts(out), PageTexts(in));
    EXPECT_EQ(CompareRenderings(in, out, dir).maxPixelDiff, 0);
}

// An office export's CID TrueType font without a program: replaced by an
// installed face it stays a composite font with the same codes.
TEST(SubsetReplacement, ACompositeFontOfARealFileIsReplacedByACompositeOne) {
    const std::string dir = ScratchDir("subset-realworld-type0");
    const std::string in = DataPath("realworld/pdfminer__samples__contrib__issue-1059-cmap-decode.pdf");
    const std::string fonts = ToolOutput(Quoted(CliPath()) + " fonts --json " + Quoted(in));
    std::smatch m;
    ASSERT_TRUE(std::regex_search(fonts, m, std::regex(R"re("page": 1, "resource": "([^"]+)"[^}]*"subtype": "/Type0")re")))
        << fonts;
    const TToolResult saved =
        Save(in, dir + "/out.pdf", " --add-font 'Liberation Sans' --replace '1:" + m[1].str() + "=/LiberationSans'");
    ASSERT_EQ(saved.status, 0) << saved.output;
    EXPECT_EQ(PageTexts(dir + "/out.pdf"), PageTexts(in));
    EXPECT_LE(LargestShift(WordBoxes(dir + "/out.pdf"), WordBoxes(in)), 0.01);
    const std::vector<TPdfFontLine> written = PdfFonts(dir + "/out.pdf");
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].type, "CID TrueType");
    EXPECT_EQ(written[0].emb, "yes");
}

TEST(SubsetReplacement, EmbedWithARuleNamingASubsetMapsItsCodesToo) {
    const std::string dir = ScratchDir("subset-embed");
    const std::string subset = Written(dir, "subset.pdf", HelloWorldDocument(THelloFont::CffCharset));
    const std::string reference = Written(dir, "reference.pdf", HelloWorldDocument(THelloFont::HelveticaText));
    const TToolResult embedded = RunTool(Quoted(CliPath()) + " embed " + Quoted(subset) +
                                         " --rule 'NimbusSans-Regular=Liberation Sans' -o " + Quoted(dir + "/out.pdf"));
    ASSERT_EQ(embedded.status, 0) << embedded.output;
    ASSERT_EQ(Save(reference, dir + "/reference-out.pdf", kReplaceByLiberation).status, 0);
    EXPECT_EQ(PageTexts(dir + "/out.pdf"), std::vector<std::string>{"Hello World\n\n"});
    EXPECT_LE(CompareRenderings(dir + "/out.pdf", dir + "/reference-out.pdf", dir).maxPixelDiff, 8);

    // Where nothing names the characters the font stays, the file is
    // written with the others, and the report says why.
    const std::string unknown = Written(dir, "unknown.pdf", HelloWorldDocument(THelloFont::NothingSays));
    const TToolResult kept = RunTool(Quoted(CliPath()) + " embed " + Quoted(unknown) +
                                     " --rule 'Private=Liberation Sans' -o " + Quoted(dir + "/kept.pdf"));
    EXPECT_EQ(kept.status, 6) << kept.output;
    EXPECT_NE(kept.output.find("Seite 1: Private kann nicht ersetzt werden: für 8 Zeichen"), std::string::npos)
        << kept.output;
    ASSERT_TRUE(fs::exists(dir + "/kept.pdf"));
    EXPECT_EQ(CompareRenderings(unknown, dir + "/kept.pdf", dir).maxPixelDiff, 0);
}

}  // namespace
