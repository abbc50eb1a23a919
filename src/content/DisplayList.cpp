// Handing a page's items over to the display list, the per-page index of
// the list that spares painting and the pointer tool a walk over the items
// of every page, and the pages interpreted on demand: the list holds the
// pages asked for last, within a memory budget.
#include <algorithm>
#include <chrono>
#include <unordered_set>

#include "ContentInterpreter.h"
#include "Interpreter_p.h"

namespace {

bool Indexable(int32_t pageNo) { return pageNo >= 1 && pageNo <= kMaxIndexedPage; }

// The index is trusted only while it accounts for every item of the list:
// a list filled or trimmed by other code gets a fresh index. Summing the
// per-page counts costs one step per page, not per item.
bool IndexCoversList(const TPdfDocument& doc) {
    size_t indexed = 0;
    for (const auto& positions : doc.pageItemIndex) indexed += positions.size();
    return indexed == static_cast<size_t>(doc.displayList.Count());
}

void AddToIndex(TPdfDocument& doc, int32_t pageNo, int32_t position) {
    auto& index = doc.pageItemIndex;
    const auto slot = static_cast<size_t>(pageNo);
    if (index.size() <= slot) index.resize(slot + 1);
    index[slot].push_back(position);
}

// An estimate of what a page's items hold, with what they own. A short
// text lives inside the item and costs nothing more.
size_t ItemBytes(TPdfDocument& doc, int32_t pageNo) {
    static const size_t kInlineText = std::string().capacity();
    size_t bytes = 0;
    for (const int32_t pos : ItemsOfPage(doc, pageNo)) {
        const TDisplayItem& item = doc.displayList[static_cast<size_t>(pos)];
        const size_t textBytes = item.text.capacity() > kInlineText ? item.text.capacity() + 1 : 0;
        bytes += sizeof(TDisplayItem) + textBytes +
                 item.advances.capacity() * sizeof(item.advances[0]) +
                 item.spacings.capacity() * sizeof(item.spacings[0]) +
                 static_cast<size_t>(item.segments.Count()) * sizeof(TPathSegment);
    }
    return bytes;
}

void TrimShownPages(TPdfDocument& doc) {
    if (doc.shownPagesBytes <= doc.displayListBudget) return;
    // Dropping costs a pass over the list: a quarter of the budget is freed
    // at once rather than one page per page shown.
    const size_t target = doc.displayListBudget / 4 * 3;
    std::vector<int32_t> dropped;
    size_t dropCount = 0;
    while (doc.shownPagesBytes > target && dropCount + 1 < doc.shownPages.size()) {
        doc.shownPagesBytes -= doc.shownPages[dropCount].bytes;
        dropped.push_back(doc.shownPages[dropCount].pageNo);
        ++dropCount;
    }
    if (dropped.empty()) return;
    doc.shownPages.erase(doc.shownPages.begin(), doc.shownPages.begin() + static_cast<std::ptrdiff_t>(dropCount));
    DropPageItems(doc, dropped);
}

const std::vector<int32_t> kNoItems;

}  // namespace

bool EnsurePageItems(TPdfDocument& doc, int32_t pageNo) {
    if (pageNo < 1 || pageNo > doc.pageList.Count()) return false;
    auto& shown = doc.shownPages;
    const auto found = std::find_if(shown.begin(), shown.end(),
                                    [pageNo](const TPdfDocument::TShownPage& page) { return page.pageNo == pageNo; });
    if (found != shown.end()) {
        std::rotate(found, found + 1, shown.end());
        return true;
    }
    if (!doc.pageList[static_cast<size_t>(pageNo - 1)].hasContent) return false;
    const auto start = std::chrono::steady_clock::now();
    const std::vector<uint8_t> content = doc.PageContent(pageNo - 1);
    InterpretPage(doc, content.data(), static_cast<int32_t>(content.size()), false, pageNo);
    doc.timings.interpretation += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const size_t bytes = ItemBytes(doc, pageNo);
    shown.push_back({pageNo, bytes});
    doc.shownPagesBytes += bytes;
    TrimShownPages(doc);
    return true;
}

