// The frame of an open and the cross-reference chain: what is found, what is
// refused with which message, and that a failed open leaves the program
// usable.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "TestSupport.h"

namespace {


std::string StartXrefOf(const std::string& pdf) {
    const auto pos = pdf.rfind("startxref");
    return pdf.substr(pos + 10, pdf.find('\n', pos + 10) - pos - 10);
}

// Appends an incremental update holding `objects` (number → body) and a
// trailer with /Prev to the previous section.
std::string AppendUpdate(const std::string& base, const std::map<int32_t, std::string>& objects,
                         const std::string& trailerEntries) {
    std::string out = base;
    std::map<int32_t, size_t> offsets;
    for (const auto& [num, body] : objects) {
        offsets[num] = out.size();
        out += std::to_string(num) + " 0 obj\n" + body + "\nendobj\n";
    }
    const size_t xref = out.size();
    out += "xref\n";
    char line[32];
    for (const auto& [num, offset] : offsets) {
        out += std::to_string(num) + " 1\n";
        std::snprintf(line, sizeof line, "%010zu 00000 n\r\n", offset);
        out += line;
    }
    out += "trailer\n<< " + trailerEntries + " /Prev " + StartXrefOf(base) + " >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return out;
}

std::string WriteScratch(const std::string& name, const std::string& bytes) {
    const std::string path = ScratchDir("openfile-" + name) + "/" + name;
    WriteFileBytes(path, bytes);
    return path;
}

std::string BasicFile() {
    TPdfBuilder b("1.3");
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
    b.Object(4, "<< /Producer (Old) >>");
    b.Trailer("/Root 1 0 R /Info 4 0 R");
    return b.Build();
}

TEST(OpenFileTest, FindsTheTableAfterTrailingBlankLinesAndCrLf) {
    for (const std::string tail : {"\r\n", "\n\n\n", "\r\n\r\n  \r\n"}) {
        auto h = OpenHeadless(WriteScratch("tail.pdf", BasicFile() + tail));
        EXPECT_TRUE(h->doc.rootFound) << h->AllMessages();
        EXPECT_EQ(h->doc.ObjCount(), 5);
        EXPECT_FALSE(h->HasProblem(TOpenProblemKind::Damaged)) << h->AllMessages();
    }
}

TEST(OpenFileTest, JunkAfterEofIsSearchedBackwards) {
    auto h = OpenHeadless(WriteScratch("junk.pdf", BasicFile() + "garbage line\nmore junk\n"));
    EXPECT_TRUE(h->doc.rootFound);
    EXPECT_FALSE(h->HasProblem(TOpenProblemKind::Damaged)) << h->AllMessages();
}

TEST(OpenFileTest, LastStartxrefCountsWhateverFollowsIt) {
    // A trailing "%%EOF" without its own startxref, and no "%%EOF" at all:
    // the last startxref still leads to the table.
    std::string noEof = BasicFile();
    noEof.resize(noEof.rfind("%%EOF"));
    for (const std::string& pdf : {BasicFile() + "%comment\n%%EOF\n", noEof}) {
        auto h = OpenHeadless(WriteScratch("eof.pdf", pdf));
        EXPECT_TRUE(h->doc.rootFound);
        EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::Opened) << h->AllMessages();
        EXPECT_EQ(h->doc.opening, 0);
    }
}

TEST(OpenFileTest, IncrementalUpdateTakesNewestOffsetsAndTrailerValues) {
    const std::string base = BasicFile();
    const std::string updated = AppendUpdate(base, {{4, "<< /Producer (New) >>"}, {5, "<< /Producer (Other) >>"}},
                                             "/Size 6 /Info 5 0 R");
    auto h = OpenHeadless(WriteScratch("incr.pdf", updated));
    TPdfDocument& doc = h->doc;
    ASSERT_EQ(doc.ObjCount(), 6);
    // /Info from the newest trailer that has it; /Root from the older one.
    EXPECT_EQ(doc.infoObjNum, 5);
    EXPECT_EQ(doc.rootObjNum, 1);
    EXPECT_EQ(static_cast<size_t>(doc.Table()[4].offset), updated.find("4 0 obj", base.size()));
    EXPECT_EQ(static_cast<size_t>(doc.Table()[1].offset), base.find("1 0 obj"));
}

