// Image XObjects and page content streams.
#include "PdfDocument.h"

void TPdfDocument::CollectImages() {}
void TPdfDocument::ReadImageDicts() {}
void TPdfDocument::DecodeImages() {}
bool TPdfDocument::ReadPageContent(TPageRecord&, int32_t, std::vector<uint8_t>&) { return false; }
