// The file writer on hand-made files: numbering, splicing of added fonts,
// page objects, copying of old objects, and saving without losing the
// target file.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "ContentRewrite.h"
#include "PdfWriter.h"
#include "SaveCommand.h"
#include "SaveMessages.h"
#include "SavedFileChecks.h"
#include "TestSupport.h"
#include "WriterParts_p.h"

namespace {

std::string Written(TPdfDocument& doc, int32_t versionItem = 2, bool rewriteContents = true) {
    TStringSink sink;
    TWriteOptions options;
    options.rewriteContents = rewriteContents;
    WritePdf(doc, sink, versionItem, options);
    return sink.bytes;
}

void AddFont(TPdfDocument& doc, const std::string& resName) {
    TFontRecord* font = doc.fontList.Append();
    font->hidden = 1;
    font->resName = resName;
    font->baseFontName = resName + ",Bold";
    font->fontDictExtra = "/FirstChar 32 /LastChar 32 /Widths [250 ] ";
}

std::unique_ptr<THeadlessDoc> Open(const std::string& name, const std::string& bytes) {
    const std::string path = ScratchDir(name) + "/in.pdf";
    WriteFileBytes(path, bytes);
    return OpenHeadless(path);
}

// Objects 1 to 40: catalog, root, three pages with content, fillers.
std::string FortyObjects() {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R 9 0 R 15 0 R] /Count 3 >>");
    b.Object(6, "<< /Font << /F1 5 0 R >> >>");
    b.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    for (int32_t page : {3, 9, 15}) {
        b.Object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595.5 841.9] /Resources 6 0 R /Contents " +
                           std::to_string(page + 1) + " 0 R >>");
        b.Stream(page + 1, "", "BT /F1 12 Tf (p" + std::to_string(page) + ") Tj ET");
    }
    for (int32_t i = 7; i <= 40; ++i)
        if (i != 9 && i != 10 && i != 15 && i != 16) b.Object(i, "(filler " + std::to_string(i) + ")");
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

TEST(WriterNumbering, AddedFontThenOneAnnotsArrayPerPageFlatKidsAndSize) {
    auto h = Open("numbering", FortyObjects());
    TPdfDocument& doc = h->doc;
    ASSERT_EQ(doc.pageList.Count(), 3);
    ASSERT_EQ(doc.ObjCount(), 41);
    AddFont(doc, "/Arial");
    TellUndecodablePages(doc);
    const std::string out = Written(doc);

    EXPECT_EQ(out.substr(0, 15), "%PDF-1.4\r%\xE2\xE3\xCF\xD3\r");
    EXPECT_NE(ObjectText(out, 41).find("/Name /Arial\r/Encoding /WinAnsiEncoding\r/BaseFont /Arial,Bold\r"
                                       "/FirstChar 32 /LastChar 32 /Widths [250 ] \r>>"),
              std::string::npos);
    EXPECT_NE(ObjectText(out, 2).find("/Kids [ 3 0 R 9 0 R 15 0 R ]\r/Count 3\r"), std::string::npos);
    int32_t annots = 42;
    for (int32_t page : {3, 9, 15}) {
        const std::string dict = ObjectText(out, page);
        EXPECT_NE(dict.find("/Contents " + std::to_string(page + 1) + " 0 R\r/MediaBox [ 0 0 595.5 841.9 ]\r/Annots " +
                            std::to_string(annots) + " 0 R\r/Parent 2 0 R\r>>"),
                  std::string::npos)
            << dict;
        EXPECT_EQ(ObjectText(out, annots), "[ ]\r");
        ++annots;
    }
    // The resources shared by all pages receive the added font and the empty
    // image dictionary once, not once per page.
    EXPECT_NE(ObjectText(out, 6).find("<< /XObject << >> /Font << /Arial 41 0 R /F1 5 0 R >> >>"), std::string::npos)
        << ObjectText(out, 6);
    // Objects 0..44; /Size counts the entries.
    EXPECT_NE(out.find("xref\r0 45\r0000000000 65535 f\r\n"), std::string::npos);
    EXPECT_NE(out.find("trailer\r<<\r/Size 45\r/Root 1 0 R\r>>\rstartxref\r"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 6), "%%EOF\r");
}

