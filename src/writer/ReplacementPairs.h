// Which old fonts an added font replaces, and the resource name under
// which each such pair is written: a replaced font keeps its encoding and
// widths, so every old font an added font stands in for gets a font
// dictionary of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PdfDocument.h"

struct TReplacementPair {
    int32_t addedIndex = 0;  // fontList index of the added font
    std::string resName;     // the name the rewritten content selects
    // fontList indexes of the old font records replaced through this pair:
    // the same old font dictionary on every page that uses it.
    std::vector<int32_t> oldRecords;
    // The old font's object number when this pair is written in its place:
    // the old font is an object of its own and every record of the document
    // that uses it is replaced through this pair. The pages' font
    // dictionaries and content then stay as they are, and no page lists the
    // old font any more. 0 otherwise.
    int32_t takesOverObject = 0;
};

// In font-list order of the first old record; the first pair of an added
// font takes the added font's own resource name, later ones that name with
// "_2", "_3", ... (made unique among the document's names). A pair that
// takes over the old object keeps the old names instead. The same document
// always gives the same pairs.
std::vector<TReplacementPair> ReplacementPairs(const TPdfDocument& doc);
