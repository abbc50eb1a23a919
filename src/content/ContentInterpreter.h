// The content stream interpreter: turns a page's decoded content into
// display-list items.
#pragma once

#include "PdfDocument.h"

// Installs the interpreter as the document's InterPretPage.
void AttachInterpreter(TPdfDocument& doc);