std::string OnePage(const std::string& pageDict, const std::string& extraObjects = "") {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /Resources << /ProcSet [/PDF] >> >>");
    b.Object(3, pageDict);
    b.Stream(4, "", "BT /F1 12 Tf (x) Tj ET");
    b.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    if (!extraObjects.empty()) b.Object(6, extraObjects);
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

TEST(WriterResources, InsertionsAndPageLinesFollowWhereTheDictionariesAre) {
    const struct {
        const char* name;
        std::string page;
        std::string resources;  // object 6
        int32_t objectWithText;
        const char* expected;
    } cases[] = {
        {"separate-font-dict", "<< /Type /Page /Parent 2 0 R /Resources 6 0 R /Contents 4 0 R >>",
         "<< /Font << /F1 5 0 R >> >>", 6, "<< /XObject << >> /Font << /Arial 7 0 R /F1 5 0 R >> >>"},
        {"no-font-dict", "<< /Type /Page /Parent 2 0 R /Resources 6 0 R /Contents 4 0 R >>",
         "<< /ProcSet [/PDF] >>", 6, "<< /Font << /Arial 7 0 R >> /XObject << >> /ProcSet [/PDF] >>"},
        {"direct", "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 5 0 R >> >> /Contents 4 0 R >>", "",
         3, "/Resources << /XObject << >> /Font << /Arial 7 0 R /F1 5 0 R >> >>\r"},
        {"direct-no-fonts", "<< /Type /Page /Parent 2 0 R /Resources << /ProcSet [/PDF] >> /Contents 4 0 R >>", "",
         3, "/Resources << /Font << /Arial 7 0 R >> /XObject << >> /ProcSet [ /PDF ] >>\r"},
    };
    for (const auto& c : cases) {
        auto h = Open(c.name, OnePage(c.page, c.resources.empty() ? "(unused)" : c.resources));
        TPdfDocument& doc = h->doc;
        ASSERT_EQ(doc.pageList.Count(), 1) << c.name;
        AddFont(doc, "/Arial");
        TellUndecodablePages(doc);
        const std::string out = Written(doc);
        const std::string object = ObjectText(out, c.objectWithText);
        EXPECT_NE(object.find(c.expected), std::string::npos) << c.name << ":\n" << object;
        // The page's own /Resources stands alone: the root's copy is not
        // written beside it.
        const std::string page = ObjectText(out, 3);
        EXPECT_EQ(page.find("/Resources"), page.rfind("/Resources")) << c.name << ":\n" << page;
    }
}

TEST(WriterResources, RootsDirectResourcesBecomeAnObjectOfTheirOwn) {
    auto h = Open("inherit", OnePage("<< /Type /Page /Parent 2 0 R /Contents 4 0 R /CropBox [1 1 99 99] >>"));
    TellUndecodablePages(h->doc);
    const std::string out = Written(h->doc);
    const std::string page = ObjectText(out, 3);
    EXPECT_NE(page.find("/Resources 6 0 R\r"), std::string::npos) << page;
    EXPECT_EQ(ObjectText(out, 6), "<< /Font <<  >> /XObject << >> /ProcSet [ /PDF ] >>\r");
    EXPECT_NE(page.find("/CropBox [ 1 1 99 99 ]\r"), std::string::npos) << page;
    // Neither the page nor the tree gives a box: none is invented.
    EXPECT_EQ(page.find("/MediaBox"), std::string::npos) << page;
}

TEST(WriterContent, SharedContentStreamGetsASecondNumberAndBothPagesKeepTheirText) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 7 0 R] /Count 3 >>");
    const std::string res = " /Resources << /Font << /F1 6 0 R >> >> ";
    b.Object(3, "<< /Type /Page /Parent 2 0 R" + res + "/Contents 5 0 R >>");
    b.Object(4, "<< /Type /Page /Parent 2 0 R" + res + "/Contents 5 0 R >>");
    b.Object(7, "<< /Type /Page /Parent 2 0 R" + res + ">>");
    // "endobj" inside stream data must not cut the copy of the stream.
    b.Stream(5, "", "BT /F1 12 Tf (shared) Tj ET");
    b.Stream(8, "/Subtype /Form", "% endobj in the data\nBT ET");
    b.Object(6, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    b.Trailer("/Root 1 0 R");
    auto h = Open("shared", b.Build());
    TPdfDocument& doc = h->doc;
    ASSERT_EQ(doc.pageList.Count(), 3);
    TellUndecodablePages(doc);
    EXPECT_TRUE(h->ui.messages.empty() && h->OpenErrors().empty()) << h->AllMessages();
    // A page with content but without any content reference has no number
    // for a new stream: it is written as not rewritten.
    TPageRecord& blank = doc.pageList[2];
    blank.contentLength = 3;
    blank.hasContent = 1;
    const std::string out = Written(doc);
    EXPECT_EQ(out.find("stream", out.find("/Contents 10 0 R")), std::string::npos);
    EXPECT_NE(ObjectText(out, 3).find("/Contents 5 0 R\r"), std::string::npos);
    // Page 3's annotation array took 9.
    EXPECT_NE(ObjectText(out, 4).find("/Contents 10 0 R\r"), std::string::npos) << ObjectText(out, 4);
    EXPECT_EQ(ObjectText(out, 7).find("/Contents"), std::string::npos);
    EXPECT_NE(out.find("% endobj in the data\nBT ET\nendstream\nendobj\r"), std::string::npos);

    const std::string path = ScratchDir("shared-out") + "/out.pdf";
    WriteFileBytes(path, out);
    auto again = OpenHeadless(path);
    ASSERT_EQ(again->doc.pageList.Count(), 3) << again->AllMessages();
    for (int32_t i = 0; i < 2; ++i) {
        const std::vector<uint8_t> content = again->doc.PageContent(i);
        EXPECT_EQ(std::string(content.begin(), content.end()).rfind("BT /F1 12 Tf (shared) Tj ET", 0), 0u) << i;
    }
    EXPECT_TRUE(again->ui.messages.empty() && again->OpenErrors().empty()) << again->AllMessages();
}

