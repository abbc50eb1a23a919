#include "CMap.h"

#include <algorithm>
#include <optional>

#include "Lexer.h"
#include "PdfText.h"

namespace {

// Ranges of more codes than this stay ranges; smaller ones are spread into
// the table, so that a look-up rarely walks the list of ranges.
constexpr uint32_t kSpreadRangeCodes = 256;

std::optional<uint32_t> CodeValue(const std::string& bytes) {
    if (bytes.empty() || bytes.size() > 4) return std::nullopt;
    uint32_t value = 0;
    for (const char ch : bytes) value = value << 8 | static_cast<uint8_t>(ch);
    return value;
}

std::u16string Utf16Units(const std::string& bytes) {
    std::u16string units;
    // A single byte stands for itself; pairs are big-endian units.
    if (bytes.size() == 1) return std::u16string(1, static_cast<char16_t>(static_cast<uint8_t>(bytes[0])));
    for (size_t i = 0; i + 1 < bytes.size() && units.size() < TCMap::kMaxCharsPerCode; i += 2)
        units += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) << 8 | static_cast<uint8_t>(bytes[i + 1]));
    return units;
}

}  // namespace

// One operand of the sections a CMap is made of.
struct TCMapOperand {
    enum class TKind : uint8_t { Hex, Integer, Name, Array } kind = TKind::Hex;
    std::string bytes;  // Hex: the string's bytes; Name: the name
    int64_t number = 0;
    std::vector<std::string> items;  // Array: the bytes of each hex string
};

class TCMapParser {
public:
    explicit TCMapParser(TCMap& map) : map_(map) {}
    void Run(std::string_view text);

private:
    enum class TSection : uint8_t { None, CodeSpace, BfChar, BfRange, CidChar, CidRange, Other };

    void Keyword(std::string_view word);
    void Operand(TCMapOperand operand);
    void Apply();
    size_t Needed() const;

    TCMap& map_;
    TSection section_ = TSection::None;
    std::vector<TCMapOperand> operands_;
    // Outside the sections: the tokens "usecmap" and "/WMode 1 def" need.
    std::string lastName_;
    std::string nameBeforeNumber_;
    int64_t lastNumber_ = 0;
};

void TCMapParser::Run(std::string_view text) {
    TLexer lexer(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()));
    bool inArray = false;
    TCMapOperand array;
    array.kind = TCMapOperand::TKind::Array;
    while (!lexer.AtEnd()) {
        const TToken token = lexer.Next();
        if (token.kind == TTokenKind::End || token.kind == TTokenKind::Error) break;
        switch (token.kind) {
            case TTokenKind::HexString: {
                // The token is the whole string, "<", blanks and ">" included.
                std::string bytes = HexBytes(token.text);
                if (inArray) {
                    if (array.items.size() < TCMap::kMaxEntries) array.items.push_back(std::move(bytes));
                } else {
                    Operand({TCMapOperand::TKind::Hex, std::move(bytes), 0, {}});
                }
                break;
            }
            case TTokenKind::ArrayOpen:
                inArray = true;
                array.items.clear();
                break;
            case TTokenKind::ArrayClose:
                if (inArray) Operand(array);
                inArray = false;
                break;
            case TTokenKind::Integer: {
                const std::string digits(token.text);
                int64_t value = 0;
                for (const char ch : digits)
                    if (ch >= '0' && ch <= '9' && value < (int64_t{1} << 40)) value = value * 10 + (ch - '0');
                if (!digits.empty() && digits[0] == '-') value = -value;
                nameBeforeNumber_ = lastName_;
                lastNumber_ = value;
                Operand({TCMapOperand::TKind::Integer, {}, value, {}});
                break;
            }
            case TTokenKind::Name:
                lastName_ = std::string(token.text.substr(1));
                Operand({TCMapOperand::TKind::Name, lastName_, 0, {}});
                break;
            case TTokenKind::Keyword:
                if (token.text == "endcmap") return;
                Keyword(token.text);
                break;
            default:
                break;
        }
    }
}

