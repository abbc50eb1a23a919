// Font records of every page: widths, encodings, /Differences and /CharSet.
#include "PdfDocument.h"

void TPdfDocument::CollectFonts() {}
void TPdfDocument::ReadFontDicts() {}
void TPdfDocument::ReadDescriptors() {}
void TPdfDocument::ReadEncodingDicts() {}