// Contents are decoded, rewritten and packed one page at a time: each page
// gets its own, also after pages that keep their old stream or have none.
TEST(WriterContent, EveryPageGetsItsOwnContentAcrossPagesLeftAsTheyWere) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    const std::string res = " /Resources << /Font << /F1 3 0 R >> >> ";
    b.Object(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    for (int32_t page = 0; page < 7; ++page) {
        const int32_t pageNum = 10 + 2 * page, contentNum = pageNum + 1;
        kids += std::to_string(pageNum) + " 0 R ";
        if (page == 4) {
            b.Object(pageNum, "<< /Type /Page /Parent 2 0 R" + res + ">>");
            continue;
        }
        b.Object(pageNum, "<< /Type /Page /Parent 2 0 R" + res + "/Contents " + std::to_string(contentNum) + " 0 R >>");
        if (page == 2) b.Stream(contentNum, "/Filter /Bogus", "xyz");
        else b.Stream(contentNum, "", "BT /F1 12 Tf (page " + std::to_string(page + 1) + ") Tj ET");
    }
    b.Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count 7 >>");
    b.Trailer("/Root 1 0 R");
    auto h = Open("own-contents", b.Build());
    ASSERT_EQ(h->doc.pageList.Count(), 7);
    TellUndecodablePages(h->doc);
    const std::string path = ScratchDir("own-contents-out") + "/out.pdf";
    WriteFileBytes(path, Written(h->doc));
    auto again = OpenHeadless(path);
    ASSERT_EQ(again->doc.pageList.Count(), 7) << again->AllMessages();
    for (int32_t i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        const std::vector<uint8_t> content = again->doc.PageContent(i);
        const std::string text(content.begin(), content.end());
        if (i == 2 || i == 4) EXPECT_TRUE(text.empty()) << text;
        else EXPECT_EQ(text.rfind("BT /F1 12 Tf (page " + std::to_string(i + 1) + ") Tj ET", 0), 0u) << text;
    }
    EXPECT_NE(ObjectText(Written(h->doc), 14).find("/Contents 15 0 R"), std::string::npos);
}

