// Saving as glyphwell-cli and the tests do it, through the user-interface
// interface: the window has its own command with dialogs.
#pragma once

#include "PdfWriter.h"

// "PDF speichern unter...": rewrites every page content so that each font
// selection names its replacement, asks for the file name, writes the new
// file, shows it when wanted and opens it again. True when a file was
// written.
bool SavePdfCommand(TPdfDocument& doc);

// The writer half of the command: asks for the file name (cancel: nothing
// happens), writes, reports a failure in a message box, shows the file when
// wanted and opens the written file. True when a file was written; then
// `report`, when given, says what the writer had to leave out (the caller
// tells it: WriteReportLines).
bool SavePDFNew(TPdfDocument& doc, TWriteReport* report = nullptr);
