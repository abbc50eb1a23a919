// The Latin character set with its codes in the four standard encodings, and
// the conversions the reader and the content interpreter build on it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// Encoding indexes, as a font record's `encoding` holds them.
enum : int32_t {
    kStandardEncoding = 0,
    kMacRomanEncoding = 1,
    kWinAnsiEncoding = 2,
    kPDFDocEncoding = 3,
};

constexpr int32_t kLatinRowCount = 230;
// One byte more per encoding than there are rows; the last stays 0.
constexpr int32_t kCodeTableWidth = 231;

// The rows: glyph name, then decimal and octal code in Standard, MacRoman,
// WinAnsi and PDFDoc encoding; a missing code is an em dash (Windows-1252
// byte 151) in both places. Windows-1252 text.
const std::array<const char*, kLatinRowCount>& LatinCharsetRows();

// Byte i of row e: the code of glyph i in encoding e, 0 where it has none.
// Built from the rows on first use, once.
using TCodeTable = std::array<std::array<uint8_t, kCodeTableWidth>, 4>;
const TCodeTable& CodeTable();

// The code of the first glyph whose code in `fromEncoding` is `code`, in
// `toEncoding` (0 when that encoding lacks the glyph); `code` itself when no
// glyph has it or an encoding index is outside 0..3.
uint8_t ConvertCode(uint8_t code, int32_t fromEncoding, int32_t toEncoding);

// The WinAnsi code of the first row named exactly `glyphName` (no slash);
// nothing when there is no such row or the glyph has no WinAnsi code.
std::optional<uint8_t> WinAnsiCodeOf(const std::string& glyphName);
