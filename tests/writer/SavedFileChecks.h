// What independent PDF tools make of a file, for comparing a saved file
// with the file it was saved from: qpdf's warnings, poppler's page sizes,
// text and renderings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TestSupport.h"


// qpdf --check: its exit status (0 clean, 2 errors, 3 warnings) and its
// warnings with the file name and every number blanked, so that the same
// fault at another offset or object number compares equal.
struct TQpdfCheck {
    int status = -1;
    std::vector<std::string> warnings;
    std::string output;
};
TQpdfCheck QpdfCheck(const std::string& path);
// The warnings of `saved` that `original` does not have.
std::vector<std::string> NewWarnings(const TQpdfCheck& original, const TQpdfCheck& saved);

struct TPageGeometry {
    double width = 0;
    double height = 0;
    int rotation = 0;
};
// pdfinfo's page count and per-page sizes and rotations; empty when pdfinfo
// cannot read the file or measures none of its pages.
std::vector<TPageGeometry> PageGeometry(const std::string& path);

// pdftotext's text of every page.
std::vector<std::string> PageTexts(const std::string& path);

// The largest difference of one pixel between the pages of two files
// rendered by pdftoppm at `dpi` in gray (the first `pages` pages; 0: all),
// or a text saying why they cannot be compared (page count, page size).
struct TRenderDiff {
    int maxPixelDiff = 0;
    std::vector<double> differingShare;  // per page, the share of its pixels that differ at all
    std::string problem;                 // empty when every page was compared
};
TRenderDiff CompareRenderings(const std::string& a, const std::string& b, const std::string& scratchDir,
                              int dpi = 50, int pages = 0);

// Per page, the pixels of pdftoppm's gray rendering at `dpi` that are far
// from the page's background (its most common value): the ink a glyph
// that is no longer drawn takes away. Empty when nothing renders.
std::vector<int64_t> PageInk(const std::string& pdf, const std::string& scratchDir, int dpi = 50);
// The same for one page (1-based) alone; -1 when it does not render.
int64_t PageInk(const std::string& pdf, int page, const std::string& scratchDir, int dpi = 50);

// The text between the last "N G obj" at a line start and its "endobj" in
// a written file (copied objects keep their own line ends).
std::string ObjectText(const std::string& bytes, int32_t num, int32_t gen = 0);

// How often `key` stands in `text` as a whole name (not as the start of a
// longer one: "/Font" is not counted in "/FontDescriptor").
int CountKey(const std::string& text, const std::string& key);

struct TWord {
    double xMin = 0, xMax = 0;
    std::string text;
};
// The words of `pdftotext -bbox`, page by page.
std::vector<std::vector<TWord>> WordBoxes(const std::string& path);
// Largest difference of xMin or xMax between words that must be the same;
// infinity when the words differ.
double LargestShift(const std::vector<std::vector<TWord>>& a, const std::vector<std::vector<TWord>>& b);

// One row of pdffonts.
struct TPdfFontLine {
    std::string name, type, emb, sub, uni;
    int32_t objNum = 0;
};
std::vector<TPdfFontLine> PdfFonts(const std::string& path);

// The path of glyphwell-cli in the build tree.
std::string CliPath();
