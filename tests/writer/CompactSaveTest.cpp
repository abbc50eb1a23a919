// Saving in the compact form of PDF 1.5 and later, as a user does with
// glyphwell-cli: objects packed into object streams, the table a stream,
// and nothing written that the new file does not use.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "SavedFileChecks.h"
#include "TestSupport.h"

namespace {

// Catalog 1 with outlines 20 and information 21; the root 2 reaches the
// pages 4 and 5 through node 3, which gives them resources 10 (font 11).
// Page 4 has a Text annotation 7, page 5 a /Resources of its own without
// /Font or /XObject. Object 9 is referenced by nothing.
std::string TreeWithUnusedObjects(const std::string& version) {
    TPdfBuilder b(version);
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 20 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 2 /MediaBox [0 0 400 300] >>");
    b.Object(3, "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R 5 0 R] /Count 2 /Resources 10 0 R >>");
    b.Object(4, "<< /Type /Page /Parent 3 0 R /Contents 6 0 R /Annots [7 0 R] >>");
    b.Object(5, "<< /Type /Page /Parent 3 0 R /Contents 8 0 R /Resources << /ProcSet [/PDF] >> >>");
    b.Stream(6, "", "BT /F1 24 Tf 40 150 Td (Seite eins) Tj ET 0 0 1 rg 40 40 100 50 re f");
    b.Object(7, "<< /Type /Annot /Subtype /Text /Rect [300 200 320 220] /Contents (Notiz) /T (Prüfer) >>");
    b.Stream(8, "", "1 0 0 rg 20 20 200 100 re f");
    b.Object(9, "<< /Orphan (niemand verweist hierher) >>");
    b.Object(10, "<< /Font << /F1 11 0 R >> >>");
    b.Object(11, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    b.Object(20, "<< /Type /Outlines /Count 0 >>");
    b.Object(21, "<< /Title (Kompakt) /Producer (Handarbeit) >>");
    b.Trailer("/Root 1 0 R /Info 21 0 R");
    return b.Build();
}

std::string Save(const std::string& in, const std::string& out, const std::string& extra = "") {
    const TToolResult run = RunTool(Quoted(CliPath()) + " save " + Quoted(in) + " -o " + Quoted(out) + extra);
    EXPECT_EQ(run.status, 0) << run.output;
    return ReadFileText(out);
}

TEST(CompactSave, UnusedObjectsAreLeftOutAndTheRestIsPackedAndDrawsTheSame) {
    const std::string dir = ScratchDir("compact-save-unused");
    const std::string in = dir + "/in.pdf";
    WriteFileBytes(in, TreeWithUnusedObjects("1.6"));
    const std::string out = dir + "/out.pdf";
    const std::string bytes = Save(in, out);
    EXPECT_EQ(bytes.substr(0, 8), "%PDF-1.6") << "the input's own version";

    const TQpdfCheck check = QpdfCheck(out);
    EXPECT_EQ(check.status, 0) << check.output;
    const std::string xref = ToolOutput("qpdf --show-xref " + Quoted(out));
    // The old tree node and the orphan are gone; what the catalog, the
    // trailer and the pages reach is packed, the content streams are not.
    for (const int num : {3, 9}) EXPECT_EQ(xref.find("\n" + std::to_string(num) + "/0: "), std::string::npos) << xref;
    for (const int num : {1, 2, 4, 5, 7, 10, 11, 20, 21})
        EXPECT_TRUE(std::regex_search(xref, std::regex("(^|\n)" + std::to_string(num) + "/0: compressed")))
            << num << "\n" << xref;
    for (const int num : {6, 8})
        EXPECT_TRUE(std::regex_search(xref, std::regex("\n" + std::to_string(num) + "/0: uncompressed"))) << xref;
    // No empty dictionaries for page 5, no second copy of the annotation.
    const std::string page5 = ToolOutput("qpdf --show-object=5 " + Quoted(out));
    EXPECT_EQ(page5.find("/XObject"), std::string::npos) << page5;
    EXPECT_EQ(page5.find("/Font"), std::string::npos) << page5;
    EXPECT_EQ(bytes.find("/Subtype /Text"), std::string::npos) << "annotation text outside an object stream";
    EXPECT_NE(ToolOutput("qpdf --show-object=7 " + Quoted(out)).find("/Subtype /Text"), std::string::npos);

    EXPECT_NE(ToolOutput("pdfinfo " + Quoted(out)).find("Title:           Kompakt"), std::string::npos);
    const TRenderDiff render = CompareRenderings(in, out, dir, 72);
    EXPECT_EQ(render.problem, "");
    EXPECT_LE(render.maxPixelDiff, 16);
    auto reopened = OpenHeadless(out);
    EXPECT_EQ(reopened->doc.pageList.Count(), 2) << reopened->AllMessages();

    // The classic save of the same file keeps every object.
    const std::string classic = Save(in, dir + "/classic.pdf", " --version 1.4");
    EXPECT_EQ(classic.substr(0, 8), "%PDF-1.4");
    EXPECT_NE(classic.find("/Orphan"), std::string::npos);
    EXPECT_LT(bytes.size(), classic.size());
}

TEST(CompactSave, VersionsAreOfferedAndAClassicFileIsSavedCompactOnRequest) {
    const std::string dir = ScratchDir("compact-save-versions");
    const std::string in = dir + "/in.pdf";
    WriteFileBytes(in, TreeWithUnusedObjects("1.4"));
    EXPECT_EQ(Save(in, dir + "/own.pdf").substr(0, 8), "%PDF-1.4") << "a classic file keeps its version";
    for (const std::string version : {"1.5", "1.7"}) {
        SCOPED_TRACE(version);
        const std::string out = dir + "/v" + version + ".pdf";
        const std::string bytes = Save(in, out, " --version " + version);
        EXPECT_EQ(bytes.substr(0, 8), "%PDF-" + version);
        EXPECT_NE(bytes.find("/Type /XRef"), std::string::npos);
        EXPECT_EQ(bytes.find("\rxref\r"), std::string::npos) << "no classic table";
        EXPECT_EQ(QpdfCheck(out).status, 0);
        EXPECT_EQ(CompareRenderings(in, out, dir).problem, "");
    }
    const TToolResult wrong = RunTool(Quoted(CliPath()) + " save " + Quoted(in) + " -o " +
                                      Quoted(dir + "/x.pdf") + " --version 1.8");
    EXPECT_EQ(wrong.status, 64) << wrong.output;
    EXPECT_NE(wrong.output.find("Ungültige PDF-Version: 1.8"), std::string::npos) << wrong.output;
}

}  // namespace
