#include "InlineImage_p.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>

#include "Lexer.h"

namespace {

// An inline image dictionary has a dozen entries; a "BI" followed by
// thousands of tokens without "ID" is not one, and the search gives up.
constexpr int32_t kMaxDictTokens = 1024;
// Tokens behind a candidate "EI" that must read as content.
constexpr int32_t kCheckedTokens = 8;
// Larger sides are no image a producer writes inline; they would only make
// the size computation overflow.
constexpr int64_t kMaxSide = int64_t{1} << 24;

struct TInlineImageDict {
    int64_t width = 0;
    int64_t height = 0;
    int64_t bitsPerComponent = 0;
    int32_t components = 0;  // 0: a colour space of the resources, size unknown
    bool imageMask = false;
    bool filtered = false;
    std::string firstFilter;
};

bool IsOneOf(std::string_view text, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), text) != names.end();
}

int32_t ComponentsOf(std::string_view colorSpace) {
    if (IsOneOf(colorSpace, {"/G", "/DeviceGray", "/CalGray", "/I", "/Indexed"})) return 1;
    if (IsOneOf(colorSpace, {"/RGB", "/DeviceRGB", "/CalRGB", "/Lab"})) return 3;
    if (IsOneOf(colorSpace, {"/CMYK", "/DeviceCMYK"})) return 4;
    return 0;
}

int64_t IntegerOf(std::string_view text) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

// Reads a value whose first token is `first`. Of an array only the first
// entry is kept (a filter list's first filter, an indexed colour space's
// family); a dictionary (/DP) is passed over. False: the data ended.
bool ReadValue(TLexer& lexer, const TToken& first, std::string& firstEntry, int32_t& budget) {
    if (first.kind != TTokenKind::ArrayOpen && first.kind != TTokenKind::DictOpen) {
        firstEntry = first.text;
        return true;
    }
    firstEntry.clear();
    int32_t depth = 1;
    while (depth > 0 && --budget > 0) {
        if (lexer.AtEnd()) return false;
        const TToken token = lexer.Next();
        switch (token.kind) {
            case TTokenKind::End: case TTokenKind::Error: return false;
            case TTokenKind::ArrayOpen: case TTokenKind::DictOpen: ++depth; break;
            case TTokenKind::ArrayClose: case TTokenKind::DictClose: --depth; break;
            default:
                if (depth == 1 && firstEntry.empty() && first.kind == TTokenKind::ArrayOpen) firstEntry = token.text;
                break;
        }
    }
    return depth == 0;
}

// Keeps what the size of the data depends on. `value` is a value's text, or
// an array's first entry.
void Store(TInlineImageDict& dict, std::string_view key, const std::string& value) {
    if (IsOneOf(key, {"/W", "/Width"})) {
        dict.width = IntegerOf(value);
    } else if (IsOneOf(key, {"/H", "/Height"})) {
        dict.height = IntegerOf(value);
    } else if (IsOneOf(key, {"/BPC", "/BitsPerComponent"})) {
        dict.bitsPerComponent = IntegerOf(value);
    } else if (IsOneOf(key, {"/CS", "/ColorSpace"})) {
        dict.components = ComponentsOf(value);
    } else if (IsOneOf(key, {"/IM", "/ImageMask"})) {
        dict.imageMask = value == "true";
    } else if (IsOneOf(key, {"/F", "/Filter"})) {
        dict.firstFilter = value;
        // "[]" and null name no filter.
        dict.filtered = !value.empty() && value != "null";
    }
}

// Reads the dictionary from `lexer` up to "ID". The position where the data
// begin, or none when the dictionary does not end in "ID".
std::optional<int32_t> ReadDict(const uint8_t* content, TLexer& lexer, TInlineImageDict& dict) {
    int32_t budget = kMaxDictTokens;
    std::string key;
    std::string firstEntry;
    while (--budget > 0) {
        lexer.SkipBlanksAndComments();
        if (lexer.AtEnd()) break;
        const auto tokenStart = static_cast<int32_t>(lexer.Pos());
        const TToken token = lexer.Next();
        if (token.kind == TTokenKind::End || token.kind == TTokenKind::Error) return std::nullopt;
        if (token.kind == TTokenKind::Keyword && token.text == "ID") {
            // One white-space byte separates "ID" from the data.
            int32_t dataStart = tokenStart + 2;
            if (dataStart < lexer.Size() && IsPdfWhiteSpace(content[dataStart])) ++dataStart;
            return static_cast<int32_t>(std::min<TFilePos>(dataStart, lexer.Size()));
        }
        if (key.empty()) {
            // A stray token where a key belongs is passed over.
            if (token.kind == TTokenKind::Name) key = token.text;
            continue;
        }
        if (!ReadValue(lexer, token, firstEntry, budget)) return std::nullopt;
        Store(dict, key, firstEntry);
        key.clear();
    }
    return std::nullopt;
}