void TCMapParser::Keyword(std::string_view word) {
    if (word == "begincodespacerange") section_ = TSection::CodeSpace;
    else if (word == "beginbfchar") section_ = TSection::BfChar;
    else if (word == "beginbfrange") section_ = TSection::BfRange;
    else if (word == "begincidchar") section_ = TSection::CidChar;
    else if (word == "begincidrange") section_ = TSection::CidRange;
    else if (word.rfind("begin", 0) == 0 && word != "begin") section_ = TSection::Other;
    else if (word.rfind("end", 0) == 0) section_ = TSection::None;
    else if (word == "usecmap" && !lastName_.empty()) map_.usedCMap_ = lastName_;
    else if (word == "def" && nameBeforeNumber_ == "WMode") map_.vertical_ = lastNumber_ == 1;
    operands_.clear();
}

size_t TCMapParser::Needed() const {
    switch (section_) {
        case TSection::CodeSpace:
        case TSection::BfChar:
        case TSection::CidChar: return 2;
        case TSection::BfRange:
        case TSection::CidRange: return 3;
        default: return 0;
    }
}

void TCMapParser::Operand(TCMapOperand operand) {
    const size_t needed = Needed();
    if (needed == 0) return;
    operands_.push_back(std::move(operand));
    if (operands_.size() < needed) return;
    if (!map_.Full()) Apply();
    operands_.clear();
}

void TCMapParser::Apply() {
    using TKind = TCMapOperand::TKind;
    const TCMapOperand& a = operands_[0];
    const TCMapOperand& b = operands_[1];
    if (a.kind != TKind::Hex) return;
    const auto low = CodeValue(a.bytes);
    if (!low) return;
    switch (section_) {
        case TSection::CodeSpace: {
            if (b.kind != TKind::Hex || b.bytes.size() != a.bytes.size()) return;
            if (map_.ranges_.size() >= TCMap::kMaxRanges) return;
            TCMap::TCodeRange range;
            range.length = static_cast<uint32_t>(a.bytes.size());
            for (size_t i = 0; i < a.bytes.size(); ++i) {
                range.low[i] = static_cast<uint8_t>(a.bytes[i]);
                range.high[i] = static_cast<uint8_t>(b.bytes[i]);
            }
            map_.ranges_.push_back(range);
            return;
        }
        case TSection::BfChar:
            if (b.kind == TKind::Hex) map_.AddUnicode(*low, Utf16Units(b.bytes));
            return;
        case TSection::CidChar:
            if (b.kind == TKind::Integer && b.number >= 0) map_.cids_[*low] = static_cast<uint32_t>(b.number);
            return;
        default: break;
    }
    // The ranges: low, high and what the first code maps to.
    if (b.kind != TKind::Hex) return;
    const auto high = CodeValue(b.bytes);
    if (!high || *high < *low) return;
    const TCMapOperand& c = operands_[2];
    const uint32_t count = *high - *low + 1;
    if (section_ == TSection::CidRange) {
        if (c.kind != TKind::Integer || c.number < 0) return;
        if (map_.cidRanges_.size() >= TCMap::kMaxEntries) return;
        map_.cidRanges_.push_back({*low, *high, {}, static_cast<uint32_t>(c.number)});
        return;
    }
    if (c.kind == TKind::Array) {
        for (uint32_t i = 0; i < count && i < c.items.size() && !map_.Full(); ++i)
            map_.AddUnicode(*low + i, Utf16Units(c.items[i]));
        return;
    }
    if (c.kind != TKind::Hex) return;
    std::u16string first = Utf16Units(c.bytes);
    if (first.empty()) return;
    if (count <= kSpreadRangeCodes) {
        for (uint32_t i = 0; i < count && !map_.Full(); ++i) {
            std::u16string text = first;
            text.back() = static_cast<char16_t>(text.back() + i);
            map_.AddUnicode(*low + i, std::move(text));
        }
        return;
    }
    if (map_.unicodeRanges_.size() < TCMap::kMaxRanges) map_.unicodeRanges_.push_back({*low, *high, first, 0});
}

// ---- TCMap ---------------------------------------------------------------------

