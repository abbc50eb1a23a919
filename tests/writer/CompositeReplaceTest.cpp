// Replacing composite (Type 0) fonts by installed faces, on the hand-made
// file of tests/data/composite (Identity-H and -V, an embedded one-byte
// CMap, a predefined Japanese CMap without /ToUnicode, a form), checked
// with poppler's tools: the same text, every word where it was, the new
// fonts embedded and subset with /ToUnicode, and pages that render as the
// original with the same face standing in.
#include <gtest/gtest.h>

#include <regex>

#include "SavedFileChecks.h"

namespace {

struct TFaceCase {
    const char* family;     // as --add-font takes it
    const char* resource;   // the added font's resource name
    const char* pdfType;    // what pdffonts calls the written font
};

void PrintTo(const TFaceCase& c, std::ostream* os) { *os << c.family; }

class CompositeReplace : public ::testing::TestWithParam<TFaceCase> {};

// The decoded content of a page, as qpdf reads it.
std::string PageContent(const std::string& path, int page) {
    const std::string pages = ToolOutput("qpdf --show-pages " + Quoted(path));
    std::smatch m;
    const std::regex content("page " + std::to_string(page) + R"(: \d+ \d+ R\s+content:\s+(\d+) 0 R)");
    if (!std::regex_search(pages, m, content)) return {};
    std::string data = ToolOutput("qpdf --show-object=" + m[1].str() + " --filtered-stream-data " + Quoted(path));
    // The writer ends a content it writes anew with a line end.
    while (!data.empty() && (data.back() == '\n' || data.back() == '\r')) data.pop_back();
    return data;
}

const std::string kReplaceAll = " --replace /F1=%R --replace /F2=%R --replace /F3=%R --replace /F4=%R --replace /F9=%R";

std::string ReplaceOptions(const std::string& resource) {
    return std::regex_replace(kReplaceAll, std::regex("%R"), resource);
}

TEST_P(CompositeReplace, KeepsTextWordsAndCodes) {
    const TFaceCase& face = GetParam();
    const std::string in = DataPath("composite/type0-both.pdf");
    const std::string scratch = ScratchDir(std::string("composite-replace-") + face.resource);
    const std::string out = scratch + "/out.pdf";
    const TToolResult run = RunTool(Quoted(CliPath()) + " save " + Quoted(in) + " -o " + Quoted(out) +
                                    " --add-font '" + face.family + "'" + ReplaceOptions(face.resource) + " 2>&1");
    ASSERT_EQ(run.status, 0) << run.output;

    EXPECT_EQ(PageTexts(out), PageTexts(in));
    EXPECT_LE(LargestShift(WordBoxes(out), WordBoxes(in)), 0.01);
    const std::vector<TPdfFontLine> fonts = PdfFonts(out);
    // The form draws with the page's Identity-H font.
    ASSERT_EQ(fonts.size(), 4u) << ToolOutput("pdffonts " + Quoted(out));
    for (const TPdfFontLine& font : fonts) {
        SCOPED_TRACE(font.name);
        EXPECT_EQ(font.type, face.pdfType);
        EXPECT_EQ(font.emb, "yes");
        EXPECT_EQ(font.sub, "yes");
        EXPECT_EQ(font.uni, "yes");
    }
    const TQpdfCheck check = QpdfCheck(out);
    EXPECT_EQ(check.status, 0) << check.output;

    // The content keeps its codes: only the fonts change.
    ASSERT_FALSE(PageContent(in, 1).empty());
    EXPECT_EQ(PageContent(out, 1), PageContent(in, 1));
    EXPECT_EQ(PageContent(out, 2), PageContent(in, 2));

    // Page 2 (Identity-H, and a form) as poppler draws the original with
    // the face it finds for the old font's name: the same glyphs in the
    // same places. Page 1 holds fonts poppler draws with other faces
    // (Ryumin-Light) or not at all (the embedded CMap of /F3), so there
    // the ink is compared: a glyph drawn wrong or not at all shifts it.
    const std::vector<int64_t> before = PageInk(in, scratch), after = PageInk(out, scratch);
    ASSERT_EQ(after.size(), 2u);
    const double ratio = static_cast<double>(after[0]) / static_cast<double>(before[0]);
    EXPECT_GT(ratio, 0.8);
    EXPECT_LT(ratio, 1.2);
    const TRenderDiff diff = CompareRenderings(in, out, scratch, 72);
    ASSERT_TRUE(diff.problem.empty()) << diff.problem;
    EXPECT_LT(diff.differingShare[1], 0.01);
}

INSTANTIATE_TEST_SUITE_P(Faces, CompositeReplace,
                         ::testing::Values(TFaceCase{"Liberation Sans", "/LiberationSans", "CID TrueType"},
                                           TFaceCase{"Nimbus Sans", "/NimbusSans", "CID Type 0C"}));

}  // namespace

namespace {

// Codes of an Identity collection without /ToUnicode name no character:
// no face can be told what to draw, and the save is refused.
TEST(CompositeReplaceRefusal, CodesOfUnknownCharacterAreNotReplaced) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 100] /Resources << /Font << /F1 4 0 R >> >>"
                " /Contents 6 0 R >>");
    b.Object(4, "<< /Type /Font /Subtype /Type0 /BaseFont /Arial /Encoding /Identity-H /DescendantFonts [5 0 R] >>");
    b.Object(5, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Arial /CIDSystemInfo << /Registry (Adobe)"
                " /Ordering (Identity) /Supplement 0 >> /DW 600 >>");
    b.Stream(6, "", "BT /F1 12 Tf 10 60 Td <003600370038> Tj ET");
    b.Trailer("/Root 1 0 R");
    const std::string in = b.WriteTo("composite-unknown.pdf");
    const std::string out = ScratchDir("composite-unknown") + "/out.pdf";
    const TToolResult run = RunTool(Quoted(CliPath()) + " save " + Quoted(in) + " -o " + Quoted(out) +
                                    " --add-font 'Liberation Sans' --replace /F1=/LiberationSans 2>&1");
    EXPECT_EQ(run.status, 4) << run.output;
    EXPECT_NE(run.output.find("Arial kann nicht ersetzt werden: für 3 Zeichen ist nicht bekannt"), std::string::npos)
        << run.output;
}

}  // namespace
