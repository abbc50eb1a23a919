// What a saved file must not take over from its original's structure, and
// what it must keep where that structure is damaged: a linearized file's
// parameter dictionary and hint stream, a page without a media box, pages
// whose catalog names no usable page tree, and the trailer's identifier.
// Each case is saved by glyphwell-cli and checked by qpdf and poppler.
#include <gtest/gtest.h>

#include <regex>

#include "SavedFileChecks.h"
#include "TestSupport.h"

namespace {

std::string Save(const std::string& in, const std::string& out) {
    const TToolResult save = RunTool(Quoted(CliPath()) + " save " + Quoted(in) + " -o " + Quoted(out));
    EXPECT_EQ(save.status, 0) << save.output;
    return save.output;
}

void ExpectSameRendering(const std::string& original, const std::string& saved, const std::string& dir) {
    const TRenderDiff render = CompareRenderings(original, saved, dir, 50, 3);
    EXPECT_EQ(render.problem, "");
    EXPECT_EQ(render.maxPixelDiff, 0);
}

TEST(SavedLinearizedFile, LosesItsLinearizationDictionaryAndHintStream) {
    const std::string dir = ScratchDir("save-linearized");
    WriteFileBytes(dir + "/plain.pdf", FormsDocument());
    // Object streams as well, as a PDF 1.6 producer writes them.
    const TToolResult linearize = RunTool("qpdf --linearize --object-streams=generate " + Quoted(dir + "/plain.pdf") +
                                          " " + Quoted(dir + "/in.pdf"));
    ASSERT_EQ(linearize.status, 0) << linearize.output;
    const std::string in = ReadFileText(dir + "/in.pdf");
    std::smatch hint;
    ASSERT_TRUE(std::regex_search(in, hint, std::regex("/Linearized 1 .*/H \\[ ?(\\d+) ")));
    // The object at the hint stream's offset: "N 0 obj".
    const size_t hintOffset = std::stoul(hint[1]);
    const int hintNum = std::stoi(in.substr(hintOffset, in.find(' ', hintOffset) - hintOffset));

    const std::string out = dir + "/out.pdf";
    Save(dir + "/in.pdf", out);
    const std::string bytes = ReadFileText(out);
    EXPECT_EQ(bytes.find("/Linearized"), std::string::npos);
    const TToolResult xref = RunTool("qpdf --show-xref " + Quoted(out));
    EXPECT_EQ(xref.output.find("\n" + std::to_string(hintNum) + "/0: uncompressed"), std::string::npos)
        << "hint stream " << hintNum << " kept:\n" << xref.output;
    const TQpdfCheck check = QpdfCheck(out);
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_NE(check.output.find("File is not linearized"), std::string::npos) << check.output;
    // The FreeText note and the widget draw from their appearances as before.
    ExpectSameRendering(dir + "/in.pdf", out, dir);
}

TEST(SavedPageWithoutMediaBox, KeepsTheOmissionAndRendersAsBefore) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 5 0 R >> >> /Contents 4 0 R >>");
    // Text near the top and a line to the far corner show where the page ends.
    b.Stream(4, "", "BT /F1 24 Tf 20 740 Td (no box) Tj ET 0 0 m 612 792 l S");
    b.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    b.Trailer("/Root 1 0 R");
    const std::string dir = ScratchDir("save-no-mediabox");
    WriteFileBytes(dir + "/in.pdf", b.Build());
    const std::string out = dir + "/out.pdf";
    Save(dir + "/in.pdf", out);

    EXPECT_EQ(CountKey(ReadFileText(out), "/MediaBox"), 0) << ObjectText(ReadFileText(out), 3);
    const std::vector<TPageGeometry> before = PageGeometry(dir + "/in.pdf");
    const std::vector<TPageGeometry> after = PageGeometry(out);
    ASSERT_EQ(after.size(), 1u);
    ASSERT_EQ(before.size(), 1u);
    EXPECT_EQ(after[0].width, before[0].width);
    EXPECT_EQ(after[0].height, before[0].height);
    ExpectSameRendering(dir + "/in.pdf", out, dir);
}

// Two pages (3 and 5) under a tree node 2 that the catalog does not reach;
// the cross-reference table points 7 bytes off, so the reader rebuilds it.
std::string DamagedCatalog(const std::string& catalog, const std::string& extraObject = {}) {
    TPdfBuilder b;
    b.Object(1, catalog);
    for (int32_t page : {3, 5}) {
        b.Object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources << /Font << /F1 9 0 R >> >> "
                       "/Contents " + std::to_string(page + 1) + " 0 R >>");
        b.Stream(page + 1, "", "BT /F1 24 Tf 20 100 Td (page " + std::to_string(page) + ") Tj ET");
    }
    b.Object(9, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    if (!extraObject.empty()) b.Object(10, extraObject);
    b.Trailer("/Root 1 0 R");
    std::string bytes = b.Build();
    const size_t at = bytes.rfind("startxref\n") + 10;
    const size_t end = bytes.find('\n', at);
    bytes.replace(at, end - at, std::to_string(std::stol(bytes.substr(at, end - at)) + 7));
    return bytes;
}

