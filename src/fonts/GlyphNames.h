// Glyph names of simple fonts: the characters they stand for and the names
// the four standard Latin encodings give each code.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The Unicode character a glyph name stands for: the names of the Latin
// character set, "uniXXXX" and "uXXXX[XX]". Nothing for any other name (a
// font's private names such as "g123", the Symbol and Dingbats names).
std::optional<char32_t> GlyphNameToUnicode(const std::string& name);

// The characters a glyph name stands for by the Adobe Glyph List's rules:
// what follows a period is a variant's suffix, underscores join the names
// of a ligature's parts, and each part is a name of the list, "uniXXXX"
// (one or more groups of four upper-case hex digits) or "uXXXX" to
// "uXXXXXX". Empty when some part stands for nothing ("g123", "a12" of
// the Dingbats, ".notdef").
std::u32string GlyphNameCharacters(std::string_view name);

// Glyph name of every code in one of the encodings kStandardEncoding ..
// kPDFDocEncoding; empty where the encoding leaves a code unassigned.
using TGlyphNameTable = std::array<std::string, 256>;
const TGlyphNameTable& StandardEncodingNames(int32_t encoding);
