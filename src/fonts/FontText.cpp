#include "FontText.h"

#include <fstream>
#include <optional>
#include <iterator>

#include "Charsets.h"
#include "FtFace_p.h"
#include "GlyphNames.h"

namespace {

// Widths past this many CIDs are left to the default width; a /W array
// longer than this many tokens is read no further.
constexpr size_t kMaxWidthRanges = 65536;
constexpr size_t kMaxWidthTokens = size_t{1} << 20;
// "usecmap" chains of predefined maps are short; a longer one is a loop.
constexpr int32_t kMaxUseDepth = 4;
// Font programs bigger than this are not opened for their encoding.
constexpr size_t kMaxProgramBytes = size_t{64} << 20;

// Restores the document's cursor, parsed dictionary and parse state on
// every way out: reading a font's streams in the middle of a page must not
// change what the reader makes of the page.
class TCursorGuard {
public:
    explicit TCursorGuard(TPdfDocument& doc)
        : doc_(doc), pos_(doc.GetPos()), parseFailed_(doc.parseFailed), entries_(doc.TakeDictEntries()) {}
    ~TCursorGuard() {
        doc_.DiscardEntries();
        doc_.dictEntries = std::move(entries_);
        doc_.SetPos(pos_);
        doc_.parseFailed = parseFailed_;
    }
    TCursorGuard(const TCursorGuard&) = delete;
    TCursorGuard& operator=(const TCursorGuard&) = delete;

private:
    TPdfDocument& doc_;
    TFilePos pos_;
    uint8_t parseFailed_;
    TDictEntryList entries_;
};

// The decoded data of stream object `objNum`; empty when it cannot be read.
std::string StreamText(TPdfDocument& doc, int32_t objNum) {
    if (objNum <= 0) return {};
    std::vector<uint8_t> data;
    const bool read = doc.DecodedStream(objNum, data);
    doc.DiscardEntries();
    if (!read) return {};
    return std::string(data.begin(), data.end());
}

std::optional<int32_t> ReferencedObject(const std::vector<std::string>& tokens) {
    if (tokens.size() < 4 || tokens[3] != "R") return std::nullopt;
    return TryStrToInt(tokens[1]);
}

// The value tokens of an entry; for a reference, the referenced object's
// tokens up to the end of its array (or its single token).
std::vector<std::string> ValueTokens(TPdfDocument& doc, const TDictEntry& entry) {
    if (auto objNum = ReferencedObject(entry.tokens)) {
        std::vector<std::string> tokens;
        if (!doc.FetchObject(*objNum)) return tokens;
        int32_t depth = 0;
        while (tokens.size() < kMaxWidthTokens && doc.GetPos() < doc.End()) {
            tokens.push_back(doc.ReadToken());
            const std::string& token = tokens.back();
            if (token == "[") ++depth;
            else if (token == "]") --depth;
            if (depth <= 0) break;
        }
        return tokens;
    }
    return std::vector<std::string>(entry.tokens.begin() + 1, entry.tokens.end());
}

std::optional<double> Number(const std::string& token) { return TryStrToFloat(FixDecimalPoint(token)); }

// "c [w1 w2 ...]" and "cFirst cLast w", in any mix.
void ReadCidWidths(const std::vector<std::string>& tokens, TFontText& text) {
    size_t i = tokens.empty() || tokens[0] != "[" ? tokens.size() : 1;
    while (i < tokens.size() && text.widths.size() + text.cidWidths.size() < kMaxWidthRanges) {
        const auto first = TryStrToInt(tokens[i]);
        if (!first || *first < 0 || i + 1 >= tokens.size()) break;
        if (tokens[i + 1] == "[") {
            auto cid = static_cast<uint32_t>(*first);
            i += 2;
            for (; i < tokens.size() && tokens[i] != "]" && text.cidWidths.size() < kMaxWidthRanges; ++i, ++cid)
                if (auto width = Number(tokens[i])) text.cidWidths[cid] = *width;
            ++i;
            continue;
        }
        if (i + 2 >= tokens.size()) break;
        const auto last = TryStrToInt(tokens[i + 1]);
        const auto width = Number(tokens[i + 2]);
        if (last && width && *last >= *first)
            text.widths.push_back({static_cast<uint32_t>(*first), static_cast<uint32_t>(*last), *width});
        i += 3;
    }
}

// "c [w1y v1x v1y ...]" and "cFirst cLast w1y v1x v1y", in any mix.
void ReadCidVerticals(const std::vector<std::string>& tokens, TFontText& text) {
    auto full = [&text] { return text.verticalRanges.size() + text.cidVerticals.size() >= kMaxWidthRanges; };
    // Three numbers from tokens[i]; none when one of them is no number.
    auto metricsAt = [&tokens](size_t i) -> std::optional<TFontText::TVerticalMetrics> {
        if (i + 2 >= tokens.size()) return std::nullopt;
        const auto advance = Number(tokens[i]);
        const auto originX = Number(tokens[i + 1]);
        const auto originY = Number(tokens[i + 2]);
        if (!advance || !originX || !originY) return std::nullopt;
        return TFontText::TVerticalMetrics{*advance, *originX, *originY};
    };
    size_t i = tokens.empty() || tokens[0] != "[" ? tokens.size() : 1;
    while (i < tokens.size() && !full()) {
        const auto first = TryStrToInt(tokens[i]);
        if (!first || *first < 0 || i + 1 >= tokens.size()) break;
        if (tokens[i + 1] == "[") {
            auto cid = static_cast<uint32_t>(*first);
            for (i += 2; i < tokens.size() && tokens[i] != "]" && !full(); i += 3, ++cid) {
                const auto metrics = metricsAt(i);
                if (!metrics) break;
                text.cidVerticals[cid] = *metrics;
            }
            while (i < tokens.size() && tokens[i] != "]") ++i;
            ++i;
            continue;
        }
        const auto last = TryStrToInt(tokens[i + 1]);
        const auto metrics = metricsAt(i + 2);
        if (!last || !metrics) break;
        if (*last >= *first)
            text.verticalRanges.push_back({static_cast<uint32_t>(*first), static_cast<uint32_t>(*last), *metrics});
        i += 5;
    }
}

// "[v1y w1y]"; an entry that does not have two numbers leaves the defaults.
void ReadDefaultVertical(const std::vector<std::string>& tokens, TFontText& text) {
    if (tokens.size() < 3 || tokens[0] != "[") return;
    const auto originY = Number(tokens[1]);
    const auto advance = Number(tokens[2]);
    if (!originY || !advance) return;
    text.defaultOriginY = *originY;
    text.defaultAdvanceY = *advance;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A predefined CMap by name, with the maps it builds on.
TCMap PredefinedCMap(const std::string& name, int32_t depth = 0) {
    if (name == "Identity-H") return TCMap::Identity(false);
    if (name == "Identity-V") return TCMap::Identity(true);
    // A name is a file name, never a path.
    if (name.empty() || name.find('/') != std::string::npos || name.find("..") != std::string::npos) return {};
    for (const std::string& folder : PredefinedCMapFolders()) {
        std::string bytes = ReadWholeFile(folder + "/" + name);
        if (bytes.empty()) continue;
        TCMap map = TCMap::Parse(bytes);
        if (!map.UsedCMap().empty() && depth < kMaxUseDepth) map.Inherit(PredefinedCMap(map.UsedCMap(), depth + 1));
        return map;
    }
    return {};
}

// "Japan1" from a /CIDSystemInfo entry, written in place or referenced.
std::string CollectionOrdering(TPdfDocument& doc, const TDictEntry& entry) {
    std::vector<std::string> tokens = entry.tokens;
    if (auto objNum = ReferencedObject(tokens); objNum && doc.FetchObject(*objNum)) {
        doc.ParseDict();
        tokens.clear();
        for (const TDictEntry& inner : doc.dictEntries) tokens.insert(tokens.end(), inner.tokens.begin(), inner.tokens.end());
        doc.DiscardEntries();
    }
    for (size_t i = 0; i + 1 < tokens.size(); ++i)
        if (tokens[i] == "/Ordering") return StripParens(tokens[i + 1]);
    return {};
}

// One hexadecimal code point a line, line n for CID n.
std::vector<char32_t> CollectionTable(const std::string& ordering) {
    std::vector<char32_t> table;
    if (ordering.empty() || ordering.find('/') != std::string::npos || ordering.find("..") != std::string::npos)
        return table;
    std::ifstream in(CidToUnicodeFolder() + "/Adobe-" + ordering);
    std::string line;
    while (std::getline(in, line) && table.size() < kMaxWidthRanges) {
        char32_t cp = 0;
        for (const char ch : line) {
            const int32_t digit = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
                                : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10 : -1;
            if (digit < 0 || cp > 0x10FFFF) break;
            cp = cp * 16 + static_cast<char32_t>(digit);
        }
        table.push_back(cp);
    }
    return table;
}

bool IsUnicodeCMapName(const std::string& name) {
    return name.rfind("Uni", 0) == 0 && (name.find("UCS2") != std::string::npos || name.find("UTF16") != std::string::npos);
}

// The characters a glyph name stands for: its WinAnsi code's character,
// or what the glyph list gives.
std::string GlyphNameText(const std::string& name) {
    if (auto code = WinAnsiCodeOf(name)) return Cp1252ToUtf8(std::string(1, static_cast<char>(*code)));
    // The ligatures read as their letters, as text extraction gives them.
    if (name == "ff" || name == "ffi" || name == "ffl" || name == "fi" || name == "fl") return name;
    if (auto cp = GlyphNameToUnicode(name)) {
        std::string out;
        AppendUtf8(out, *cp);
        return out;
    }
    return {};
}

// Glyph index to the characters of the face's Unicode map (the first code
// point that selects the glyph).
std::unordered_map<FT_UInt, std::string> GlyphCharacters(FT_Face face) {
    std::unordered_map<FT_UInt, std::string> characters;
    if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) return characters;
    FT_UInt glyph = 0;
    for (FT_ULong cp = FT_Get_First_Char(face, &glyph); glyph != 0 && characters.size() < kMaxWidthRanges;
         cp = FT_Get_Next_Char(face, cp, &glyph)) {
        std::string text;
        AppendUtf8(text, static_cast<char32_t>(cp));
        characters.emplace(glyph, std::move(text));
    }
    return characters;
}

std::string GlyphName(FT_Face face, FT_UInt glyph) {
    if (!FT_HAS_GLYPH_NAMES(face)) return {};
    char name[128] = {};
    if (FT_Get_Glyph_Name(face, glyph, name, sizeof name) != 0) return {};
    return name;
}

// The program's own encoding: code to glyph through the charmap the
// program carries (a Type 1's encoding vector, a CFF's encoding, a
// symbolic TrueType's (3,0) or (1,0) table), glyph to characters through
// the face's Unicode map or the glyph's name.
void ReadBuiltInEncoding(const std::string& program, TFontText& text) {
    TFtFace memory;
    if (program.size() > kMaxProgramBytes || !memory.OpenMemory(program)) return;
    FT_Face face = memory.Face();
    const auto characters = GlyphCharacters(face);
    FT_CharMap chosen = nullptr;
    bool symbolCodes = false;
    for (FT_Int i = 0; i < face->num_charmaps; ++i) {
        FT_CharMap map = face->charmaps[i];
        if (map->encoding == FT_ENCODING_ADOBE_CUSTOM || map->encoding == FT_ENCODING_ADOBE_STANDARD ||
            map->encoding == FT_ENCODING_ADOBE_EXPERT) {
            chosen = map;
            break;
        }
        if (map->platform_id == 3 && map->encoding_id == 0) {
            chosen = map;
            symbolCodes = true;
        } else if (map->platform_id == 1 && map->encoding_id == 0 && !chosen) {
            chosen = map;
        }
    }
    if (!chosen || FT_Set_Charmap(face, chosen) != 0) return;
    for (FT_ULong code = 1; code < 256; ++code) {
        FT_UInt glyph = FT_Get_Char_Index(face, symbolCodes ? 0xF000 + code : code);
        if (glyph == 0 && symbolCodes) glyph = FT_Get_Char_Index(face, code);
        if (glyph == 0) continue;
        std::string characters_of;
        const std::string name = GlyphName(face, glyph);
        if (!name.empty()) characters_of = GlyphNameText(name);
        if (characters_of.empty())
            if (auto found = characters.find(glyph); found != characters.end()) characters_of = found->second;
        text.codeText[code] = std::move(characters_of);
    }
}

// For a CIDFontType2 program: CID to characters, through /CIDToGIDMap
// (identity or a stream of 16-bit glyph numbers) and the program's
// Unicode map.
void ReadCidCharacters(const std::string& program, const std::string& cidToGid, TFontText& text) {
    TFtFace memory;
    if (program.size() > kMaxProgramBytes || !memory.OpenMemory(program)) return;
    FT_Face face = memory.Face();
    const auto characters = GlyphCharacters(face);
    if (characters.empty()) return;
    if (cidToGid.empty()) {
        for (const auto& [glyph, chars] : characters) text.cidText.emplace(glyph, chars);
        return;
    }
    for (size_t cid = 0; 2 * cid + 1 < cidToGid.size() && cid < kMaxWidthRanges; ++cid) {
        const FT_UInt glyph = static_cast<uint8_t>(cidToGid[2 * cid]) << 8 | static_cast<uint8_t>(cidToGid[2 * cid + 1]);
        if (glyph == 0) continue;
        if (auto found = characters.find(glyph); found != characters.end())
            text.cidText.emplace(static_cast<uint32_t>(cid), found->second);
    }
}

// /Differences names that have no WinAnsi code, as characters.
void ReadDifferenceNames(TPdfDocument& doc, const TFontRecord& font, TFontText& text, bool& useful) {
    doc.SetPos(font.encodingDictPos);
    doc.ParseDict();
    for (const TDictEntry& entry : doc.dictEntries) {
        const auto& tokens = entry.tokens;
        if (tokens.size() < 4 || tokens[0] != "/Differences" || tokens[1] != "[") continue;
        int64_t code = 0;
        for (size_t i = 2; i + 1 < tokens.size(); ++i) {
            if (!tokens[i].empty() && tokens[i][0] == '/') {
                const std::string name = tokens[i].substr(1);
                if (code >= 0 && code < 256 && !WinAnsiCodeOf(name)) {
                    text.codeText[static_cast<size_t>(code)] = GlyphNameText(name);
                    useful = useful || !text.codeText[static_cast<size_t>(code)].empty();
                }
                ++code;
            } else if (auto value = TryStrToInt(tokens[i])) {
                code = *value;
            }
        }
    }
    doc.DiscardEntries();
}

void ReadComposite(TPdfDocument& doc, const TFontRecord& font, TFontText& text) {
    text.composite = true;
    const std::string name = font.encodingName.size() > 1 ? font.encodingName.substr(1) : "";
    if (font.encodingCMapObj > 0) {
        text.encoding = TCMap::Parse(StreamText(doc, font.encodingCMapObj));
        if (!text.encoding.UsedCMap().empty()) text.encoding.Inherit(PredefinedCMap(text.encoding.UsedCMap()));
    } else {
        text.encoding = PredefinedCMap(name);
        text.unicodeCodes = IsUnicodeCMapName(name);
    }
    // A map we do not have: the code-space ranges of /ToUnicode are the
    // best guess at how the codes split, and two bytes the next.
    if (!text.encoding.HasCodeSpace()) {
        const bool vertical = name.size() > 2 && name.compare(name.size() - 2, 2, "-V") == 0;
        TCMap fallback = TCMap::Identity(vertical);
        if (text.toUnicode.HasCodeSpace()) {
            TCMap ranges = text.toUnicode;
            ranges.Inherit(fallback);
            fallback = std::move(ranges);
        }
        text.encoding = std::move(fallback);
    }

    if (font.descendantPos <= 0) return;
    doc.SetPos(font.descendantPos);
    doc.ParseDict();
    TDictEntryList entries = doc.TakeDictEntries();
    std::string cidToGid;
    std::string ordering;
    for (const TDictEntry& entry : entries) {
        if (entry.tokens.size() < 2) continue;
        const std::string& key = entry.tokens[0];
        if (key == "/DW") {
            if (auto width = Number(entry.tokens[1])) text.defaultWidth = *width;
        } else if (key == "/W") {
            ReadCidWidths(ValueTokens(doc, entry), text);
        } else if (key == "/DW2") {
            ReadDefaultVertical(ValueTokens(doc, entry), text);
        } else if (key == "/W2") {
            ReadCidVerticals(ValueTokens(doc, entry), text);
        } else if (key == "/CIDSystemInfo") {
            ordering = CollectionOrdering(doc, entry);
        } else if (key == "/CIDToGIDMap") {
            if (auto objNum = ReferencedObject(entry.tokens)) cidToGid = StreamText(doc, *objNum);
        }
    }
    if (font.fontFileObj > 0 && font.fontFileKind == 2)
        ReadCidCharacters(StreamText(doc, font.fontFileObj), cidToGid, text);
    // An identity ordering has no table; the others are what non-embedded
    // CJK fonts name their glyphs by.
    text.ordering = ordering;
    if (!text.toUnicode.HasUnicode() && text.cidText.empty() && !text.unicodeCodes && ordering != "Identity")
        text.collectionText = CollectionTable(ordering);
}

std::shared_ptr<const TFontText> BuildFontText(TPdfDocument& doc, const TFontRecord& font) {
    auto text = std::make_shared<TFontText>();
    bool useful = false;
    if (font.toUnicodeObj > 0) {
        text->toUnicode = TCMap::Parse(StreamText(doc, font.toUnicodeObj));
        useful = text->toUnicode.HasUnicode();
    }
    if (font.subtype == "/Type0") {
        ReadComposite(doc, font, *text);
        return text;
    }
    if (font.hasEncodingDict) ReadDifferenceNames(doc, font, *text, useful);
    if (!font.encodingGiven && font.fontFileObj > 0 && !font.isType3) {
        ReadBuiltInEncoding(StreamText(doc, font.fontFileObj), *text);
        for (const std::string& characters : text->codeText) useful = useful || !characters.empty();
    }
    text->FillCodeTable();
    return useful ? text : nullptr;
}

}  // namespace

