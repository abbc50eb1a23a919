// Text operations on token values and number conversions that do not
// depend on the locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Removes the first and the last character when s is longer than one
// character and begins with "(" (whatever the last one is).
std::string StripParens(const std::string& s);

// Resolves the backslash escapes of a literal string; parentheses around the
// string stay. An octal escape takes exactly three digits.
std::string Unescape(const std::string& s);

// Numbers in PDF data use "." as decimal point. Our conversions below read
// "." whatever the locale, so the text passes unchanged; the call marks the
// places where a number is about to be converted.
std::string FixDecimalPoint(const std::string& s);

// Returns the characters of s up to its first space and removes them and
// that space from s; without a space returns all of s and empties it.
std::string NextWord(std::string& s);

// Decimal integer with an optional sign, the whole text; 32-bit range.
std::optional<int32_t> TryStrToInt(const std::string& s);
// A byte position or length of any size.
std::optional<int64_t> TryStrToPos(const std::string& s);
// Real number with "." as decimal point, optional sign and exponent.
std::optional<double> TryStrToFloat(const std::string& s);
// Windows-1252 <-> UTF-8 for what reaches the user.
std::string Cp1252ToUtf8(const std::string& s);
// Characters that Windows-1252 lacks become "?".
std::string Utf8ToCp1252(const std::string& s);
// One code point as UTF-8; surrogates and values beyond Unicode become U+FFFD.
void AppendUtf8(std::string& out, char32_t cp);
// The value of a hexadecimal digit; -1 for any other byte.
int HexDigitValue(char ch);
// The bytes that hexadecimal digits spell; every other byte (blanks, "<",
// ">") is skipped. An odd last digit counts as followed by 0, or is dropped
// without oddLastDigit.
std::string HexBytes(std::string_view digits, bool oddLastDigit = true);
// The Unicode value of a Windows-1252 byte (0 for the five unassigned codes).
char32_t Cp1252ToUnicode(uint8_t ch);

// Text strings (document information and the like) are PDFDocEncoding, or
// UTF-16BE after the byte-order mark FE FF (or UTF-8 after EF BB BF).
// The bytes of a string token: "(...)" with its escapes resolved, "<...>"
// with its hex digits decoded (an odd last digit counts as followed by 0).
std::string StringTokenBytes(const std::string& token);
// The UTF-8 text of a text string's bytes.
std::string TextStringToUtf8(const std::string& bytes);
// The bytes of a text string holding `utf8`: PDFDocEncoding when every
// character has a code there, otherwise UTF-16BE with its byte-order mark.
std::string Utf8ToTextString(const std::string& utf8);

// Real to integer, rounded to the nearest integer with halves to the even
// neighbour.
int64_t RoundHalfEven(double v);