TEST(SavedFileWithoutUsablePageTree, KeepsThePagesItsTableHolds) {
    // The same two pages under a sound tree, for the rendering to compare with.
    TPdfBuilder sound;
    sound.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    sound.Object(2, "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 >>");
    for (int32_t page : {3, 5}) {
        sound.Object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources << /Font << /F1 9 0 R >> "
                           ">> /Contents " + std::to_string(page + 1) + " 0 R >>");
        sound.Stream(page + 1, "", "BT /F1 24 Tf 20 100 Td (page " + std::to_string(page) + ") Tj ET");
    }
    sound.Object(9, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    sound.Trailer("/Root 1 0 R");
    const std::string reference = ScratchDir("save-page-tree-reference") + "/sound.pdf";
    WriteFileBytes(reference, sound.Build());

    const struct {
        const char* name;
        std::string file;
    } cases[] = {
        {"pages-nowhere", DamagedCatalog("<< /Type /Catalog /Pages 99 0 R /PageMode /UseNone >>")},
        {"pages-missing", DamagedCatalog("<< /Type /Catalog /PageMode /UseNone >>")},
        {"pages-a-font", DamagedCatalog("<< /Type /Catalog /Pages 9 0 R /PageMode /UseNone >>")},
        {"pages-empty-node", DamagedCatalog("<< /Type /Catalog /Pages 10 0 R /PageMode /UseNone >>",
                                            "<< /Type /Pages /Kids [] /Count 0 >>")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = ScratchDir(std::string("save-page-tree-") + c.name);
        WriteFileBytes(dir + "/in.pdf", c.file);
        const std::string out = dir + "/out.pdf";
        const std::string said = Save(dir + "/in.pdf", out);
        EXPECT_NE(said.find("Gespeichert: " + out + " (2 Seiten)"), std::string::npos) << said;

        const TQpdfCheck check = QpdfCheck(out);
        EXPECT_EQ(check.status, 0) << check.output;
        ASSERT_EQ(PageGeometry(out).size(), 2u);
        ExpectSameRendering(reference, out, dir);
        // The catalog keeps its other entries; the font keeps its object.
        const std::string bytes = ReadFileText(out);
        EXPECT_NE(ObjectText(bytes, 1).find("/PageMode /UseNone"), std::string::npos) << ObjectText(bytes, 1);
        EXPECT_NE(ObjectText(bytes, 9).find("/BaseFont /Helvetica"), std::string::npos) << ObjectText(bytes, 9);
    }
}

TEST(SavedPageTreeThatIsOnePage, KeepsThatPage) {
    // The catalog names the page itself, which poppler also shows.
    const std::string dir = ScratchDir("save-page-tree-single");
    WriteFileBytes(dir + "/in.pdf", DamagedCatalog("<< /Type /Catalog /Pages 3 0 R >>"));
    const std::string out = dir + "/out.pdf";
    Save(dir + "/in.pdf", out);
    EXPECT_EQ(QpdfCheck(out).status, 0);
    ASSERT_EQ(PageGeometry(out).size(), 2u);
    const TRenderDiff first = CompareRenderings(dir + "/in.pdf", out, dir, 50, 1);
    EXPECT_EQ(first.problem, "");
    EXPECT_EQ(first.maxPixelDiff, 0);
}

TEST(SavedTrailer, KeepsTheFilesIdentifier) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
    b.Trailer("/Root 1 0 R /ID [<0123456789ABCDEF0123456789ABCDEF> (lit\\)eral)]");
    const std::string dir = ScratchDir("save-trailer-id");
    WriteFileBytes(dir + "/in.pdf", b.Build());
    const std::string out = dir + "/out.pdf";
    Save(dir + "/in.pdf", out);
    auto idOf = [](const std::string& path) {
        const std::string trailer = ToolOutput("qpdf --show-object=trailer " + Quoted(path));
        const size_t at = trailer.find("/ID [");
        return at == std::string::npos ? std::string() : trailer.substr(at, trailer.find(']', at) - at);
    };
    EXPECT_NE(idOf(dir + "/in.pdf"), "");
    EXPECT_EQ(idOf(out), idOf(dir + "/in.pdf"));
}

}  // namespace
