// The page view's figures for glyphwell-bench (built when the view library
// is; GW_HAVE_VIEW is defined then).
#pragma once

class TPdfDocument;

// Prints "name value unit" lines: off-screen paint time per page at zoom
// 100 and the slowest page, and the pointer tool's time per mouse movement
// on the page with the most items (densestPage). With firstLast only the
// first and the last page are painted. A QApplication must exist.
void BenchPaintStages(TPdfDocument& doc, int densestPage, bool firstLast = false);

// Prints the preview's figures: writing into memory, loading both versions
// into Poppler, render time per page at zoom 100 and the slowest page, and
// the time of the pixel comparison. A QApplication must exist.
void BenchPreviewStages(TPdfDocument& doc);

// Drives the main window through a scenario ("open", "cancel-reopen",
// "preview") on FILE and prints its figures; the process's exit status.
// Makes its own QApplication.
int BenchWindow(const char* scenario, const char* path);
