// Hand-made files for what a save must not lose: attributes a page inherits
// from any node of a deep page tree, boxes with fractions, added fonts in
// empty or indirect font dictionaries, and table entries that point at
// bytes of something else.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ContentRewrite.h"
#include "FontTable.h"
#include "PdfWriter.h"
#include "SaveCommand.h"
#include "SavedFileChecks.h"
#include "TestSupport.h"
#include "WriterParts_p.h"

namespace {

std::vector<std::string> FontsOfPage(const TPdfDocument& doc, int32_t pageIndex) {
    std::vector<std::string> names;
    for (const TFontRecord& font : doc.fontList)
        if (font.pageIndex == pageIndex && !font.hidden && font.use == TFontUse::PageContent)
            names.push_back(font.resName);
    std::sort(names.begin(), names.end());
    return names;
}

void AddFont(TPdfDocument& doc, const std::string& resName) {
    TFontRecord* font = doc.fontList.Append();
    font->hidden = 1;
    font->resName = resName;
    font->baseFontName = resName + ",Bold";
    font->fontDictExtra = "/FirstChar 32 /LastChar 32 /Widths [250 ] ";
}

// Saves through the command, as the window does; the document then holds
// the saved file.
std::string SaveTo(THeadlessDoc& h, const std::string& dir) {
    const std::string out = dir + "/out.pdf";
    h.ui.saveFileName = out;
    EXPECT_TRUE(SavePdfCommand(h.doc)) << h.AllMessages();
    return out;
}

std::string Text(int32_t page) {
    return "BT /F1 12 Tf 72 500 Td (page " + std::to_string(page) + ") Tj ET";
}

// root 2 -> node 3 (/Resources 10 0 R, /MediaBox with fractions)
//   -> node 4 (/Rotate 90, /Kids as an array object 5)
//     -> node 6 (/CropBox with fractions) -> pages 11 and 12 (12 has its own
//        /Resources and /Rotate)
//     -> page 7 (its own /MediaBox)
//     -> node 8 (direct /Resources) -> pages 13 and 14
std::string DeepTree() {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 5 /MediaBox [0 0 612 792] >>");
    b.Object(3, "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R] /Count 5 /Resources 10 0 R "
                "/MediaBox [0 0 595.276 841.89] >>");
    b.Object(4, "<< /Type /Pages /Parent 3 0 R /Kids 5 0 R /Count 5 /Rotate 90 >>");
    b.Object(5, "[6 0 R 7 0 R 8 0 R]");
    b.Object(6, "<< /Type /Pages /Parent 4 0 R /Kids [11 0 R 12 0 R] /Count 2 /CropBox [10.5 20.25 500.125 800] >>");
    b.Object(7, "<< /Type /Page /Parent 4 0 R /MediaBox [0 0 445.5 600] /Contents 23 0 R >>");
    b.Object(8, "<< /Type /Pages /Parent 4 0 R /Kids [13 0 R 14 0 R] /Count 2 "
                "/Resources << /Font << /F1 16 0 R /F9 15 0 R >> /ProcSet [/PDF /Text] >> >>");
    b.Object(10, "<< /Font << /F1 15 0 R /F2 16 0 R >> >>");
    b.Object(11, "<< /Type /Page /Parent 6 0 R /Contents 21 0 R >>");
    b.Object(12, "<< /Type /Page /Parent 6 0 R /Rotate 0 /Resources << /Font << /F1 16 0 R /F3 15 0 R >> >> "
                 "/Contents 22 0 R >>");
    b.Object(13, "<< /Type /Page /Parent 8 0 R /Contents 24 0 R >>");
    b.Object(14, "<< /Type /Page /Parent 8 0 R /Contents 25 0 R >>");
    b.Object(15, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    b.Object(16, "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding /WinAnsiEncoding >>");
    for (int32_t page = 1; page <= 5; ++page) b.Stream(20 + page, "", Text(page));
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

TEST(SaveInheritance, PagesTakeResourcesAndBoxesFromTheNearestNodeAtAnyDepth) {
    const std::string dir = ScratchDir("deep-tree");
    WriteFileBytes(dir + "/in.pdf", DeepTree());
    auto h = OpenHeadless(dir + "/in.pdf");
    const TPdfDocument& doc = h->doc;
    ASSERT_EQ(doc.pageList.Count(), 5) << h->AllMessages();
    EXPECT_TRUE(h->ui.messages.empty() && h->OpenErrors().empty()) << h->AllMessages();

    // The font table: what each page uses, inherited or its own.
    const std::vector<std::vector<std::string>> expected = {
        {"/F1", "/F2"}, {"/F1", "/F3"}, {"/F1", "/F2"}, {"/F1", "/F9"}, {"/F1", "/F9"}};
    for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(FontsOfPage(doc, i), expected[static_cast<size_t>(i)]) << "page " << i + 1;
    EXPECT_DOUBLE_EQ(doc.pageList[0].mediaBox[2], 595.276);
    EXPECT_DOUBLE_EQ(doc.pageList[2].mediaBox[2], 445.5);

    const std::string in = dir + "/in.pdf";
    const std::string out = SaveTo(*h, dir);
    EXPECT_EQ(QpdfCheck(out).status, 0) << QpdfCheck(out).output;
    const std::vector<TPageGeometry> geometryIn = PageGeometry(in);
    const std::vector<TPageGeometry> geometryOut = PageGeometry(out);
    ASSERT_EQ(geometryIn.size(), 5u);
    ASSERT_EQ(geometryOut.size(), 5u);
    // The crop box decides the size poppler reports; page 3 lies outside
    // the node that has one.
    EXPECT_NEAR(geometryIn[0].width, 489.625, 0.001);
    EXPECT_NEAR(geometryIn[2].width, 445.5, 0.001);
    const int rotations[] = {90, 0, 90, 90, 90};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_NEAR(geometryOut[i].width, geometryIn[i].width, 0.001) << "page " << i + 1;
        EXPECT_NEAR(geometryOut[i].height, geometryIn[i].height, 0.001) << "page " << i + 1;
        EXPECT_EQ(geometryIn[i].rotation, rotations[i]) << "page " << i + 1;
        EXPECT_EQ(geometryOut[i].rotation, rotations[i]) << "page " << i + 1;
    }
    const std::vector<std::string> texts = PageTexts(out);
    ASSERT_EQ(texts.size(), 5u);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(texts[i], "page " + std::to_string(i + 1) + "\n\n") << "page " << i + 1;
    EXPECT_EQ(texts, PageTexts(in));

    // The numbers stand as they stood; no box is rounded.
    const std::string bytes = ReadFileText(out);
    EXPECT_NE(ObjectText(bytes, 11).find("/MediaBox [ 0 0 595.276 841.89 ]"), std::string::npos) << ObjectText(bytes, 11);
    EXPECT_NE(ObjectText(bytes, 11).find("/CropBox [ 10.5 20.25 500.125 800 ]"), std::string::npos);
    EXPECT_NE(ObjectText(bytes, 7).find("/MediaBox [ 0 0 445.5 600 ]"), std::string::npos) << ObjectText(bytes, 7);
    // The pages below node 8 share its resources as one new object.
    const std::string page13 = ObjectText(bytes, 13), page14 = ObjectText(bytes, 14);
    const size_t at = page13.find("/Resources ");
    ASSERT_NE(at, std::string::npos) << page13;
    const std::string reference = page13.substr(at, page13.find('\r', at) - at);
    EXPECT_NE(reference.find(" 0 R"), std::string::npos) << reference;
    EXPECT_NE(page14.find(reference + "\r"), std::string::npos) << page14;
}

TEST(SaveInheritance, AnAddedFontReachesEveryPageOfTheDeepTree) {
    const std::string dir = ScratchDir("deep-tree-font");
    WriteFileBytes(dir + "/in.pdf", DeepTree());
    auto h = OpenHeadless(dir + "/in.pdf");
    ASSERT_EQ(h->doc.pageList.Count(), 5) << h->AllMessages();
    AddFont(h->doc, "/Arial");
    for (TFontRecord& font : h->doc.fontList)
        if (!font.hidden && font.pageIndex == 4 && font.resName == "/F1") font.replacementName = "/Arial";
    const std::string out = SaveTo(*h, dir);
    EXPECT_EQ(QpdfCheck(out).status, 0) << QpdfCheck(out).output;
    for (int32_t page = 1; page <= 5; ++page) {
        const TToolResult fonts = RunTool("pdffonts -f " + std::to_string(page) + " -l " + std::to_string(page) + " " +
                                          Quoted(out));
        EXPECT_NE(fonts.output.find("Arial,Bold"), std::string::npos) << "page " << page << "\n" << fonts.output;
    }
    // Read again by the save: the replaced page still has its text, drawn
    // in the added font.
    EXPECT_EQ(PageTexts(out).at(4), "page 5\n\n");
    EXPECT_EQ(FontsOfPage(h->doc, 4), (std::vector<std::string>{"/Arial", "/F1", "/F9"}));
}

// One page whose resources take many shapes; the added font must land in
// the one /Font dictionary the page has.
TEST(SaveResources, AddedFontJoinsEmptyDirectAndIndirectFontDictionariesOnce) {
    const struct {
        const char* name;
        std::string root;       // entries of the page-tree root besides /Kids and /Count
        std::string resources;  // the page's /Resources entry ("" for none)
        std::string object6;    // "" for none
        std::string object7;
        std::vector<std::string> oldFonts;  // what pdffonts must still list
    } cases[] = {
        {"direct-empty-font", "", "/Resources << /Font << >> >>", "", "", {}},
        {"direct-empty-both", "", "/Resources << /Font << >> /XObject << >> >>", "", "", {}},
        {"direct-font-indirect-empty", "", "/Resources << /Font 6 0 R >>", "<< >>", "", {}},
        {"indirect-empty-font", "", "/Resources 6 0 R", "<< /Font << >> /XObject << >> >>", "", {}},
        {"indirect-font-indirect", "", "/Resources 6 0 R", "<< /Font 7 0 R >>", "<< /F1 5 0 R >>", {"Helvetica"}},
        {"indirect-without-font", "", "/Resources 6 0 R", "<<>>", "", {}},
        {"direct-tight", "", "/Resources <</Font<</F1 5 0 R>>/XObject<<>>>>", "", "", {"Helvetica"}},
        {"inherited-direct-empty", "/Resources << /Font << >> >>", "", "", "", {}},
        {"inherited-indirect", "/Resources 6 0 R", "", "<< /Font 7 0 R /XObject << >> >>", "<< >>", {}},
    };
    for (const auto& c : cases) {
        TPdfBuilder b;
        b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 200 200] " + c.root + " >>");
        b.Object(3, "<< /Type /Page /Parent 2 0 R " + c.resources + " /Contents 4 0 R >>");
        b.Stream(4, "", "BT /F1 12 Tf 10 100 Td (x) Tj ET");
        b.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
        if (!c.object6.empty()) b.Object(6, c.object6);
        if (!c.object7.empty()) b.Object(7, c.object7);
        b.Trailer("/Root 1 0 R");
        const std::string dir = ScratchDir(std::string("font-dicts-") + c.name);
        WriteFileBytes(dir + "/in.pdf", b.Build());
        auto h = OpenHeadless(dir + "/in.pdf");
        ASSERT_EQ(h->doc.pageList.Count(), 1) << c.name << h->AllMessages();
        AddFont(h->doc, "/Arial");
        const std::string out = SaveTo(*h, dir);
        const std::string bytes = ReadFileText(out);

        const TQpdfCheck check = QpdfCheck(out);
        EXPECT_EQ(check.status, 0) << c.name << "\n" << check.output;
        const TToolResult fonts = RunTool("pdffonts " + Quoted(out));
        EXPECT_NE(fonts.output.find("Arial,Bold"), std::string::npos) << c.name << "\n" << fonts.output;
        for (const std::string& old : c.oldFonts)
            EXPECT_NE(fonts.output.find(old), std::string::npos) << c.name << "\n" << fonts.output;
        // The dictionaries that make up the page's resources: the page
        // itself and the objects its /Resources and /Font refer to.
        std::string resources = ObjectText(bytes, 3);
        for (const char* key : {"/Resources ", "/Font "}) {
            const size_t at = resources.find(key);
            int32_t num = 0, gen = 0;
            char r = 0;
            if (at != std::string::npos &&
                std::sscanf(resources.c_str() + at + std::strlen(key), "%d %d %c", &num, &gen, &r) == 3 && r == 'R')
                resources += ObjectText(bytes, num);
        }
        EXPECT_EQ(CountKey(resources, "/Font"), 1) << c.name << "\n" << resources;
        EXPECT_EQ(CountKey(resources, "/XObject"), 1) << c.name << "\n" << resources;
        EXPECT_EQ(CountKey(resources, "/Arial"), 1) << c.name << "\n" << resources;
    }
}

// Object 6's entry is in use at offset 0 (the file header) and the object
// is nowhere in the file; object 7's entry points at object 5. Copied as the
// table says, those bytes would make a damaged file: 7 is taken from where
// it really stands, 6 becomes null.
TEST(SaveCopy, EntriesThatDoNotPointAtTheirObjectAreFoundOrWrittenAsNull) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << /Font << /F1 5 0 R >> >> "
                "/Contents 4 0 R /PieceInfo << /A 6 0 R /B 7 0 R >> >>");
    b.Stream(4, "", "BT /F1 12 Tf 10 100 Td (kept) Tj ET");
    b.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    b.Object(7, "(seven)");
    b.Trailer("/Root 1 0 R");
    std::string bytes = b.Build();
    const size_t table = bytes.find("xref\n0 8\n") + 9;
    auto entry = [&](int32_t num) { return table + 20 * static_cast<size_t>(num); };
    bytes.replace(entry(6), 18, "0000000000 00000 n");
    bytes.replace(entry(7), 10, bytes.substr(entry(5), 10));

    const std::string dir = ScratchDir("misplaced");
    WriteFileBytes(dir + "/in.pdf", bytes);
    auto h = OpenHeadless(dir + "/in.pdf");
    ASSERT_EQ(h->doc.pageList.Count(), 1) << h->AllMessages();
    const std::string out = dir + "/out.pdf";
    h->ui.saveFileName = out;
    TellUndecodablePages(h->doc);
    TWriteReport report;
    ASSERT_TRUE(SavePDFNew(h->doc, &report)) << h->AllMessages();
    EXPECT_EQ(report.missingObjects, 1);
    const std::string written = ReadFileText(out);
    EXPECT_NE(written.find("\r6 0 obj null endobj\r"), std::string::npos);
    EXPECT_EQ(ObjectText(written, 7), "(seven)\n");
    EXPECT_NE(ObjectText(written, 5).find("/BaseFont /Helvetica"), std::string::npos);
    EXPECT_EQ(written.find("%PDF", 10), std::string::npos) << "the header was copied as an object";
    const TQpdfCheck check = QpdfCheck(out);
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_EQ(PageTexts(out), std::vector<std::string>{"kept\n\n"});
}