TEST(WriterNumbering, EmptyDocumentGivesOnlyObjectZero) {
    THeadlessUi ui;
    TPdfDocument doc(ui);
    EXPECT_EQ(Written(doc, 0),
              "%PDF-1.2\r%\xE2\xE3\xCF\xD3\rxref\r0 1\r0000000000 65535 f\r\ntrailer\r<<\r/Size 1\r>>\r"
              "startxref\r15\r%%EOF\r");
}

// Saving through the command: the target survives failures.
struct TSaveFixture {
    std::string dir;
    std::unique_ptr<THeadlessDoc> h;
    explicit TSaveFixture(const std::string& name) {
        dir = ScratchDir(name);
        WriteFileBytes(dir + "/in.pdf", OnePage("<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 5 0 R >> >> "
                                                "/Contents 4 0 R >>"));
        h = OpenHeadless(dir + "/in.pdf");
    }
};

TEST(SaveCommand, WritesReopensAndLeavesNoTemporaryFile) {
    TSaveFixture f("save-ok");
    f.h->ui.saveFileName = f.dir + "/out.pdf";
    f.h->ui.versionItem = 0;
    const int32_t opens = f.h->ui.openFinishedCount;
    EXPECT_TRUE(SavePdfCommand(f.h->doc));
    EXPECT_EQ(f.h->ui.openFinishedCount, opens + 1);
    EXPECT_EQ(f.h->doc.pageList.Count(), 1);
    EXPECT_TRUE(f.h->ui.messages.empty() && f.h->OpenErrors().empty()) << f.h->AllMessages();
    EXPECT_EQ(ReadFileText(f.dir + "/out.pdf").substr(0, 9), "%PDF-1.2\r");
    int32_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(f.dir)) files += entry.is_regular_file();
    EXPECT_EQ(files, 2);
}

TEST(SaveCommand, CancelledDialogWritesAndReadsNothing) {
    TSaveFixture f("save-cancel");
    const int32_t opens = f.h->ui.openFinishedCount;
    EXPECT_FALSE(SavePdfCommand(f.h->doc));
    EXPECT_EQ(f.h->ui.openFinishedCount, opens);
}

TEST(SaveCommand, FolderThatDoesNotExistGivesTheCreateMessageAndTheNameIsRead) {
    TSaveFixture f("save-nofolder");
    const std::string target = f.dir + "/missing/out.pdf";
    f.h->ui.saveFileName = target;
    EXPECT_FALSE(SavePdfCommand(f.h->doc));
    ASSERT_GE(f.h->ui.messages.size(), 1u);
    EXPECT_EQ(f.h->ui.messages[0].text, CreateFailedMessage(target));
    EXPECT_TRUE(f.h->HasProblem(TOpenProblemKind::CannotRead));
}

TEST(SaveCommand, FailedWriteLeavesTheExistingTargetByteIdentical) {
    TSaveFixture f("save-fail");
    const std::string target = f.dir + "/in.pdf";  // saving over the open file
    const std::string before = ReadFileText(target);
    f.h->ui.saveFileName = target;
    const int32_t opens = f.h->ui.openFinishedCount;

    // A file size limit makes the writes fail the way a full disk does.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = SavePdfCommand(f.h->doc);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFileText(target), before);
    EXPECT_EQ(f.h->ui.openFinishedCount, opens);  // no re-reading after a failed write
    ASSERT_EQ(f.h->ui.messages.size(), 1u);
    EXPECT_EQ(f.h->ui.messages[0].text.rfind("Die Datei " + target + " konnte nicht geschrieben werden", 0), 0u);
    int32_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(f.dir)) files += entry.is_regular_file();
    EXPECT_EQ(files, 1);
}

}  // namespace

