// An installed TrueType or OpenType font as a PDF file embeds it: the licence bits of
// its OS/2 table, the descriptor values that only the font program knows,
// the subset of the glyphs a document needs, and the subset's tag.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

enum class TEmbedPermission {
    Subset,      // embedding and subsetting allowed
    WholeFont,   // fsType 0x0100: embedding only without subsetting
    Restricted,  // fsType 0x0002 alone: the licence forbids embedding
    BitmapOnly,  // fsType 0x0200: only bitmaps may be embedded, and there are none in a PDF font
};

// The licence of an OS/2 fsType value. The permissive bits (0x0004, 0x0008)
// override the restricted bit: a font that allows preview or editable
// embedding may be embedded even when 0x0002 is set too.
TEmbedPermission PermissionOf(uint16_t fsType);

// The outlines of an sfnt font: a PDF embeds TrueType ones whole as
// /FontFile2, CFF ones as the bare CFF table in /FontFile3.
enum class TOutlineKind : uint8_t { TrueType, Cff };

struct TFontProgramInfo {
    std::string postScriptName;  // "LiberationSans-Bold"
    TOutlineKind outlines = TOutlineKind::TrueType;
    uint16_t fsType = 0;
    TEmbedPermission permission = TEmbedPermission::Subset;
    // In thousandths of the em.
    int32_t capHeight = 0;
    int32_t stemV = 0;
    bool fixedPitch = false;
};

// Nothing when the file cannot be opened as a font.
std::optional<TFontProgramInfo> ReadFontProgramInfo(const std::string& path, int32_t faceIndex);

// The font reduced to the glyphs of these characters and glyph indexes
// (and .notdef, and the components of composite glyphs), with its Unicode
// character map and glyph names, without hinting and layout tables. With
// wholeFont the file comes back as it is. With keepGlyphIds every glyph
// kept has its index of the whole font (the others are left empty), as a
// composite font that selects glyphs by index needs. Nothing when HarfBuzz
// cannot subset it.
std::optional<std::string> SubsetFontProgram(const std::string& path, int32_t faceIndex,
                                             const std::set<char32_t>& characters, bool wholeFont,
                                             const std::set<uint32_t>& glyphs = {}, bool keepGlyphIds = false);

// The CFF table of an OpenType font program: what /FontFile3 holds.
// Nothing when the program has none.
std::optional<std::string> CffTableOf(const std::string& program);

// The names of a font program's glyphs in glyph order, .notdef (glyph 0)
// left out: what a /CharSet lists. Nothing when the program does not open
// or does not name every glyph.
std::optional<std::vector<std::string>> GlyphNamesOfProgram(const std::string& program);

// Six capital letters derived from the font's name and character set, so
// the same subset always gets the same tag and different ones differ.
std::string SubsetTag(const std::string& postScriptName, const std::set<char32_t>& characters);

// A character as /ToUnicode writes it: four hexadecimal digits of UTF-16,
// eight for a surrogate pair.
std::string Utf16Hex(char32_t ch);

// A /ToUnicode CMap for the codes with characters (0 or empty: none).
std::string ToUnicodeCMap(const std::vector<std::pair<uint8_t, char32_t>>& codeCharacters);
std::string ToUnicodeCMap(const std::vector<std::pair<uint8_t, std::u32string>>& codeTexts);
