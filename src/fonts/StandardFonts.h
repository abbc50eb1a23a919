// The 14 standard fonts that a PDF file may use without embedding them:
// their metrics and built-in encodings, read from the AFM files of the URW
// base-35 fonts, whose metrics are those of the standard fonts.
#pragma once

#include <array>
#include <string>
#include <unordered_map>

struct TStandardFontMetrics {
    std::string afmName;  // "NimbusRoman-Regular"
    // Advance widths in thousandths of the em, by glyph name.
    std::unordered_map<std::string, int32_t> widths;
    // The font's own encoding: glyph name by code, empty where it has none.
    std::array<std::string, 256> builtInEncoding;
    // Symbol and ZapfDingbats: their codes name no Latin characters.
    bool symbolic = false;
    // Thousandths of the em above and below the baseline, the standard
    // font's own (the URW files state none); 0 for the symbol fonts.
    int32_t ascent = 0;
    int32_t descent = 0;
    // The advance viewers give a code whose glyph the font lacks: the one
    // width of a fixed-pitch font, else nothing.
    int32_t missingWidth = 0;
};

// The metrics for a /BaseFont value (without the slash; a subset tag is
// ignored): one of the 14 names, or a common alias such as "Arial,Bold" or
// "TimesNewRomanPS-BoldMT". Nothing when the name is none of them or the
// AFM file cannot be read. Files are read once and kept.
const TStandardFontMetrics* StandardFontMetrics(const std::string& baseFont);

// Where the AFM files are looked for; tests point it elsewhere.
void SetStandardFontDirectory(const std::string& directory);

// Parses the text of an AFM file ("C 65 ; WX 722 ; N A ; ..." lines).
// Lines it does not understand are skipped.
TStandardFontMetrics ParseAfm(const std::string& text);