namespace {

TEST(WriterCopy, UnusedStreamsBecomeFreeOldFreeEntriesKeepTheirGenerationAnnotsListed) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R 9 0 R] /Count 2 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /PZ (a\\)b) /Resources << /Font << /F1 6 0 R >> >> "
                "/Contents [4 0 R 5 0 R] /Annots [7 0 R 8 0 R] >>");
    b.Stream(4, "", "BT /F1 12 Tf");
    b.Stream(5, "", "(two) Tj ET");
    b.Object(6, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    b.Object(7, "<< /Type /Annot /Subtype /Text /Rect [10 10 20 20] /T (Note) >>");
    b.Object(8, "<< /Type /Annot /Subtype /Link /Rect [0 0 1 1] >>");
    // Page 9's content cannot be decoded: it keeps /Contents and its stream.
    b.Object(9, "<< /Type /Page /Parent 2 0 R /Contents 10 0 R >>");
    b.Stream(10, "/Filter /Bogus", "xyz");
    b.Trailer("/Root 1 0 R");
    std::string bytes = b.Build();
    // Object 11 as an old free entry with generation 3.
    const size_t xref = bytes.find("xref\n0 11\n");
    ASSERT_NE(xref, std::string::npos);
    bytes.replace(xref, 10, "xref\n0 12\n");
    const size_t trailer = bytes.find("trailer");
    bytes.insert(trailer, "0000000000 00003 f\r\n");
    const size_t startxref = bytes.find("startxref\n") + 10;
    bytes.replace(startxref, bytes.find('\n', startxref) - startxref, std::to_string(xref));

    auto h = Open("copy", bytes);
    TPdfDocument& doc = h->doc;
    ASSERT_EQ(doc.pageList.Count(), 2) << h->AllMessages();
    ASSERT_EQ(doc.ObjCount(), 12);
    TellUndecodablePages(doc);
    EXPECT_TRUE(Told(h->ui, TNoticeKind::ContentNotDecodable));
    const std::string out = Written(doc);

    const std::string page = ObjectText(out, 3);
    EXPECT_NE(page.find("/PZ (a\\)b)\r"), std::string::npos) << page;
    EXPECT_NE(page.find("/Contents 4 0 R\r"), std::string::npos) << page;
    EXPECT_NE(page.find("/Annots 12 0 R\r"), std::string::npos) << page;
    EXPECT_EQ(ObjectText(out, 12), "[ 7 0 R 8 0 R ]\r");
    EXPECT_NE(ObjectText(out, 9).find("/Contents 10 0 R\r"), std::string::npos);
    EXPECT_NE(ObjectText(out, 10).find("/Filter /Bogus"), std::string::npos);
    // The annotations are copied once: no second, shorter object of the
    // same number that a reader rebuilding the table would take instead.
    for (const char* annot : {"7 0 obj", "8 0 obj"}) EXPECT_EQ(out.find(annot), out.rfind(annot)) << annot;

    const size_t table = out.rfind("xref\r0 14\r");
    ASSERT_NE(table, std::string::npos);
    auto line = [&](int32_t num) { return out.substr(table + 10 + 20 * static_cast<size_t>(num), 18); };
    EXPECT_EQ(line(0), "0000000005 65535 f");   // -> 5
    EXPECT_EQ(line(5), "0000000011 65535 f");   // the page's second stream, -> 11
    EXPECT_EQ(line(11), "0000000000 00003 f");  // the old free object keeps its generation
    EXPECT_EQ(line(4).substr(11), "00000 n");
    EXPECT_EQ(std::stoll(line(7).substr(0, 10)), static_cast<long long>(out.find("7 0 obj\n")));
    EXPECT_NE(out.find("/Size 14\r"), std::string::npos);
}

}  // namespace

