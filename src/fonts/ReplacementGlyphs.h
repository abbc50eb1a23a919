// What a replaced font meant for each code it shows, and how a new font
// can mean the same: the glyph name and character of every code, the width
// the old font gave it, whether the new font has that character.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CodeCharacters.h"
#include "GlyphNames.h"
#include "PdfDocument.h"
#include "UsedCodes.h"

// The old font's encoding and widths as its dictionary defines them.
struct TOldFont {
    std::string baseFont;  // without the slash; empty when the dictionary has none
    TGlyphNameTable glyphNames;  // by code, after base encoding and /Differences
    // The codes whose glyph name the dictionary or a standard font's own
    // encoding gives; the others' names are StandardEncoding's, standing in
    // for an encoding the file does not state.
    TCodeSet givenNames;
    std::array<double, 256> widths{};
    TCodeSet hasWidth;
    // Symbol, ZapfDingbats, or a font that says it is symbolic and has no
    // encoding of its own: its codes are no Latin text.
    bool symbolic = false;
    // Thousandths of the em above and below the baseline as viewers take
    // them; both 0 when the old font states none.
    int32_t ascent = 0;
    int32_t descent = 0;
};

// Reads the dictionary of a font record (and its encoding and descriptor).
// Moves the document's cursor.
TOldFont ReadOldFont(TPdfDocument& doc, const TFontRecord& font);

struct TMissingCharacter {
    uint32_t code = 0;  // a composite font's codes are wider than a byte
    char32_t character = 0;  // 0: the old font's glyph name stands for no known character
    std::string glyphName;   // empty: the old encoding leaves the code unassigned
};

// The codes of one replacement as the new font shows them.
struct TReplacementGlyphs {
    TCodeSet codes;  // the codes the pages show with the old font
    // The new font's name for the glyph each code draws, as /Differences
    // writes it (".notdef" where it must draw nothing).
    TGlyphNameTable glyphNames;
    // The character whose glyph each code draws (0: none), and what the
    // code stands for as /ToUnicode writes it.
    std::array<char32_t, 256> characters{};
    std::array<std::u32string, 256> texts;
    std::array<uint32_t, 256> newGlyphs{};  // glyph index in the new font, 0 = none
    std::array<double, 256> widths{};       // thousandths of the em
    // With kept widths, the old font's ascent and descent: the new font's
    // descriptor states them, so that text keeps its height too. Both 0:
    // the new font's own.
    int32_t ascent = 0;
    int32_t descent = 0;
    std::vector<TMissingCharacter> missing;
    // Codes the pages show whose character nothing in the file names: the
    // replacement would draw nothing for them.
    TCodeSet unknown;
    bool symbolic = false;        // a symbol font with codes of unknown character
    bool oldWidthsKnown = true;   // false: neither /Widths nor standard metrics
};

// Maps the codes `used` of the old font onto the new font file, each to
// the new font's glyph of the character it stands for. With keepWidths
// each code keeps the old font's advance where the old font states one;
// otherwise (and where it states none) it gets the new font's. Nothing
// when the new font file cannot be opened.
std::optional<TReplacementGlyphs> MapReplacementGlyphs(const TOldFont& old, const TSimpleCodeCharacters& characters,
                                                       const TCodeSet& used, const std::string& newFontPath,
                                                       int32_t newFaceIndex, bool keepWidths);

// The one character whose glyph draws `text`: the character itself, or
// the ligature that /ToUnicode spells out letter by letter. 0 for none.
char32_t DrawnCharacter(const std::u32string& text);

// "ä ö ü" etc.: the missing characters as UTF-8 text for messages, each
// unknown one as its glyph name or code.
std::string MissingCharactersText(const std::vector<TMissingCharacter>& missing);