// Some producers write annotation dictionaries straight into /Annots; such
// annotations have no number, and the array stays as it is.
TEST(SaveAnnotations, DictionariesInsideTheAnnotsArraySurviveASave) {
    const std::string square = "<< /Type /Annot /Subtype /Square /Rect [20 20 180 90] /C [0 0 0] /IC [0 0 0] "
                               "/Border [0 0 8] >>";
    for (const bool indirectArray : {false, true}) {
        TPdfBuilder b;
        b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << /Font << /F1 5 0 R >> >> "
                    "/Contents 4 0 R /Annots " + (indirectArray ? std::string("6 0 R") : "[" + square + "]") + " >>");
        b.Stream(4, "", "BT /F1 12 Tf 10 150 Td (note) Tj ET");
        b.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
        b.Object(6, "[" + square + "]");
        b.Trailer("/Root 1 0 R");
        const std::string dir = ScratchDir(indirectArray ? "annots-indirect" : "annots-direct");
        WriteFileBytes(dir + "/in.pdf", b.Build());
        auto h = OpenHeadless(dir + "/in.pdf");
        ASSERT_EQ(h->doc.pageList.Count(), 1) << h->AllMessages();
        const std::string out = SaveTo(*h, dir);
        const TQpdfCheck check = QpdfCheck(out);
        EXPECT_EQ(check.status, 0) << check.output;
        const std::string page = ObjectText(ReadFileText(out), 3);
        EXPECT_EQ(CountKey(page, "/Annots"), 1) << page;
        EXPECT_EQ(page.find(" 0 0 R"), std::string::npos) << page;
        const TRenderDiff render = CompareRenderings(dir + "/in.pdf", out, dir);
        EXPECT_EQ(render.problem, "");
        EXPECT_LE(render.maxPixelDiff, 16) << (indirectArray ? "indirect" : "direct");
    }
}

