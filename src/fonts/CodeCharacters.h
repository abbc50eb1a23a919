// Which character each code of a font stands for, from everything the
// file says about it. A font written anew with another font program must
// draw for each code the character the old one drew; where nothing in the
// file says which that is, the code cannot be carried over.
//
// The parts are separate so that composite fonts can use them with their
// own code-to-glyph steps: the /ToUnicode map by code, and an embedded
// font program's glyphs by code, by name and to characters.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "PdfDocument.h"
#include "UsedCodes.h"

struct TOldFont;

// Where the character of a code was found, in the order it is looked for.
enum class TCharacterSource : uint8_t {
    Unknown,           // nothing the file holds says
    ToUnicode,         // the font's /ToUnicode map
    GlyphName,         // the name its encoding gives the code, by the Adobe Glyph List
    ProgramUnicode,    // the embedded TrueType's Unicode cmap, read backwards from the glyph
    ProgramGlyphName,  // the name the embedded program gives the glyph (post table, charset)
    NoGlyph,           // the font draws nothing for the code: its embedded program has no
                       // glyph for it, or, without a program, its encoding leaves it unassigned
};

struct TCodeCharacter {
    std::u32string text;  // usually one character; a ligature's /ToUnicode gives several
    TCharacterSource source = TCharacterSource::Unknown;

    bool Known() const { return !text.empty(); }
    // A code the old font draws something for that no one can name.
    bool Unknown() const { return text.empty() && source != TCharacterSource::NoGlyph; }
};

// An embedded font program (TrueType, CFF, Type 1), opened for what its
// glyphs are. Glyph 0 stands for "none".
class TProgramGlyphs {
public:
    explicit TProgramGlyphs(std::string program);
    ~TProgramGlyphs();
    TProgramGlyphs(const TProgramGlyphs&) = delete;
    TProgramGlyphs& operator=(const TProgramGlyphs&) = delete;

    bool Opened() const;
    // The glyph a simple font's code selects when no name says: for a
    // TrueType program its (3,0) subtable at F000+code (or the code, F100+,
    // F200+), else its (1,0) subtable, else its Unicode subtable at the
    // code, else (no map at all) the glyph numbered as the code; for CFF and
    // Type 1 the program's own encoding.
    uint32_t GlyphOfCode(uint8_t code) const;
    // The glyph the program names so (post table, charset); 0 for none.
    uint32_t GlyphOfName(const std::string& name) const;
    // The characters of a glyph: the Unicode subtable read backwards (a
    // TrueType program), else the glyph's name.
    TCodeCharacter CharactersOf(uint32_t glyph) const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

// The characters of /ToUnicode for one code; empty when the map has none,
// or only control characters and U+FFFD, which say nothing.
std::u32string ToUnicodeCharacters(const TFontText* text, uint32_t code);

// A simple font's 256 codes: /ToUnicode first, then the glyph name its
// encoding gives, then its embedded program's own maps.
using TSimpleCodeCharacters = std::array<TCodeCharacter, 256>;
TSimpleCodeCharacters SimpleCodeCharacters(TPdfDocument& doc, TFontRecord& font, const TOldFont& old);

// How many of `codes` have an unknown character.
int32_t CountUnknown(const TSimpleCodeCharacters& characters, const TCodeSet& codes);

// UTF-8 text, as /ToUnicode gives it, as code points; a malformed sequence
// stops the conversion.
std::u32string Utf8ToCodePoints(const std::string& utf8);
