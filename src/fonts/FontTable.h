// The font table of the tab "Schriftarten" as operations on the model: its
// rows, the choices of the dialog "Schriftart wechseln", and the replace and
// keep commands. Pages are 1-based.
#pragma once

#include <string>
#include <vector>

#include "PdfDocument.h"

// Indexes into fontList of the rows of page p: records with hidden = 0 and
// pageIndex = p - 1, in list order. Empty for an invalid page.
std::vector<int32_t> FontTableRows(const TPdfDocument& doc, int32_t page);
// The names the dialog offers for page p: resName of every record with
// pageIndex = p - 1 or hidden = 1, in list order.
std::vector<std::string> ReplacementChoices(const TPdfDocument& doc, int32_t page);
// Sets (or clears) replacementName of the record behind table row `row` of
// page p. False when the page or the row does not exist.
bool SetReplacement(TPdfDocument& doc, int32_t page, int32_t row, const std::string& name);
bool ClearReplacement(TPdfDocument& doc, int32_t page, int32_t row);

// Where a replacement made for every page took effect: the pages (1-based,
// ascending) whose records now name the new font, and those that use the
// old font but have no font dictionary of the chosen one to name.
struct TEverywhereOutcome {
    std::vector<int32_t> pagesReplaced;
    std::vector<int32_t> pagesWithout;
};
// The replacement of table row `row` of page p, made on every record read
// from the same font dictionary as that row's (wherever a page, a form or
// an annotation uses that font object). `name` is one of ReplacementChoices
// for page p. An added font serves every page; a font of the page serves
// the pages whose resources hold the same font dictionary, under whatever
// name they give it there. A record without a known dictionary stands for
// itself.
TEverywhereOutcome SetReplacementEverywhere(TPdfDocument& doc, int32_t page, int32_t row, const std::string& name);