// The number of data bytes of an unfiltered image, when the dictionary
// tells it.
std::optional<int64_t> UnfilteredSize(const TInlineImageDict& dict) {
    const int64_t bits = dict.imageMask ? 1 : dict.bitsPerComponent;
    const int64_t components = dict.imageMask ? 1 : dict.components;
    const bool validBits = bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16;
    if (dict.filtered || components == 0 || !validBits) return std::nullopt;
    if (dict.width <= 0 || dict.height <= 0 || dict.width > kMaxSide || dict.height > kMaxSide) return std::nullopt;
    const int64_t rowBytes = (dict.width * components * bits + 7) / 8;
    return rowBytes * dict.height;
}

bool EndsToken(const uint8_t* content, int32_t length, int32_t pos) {
    return pos >= length || IsPdfWhiteSpace(content[pos]);
}

// The position behind an "EI" that starts at `pos` after optional white
// space, or none.
std::optional<int32_t> EiAt(const uint8_t* content, int32_t length, int32_t pos) {
    while (pos < length && IsPdfWhiteSpace(content[pos])) ++pos;
    if (pos + 2 > length || content[pos] != 'E' || content[pos + 1] != 'I') return std::nullopt;
    if (!EndsToken(content, length, pos + 2)) return std::nullopt;
    return pos + 2;
}

bool IsContentOperator(std::string_view word) {
    static constexpr std::array<std::string_view, 76> kOperators = {
        "b",  "B",  "b*", "B*", "BDC", "BI", "BMC", "BT", "BX", "c",  "cm", "CS", "cs", "d",  "d0", "d1",
        "Do", "DP", "EI", "EMC", "ET", "EX", "f",  "F",  "f*", "G",  "g",  "gs", "h",  "i",  "ID", "j",
        "J",  "K",  "k",  "l",  "m",  "M",  "MP", "n",  "q",  "Q",  "re", "RG", "rg", "ri", "s",  "S",
        "SC", "sc", "SCN", "scn", "sh", "T*", "Tc", "Td", "TD", "Tf", "Tj", "TJ", "TL", "Tm", "Tr", "Ts",
        "Tw", "Tz", "v",  "w",  "W",  "W*", "y",  "'",  "\"", "true", "false", "null"};
    return std::find(kOperators.begin(), kOperators.end(), word) != kOperators.end();
}

bool IsPrintable(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char ch) { return ch > 0x20 && ch < 0x7F; });
}

// Whether the bytes from `pos` read as content: a few tokens, each a
// number, a printable name, a string or bracket, or a known operator.
bool ReadsAsContent(const uint8_t* content, int32_t length, int32_t pos) {
    TLexer lexer(content, length, pos);
    for (int32_t i = 0; i < kCheckedTokens; ++i) {
        // Past the end the lexer reads filler; the end itself is plausible.
        lexer.SkipBlanksAndComments();
        if (lexer.AtEnd()) return true;
        const TToken token = lexer.Next();
        switch (token.kind) {
            case TTokenKind::End: return true;
            case TTokenKind::Error: return false;
            case TTokenKind::Keyword:
                if (!IsContentOperator(token.text)) return false;
                if (token.text == "BI") return true;  // the next image's data are its own
                break;
            case TTokenKind::Name: if (!IsPrintable(token.text)) return false; break;
            default: break;
        }
    }
    return true;
}

std::optional<int32_t> EndOfEncodedData(const uint8_t* content, int32_t length, int32_t dataStart,
                                        std::string_view marker) {
    const std::string_view rest(reinterpret_cast<const char*>(content) + dataStart,
                                static_cast<size_t>(length - dataStart));
    const size_t found = rest.find(marker);
    if (found == std::string_view::npos) return std::nullopt;
    return EiAt(content, length, dataStart + static_cast<int32_t>(found + marker.size()));
}

std::optional<int32_t> SearchEi(const uint8_t* content, int32_t length, int32_t dataStart) {
    // The byte before dataStart is the blank behind "ID" (or "D" itself,
    // which a valid "EI" cannot follow anyway).
    for (int32_t i = dataStart; i + 2 <= length; ++i) {
        if (content[i] != 'E' || content[i + 1] != 'I') continue;
        if (i > 0 && !IsPdfWhiteSpace(content[i - 1])) continue;
        if (!EndsToken(content, length, i + 2)) continue;
        if (ReadsAsContent(content, length, i + 2)) return i + 2;
    }
    return std::nullopt;
}

}  // namespace

int32_t InlineImageEnd(const uint8_t* content, int32_t length, int32_t pos) {
    if (!content || length <= 0) return 0;
    pos = std::clamp(pos, 0, length);
    TLexer lexer(content, length, pos);
    TInlineImageDict dict;
    const std::optional<int32_t> dataStart = ReadDict(content, lexer, dict);
    if (!dataStart) return length;

    if (const auto size = UnfilteredSize(dict); size && *size <= length - *dataStart) {
        if (const auto end = EiAt(content, length, *dataStart + static_cast<int32_t>(*size))) return *end;
    }
    std::optional<int32_t> end;
    if (IsOneOf(dict.firstFilter, {"/A85", "/ASCII85Decode"})) end = EndOfEncodedData(content, length, *dataStart, "~>");
    else if (IsOneOf(dict.firstFilter, {"/AHx", "/ASCIIHexDecode"})) end = EndOfEncodedData(content, length, *dataStart, ">");
    if (!end) end = SearchEi(content, length, *dataStart);
    return end.value_or(length);
}