// A content stream whose zlib data break off (a wrong checksum, or data
// that stop inside their last block) is read up to the damage. The page
// keeps its old stream, damage and all, also when a font on it is
// replaced: what was read would lose what other readers find beyond it.
// The replacement then does not reach the page, and the writer says so.
TEST(SaveCopy, ContentThatBreaksOffKeepsItsOldStreamAlsoWhenAFontOnItIsReplaced) {
    std::string wrongSum = Deflate("BT /F1 12 Tf 10 100 Td (kept) Tj ET");
    wrongSum.back() = static_cast<char>(wrongSum.back() ^ 0x10);
    std::string lines = "BT /F1 12 Tf 10 100 Td (kept) Tj ET\n";
    for (int i = 0; i < 300; ++i) lines += std::to_string(i % 190) + " " + std::to_string(i * 7 % 190) + " m 5 5 l S\n";
    const std::string whole = Deflate(lines);
    const std::string cut = whole.substr(0, whole.size() - 12);
    for (const std::string& coded : {wrongSum, cut})
    for (const bool replace : {false, true}) {
        TPdfBuilder b;
        b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] "
                    "/Resources << /Font << /F1 5 0 R /F2 6 0 R >> >> /Contents 4 0 R >>");
        b.Stream(4, "/Filter /FlateDecode", coded);
        b.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
        b.Object(6, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>");
        b.Trailer("/Root 1 0 R");
        const std::string dir = ScratchDir(std::string(replace ? "damaged-content-replaced" : "damaged-content-kept") +
                                           (&coded == &cut ? "-cut" : "-sum"));
        WriteFileBytes(dir + "/in.pdf", b.Build());
        auto h = OpenHeadless(dir + "/in.pdf");
        ASSERT_EQ(h->doc.pageList.Count(), 1) << h->AllMessages();
        if (replace) {
            ASSERT_TRUE(SetReplacement(h->doc, 1, 0, "/F2"));
        }
        if (replace) {
            const std::vector<TKeptFormFont> kept = FontsKeptOnCopiedPages(h->doc);
            ASSERT_EQ(kept.size(), 1u);
            EXPECT_EQ(kept[0].pageIndex, 0);
            EXPECT_EQ(kept[0].resName, "/F1");
        }
        const std::string out = SaveTo(*h, dir);
        EXPECT_NE(ReadFileText(out).find(coded), std::string::npos) << "the old stream's bytes";
        const TToolResult fonts = RunTool("pdftotext " + Quoted(out) + " -");
        EXPECT_NE(fonts.output.find("kept"), std::string::npos) << fonts.output;
        EXPECT_EQ(NewWarnings(QpdfCheck(dir + "/in.pdf"), QpdfCheck(out)), std::vector<std::string>{});
    }
}

}  // namespace
