// The Latin character table. The rows are the program's data; the code table
// and the name index are derived from them the first time they are needed.
#include "Charsets.h"

#include <unordered_map>

#include "PdfText.h"

namespace {

const std::array<const char*, kLatinRowCount> kRows = {
#include "LatinCharsetRows.inc"
};

TCodeTable BuildCodeTable() {
    TCodeTable table{};
    for (int32_t i = 0; i < kLatinRowCount; ++i) {
        std::string row = kRows[static_cast<size_t>(i)];
        NextWord(row);  // the glyph name
        for (auto& encodingRow : table) {
            const std::optional<int32_t> code = TryStrToInt(NextWord(row));
            NextWord(row);  // the octal code
            if (code && *code >= 0 && *code <= 255) encodingRow[static_cast<size_t>(i)] = static_cast<uint8_t>(*code);
        }
    }
    return table;
}

// Glyph name -> WinAnsi code, for the first row of each name that has one.
// A later row of the same name never wins, even when the first row lacks a
// WinAnsi code, because the lookup is defined on the first row.
using TWinAnsiIndex = std::unordered_map<std::string, std::optional<uint8_t>>;

TWinAnsiIndex BuildWinAnsiIndex() {
    TWinAnsiIndex index;
    for (const char* text : kRows) {
        std::string row = text;
        const std::string name = NextWord(row);
        if (index.count(name)) continue;
        for (int skip = 0; skip < 4; ++skip) NextWord(row);  // Standard and MacRoman
        const std::optional<int32_t> code = TryStrToInt(NextWord(row));
        index[name] = (code && *code >= 0 && *code <= 255) ? std::optional<uint8_t>(static_cast<uint8_t>(*code))
                                                           : std::nullopt;
    }
    return index;
}

}  // namespace

const std::array<const char*, kLatinRowCount>& LatinCharsetRows() { return kRows; }

const TCodeTable& CodeTable() {
    static const TCodeTable table = BuildCodeTable();
    return table;
}

uint8_t ConvertCode(uint8_t code, int32_t fromEncoding, int32_t toEncoding) {
    // The table stores 0 for a missing code, so code 0 would otherwise match
    // the first glyph that the source encoding lacks (Aacute in Standard)
    // instead of standing for no glyph at all.
    if (code == 0) return code;
    if (fromEncoding < 0 || fromEncoding > 3 || toEncoding < 0 || toEncoding > 3) return code;
    const TCodeTable& table = CodeTable();
    const auto& from = table[static_cast<size_t>(fromEncoding)];
    for (size_t i = 0; i < static_cast<size_t>(kLatinRowCount); ++i) {
        if (from[i] == code) return table[static_cast<size_t>(toEncoding)][i];
    }
    return code;
}

std::optional<uint8_t> WinAnsiCodeOf(const std::string& glyphName) {
    static const TWinAnsiIndex index = BuildWinAnsiIndex();
    const auto found = index.find(glyphName);
    if (found == index.end()) return std::nullopt;
    return found->second;
}