namespace {

// A file cut short, or filled up with zeros behind a stream's data: the
// object has no "endobj". Copied, it would run on through the rest of the
// new file; it is written as null and counted as missing instead.
TEST(WriterCopy, ObjectWithoutEndobjIsWrittenAsNull) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>");
    b.Stream(4, "", "0 0 m 10 10 l S");
    b.Stream(5, "", "unused data");
    b.Trailer("/Root 1 0 R");
    std::string bytes = b.Build();
    const size_t lastStreamEnd = bytes.rfind("endstream");
    const size_t xref = bytes.find("xref");
    ASSERT_LT(lastStreamEnd, xref);
    bytes.replace(lastStreamEnd, xref - lastStreamEnd, std::string(xref - lastStreamEnd, '\0'));

    auto h = Open("no-endobj", bytes);
    ASSERT_EQ(h->doc.pageList.Count(), 1) << h->AllMessages();
    TStringSink sink;
    TWriteOptions copied;
    copied.rewriteContents = false;
    const TWriteReport report = WritePdf(h->doc, sink, 2, copied);
    EXPECT_EQ(report.missingObjects, 1);
    EXPECT_EQ(ObjectText(sink.bytes, 5), "null ");
    EXPECT_NE(ObjectText(sink.bytes, 4).find("0 0 m 10 10 l S"), std::string::npos);

    const std::string out = ScratchDir("no-endobj") + "/out.pdf";
    WriteFileBytes(out, sink.bytes);
    const TQpdfCheck check = QpdfCheck(out);
    EXPECT_EQ(check.status, 0) << check.output;
}

TEST(WriterNumbering, PageListedTwiceAndMissingPageGetFreshNumbersNeverDuplicates) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R 99 0 R 3 0 R] /Count 3 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 5 0 R >> >> /Contents 4 0 R >>");
    b.Stream(4, "", "BT /F1 12 Tf (x) Tj ET");
    b.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    b.Trailer("/Root 1 0 R");
    auto h = Open("twice", b.Build());
    TPdfDocument& doc = h->doc;
    ASSERT_EQ(doc.pageList.Count(), 3);
    TellUndecodablePages(doc);
    const std::string out = Written(doc);
    // 3 keeps its number and 4 its stream; the missing page 99 and the second
    // listing of 3 get 6 and 7; the second listing's stream gets a new number.
    EXPECT_NE(ObjectText(out, 2).find("/Kids [ 3 0 R 6 0 R 7 0 R ]"), std::string::npos) << ObjectText(out, 2);
    const size_t table = out.rfind("xref\r0 ");
    ASSERT_NE(table, std::string::npos);
    const int32_t count = std::stoi(out.substr(table + 7));
    EXPECT_NE(out.find("/Size " + std::to_string(count) + "\r"), std::string::npos);
    EXPECT_LT(count, 20);

    const std::string path = ScratchDir("twice-out") + "/out.pdf";
    WriteFileBytes(path, out);
    auto again = OpenHeadless(path);
    EXPECT_EQ(again->doc.pageList.Count(), 3);
    EXPECT_TRUE(again->ui.messages.empty() && again->OpenErrors().empty()) << again->AllMessages();
}

}  // namespace

namespace {

TEST(WriterInheritance, RotateAndCropBoxComeFromTheNearestAncestorOfTheFlattenedTree) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 3 /Rotate 90 /CropBox [0 0 10 10] >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R >>");
    b.Object(4, "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R] /Count 2 /Rotate 180 >>");
    b.Object(5, "<< /Type /Page /Parent 4 0 R >>");
    b.Object(6, "<< /Type /Page /Parent 4 0 R /Rotate 270 /CropBox [1 2 3 4] >>");
    b.Trailer("/Root 1 0 R");
    auto h = Open("inherit-rotate", b.Build());
    ASSERT_EQ(h->doc.pageList.Count(), 3);
    const std::string out = Written(h->doc, 2, false);
    EXPECT_NE(ObjectText(out, 3).find("/Rotate 90\r/CropBox [ 0 0 10 10 ]\r/Annots"), std::string::npos);
    EXPECT_NE(ObjectText(out, 5).find("/Rotate 180\r/CropBox [ 0 0 10 10 ]\r/Annots"), std::string::npos);
    const std::string own = ObjectText(out, 6);
    EXPECT_NE(own.find("/Rotate 270\r/CropBox [ 1 2 3 4 ]\r/Annots"), std::string::npos) << own;
    EXPECT_EQ(own.find("/Rotate"), own.rfind("/Rotate"));
}

}  // namespace

