// Which character codes a page content shows with which font.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "Lexer.h"

using TCodeSet = std::bitset<256>;
// Font resource name (with its slash, as the Tf operand stands) -> codes.
using TCodesByFont = std::map<std::string, TCodeSet>;

// Scans a decoded content for the strings of Tj, TJ, ' and " and files
// their bytes under the font selected by the last Tf. Inline image data is
// stepped over; a damaged content is read as far as it makes sense.
TCodesByFont CodesByFont(const uint8_t* data, size_t size);

class TPdfDocument;
// The codes shown with each font name by the forms and appearances whose
// resources stand at `scopePos` (a font record's scopePos).
TCodesByFont ScopeCodes(TPdfDocument& doc, TFilePos scopePos);