TEST(OpenFileTest, SubsectionsLeaveGapsUnknown) {
    std::string pdf = "%PDF-1.4\n";
    const size_t obj3 = pdf.size();
    pdf += "3 0 obj\n<< >>\nendobj\n";
    const size_t xref = pdf.size();
    char entry[32];
    pdf += "xref\n0 1\n0000000000 65535 f\r\n3 2\n";
    std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", obj3);
    pdf += entry;
    pdf += "0000000000 00007 f\r\ntrailer\n<< /Size 5 /Root 3 0 R >>\nstartxref\n" + std::to_string(xref) +
           "\n%%EOF\n";
    auto h = OpenHeadless(WriteScratch("gaps.pdf", pdf));
    const TPdfDocument& doc = h->doc;
    ASSERT_EQ(doc.ObjCount(), 5);
    EXPECT_TRUE(doc.Table()[0].known);
    EXPECT_FALSE(doc.Table()[0].inUse);
    EXPECT_FALSE(doc.Table()[1].known);
    EXPECT_FALSE(doc.Table()[2].known);
    EXPECT_TRUE(doc.Table()[3].known);
    EXPECT_TRUE(doc.Table()[3].inUse);
    EXPECT_EQ(static_cast<size_t>(doc.Table()[3].offset), obj3);
    EXPECT_TRUE(doc.Table()[4].known);
    EXPECT_FALSE(doc.Table()[4].inUse);
    EXPECT_EQ(doc.Table()[4].generation, 7);
}

TEST(OpenFileTest, PrevToItsOwnSectionEndsTheChain) {
    std::string pdf = BasicFile();
    const std::string xref = StartXrefOf(pdf);
    pdf.replace(pdf.find("/Root 1 0 R"), 11, "/Root 1 0 R /Prev " + xref);
    auto h = OpenHeadless(WriteScratch("selfprev.pdf", pdf));
    EXPECT_TRUE(h->doc.rootFound);
    EXPECT_FALSE(h->HasProblem(TOpenProblemKind::Damaged)) << h->AllMessages();
}

TEST(OpenFileTest, PrevLoopThroughAnEarlierSectionStops) {
    // newest -> older -> newest -> ...: the reader stops at the section it
    // has already read and goes on with what it has.
    std::string base = BasicFile();
    base.replace(base.find("/Root 1 0 R"), 11, "/Root 1 0 R /Prev 0000000000");
    std::string updated = AppendUpdate(base, {{4, "<< /Producer (New) >>"}}, "/Size 5");
    char newest[16];
    std::snprintf(newest, sizeof newest, "%010d", std::stoi(StartXrefOf(updated)));
    updated.replace(updated.find("/Prev 0000000000"), 16, std::string("/Prev ") + newest);
    auto h = OpenHeadless(WriteScratch("prevloop.pdf", updated));
    EXPECT_TRUE(h->doc.rootFound);
    EXPECT_FALSE(h->HasProblem(TOpenProblemKind::Damaged)) << h->AllMessages();
    EXPECT_EQ(static_cast<size_t>(h->doc.Table()[4].offset), updated.find("4 0 obj", base.size()));
}

TEST(OpenFileTest, HugeSubsectionCountIsRefusedWithoutAllocating) {
    for (const char* header : {"0 2000000000", "2000000000 1", "-5 3", "0 -1"}) {
        std::string pdf = "%PDF-1.4\nxref\n" + std::string(header) +
                          "\n0000000000 65535 f\r\ntrailer\n<< /Root 1 0 R >>\nstartxref\n9\n%%EOF\n";
        auto h = OpenHeadless(WriteScratch("huge.pdf", pdf));
        EXPECT_TRUE(h->HasProblem(TOpenProblemKind::Damaged)) << header;
        EXPECT_LE(h->doc.ObjCount(), 8388608) << header;
        EXPECT_EQ(h->doc.opening, 0);
    }
}

TEST(OpenFileTest, VersionBoxFollowsTheHeader) {
    struct TCase {
        const char* version;
        int32_t item;
    };
    // Up to 1.7 each version has its item; a later one takes the latest.
    for (const TCase c : {TCase{"1.2", 0}, TCase{"1.3", 1}, TCase{"1.4", 2}, TCase{"1.5", 3}, TCase{"1.6", 4},
                          TCase{"1.7", 5}, TCase{"2.0", 5}, TCase{"1.1", 7}, TCase{"3.0", 7}}) {
        TPdfBuilder b(c.version);
        b.Object(1, "<< /Type /Catalog >>").Trailer("/Root 1 0 R");
        THeadlessDoc h;
        h.ui.versionItem = 7;  // a value the open must leave alone for versions it cannot write
        h.doc.openfilenow(b.WriteTo("version.pdf"));
        EXPECT_EQ(h.ui.versionItem, c.item) << c.version;
    }
}

TEST(OpenFileTest, EncryptedFileWithAUserPasswordStopsAtThePassword) {
    auto h = OpenHeadless(CorpusPath("encrypted-rc4-128.pdf"));
    EXPECT_EQ(h->OpenErrors(), std::vector<TOpenProblemKind>{TOpenProblemKind::PasswordNeeded}) << h->AllMessages();
    EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::PasswordNeeded);
    EXPECT_TRUE(h->doc.encrypted);
    EXPECT_EQ(h->doc.pageList.count, 0u);
}

