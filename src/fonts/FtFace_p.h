// A FreeType face opened from a font file, and the Windows-1252 view of its
// character map; internal to the fonts library.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H

// Owns a FreeType library and one face.
class TFtFace {
public:
    TFtFace();
    ~TFtFace();
    TFtFace(const TFtFace&) = delete;
    TFtFace& operator=(const TFtFace&) = delete;

    bool Open(const std::string& path, int32_t faceIndex);
    // A font program held in memory (embedded in a PDF file); the face
    // keeps the bytes for as long as it is open.
    bool OpenMemory(std::string bytes);
    FT_Face Face() const { return face_; }
    bool HasTable(FT_ULong tag) const;

private:
    void Close();

    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
    std::string bytes_;
};

// Glyph index for each Windows-1252 code through its Unicode value; 0 (the
// missing glyph) for the five unassigned codes and for what the font lacks.
// With allowSymbol, a font with only a symbol character map is looked up at
// U+F000 + code, as Windows draws such fonts; otherwise, and for a font
// without either map, every code gets 0.
std::array<FT_UInt, 256> Cp1252GlyphIndexes(FT_Face face, bool allowSymbol);