TCMap TCMap::Parse(std::string_view bytes) {
    TCMap map;
    TCMapParser(map).Run(bytes);
    return map;
}

TCMap TCMap::Identity(bool vertical) {
    TCMap map;
    TCodeRange range;
    range.length = 2;
    range.high[0] = range.high[1] = 0xFF;
    map.ranges_.push_back(range);
    map.vertical_ = vertical;
    map.identity_ = true;
    return map;
}

bool TCMap::Empty() const {
    return ranges_.empty() && unicode_.empty() && unicodeRanges_.empty() && cids_.empty() && cidRanges_.empty() &&
           !identity_;
}

bool TCMap::Full() const { return unicode_.size() + cids_.size() >= kMaxEntries; }

void TCMap::AddUnicode(uint32_t code, std::u16string text) {
    // A target of nothing but U+0000 says nothing.
    if (text.find_first_not_of(u'\0') == std::u16string::npos || Full()) return;
    unicode_[code] = std::move(text);
}

TCMap::TCode TCMap::NextCode(std::string_view bytes) const {
    if (bytes.empty()) return {};
    uint32_t shortest = 4;
    for (uint32_t length = 1; length <= 4 && length <= bytes.size(); ++length) {
        for (const TCodeRange& range : ranges_) {
            if (range.length != length) continue;
            shortest = std::min(shortest, length);
            bool inside = true;
            for (uint32_t i = 0; i < length && inside; ++i) {
                const auto byte = static_cast<uint8_t>(bytes[i]);
                inside = byte >= range.low[i] && byte <= range.high[i];
            }
            if (!inside) continue;
            TCode code;
            code.length = length;
            for (uint32_t i = 0; i < length; ++i) code.value = code.value << 8 | static_cast<uint8_t>(bytes[i]);
            return code;
        }
    }
    if (ranges_.empty()) shortest = 1;
    TCode code;
    code.length = std::min<uint32_t>(shortest, static_cast<uint32_t>(bytes.size()));
    for (uint32_t i = 0; i < code.length; ++i) code.value = code.value << 8 | static_cast<uint8_t>(bytes[i]);
    return code;
}

std::string TCMap::Unicode(uint32_t code) const {
    if (const auto found = unicode_.find(code); found != unicode_.end()) return Utf16ToUtf8(found->second);
    // A later range overrides an earlier one.
    for (auto range = unicodeRanges_.rbegin(); range != unicodeRanges_.rend(); ++range) {
        if (code < range->low || code > range->high) continue;
        std::u16string text = range->first;
        text.back() = static_cast<char16_t>(text.back() + (code - range->low));
        return Utf16ToUtf8(text);
    }
    return {};
}

uint32_t TCMap::Cid(uint32_t code) const {
    if (identity_) return code;
    if (const auto found = cids_.find(code); found != cids_.end()) return found->second;
    for (auto range = cidRanges_.rbegin(); range != cidRanges_.rend(); ++range)
        if (code >= range->low && code <= range->high) return range->cid + (code - range->low);
    return code;
}

void TCMap::Inherit(const TCMap& base) {
    if (ranges_.empty()) ranges_ = base.ranges_;
    for (const auto& [code, text] : base.unicode_)
        if (!Full()) unicode_.emplace(code, text);
    for (const auto& [code, cid] : base.cids_)
        if (!Full()) cids_.emplace(code, cid);
    // The base's ranges go first: this map's own are checked before them.
    unicodeRanges_.insert(unicodeRanges_.begin(), base.unicodeRanges_.begin(), base.unicodeRanges_.end());
    cidRanges_.insert(cidRanges_.begin(), base.cidRanges_.begin(), base.cidRanges_.end());
    if (base.identity_ && cids_.empty() && cidRanges_.empty()) identity_ = true;
}


std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> TCMap::CodeSpaceRanges() const {
    std::vector<std::pair<std::string, std::string>> bounds;
    for (const TCodeRange& range : ranges_)
        bounds.emplace_back(std::string(reinterpret_cast<const char*>(range.low), range.length),
                            std::string(reinterpret_cast<const char*>(range.high), range.length));
    return bounds;
}
