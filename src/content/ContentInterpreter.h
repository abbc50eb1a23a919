// The content stream interpreter: turns a page's decoded content into
// display-list items.
#pragma once

#include "PdfDocument.h"

// Installs the interpreter as the document's InterPretPage.
void AttachInterpreter(TPdfDocument& doc);

// Recomputes doc.pageItemIndex from doc.displayList: for each page number,
// the positions of its items in list order. Items whose page number lies
// outside 1..kMaxIndexedPage are not indexed.
void RebuildPageItemIndex(TPdfDocument& doc);
constexpr int32_t kMaxIndexedPage = 8388608;
