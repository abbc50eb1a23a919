// What a font's codes say, beyond the code-to-WinAnsi path of simple fonts
// with a standard encoding: the /ToUnicode map, the characters of a font
// program's own encoding, and for composite fonts how strings split into
// codes, which CID each selects and how wide it is.
//
// Built from the file on the first use of a font record and kept in it, so
// that fonts no page draws cost nothing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "CMap.h"
#include "PdfDocument.h"

struct TFontText {
    // /ToUnicode, empty without one.
    TCMap toUnicode;
    // Simple fonts: UTF-8 characters of each code, from /ToUnicode or, for
    // glyph names without a WinAnsi code (ligatures, Greek, a program's
    // private encoding), from the name; empty where the encoding's own
    // character stands.
    std::array<std::string, 256> codeText;

    // Composite fonts only.
    bool composite = false;
    TCMap encoding;
    // The encoding is one of the Unicode CMaps: the code is the character.
    bool unicodeCodes = false;
    // CID to UTF-8, from the embedded font program's own character map.
    std::unordered_map<uint32_t, std::string> cidText;
    // CID to character for the font's character collection (Adobe-Japan1
    // and the like), where nothing above says; 0 where the table has none.
    std::vector<char32_t> collectionText;
    // The descendant's /CIDSystemInfo /Ordering ("Japan1", "Identity"),
    // empty when it names none.
    std::string ordering;
    struct TWidthRange {
        uint32_t first = 0;
        uint32_t last = 0;
        double width = 0;
    };
    std::vector<TWidthRange> widths;  // later ranges override earlier ones
    std::unordered_map<uint32_t, double> cidWidths;  // the "c [w1 w2 ...]" form
    double defaultWidth = 1000;

    // Vertical writing, in thousandths of the text size: how far a glyph
    // moves the text position (down is negative), and where its vertical
    // origin, which the text position stands on, lies from the origin it
    // is drawn at. Without /W2, originX is half the glyph's width.
    struct TVerticalMetrics {
        double advance = -1000;
        double originX = 0;
        double originY = 880;
    };
    struct TVerticalRange {
        uint32_t first = 0;
        uint32_t last = 0;
        TVerticalMetrics metrics;
    };
    std::vector<TVerticalRange> verticalRanges;  // later ranges override earlier ones
    std::unordered_map<uint32_t, TVerticalMetrics> cidVerticals;  // the "c [w1y v1x v1y ...]" form
    // /DW2: the origin's height and the advance of CIDs /W2 does not name.
    double defaultOriginY = 880;
    double defaultAdvanceY = -1000;

    // The width of a CID in thousandths of the text size.
    double CidWidth(uint32_t cid) const;
    // A composite font whose encoding writes downward.
    bool Vertical() const { return composite && encoding.Vertical(); }
    TVerticalMetrics VerticalMetricsOf(uint32_t cid) const;
    // The characters of one code; empty when nothing says.
    std::string CharactersOf(uint32_t code) const;
    // The same for a simple font's code, looked up in a table built once.
    const std::string& SimpleCharacters(uint8_t code) const { return codeText[code]; }
    // Puts the /ToUnicode characters of the codes 0 to 255 into codeText,
    // over what the glyph names gave.
    void FillCodeTable();
};

// The text description of `font`, read on first call and kept in the
// record; null for a simple font where nothing beyond its encoding applies.
// The document's cursor and parsed dictionary are left as they were.
const TFontText* FontTextOf(TPdfDocument& doc, TFontRecord& font);

// The decoded font program the font's descriptor embeds (/FontFile,
// /FontFile2 or /FontFile3); empty without one, or when it cannot be read
// or is larger than any real font. The document's cursor is left as it was.
std::string FontProgramBytes(TPdfDocument& doc, const TFontRecord& font);

// Folders searched for the predefined CMaps, in order (the first that has
// the named map wins); replaceable for tests.
std::vector<std::string>& PredefinedCMapFolders();
// The folder of the character collections' CID-to-Unicode tables.
std::string& CidToUnicodeFolder();
