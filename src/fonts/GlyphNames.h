// Glyph names of simple fonts: the characters they stand for and the names
// the four standard Latin encodings give each code.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The Unicode character a glyph name stands for: the names of the Latin
// character set, "uniXXXX" and "uXXXX[XX]". Nothing for any other name (a
// font's private names such as "g123", the Symbol and Dingbats names).
std::optional<char32_t> GlyphNameToUnicode(const std::string& name);

// Glyph name of every code in one of the encodings kStandardEncoding ..
// kPDFDocEncoding; empty where the encoding leaves a code unassigned.
using TGlyphNameTable = std::array<std::string, 256>;
const TGlyphNameTable& StandardEncodingNames(int32_t encoding);
