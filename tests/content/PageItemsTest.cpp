// Pages interpreted on demand: the open interprets nothing, asking for a
// page gives the items the interpreter makes of its content, and a small
// budget keeps the display list to the pages asked for last.
#include <gtest/gtest.h>

#include <sstream>

#include "ContentInterpreter.h"
#include "TestSupport.h"

namespace {

constexpr const char* kManyPages = "pdftex-camlidl-v12.pdf";

// What a page's items show, one line per item.
std::string Signature(const TPdfDocument& doc, const std::vector<int32_t>& positions) {
    std::ostringstream out;
    for (const int32_t pos : positions) {
        const TDisplayItem& item = doc.displayList[static_cast<size_t>(pos)];
        out << item.pageNo << ' ' << int(item.isPath) << int(item.isImage) << ' ' << doc.FontNameOf(item) << ' '
            << item.text << ' ' << item.x << ' ' << item.y << ' ' << item.advances.size() << '\n';
    }
    return out.str();
}

struct TOpened {
    TFixedMeasurer measurer;
    THeadlessUi ui{&measurer};
    TPdfDocument doc{ui};
    explicit TOpened(const std::string& file) {
        doc.openfilenow(CorpusPath(file));
    }
};

// Each page's items as interpreting every page in turn at the open made
// them, straight through the interpreter.
std::vector<std::string> EagerSignatures(const std::string& file) {
    TOpened opened(file);
    TPdfDocument& doc = opened.doc;
    std::vector<std::string> pages(static_cast<size_t>(doc.pageList.Count()) + 1);
    for (int32_t pageNo = 1; pageNo <= doc.pageList.Count(); ++pageNo) {
        if (!doc.pageList[static_cast<size_t>(pageNo - 1)].hasContent) continue;
        const std::vector<uint8_t> content = doc.PageContent(pageNo - 1);
        InterpretPage(doc, content.data(), static_cast<int32_t>(content.size()), false, pageNo);
    }
    RebuildPageItemIndex(doc);
    for (int32_t pageNo = 1; pageNo <= doc.pageList.Count(); ++pageNo)
        if (static_cast<size_t>(pageNo) < doc.pageItemIndex.size())
            pages[static_cast<size_t>(pageNo)] = Signature(doc, doc.pageItemIndex[static_cast<size_t>(pageNo)]);
    return pages;
}

TEST(PageItems, TheOpenInterpretsNothingAndAPageAskedForGetsItsOwnItems) {
    const std::vector<std::string> eager = EagerSignatures(kManyPages);
    TOpened opened(kManyPages);
    TPdfDocument& doc = opened.doc;
    ASSERT_EQ(doc.pageList.Count(), 26);
    EXPECT_TRUE(doc.displayList.IsEmpty());
    EXPECT_TRUE(doc.shownPages.empty());

    ASSERT_TRUE(EnsurePageItems(doc, 7));
    const std::vector<int32_t>& seven = ItemsOfPage(doc, 7);
    ASSERT_FALSE(seven.empty());
    EXPECT_EQ(seven.size(), static_cast<size_t>(doc.displayList.Count()));
    EXPECT_EQ(Signature(doc, seven), eager[7]);
    // Asked again, the page is not interpreted a second time.
    const int32_t count = doc.displayList.Count();
    EXPECT_TRUE(EnsurePageItems(doc, 7));
    EXPECT_EQ(doc.displayList.Count(), count);
    EXPECT_EQ(doc.shownPages.size(), 1u);

    EXPECT_FALSE(EnsurePageItems(doc, 0));
    EXPECT_FALSE(EnsurePageItems(doc, 27));
    EXPECT_TRUE(ItemsOfPage(doc, 27).empty());
}

TEST(PageItems, ATinyBudgetKeepsOnlyThePageAskedForWithTheSameItems) {
    const std::vector<std::string> eager = EagerSignatures(kManyPages);
    TOpened opened(kManyPages);
    TPdfDocument& doc = opened.doc;
    doc.displayListBudget = 1;
    const int32_t pages = doc.pageList.Count();
    // Forwards, backwards and a page again: every time only its items.
    std::vector<int32_t> order;
    for (int32_t p = 1; p <= pages; ++p) order.push_back(p);
    for (int32_t p = pages; p >= 1; p -= 5) order.push_back(p);
    order.push_back(3);
    uint32_t drops = doc.displayListDrops;
    int32_t namesAfterFirstPass = -1;
    for (const int32_t pageNo : order) {
        SCOPED_TRACE(pageNo);
        ASSERT_TRUE(EnsurePageItems(doc, pageNo));
        EXPECT_EQ(Signature(doc, ItemsOfPage(doc, pageNo)), eager[static_cast<size_t>(pageNo)]);
        for (const TDisplayItem& item : doc.displayList) ASSERT_EQ(item.pageNo, pageNo);
        EXPECT_EQ(doc.shownPages.size(), 1u);
        EXPECT_GE(doc.displayListDrops, drops);
        drops = doc.displayListDrops;
        if (pageNo == pages && namesAfterFirstPass < 0) namesAfterFirstPass = doc.runFontNames.Count();
    }
    EXPECT_GT(doc.displayListDrops, 0u);
    // Pages read a second time find their font names in the table: it grows
    // with the document's names, not with the times its pages are read.
    EXPECT_GT(namesAfterFirstPass, 1);
    EXPECT_EQ(doc.runFontNames.Count(), namesAfterFirstPass);
}

TEST(PageItems, ABudgetBoundsTheListAndKeepsTheRecentlyAskedPages) {
    const std::vector<std::string> eager = EagerSignatures(kManyPages);
    TOpened opened(kManyPages);
    TPdfDocument& doc = opened.doc;
    // Room for a few pages of this file.
    ASSERT_TRUE(EnsurePageItems(doc, 2));
    const size_t onePage = doc.shownPagesBytes;
    ASSERT_GT(onePage, 0u);
    doc.displayListBudget = 4 * onePage;
    InterpretAllPages(doc);
    EXPECT_LT(doc.shownPages.size(), 26u);
    EXPECT_GE(doc.shownPages.size(), 2u);
    EXPECT_EQ(doc.shownPages.back().pageNo, 26);
    size_t bytes = 0;
    for (const auto& page : doc.shownPages) bytes += page.bytes;
    EXPECT_EQ(bytes, doc.shownPagesBytes);
    EXPECT_LE(doc.shownPagesBytes, doc.displayListBudget + doc.shownPages.back().bytes);
    // Every page still in the list has exactly its own items.
    for (const auto& page : doc.shownPages)
        EXPECT_EQ(Signature(doc, ItemsOfPage(doc, page.pageNo)), eager[static_cast<size_t>(page.pageNo)]);
    size_t indexed = 0;
    for (const auto& positions : doc.pageItemIndex) indexed += positions.size();
    EXPECT_EQ(indexed, static_cast<size_t>(doc.displayList.Count()));
}

TEST(PageItems, APageWithoutReadableContentLeavesAHandMadeListAlone) {
    TOpened opened("gs-std14-v12.pdf");
    TPdfDocument& doc = opened.doc;
    ASSERT_GE(doc.pageList.Count(), 1);
    doc.pageList[0].hasContent = 0;
    TDisplayItem& item = *doc.displayList.Append();
    item.pageNo = 1;
    item.text = "von Hand";
    EXPECT_FALSE(EnsurePageItems(doc, 1));
    ASSERT_EQ(doc.displayList.Count(), 1);
    EXPECT_EQ(doc.displayList[0].text, "von Hand");
    EXPECT_EQ(ItemsOfPage(doc, 1), (std::vector<int32_t>{0}));
}

}  // namespace
