// Handing a page's items over to the display list, and the per-page index
// of the list that spares painting and the pointer tool a walk over the
// items of every page.
#include <algorithm>

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

}  // namespace

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