namespace {

TEST(WriterCopy, StreamStillUsedByAPageKeepingItsOldContentsIsCopied) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R 8 0 R] /Count 2 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /Contents [4 0 R 5 0 R] >>");
    b.Stream(4, "", "q");
    b.Stream(5, "", "(shared tail) Tj Q");
    b.Object(8, "<< /Type /Page /Parent 2 0 R /Contents [5 0 R 7 0 R] >>");
    b.Stream(7, "/Filter /Bogus", "xyz");
    b.Trailer("/Root 1 0 R");
    auto h = Open("still-used", b.Build());
    ASSERT_EQ(h->doc.pageList.Count(), 2);
    TellUndecodablePages(h->doc);
    ASSERT_FALSE(PageContentIsRewritten(h->doc.pageList[1]));
    const std::string out = Written(h->doc);
    EXPECT_NE(ObjectText(out, 8).find("/Contents [ 5 0 R 7 0 R ]\r"), std::string::npos) << ObjectText(out, 8);
    EXPECT_NE(ObjectText(out, 5).find("(shared tail) Tj Q"), std::string::npos);
}

}  // namespace

namespace {

// Strings with escaped and balanced parentheses and backslashes survive a
// save: in the information fields (read, unescaped, written escaped again)
// and in page dictionary entries (written token by token).
TEST(SaveCommand, LiteralStringsWithBackslashesAndParenthesesSurviveASave) {
    const std::string dir = ScratchDir("save-strings");
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /PieceInfo << /Note (C:\\\\Daten\\\\ \\(alt\\) (neu)) >> "
                "/Resources << /Font << /F1 5 0 R >> >> /Contents 4 0 R >>");
    b.Stream(4, "", "BT /F1 12 Tf (x) Tj ET");
    b.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    b.Object(6, "<< /Title (Microsoft Word - C:\\\\Daten\\\\Bericht.doc) /Subject (Bericht (2) Anhang) "
                "/Keywords (Ende\\\\) /Author (Wer) >>");
    b.Trailer("/Root 1 0 R /Info 6 0 R");
    WriteFileBytes(dir + "/in.pdf", b.Build());

    auto h = OpenHeadless(dir + "/in.pdf");
    EXPECT_EQ(h->doc.info.title, "Microsoft Word - C:\\Daten\\Bericht.doc");
    EXPECT_EQ(h->doc.info.subject, "Bericht (2) Anhang");
    // A string that ends in an escaped backslash ends there: /Author follows.
    EXPECT_EQ(h->doc.info.keywords, "Ende\\");
    EXPECT_EQ(h->doc.info.author, "Wer");

    h->ui.saveFileName = dir + "/out.pdf";
    ASSERT_TRUE(SavePdfCommand(h->doc)) << h->AllMessages();
    // Read again from the saved file by the save itself.
    EXPECT_EQ(h->doc.info.title, "Microsoft Word - C:\\Daten\\Bericht.doc");
    EXPECT_EQ(h->doc.info.subject, "Bericht (2) Anhang");
    EXPECT_EQ(h->doc.info.keywords, "Ende\\");
    EXPECT_EQ(h->doc.info.author, "Wer");
    const std::string out = ReadFileText(dir + "/out.pdf");
    EXPECT_NE(out.find("/PieceInfo << /Note (C:\\\\Daten\\\\ \\(alt\\) (neu)) >>"), std::string::npos);
}

}  // namespace
