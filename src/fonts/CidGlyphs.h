// How a new font draws the codes of a composite font it replaces: for each
// code the old font shows, the CID the old encoding selects, the
// characters it stands for, the new font's glyph of them and the advances
// to write, so that the content's codes stay as they are.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FontText.h"
#include "ReplacementGlyphs.h"
#include "UsedCodes.h"

struct TCidGlyph {
    uint32_t code = 0;
    uint8_t length = 2;         // bytes of the code
    uint32_t oldCid = 0;        // what the old encoding selects
    std::u32string text;        // empty: nothing in the file says
    uint32_t newGlyph = 0;      // glyph index in the new font, 0 = none
    // Without a glyph: an index past the new font's last glyph, its own for
    // each such code, so that a font that finds glyphs by index can still
    // give each its old width.
    uint32_t spareIndex = 0;
    double width = 0;           // thousandths of the text size
    double oldWidth = 0;        // the old font's
    TFontText::TVerticalMetrics vertical;  // the old font's, for vertical writing
};

struct TCompositeGlyphs {
    std::vector<TCidGlyph> codes;  // ascending by code
    bool vertical = false;
    std::vector<TMissingCharacter> missing;
    int32_t unknownCharacters = 0;  // codes whose characters nothing names
    double defaultWidth = 1000;     // the old /DW
    double defaultOriginY = 880;    // the old /DW2
    double defaultAdvanceY = -1000;
};

// The characters a composite font's code stands for; empty when nothing in
// the file names them (or only control characters and U+FFFD).
std::u32string CompositeCodeText(const TFontText& old, uint32_t code);

// Maps the codes `used` of the composite font described by `old` onto the
// new font file. With keepWidths each code keeps the old font's advance;
// otherwise it gets the new font's (the old one where the new font has no
// glyph). Nothing when the new font file cannot be opened.
std::optional<TCompositeGlyphs> MapCompositeGlyphs(const TFontText& old, const TWideCodes& used,
                                                   const std::string& newFontPath, int32_t newFaceIndex,
                                                   bool keepWidths);

// How many of `used` have no known characters.
int32_t CountUnknownComposite(const TFontText& old, const TWideCodes& used);
