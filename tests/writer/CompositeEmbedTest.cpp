// glyphwell-cli embed on files whose composite (Type 0) fonts have no
// program: office exports' CID TrueType fonts with Identity-H, Japanese
// fonts named by the Adobe-Japan1 collection with predefined CMaps
// (Identity-V, V), Korean and Chinese ones by theirs. Afterwards
// every font is embedded, the text is the same, no word has moved, and the
// pages render as poppler draws the original with the face it finds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "SavedFileChecks.h"

namespace {

struct TCompositeFile {
    const char* path;      // below tests/data
    int status;            // 0, or 6 where the only face is a generic one
    const char* faces;     // the stand-ins pdffonts may name for the composite fonts (a pattern)
    double differing;      // largest share of page pixels that may differ from the original's rendering
};

void PrintTo(const TCompositeFile& f, std::ostream* os) { *os << f.path; }

class CompositeEmbed : public ::testing::TestWithParam<TCompositeFile> {};

TEST_P(CompositeEmbed, EveryFontIsEmbeddedAndNoWordMoves) {
    const TCompositeFile& file = GetParam();
    const std::string in = DataPath(file.path);
    const std::string scratch = ScratchDir(std::string("composite-embed-") + std::to_string(std::hash<std::string>{}(file.path)));
    const std::string out = scratch + "/out.pdf";
    const TToolResult run = RunTool(Quoted(CliPath()) + " embed " + Quoted(in) + " -o " + Quoted(out) + " 2>&1");
    ASSERT_EQ(run.status, file.status) << run.output;

    const std::vector<TPdfFontLine> fonts = PdfFonts(out);
    ASSERT_FALSE(fonts.empty());
    bool standIn = false;
    for (const TPdfFontLine& font : fonts) {
        SCOPED_TRACE(font.name);
        EXPECT_EQ(font.emb, "yes");
        EXPECT_EQ(font.uni, "yes");
        if (font.type.rfind("CID ", 0) == 0) {
            EXPECT_EQ(font.type, "CID TrueType");
            EXPECT_TRUE(std::regex_search(font.name, std::regex(file.faces)));
            standIn = true;
        }
    }
    EXPECT_TRUE(standIn) << ToolOutput("pdffonts " + Quoted(out));
    EXPECT_EQ(PageTexts(out), PageTexts(in));
    EXPECT_LE(LargestShift(WordBoxes(out), WordBoxes(in)), 0.01);

    // Poppler draws the original with the face fontconfig gives the
    // language, the one the stand-in is: the page looks as it looked.
    const TRenderDiff diff = CompareRenderings(in, out, scratch, 50);
    const std::vector<int64_t> before = PageInk(in, scratch), after = PageInk(out, scratch);
    ASSERT_TRUE(diff.problem.empty()) << diff.problem;
    ASSERT_EQ(after.size(), diff.differingShare.size());
    for (size_t page = 0; page < after.size(); ++page) {
        EXPECT_LE(diff.differingShare[page], file.differing) << "page " << page + 1;
        const double ratio = static_cast<double>(after[page]) / static_cast<double>(before[page]);
        EXPECT_GT(ratio, 0.9) << "page " << page + 1;
        EXPECT_LT(ratio, 1.1) << "page " << page + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, CompositeEmbed,
    // "CIDFont+F1" names no face: the generic one stands in, with status 6.
    // jo.pdf is written top to bottom: its brackets and punctuation are the
    // face's vertical forms, as poppler draws them in the original.
    ::testing::Values(TCompositeFile{"realworld/pdfminer__samples__contrib__issue-00369-excel.pdf", 6, "DejaVuSans", 0.02},
                      TCompositeFile{"realworld/pdfminer__samples__contrib__issue-1059-cmap-decode.pdf", 6, "DejaVuSans", 0.02},
                      TCompositeFile{"realworld/pdfminer__samples__jo.pdf", 0, "IPAexGothic", 0.02},
                      TCompositeFile{"realworld/pdfminer__samples__simple3.pdf", 0, "IPAexGothic", 0.02},
                      // Korean and Chinese: the faces of the set-up for their languages.
                      TCompositeFile{"composite/cjk-collections.pdf", 0, "NanumGothic|UMing", 0.02}));

}  // namespace
