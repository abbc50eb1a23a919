// The interpreter on the real files of the corpus: nothing breaks, the
// display list and its page index agree, and the text runs hold the text
// that pdftotext finds.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "ContentInterpreter.h"
#include "TestSupport.h"

namespace {

struct TOpened {
    THeadlessUi ui;
    TPdfDocument doc{ui};
    explicit TOpened(const std::string& file) {
        doc.openfilenow(CorpusPath(file));
        InterpretAllPages(doc);
    }
};

// Every item belongs to a page of the document; the index lists exactly
// the items of each page in list order; each run has one advance and one
// spacing per character and a text no longer than that.
void ExpectConsistentDisplayList(const TPdfDocument& doc) {
    const int32_t pages = doc.pageList.Count();
    size_t indexed = 0;
    for (size_t pageNo = 0; pageNo < doc.pageItemIndex.size(); ++pageNo) {
        int32_t previous = -1;
        for (const int32_t position : doc.pageItemIndex[pageNo]) {
            ASSERT_GE(position, 0);
            ASSERT_LT(position, doc.displayList.Count());
            EXPECT_EQ(doc.displayList[static_cast<size_t>(position)].pageNo, static_cast<int32_t>(pageNo));
            EXPECT_GT(position, previous);
            previous = position;
            ++indexed;
        }
    }
    EXPECT_EQ(indexed, static_cast<size_t>(doc.displayList.Count()));
    for (const TDisplayItem& item : doc.displayList) {
        EXPECT_GE(item.pageNo, 1);
        EXPECT_LE(item.pageNo, pages);
        EXPECT_EQ(item.isPath + item.isImage <= 1, true);
        if (item.isImage) {
            EXPECT_LT(item.imageIndex, doc.imageList.Count());
        } else if (!item.isPath) {
            EXPECT_EQ(item.advances.size(), item.spacings.size());
            EXPECT_LE(CodePointCount(item.text), item.advances.size());
            EXPECT_FALSE(item.advances.empty());
        }
    }
    EXPECT_TRUE(doc.pageItems.IsEmpty());
}

// Code points of a UTF-8 text, without blanks.
std::map<char32_t, int> NonBlankCharacters(const std::string& utf8) {
    std::map<char32_t, int> counts;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : 4;
        char32_t cp = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
        for (size_t k = 1; k < length && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += length;
        if (cp == ' ' || cp == '\n' || cp == '\r' || cp == '\t' || cp == '\f' || cp == 0xA0) continue;
        ++counts[cp];
    }
    return counts;
}

// The files whose fonts use the standard encodings (or differences with
// standard glyph names), and the pages that show only such text. The
// output of `pdftotext -raw -enc UTF-8` is kept in tests/data/content.
struct TCoverageCase {
    const char* file;
    std::set<int32_t> pages;  // empty: every page
    const char* excluded;     // why the other pages are left out
};
const TCoverageCase kCoverageCases[] = {
    {"broken-kids-cycle.pdf", {}, ""},
    {"broken-prev-loop.pdf", {}, ""},
    {"cairo-truetype-flate-images-v14.pdf", {}, ""},
    {"gs-annots-v14.pdf", {2}, "page 1: text of annotation appearances, which are forms"},
    {"gs-ccitt-g4-v14.pdf", {}, ""},
    {"gs-std14-v12.pdf", {1, 3}, "page 2: Symbol and ZapfDingbats"},
    {"groff-gropdf-v14.pdf", {1, 3}, "page 2: Symbol"},
    {"incremental-update.pdf", {}, ""},
    {"lzw-content-v12.pdf", {}, ""},
    {"mutool-create-noinfo-v17.pdf", {}, ""},
    {"reportlab-a85-flate-annots-v14.pdf", {2, 3},
     "page 1: ZapfDingbats, a TrueType subset with its own codes, annotation text"},
    {"tree-inherited-root.pdf", {}, ""},
};

}  // namespace

TEST(CorpusTest, EveryFileGivesAConsistentDisplayList) {
    for (const TManifestRow& row : LoadManifest()) {
        SCOPED_TRACE(row.file);
        TOpened opened(row.file);
        TPdfDocument& doc = opened.doc;
        ExpectConsistentDisplayList(doc);
        if (doc.pageList.IsEmpty()) continue;

        // A second interpretation of page 1 replaces its items: the same
        // number again, now at the end of the list.
        const auto before = doc.pageItemIndex.size() > 1 ? doc.pageItemIndex[1].size() : 0;
        const std::vector<uint8_t> content = doc.PageContent(0);
        InterpretPage(doc, content.data(), static_cast<int32_t>(content.size()), false, 1);
        ExpectConsistentDisplayList(doc);
        const auto after = doc.pageItemIndex.size() > 1 ? doc.pageItemIndex[1].size() : 0;
        EXPECT_EQ(after, before);
        if (after > 0) {
            EXPECT_EQ(doc.pageItemIndex[1].back(), doc.displayList.Count() - 1);
        }
    }
}

TEST(CorpusTest, RunsHoldTheTextThatPdftotextFinds) {
    for (const TCoverageCase& c : kCoverageCases) {
        SCOPED_TRACE(c.file);
        TOpened opened(c.file);
        const TPdfDocument& doc = opened.doc;
        const std::string expected = ToolOutput("pdftotext -q -raw -enc UTF-8 " + Quoted(CorpusPath(c.file)) + " -");
        ASSERT_FALSE(expected.empty());

        // pdftotext ends every page with a form feed.
        std::vector<std::string> pageTexts;
        for (size_t start = 0, feed; (feed = expected.find('\f', start)) != std::string::npos; start = feed + 1)
            pageTexts.push_back(expected.substr(start, feed - start));
        ASSERT_EQ(static_cast<int32_t>(pageTexts.size()), doc.pageList.Count());

        int64_t checkedCharacters = 0;
        for (int32_t pageNo = 1; pageNo <= doc.pageList.Count(); ++pageNo) {
            if (!c.pages.empty() && !c.pages.count(pageNo)) continue;
            std::string ours;
            for (const TDisplayItem& item : doc.displayList)
                if (item.pageNo == pageNo && !item.isPath && !item.isImage) ours += item.text;
            const auto theirs = NonBlankCharacters(pageTexts[static_cast<size_t>(pageNo - 1)]);
            const auto mine = NonBlankCharacters(ours);
            int64_t total = 0, covered = 0;
            for (const auto& [cp, count] : theirs) {
                total += count;
                const auto found = mine.find(cp);
                covered += std::min(count, found == mine.end() ? 0 : found->second);
            }
            checkedCharacters += total;
            EXPECT_GE(covered * 100, total * 95) << "page " << pageNo << ": " << covered << " of " << total;
        }
        EXPECT_GT(checkedCharacters, 0);
    }
}
