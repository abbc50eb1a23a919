// Replacements that would lose text, found before anything is written: a
// font whose codes are single bytes replaced by another font of the page
// that reads wider codes (or the reverse; an added font is written as a
// font of the old one's kind), a font replaced by an added font on a page that shows
// codes whose characters nothing in the file names, so that the new font
// cannot be told what to draw for them, and a font replaced by another
// font of the page that draws other characters, or none, for the codes
// shown (a subset's codes 1, 2, 3 ... under a font of a standard encoding). Such a replacement is not
// made; the callers say why.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "PdfDocument.h"

enum class TRefusalReason : uint8_t {
    UnknownCharacters,  // codes whose characters are not known
    CodeWidths,         // one of two fonts of the page is composite, the other simple
    OtherCharacters,    // a font of the page draws other characters, or none, for codes the old one shows
};

struct TRefusedReplacement {
    TRefusalReason reason = TRefusalReason::UnknownCharacters;
    std::string oldFont;           // /BaseFont without the slash; the resource name when there is none
    std::string newFont;           // the same for the chosen font
    bool oldComposite = false;     // CodeWidths: the old font is the composite one
    std::vector<int32_t> records;  // fontList indexes of the old font's records concerned
    std::vector<int32_t> pages;    // 1-based, ascending
    int32_t unknownCharacters = 0; // UnknownCharacters: codes over all those pages
    int32_t otherCharacters = 0;   // OtherCharacters: codes over all those pages
};

// Every chosen replacement that would lose text, one entry per old font
// dictionary, chosen font and reason. The document's cursor is left as
// it was.
std::vector<TRefusedReplacement> RefusedReplacements(TPdfDocument& doc);

// Whether replacing the font of record `oldRecord` by the font `newName`
// (a resource name of the same page or of an added font, as the
// replacement dialog offers them) would lose text; nothing when it would
// not. The document's cursor is left as it was.
std::optional<TRefusedReplacement> RefusedReplacement(TPdfDocument& doc, int32_t oldRecord, const std::string& newName);

// Takes back the replacement of every record named in `refused`.
void WithdrawReplacements(TPdfDocument& doc, const std::vector<TRefusedReplacement>& refused);
