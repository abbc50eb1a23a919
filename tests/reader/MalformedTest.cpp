// Replays tests/data/malformed: damaged and hostile files, each the input
// of a fault found once (by the fuzzer or by hand) or a size the file
// declares but cannot hold. Every one must open or be refused with the
// program's messages, leave the document ready, and let a good file open
// afterwards in the same document. The same files seed tools/fuzz.sh.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;


// A real file that opens cleanly: 3 pages.
const char* const kGoodFile = "gs-std14-v12.pdf";
constexpr int32_t kGoodPages = 3;

struct TMalformedDoc {
    TFixedMeasurer measurer;
    THeadlessUi ui{&measurer};
    TPdfDocument doc{ui};
    bool HasProblem(TOpenProblemKind kind) const { return doc.LastOpen().Has(kind); }
    bool OpenErrors() const {
        return std::any_of(doc.LastOpen().problems.begin(), doc.LastOpen().problems.end(),
                           [](const TOpenProblem& p) { return p.kind != TOpenProblemKind::TableRebuilt; });
    }
    // A page's decoded content draws the text as a literal string.
    bool HasText(const std::string& text) {
        for (int32_t i = 0; i < doc.pageList.Count(); ++i) {
            const std::vector<uint8_t> content = doc.PageContent(i);
            if (std::string(content.begin(), content.end()).find("(" + text + ")") != std::string::npos) return true;
        }
        return false;
    }
    std::string Messages() const {
        std::string all;
        for (const TOpenProblem& p : doc.LastOpen().problems)
            all += std::to_string(static_cast<int>(p.kind)) + " " + p.detail + "\n";
        return all;
    }
};

std::vector<std::string> MalformedFiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(DataPath("malformed")))
        if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class MalformedFile : public ::testing::TestWithParam<std::string> {};

TEST_P(MalformedFile, EndsCleanlyAndTheDocumentStaysUsable) {
    TMalformedDoc h;
    h.doc.openfilenow(DataPath("malformed/" + GetParam()));
    EXPECT_EQ(h.doc.opening, 0);
    EXPECT_EQ(h.ui.openFinishedCount, 1);
    EXPECT_FALSE(h.ui.progressShown);
    // Either pages came out or the user was told why not.
    EXPECT_TRUE(h.doc.pageList.Count() > 0 || h.OpenErrors());
    // The object table never outgrows the file (one entry per byte at most,
    // a few thousand for tiny files).
    EXPECT_LE(h.doc.ObjCount(), std::max<int32_t>(4096, static_cast<int32_t>(fs::file_size(
                                                            DataPath("malformed/" + GetParam())))));

    h.doc.openfilenow(CorpusPath(kGoodFile));
    EXPECT_EQ(h.doc.pageList.Count(), kGoodPages);
    EXPECT_FALSE(h.OpenErrors()) << h.Messages();
    EXPECT_EQ(h.ui.openFinishedCount, 2);
    for (int32_t i = 0; i < kGoodPages; ++i) EXPECT_FALSE(h.doc.PageContent(i).empty()) << i;
}

INSTANTIATE_TEST_SUITE_P(All, MalformedFile, ::testing::ValuesIn(MalformedFiles()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                             std::string name;
                             for (const char ch : param.param) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

// What each file must give besides ending cleanly.
struct TExpectation {
    const char* file;
    int32_t pages;         // -1: refused as damaged
    int32_t images;        // pictures kept in imageList
    bool helloShown;       // the page's text run "Hallo" reached the display list
};

class MalformedExpectation : public ::testing::TestWithParam<TExpectation> {};

TEST_P(MalformedExpectation, GivesWhatTheFileHolds) {
    const TExpectation& e = GetParam();
    TMalformedDoc h;
    h.doc.openfilenow(DataPath(std::string("malformed/") + e.file));
    if (e.pages < 0) {
        EXPECT_TRUE(h.HasProblem(TOpenProblemKind::Damaged)) << h.Messages();
        EXPECT_EQ(h.doc.pageList.Count(), 0);
        return;
    }
    EXPECT_EQ(h.doc.pageList.Count(), e.pages) << h.Messages();
    EXPECT_EQ(h.doc.imageList.Count(), e.images);
    EXPECT_EQ(h.HasText("Hallo"), e.helloShown);
}

const TExpectation kExpectations[] = {
    // A /Length of two billion: the bytes that exist are read.
    {"huge-length.pdf", 1, 0, true},
    // 16384 x 16384 pictures in a few bytes of Flate data are not read
    // (8 bits: 256 MB, 32 bits: 1 GB of bitmap).
    {"huge-flate-image-8bpc.pdf", 1, 0, false},
    {"huge-flate-image-32bpc.pdf", 1, 0, false},
    // A 3 kB JPEG whose header says 16000 x 16000.
    {"huge-jpeg-image.pdf", 1, 0, false},
    // Fax data are one bit per pixel: the area limit alone bounds them.
    {"huge-ccitt-image.pdf", 1, 1, false},
    // A subsection claiming 8 million entries in a 600-byte file.
    {"xref-million-objects.pdf", 1, 0, true},  // the table is unusable; the scan finds the page
    // An entry numbered 8388600: dropped, the rest of the file reads.
    {"xref-high-object-number.pdf", 1, 0, true},
    // 100000 "[" and "<<" before the text: operands, not nesting.
    {"nested-content.pdf", 1, 0, true},
    // Three million "q": the saved states stop growing, the text shows.
    {"million-q.pdf", 1, 0, true},
    // /Count 2000000000 with one kid: the kids decide.
    {"huge-count.pdf", 1, 0, true},
    // 64 MB of zero bytes from 64 kB of Flate data.
    {"flate-bomb-content.pdf", 1, 0, false},
    // 40 pages share 2 MB of content from 2 kB of Flate data: the first
    // pages are read until the file's content budget is spent.
    {"shared-bomb-pages.pdf", 40, 0, true},
};

INSTANTIATE_TEST_SUITE_P(Table, MalformedExpectation, ::testing::ValuesIn(kExpectations),
                         [](const ::testing::TestParamInfo<TExpectation>& param) {
                             std::string name;
                             for (const char* p = param.param.file; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

TEST(MalformedFiles, SharedContentBombStopsAtTheBudgetAndSaysSo) {
    TMalformedDoc h;
    h.doc.openfilenow(DataPath("malformed/shared-bomb-pages.pdf"));
    ASSERT_EQ(h.doc.pageList.Count(), 40);
    // 64 MB of budget hold 31 copies of the 2 MB content (each with its
    // line feed); the pages after that are not decoded.
    int32_t pagesShown = 0;
    for (int32_t page = 0; page < 40; ++page)
        if (!h.doc.PageContent(page).empty()) ++pagesShown;
    EXPECT_GT(pagesShown, 0);
    EXPECT_LT(pagesShown, 40);
    EXPECT_LE(h.doc.contentBytesRead, int64_t{64} << 20);
    EXPECT_TRUE(Told(h.ui, TNoticeKind::PageContentTooLarge, 40));
}

TEST(MalformedFiles, EveryExpectationNamesAFileThatExists) {
    const auto files = MalformedFiles();
    for (const TExpectation& e : kExpectations)
        EXPECT_TRUE(std::find(files.begin(), files.end(), e.file) != files.end()) << e.file;
}

}  // namespace
