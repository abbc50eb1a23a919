// Writing a new PDF file from the open document.
#pragma once

#include <string>

#include "PdfDocument.h"

// "PDF speichern unter...": rewrites every page content so that each font
// selection names its replacement, asks for the file name, writes the new
// file, shows it when wanted and opens it again. True when a file was
// written.
bool SavePdfCommand(TPdfDocument& doc);
