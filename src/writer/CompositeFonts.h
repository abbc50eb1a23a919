// The objects of a composite (Type 0) font written in place of a composite
// font with an installed face: the content keeps its codes byte for byte.
//
// A TrueType face becomes a CIDFontType2 whose /CIDToGIDMap takes each old
// CID to the new face's glyph of its character; the old encoding stays
// (Identity-H/-V and the predefined CMaps by name, an embedded CMap as a map
// of the codes shown), and so do the old widths by CID. A face with CFF
// outlines becomes a CIDFontType0: its glyphs are found by CID = glyph
// index, which no map can change, so the encoding is written anew as an
// embedded CMap that takes each code shown to the new glyph's index.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "CidGlyphs.h"

inline bool IsCompositeFont(const TFontRecord& font) { return font.subtype == "/Type0"; }

// The old font's encoding as the new font can use it.
struct TOldEncoding {
    std::string name;     // "/Identity-H", "/UniJIS-UCS2-H"; empty: embedded (written anew)
    std::string ordering; // the old /CIDSystemInfo /Ordering, for a kept name
    // The old encoding's code-space ranges (lowest and highest code's bytes).
    std::vector<std::pair<std::string, std::string>> codeSpace;
};

struct TCompositeNumbers {
    int32_t font = 0;
    int32_t descendant = 0;
    int32_t descriptor = 0;
    int32_t toUnicode = 0;
    int32_t cidToGid = 0;  // CIDFontType2 only
    int32_t encoding = 0;  // the CMap stream, when the encoding is written anew
};

// The code's bytes, most significant first.
std::string CodeBytes(uint32_t code, uint8_t length);

// The CID each code selects in the new font: its old CID for TrueType
// outlines, the new glyph's index for CFF ones.
uint32_t NewCid(const TCidGlyph& glyph, bool cff);

// /W of the codes shown, by new CID.
std::string CidWidthsArray(const TCompositeGlyphs& glyphs, bool cff);
// /W2 of the codes shown (vertical writing), by new CID: the entries that
// differ from what /DW2 gives; empty for none.
std::string CidVerticalsArray(const TCompositeGlyphs& glyphs, bool cff);
// The /CIDToGIDMap stream's bytes: two per CID up to the highest shown.
std::string CidToGidMapBytes(const TCompositeGlyphs& glyphs);
// An embedded CMap taking each code shown to its new CID.
std::string EncodingCMapText(const TCompositeGlyphs& glyphs, const TOldEncoding& old, bool cff,
                             const std::string& cmapName);
// The /ToUnicode CMap of the codes shown.
std::string WideToUnicodeText(const TCompositeGlyphs& glyphs, const TOldEncoding& old);

// Whether the old encoding can be named in the new font: a predefined map
// with a TrueType face.
bool KeepsEncodingName(const TOldEncoding& old, bool cff);

// "<< /Registry (Adobe) /Ordering (Japan1) /Supplement 6 >>"
std::string SystemInfoText(const TOldEncoding& old, bool cff);

// The Type 0 font and its descendant, as "N 0 obj ... endobj" texts.
std::string Type0FontText(const TCompositeNumbers& numbers, const TOldEncoding& old, bool cff,
                          const std::string& baseFont);
std::string DescendantText(const TCompositeNumbers& numbers, const TCompositeGlyphs& glyphs, const TOldEncoding& old,
                           bool cff, const std::string& baseFont);
