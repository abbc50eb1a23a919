// Document information, catalog, page tree, page dictionaries and the page loop.
#include "PdfDocument.h"

void TPdfDocument::ReadDocumentInfo() {}
bool TPdfDocument::ReadCatalog() { return false; }
bool TPdfDocument::CollectKids(std::vector<TPageRef>&) { return false; }
void TPdfDocument::ReadPageTree() {}
void TPdfDocument::ReadPageDicts() {}
void TPdfDocument::ReadResources() {}
void TPdfDocument::ReadPageLoop() {}
void TPdfDocument::ReadAnnotations(TPageRecord&) {}
