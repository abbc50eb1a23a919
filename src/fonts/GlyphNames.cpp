#include "GlyphNames.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>

#include "Charsets.h"
#include "PdfText.h"

namespace {

// The names of the Latin set that have no WinAnsi code, with the
// character the glyph list gives them.
const std::unordered_map<std::string, char32_t>& NamesOutsideWinAnsi() {
    static const std::unordered_map<std::string, char32_t> names = {
        {"Lslash", 0x0141}, {"lslash", 0x0142},       {"breve", 0x02D8},  {"caron", 0x02C7},
        {"dotaccent", 0x02D9}, {"hungarumlaut", 0x02DD}, {"ogonek", 0x02DB}, {"ring", 0x02DA},
        {"dotlessi", 0x0131}, {"fi", 0xFB01},          {"fl", 0xFB02},     {"fraction", 0x2044},
        {"minus", 0x2212},
    };
    return names;
}

std::optional<char32_t> HexCodePoint(const std::string& digits) {
    if (digits.empty() || digits.size() > 6) return std::nullopt;
    char32_t value = 0;
    for (char ch : digits) {
        int32_t digit;
        if (ch >= '0' && ch <= '9') digit = ch - '0';
        else if (ch >= 'A' && ch <= 'F') digit = ch - 'A' + 10;
        else return std::nullopt;  // the glyph list's names use upper case only
        value = value * 16 + static_cast<char32_t>(digit);
    }
    // Surrogates are no characters of their own.
    if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
    return value;
}

struct TListedName {
    std::string_view name;
    char16_t units[4];
};

// Sorted by name, as the list is published.
constexpr TListedName kGlyphList[] = {
#include "AdobeGlyphList.inc"
};

std::u32string ListedCharacters(std::string_view name) {
    const auto found = std::lower_bound(std::begin(kGlyphList), std::end(kGlyphList), name,
                                        [](const TListedName& entry, std::string_view key) { return entry.name < key; });
    std::u32string characters;
    if (found == std::end(kGlyphList) || found->name != name) return characters;
    for (char16_t unit : found->units)
        if (unit != 0) characters += static_cast<char32_t>(unit);
    return characters;
}

// One part of a glyph name: a listed name, "uni" with groups of four
// digits, or "u" with four to six.
std::u32string PartCharacters(std::string_view part) {
    std::u32string characters = ListedCharacters(part);
    if (!characters.empty()) return characters;
    if (part.size() >= 7 && part.substr(0, 3) == "uni" && (part.size() - 3) % 4 == 0) {
        for (size_t at = 3; at < part.size(); at += 4) {
            const auto value = HexCodePoint(std::string(part.substr(at, 4)));
            if (!value) return {};
            characters += *value;
        }
        return characters;
    }
    if (part.size() >= 5 && part.size() <= 7 && part[0] == 'u')
        if (const auto value = HexCodePoint(std::string(part.substr(1)))) return std::u32string(1, *value);
    return {};
}

std::array<TGlyphNameTable, 4> BuildNameTables() {
    // Strings start empty without value-initialisation; clang 14's constant
    // evaluator crashes on `{}` for nested arrays of strings.
    std::array<TGlyphNameTable, 4> tables;
    const TCodeTable& codes = CodeTable();
    const auto& rows = LatinCharsetRows();
    for (size_t i = 0; i < rows.size(); ++i) {
        std::string row = rows[i];
        const std::string name = NextWord(row);
        for (size_t e = 0; e < 4; ++e) {
            const uint8_t code = codes[e][i];
            // The first row of a code names it; code 0 means "none".
            if (code != 0 && tables[e][code].empty()) tables[e][code] = name;
        }
    }
    return tables;
}

}  // namespace

std::optional<char32_t> GlyphNameToUnicode(const std::string& name) {
    if (const auto code = WinAnsiCodeOf(name)) return Cp1252ToUnicode(*code);
    const auto& others = NamesOutsideWinAnsi();
    if (const auto found = others.find(name); found != others.end()) return found->second;
    if (name.size() == 7 && name.compare(0, 3, "uni") == 0) return HexCodePoint(name.substr(3));
    if (name.size() >= 5 && name.size() <= 7 && name[0] == 'u') return HexCodePoint(name.substr(1));
    return std::nullopt;
}

std::u32string GlyphNameCharacters(std::string_view name) {
    name = name.substr(0, name.find('.'));
    std::u32string characters;
    while (!name.empty()) {
        const size_t joint = name.find('_');
        const std::u32string part = PartCharacters(name.substr(0, joint));
        if (part.empty()) return {};
        characters += part;
        if (joint == std::string_view::npos) break;
        name.remove_prefix(joint + 1);
    }
    return characters;
}

const TGlyphNameTable& StandardEncodingNames(int32_t encoding) {
    static const std::array<TGlyphNameTable, 4> tables = BuildNameTables();
    if (encoding < 0 || encoding > 3) encoding = kStandardEncoding;
    return tables[static_cast<size_t>(encoding)];
}
