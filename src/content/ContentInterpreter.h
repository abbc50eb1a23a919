// The content stream interpreter: turns a page's decoded content into
// display-list items.
#pragma once

#include "PdfDocument.h"

// Runs one page's decoded content through the interpreter: the page's items
// (page number pageNo, 1-based) replace those the display list held for it.
// The open does not interpret: a page is interpreted when it is shown,
// hovered or its text is needed (EnsurePageItems below).
void InterpretPage(TPdfDocument& doc, const uint8_t* content, int32_t length, bool pumpMessages, int32_t pageNo);

// Recomputes doc.pageItemIndex from doc.displayList: for each page number,
// the positions of its items in list order. Items whose page number lies
// outside 1..kMaxIndexedPage are not indexed.
void RebuildPageItemIndex(TPdfDocument& doc);
constexpr int32_t kMaxIndexedPage = 8388608;

// "The items of page N": makes sure the display list holds the items of page
// pageNo (1-based), interpreting its content now when it does not. Pages
// asked for longest ago give their items up once the pages together exceed
// doc.displayListBudget (the page asked for stays). False when the page has
// no content that could be read; a list filled by other means is left alone
// for such a page.
bool EnsurePageItems(TPdfDocument& doc, int32_t pageNo);
// The positions in doc.displayList of the page's items, in list order,
// after EnsurePageItems.
const std::vector<int32_t>& ItemsOfPage(TPdfDocument& doc, int32_t pageNo);
// Interprets every page in turn (for a whole-document look at the items);
// with a budget smaller than the document the earlier pages give way.
void InterpretAllPages(TPdfDocument& doc);
// Removes the items of the given pages from the display list.
void DropPageItems(TPdfDocument& doc, const std::vector<int32_t>& pageNos);