void TFontText::FillCodeTable() {
    // /ToUnicode wins over the names; a simple font's codes are looked up
    // in the table alone.
    for (uint32_t code = 0; code < 256; ++code) {
        std::string characters = toUnicode.Unicode(code);
        if (!characters.empty()) codeText[code] = std::move(characters);
    }
}

double TFontText::CidWidth(uint32_t cid) const {
    if (auto found = cidWidths.find(cid); found != cidWidths.end()) return found->second;
    for (auto range = widths.rbegin(); range != widths.rend(); ++range)
        if (cid >= range->first && cid <= range->last) return range->width;
    return defaultWidth;
}

TFontText::TVerticalMetrics TFontText::VerticalMetricsOf(uint32_t cid) const {
    if (auto found = cidVerticals.find(cid); found != cidVerticals.end()) return found->second;
    for (auto range = verticalRanges.rbegin(); range != verticalRanges.rend(); ++range)
        if (cid >= range->first && cid <= range->last) return range->metrics;
    return {defaultAdvanceY, CidWidth(cid) / 2, defaultOriginY};
}

std::string TFontText::CharactersOf(uint32_t code) const {
    std::string characters = toUnicode.Unicode(code);
    if (!characters.empty()) return characters;
    if (!composite) return code < 256 ? codeText[code] : std::string();
    if (unicodeCodes) {
        AppendUtf8(characters, code);
        return characters;
    }
    const uint32_t cid = encoding.Cid(code);
    if (auto found = cidText.find(cid); found != cidText.end()) return found->second;
    if (cid < collectionText.size() && collectionText[cid] != 0) AppendUtf8(characters, collectionText[cid]);
    return characters;
}

const TFontText* FontTextOf(TPdfDocument& doc, TFontRecord& font) {
    if (!font.textRead) {
        font.textRead = 1;
        TCursorGuard guard(doc);
        font.text = BuildFontText(doc, font);
    }
    return font.text.get();
}

std::string FontProgramBytes(TPdfDocument& doc, const TFontRecord& font) {
    if (font.fontFileObj <= 0) return {};
    TCursorGuard guard(doc);
    std::string program = StreamText(doc, font.fontFileObj);
    if (program.size() > kMaxProgramBytes) program.clear();
    return program;
}

std::string& CidToUnicodeFolder() {
    static std::string folder = "/usr/share/poppler/cidToUnicode";
    return folder;
}

std::vector<std::string>& PredefinedCMapFolders() {
    static std::vector<std::string> folders = {
        "/usr/share/poppler/cMap/Adobe-Japan1", "/usr/share/poppler/cMap/Adobe-GB1",
        "/usr/share/poppler/cMap/Adobe-CNS1",   "/usr/share/poppler/cMap/Adobe-Korea1",
        "/usr/share/poppler/cMap/Adobe-KR",     "/usr/share/poppler/cMap/Adobe-Japan2",
    };
    return folders;
}