const std::vector<int32_t>& ItemsOfPage(TPdfDocument& doc, int32_t pageNo) {
    if (!Indexable(pageNo)) return kNoItems;
    if (!IndexCoversList(doc)) RebuildPageItemIndex(doc);
    const auto slot = static_cast<size_t>(pageNo);
    return slot < doc.pageItemIndex.size() ? doc.pageItemIndex[slot] : kNoItems;
}

void InterpretAllPages(TPdfDocument& doc) {
    for (int32_t pageNo = 1; pageNo <= doc.pageList.Count(); ++pageNo) EnsurePageItems(doc, pageNo);
}

void DropPageItems(TPdfDocument& doc, const std::vector<int32_t>& pageNos) {
    const std::unordered_set<int32_t> drop(pageNos.begin(), pageNos.end());
    auto& list = doc.displayList;
    auto& items = list.data;
    items.erase(std::remove_if(items.begin(), items.end(),
                               [&drop](const TDisplayItem& item) { return drop.count(item.pageNo) > 0; }),
                items.end());
    list.count = static_cast<uint32_t>(items.size());
    list.Shrink();
    RebuildPageItemIndex(doc);
    if (list.Count() > 0) list.Select(list.Count() - 1);
    else list.Clear();
    ++doc.displayListDrops;
}

void RebuildPageItemIndex(TPdfDocument& doc) {
    for (auto& positions : doc.pageItemIndex) positions.clear();
    for (int32_t i = 0; i < doc.displayList.Count(); ++i) {
        const int32_t pageNo = doc.displayList[static_cast<size_t>(i)].pageNo;
        if (Indexable(pageNo)) AddToIndex(doc, pageNo, i);
    }
}

void ReplacePageItems(TPdfDocument& doc, int32_t pageNo) {
    auto& list = doc.displayList;
    if (!IndexCoversList(doc)) RebuildPageItemIndex(doc);

    // A page is normally interpreted once per open; only a second
    // interpretation (or an unindexable page number) has old items to remove.
    bool hasOldItems;
    if (Indexable(pageNo)) {
        const auto slot = static_cast<size_t>(pageNo);
        hasOldItems = slot < doc.pageItemIndex.size() && !doc.pageItemIndex[slot].empty();
    } else {
        hasOldItems = std::any_of(list.begin(), list.end(),
                                  [pageNo](const TDisplayItem& item) { return item.pageNo == pageNo; });
    }
    if (hasOldItems) {
        auto& old = list.data;
        old.erase(std::remove_if(old.begin(), old.end(),
                                 [pageNo](const TDisplayItem& item) { return item.pageNo == pageNo; }),
                  old.end());
        list.count = static_cast<uint32_t>(old.size());
        list.Shrink();
    }

    const int32_t firstNew = list.Count();
    // The storage grows geometrically: a reserve for exactly the new count
    // would copy the items of all earlier pages once per page. Once the room
    // is there, the moves cannot fail, so no item is lost half-way.
    auto& items = list.data;
    const size_t needed = items.size() + static_cast<size_t>(doc.pageItems.Count());
    if (items.capacity() < needed) items.reserve(std::max(needed, 2 * items.capacity()));
    for (TDisplayItem& item : doc.pageItems) items.push_back(std::move(item));
    list.count = static_cast<uint32_t>(list.data.size());
    list.Grow();
    doc.pageItems.Clear();
    if (hasOldItems) {
        RebuildPageItemIndex(doc);
    } else if (Indexable(pageNo)) {
        for (int32_t i = firstNew; i < list.Count(); ++i) AddToIndex(doc, pageNo, i);
    }

    // Appending moved the storage: the cursor rests on the last item, as
    // after appending the items one by one, or on nothing.
    if (list.Count() > 0) list.Select(list.Count() - 1);
    else list.Clear();
}