TEST(OpenFileTest, MissingFileAndDirectoryCannotBeOpened) {
    const std::string missing = ScratchDir("missing") + "/nichtda.pdf";
    auto h = OpenHeadless(missing);
    EXPECT_EQ(h->OpenErrors(), std::vector<TOpenProblemKind>{TOpenProblemKind::CannotRead});
    EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::Unreadable);
    auto dir = OpenHeadless(ScratchDir("adir"));
    EXPECT_EQ(dir->OpenErrors(), std::vector<TOpenProblemKind>{TOpenProblemKind::CannotRead});
}

TEST(OpenFileTest, FileOfTwoGibibytesIsReadLikeAnyOther) {
    // A sparse file: no disk space is used. Beyond its header it holds
    // nothing a reader could use.
    const std::string path = ScratchDir("big") + "/big.pdf";
    {
        std::ofstream out(path, std::ios::binary);
        out << "%PDF-1.4\n";
    }
    std::error_code ec;
    std::filesystem::resize_file(path, (uint64_t{1} << 31), ec);
    if (ec) GTEST_SKIP() << "cannot make a sparse file here";
    auto h = OpenHeadless(path);
    EXPECT_EQ(h->OpenErrors(), std::vector<TOpenProblemKind>{TOpenProblemKind::Damaged});
    EXPECT_EQ(h->doc.SourceSize(), int64_t{1} << 31);
    std::filesystem::remove(path);
}

TEST(OpenFileTest, FailedConversionEndsTheOpenAndTheNextOpenWorks) {
    std::string pdf = BasicFile();
    pdf.replace(pdf.find("/Root 1 0 R"), 11, "/Root x1 0 R");
    THeadlessDoc h;
    h.doc.openfilenow(WriteScratch("badroot.pdf", pdf));
    ASSERT_EQ(h.OpenErrors(), std::vector<TOpenProblemKind>{TOpenProblemKind::NotAnInteger});
    EXPECT_EQ(h.doc.LastOpen().problems[0].detail, "x1");
    EXPECT_EQ(h.doc.LastOpen().outcome, TOpenResult::Invalid);
    EXPECT_EQ(h.doc.opening, 0);
    EXPECT_FALSE(h.ui.progressShown);
    EXPECT_EQ(h.ui.openFinishedCount, 1);

    h.doc.openfilenow(WriteScratch("good.pdf", BasicFile()));
    EXPECT_TRUE(h.doc.rootFound);
    EXPECT_EQ(h.doc.ObjCount(), 5);
    EXPECT_EQ(h.ui.openFinishedCount, 2);
}

TEST(OpenFileTest, OpenWhileOpeningIsIgnored) {
    THeadlessDoc h;
    h.doc.opening = 1;
    h.doc.openfilenow(WriteScratch("ignored.pdf", BasicFile()));
    EXPECT_EQ(h.doc.ObjCount(), 0);
    EXPECT_TRUE(h.OpenErrors().empty());
    EXPECT_EQ(h.ui.openFinishedCount, 0);
}

TEST(OpenFileTest, NoRootAnywhereIsInvalid) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog >>").Trailer("/Info 1 0 R");
    auto h = OpenHeadless(b.WriteTo("noroot.pdf"));
    EXPECT_TRUE(h->HasProblem(TOpenProblemKind::Damaged));
}

TEST(OpenFileTest, CrossReferenceStreamFileOpens) {
    auto h = OpenHeadless(CorpusPath("modern-xrefstream-fontconfig.pdf"));
    EXPECT_TRUE(h->OpenErrors().empty()) << h->AllMessages();
    EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::Opened);
    EXPECT_EQ(h->doc.pageList.count, 15u);
}

}  // namespace

// The catalog stands in an object stream whose filter the reader lacks: the
// file is not damaged, the reader says what it cannot do.
TEST(OpenFileTest, AStructureBehindAnUnsupportedFilterIsReportedAsSuch) {
    auto h = OpenHeadless(DataPath("xref/objstm-runlength.pdf"));
    EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::Unsupported);
    ASSERT_EQ(h->OpenErrors(), std::vector<TOpenProblemKind>{TOpenProblemKind::UnsupportedFilter}) << h->AllMessages();
    EXPECT_EQ(h->doc.LastOpen().problems[0].detail, "/RunLengthDecode");
    EXPECT_FALSE(h->HasProblem(TOpenProblemKind::Damaged));
    EXPECT_EQ(h->doc.pageList.Count(), 0);
    // The next open of the same document starts without the old reason.
    EXPECT_EQ(h->doc.openfilenow(DataPath("xref/gs-std14-objstm.pdf")).outcome, TOpenResult::Opened);
    EXPECT_EQ(h->doc.unsupportedFeature, "");
}
