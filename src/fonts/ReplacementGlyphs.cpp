#include "ReplacementGlyphs.h"

#include <cmath>
#include <set>

#include "Charsets.h"
#include "FtFace_p.h"
#include "PdfText.h"
#include "StandardFonts.h"

#include FT_ADVANCES_H

namespace {

bool IsReference(const std::vector<std::string>& tokens) { return tokens.size() >= 4 && tokens[3] == "R"; }

// The dictionary a reference entry names, as one flat token list; the
// entry's own value tokens when it is direct.
std::vector<std::string> ValueTokens(TPdfDocument& doc, const TDictEntry& entry) {
    std::vector<std::string> flat;
    if (!IsReference(entry.tokens)) {
        flat.assign(entry.tokens.begin() + 1, entry.tokens.end());
        return flat;
    }
    const auto objNum = TryStrToInt(entry.tokens[1]);
    if (!objNum || !doc.FetchObject(*objNum)) return flat;
    const TFilePos valuePos = doc.GetPos();
    const std::string first = doc.ReadToken();
    if (first != "<<") {
        // An object holding a plain value, a name for instance.
        if (!first.empty()) flat.push_back(first);
        return flat;
    }
    doc.SetPos(valuePos);
    doc.ParseDict();
    const TDictEntryList entries = doc.TakeDictEntries();
    doc.parseFailed = 0;
    for (const TDictEntry& inner : entries) flat.insert(flat.end(), inner.tokens.begin(), inner.tokens.end());
    return flat;
}

// A name entry's value; early pdfTeX writes /BaseFont as a reference to a
// name object of its own.
std::string NameValue(TPdfDocument& doc, const TDictEntry& entry) {
    if (!IsReference(entry.tokens)) return entry.tokens[1];
    const auto objNum = TryStrToInt(entry.tokens[1]);
    if (!objNum || !doc.FetchObject(*objNum)) return {};
    return doc.ReadToken();
}

// A base encoding's names as viewers read them. In WinAnsiEncoding 173 is
// the hyphen and every unused code above the space stands for the bullet;
// MacRomanEncoding has the symbols of the Mac OS character set besides the
// Latin ones.
TGlyphNameTable BaseEncodingNames(int32_t encoding) {
    TGlyphNameTable names = StandardEncodingNames(encoding);
    if (encoding == kWinAnsiEncoding) {
        if (names[173].empty()) names[173] = "hyphen";
        for (size_t code = 33; code < 256; ++code)
            if (names[code].empty()) names[code] = "bullet";
    } else if (encoding == kMacRomanEncoding) {
        static const std::pair<size_t, const char*> kMacSymbols[] = {
            {173, "notequal"}, {176, "infinity"},    {178, "lessequal"}, {179, "greaterequal"}, {182, "partialdiff"},
            {183, "summation"}, {184, "product"},    {185, "pi"},        {186, "integral"},     {189, "Omega"},
            {195, "radical"},  {197, "approxequal"}, {198, "Delta"},     {215, "lozenge"},      {240, "apple"}};
        for (const auto& [code, name] : kMacSymbols)
            if (names[code].empty()) names[code] = name;
    }
    return names;
}

std::optional<int32_t> EncodingIndex(const std::string& name) {
    if (name == "/StandardEncoding") return kStandardEncoding;
    if (name == "/MacRomanEncoding") return kMacRomanEncoding;
    if (name == "/WinAnsiEncoding") return kWinAnsiEncoding;
    return std::nullopt;
}

// /BaseEncoding and /Differences of an encoding dictionary's tokens.
// True when the dictionary names its base encoding.
bool ApplyEncodingDict(const std::vector<std::string>& tokens, TGlyphNameTable& names) {
    bool hasBase = false;
    for (size_t i = 0; i + 1 < tokens.size(); ++i) {
        if (tokens[i] != "/BaseEncoding") continue;
        if (const auto base = EncodingIndex(tokens[i + 1])) {
            names = BaseEncodingNames(*base);
            hasBase = true;
        }
    }
    for (size_t i = 0; i + 1 < tokens.size(); ++i) {
        if (tokens[i] != "/Differences" || tokens[i + 1] != "[") continue;
        int64_t code = 0;
        for (size_t k = i + 2; k < tokens.size() && tokens[k] != "]"; ++k) {
            const std::string& token = tokens[k];
            if (!token.empty() && token[0] == '/') {
                if (code >= 0 && code < 256) names[static_cast<size_t>(code)] = token.substr(1);
                ++code;
            } else if (const auto value = TryStrToInt(token)) {
                code = *value;
            }
        }
        break;
    }
    return hasBase;
}

struct TDescriptorValues {
    int32_t flags = 0;
    double missingWidth = 0;
    bool embedded = false;
    std::optional<double> ascent;
    std::optional<double> descent;
};

TDescriptorValues ReadDescriptor(TPdfDocument& doc, const TFontRecord& font) {
    TDescriptorValues values;
    if (!font.hasDescriptor) return values;
    doc.SetPos(font.descriptorPos);
    doc.ParseDict();
    const TDictEntryList entries = doc.TakeDictEntries();
    doc.parseFailed = 0;
    for (const TDictEntry& entry : entries) {
        const auto& tokens = entry.tokens;
        if (tokens.size() < 2) continue;
        if (tokens[0] == "/Flags") values.flags = TryStrToInt(tokens[1]).value_or(0);
        else if (tokens[0] == "/MissingWidth") values.missingWidth = TryStrToFloat(FixDecimalPoint(tokens[1])).value_or(0);
        else if (tokens[0] == "/Ascent") values.ascent = TryStrToFloat(FixDecimalPoint(tokens[1]));
        else if (tokens[0] == "/Descent") values.descent = TryStrToFloat(FixDecimalPoint(tokens[1]));
        else if (tokens[0] == "/FontFile" || tokens[0] == "/FontFile2" || tokens[0] == "/FontFile3")
            values.embedded = true;
    }
    return values;
}

bool AnyWidth(const TFontRecord& font) {
    for (uint8_t set : font.Codes().widthSet)
        if (set) return true;
    return false;
}


}  // namespace

TOldFont ReadOldFont(TPdfDocument& doc, const TFontRecord& font) {
    TOldFont old;
    doc.SetPos(font.fontDictPos);
    doc.ParseDict();
    const TDictEntryList entries = doc.TakeDictEntries();
    doc.parseFailed = 0;
    const TDictEntry* encoding = nullptr;
    for (const TDictEntry& entry : entries) {
        if (entry.tokens.size() < 2) continue;
        if (entry.tokens[0] == "/BaseFont") {
            const std::string name = NameValue(doc, entry);
            if (name.size() > 1 && name[0] == '/') old.baseFont = name.substr(1);
        } else if (entry.tokens[0] == "/Encoding") encoding = &entry;
    }
    const TDescriptorValues descriptor = ReadDescriptor(doc, font);
    const TStandardFontMetrics* standard = descriptor.embedded ? nullptr : StandardFontMetrics(old.baseFont);

    // The built-in encoding: the standard font's own, else StandardEncoding,
    // which is what a Latin text font without a program in the file has.
    if (standard) {
        old.glyphNames = standard->builtInEncoding;
        old.symbolic = standard->symbolic;
        old.ascent = standard->ascent;
        old.descent = standard->descent;
    } else {
        // Values of three ems and more are no real font's.
        const double ascent = descriptor.ascent.value_or(0);
        const double descent = descriptor.descent.value_or(0);
        if (ascent > 0 && ascent < 3000 && descent <= 0 && descent > -3000) {
            old.ascent = static_cast<int32_t>(std::lround(ascent));
            old.descent = static_cast<int32_t>(std::lround(descent));
        }
        old.glyphNames = StandardEncodingNames(kStandardEncoding);
        old.builtInGuessed = descriptor.embedded;
        old.symbolic = (descriptor.flags & 4) != 0 && !encoding;
    }
    if (encoding) {
        // The value may be a name, a dictionary, or a reference to either
        // (some producers keep even "/WinAnsiEncoding" in an object of its own).
        const std::vector<std::string> value = ValueTokens(doc, *encoding);
        if (value.size() == 1) {
            if (const auto base = EncodingIndex(value[0])) {
                old.glyphNames = BaseEncodingNames(*base);
                old.builtInGuessed = false;
            }
        } else if (ApplyEncodingDict(value, old.glyphNames)) {
            old.builtInGuessed = false;
        }
    }

    if (AnyWidth(font)) {
        for (int32_t code = 0; code < 256; ++code) {
            const int64_t slot = int64_t{code} - font.firstChar;
            const bool inside = slot >= 0 && slot < 256 && font.Codes().widthSet[static_cast<size_t>(slot)];
            old.widths[static_cast<size_t>(code)] = inside ? font.Codes().widths[static_cast<size_t>(slot)] : descriptor.missingWidth;
            old.hasWidth.set(static_cast<size_t>(code));
        }
    } else if (standard) {
        // Viewers give every code the standard font's advance for its glyph
        // name; a name the font lacks, or none, advances by /MissingWidth,
        // without one by the standard font's own (Courier's 600, else
        // nothing), except that code 32 is always a space.
        const auto space = standard->widths.find("space");
        // Mac OS symbols the URW fonts draw but the standard fonts' metrics
        // lack: viewers give them no advance of their own.
        static const std::set<std::string> kUnmeasured = {"infinity", "product",     "pi",   "integral",
                                                          "Omega",    "approxequal", "apple"};
        const double missingWidth = descriptor.missingWidth != 0 ? descriptor.missingWidth : standard->missingWidth;
        for (size_t code = 0; code < 256; ++code) {
            auto found = standard->widths.find(old.glyphNames[code]);
            if (kUnmeasured.count(old.glyphNames[code])) found = standard->widths.end();
            const bool blank = code == ' ' && space != standard->widths.end();
            old.widths[code] = found != standard->widths.end() ? found->second
                               : blank                         ? space->second
                                                               : missingWidth;
            old.hasWidth.set(code);
        }
    }
    return old;
}

std::optional<TReplacementGlyphs> MapReplacementGlyphs(const TOldFont& old, const TCodeSet& used,
                                                       const std::string& newFontPath, int32_t newFaceIndex,
                                                       bool keepWidths) {
    TFtFace ft;
    if (!ft.Open(newFontPath, newFaceIndex)) return std::nullopt;
    FT_Face face = ft.Face();
    if (face->units_per_EM == 0) return std::nullopt;
    const bool unicodeMap = FT_Select_Charmap(face, FT_ENCODING_UNICODE) == 0;

    TReplacementGlyphs result;
    result.codes = used;
    result.symbolic = old.symbolic;
    bool anyCharacter = false;
    for (size_t code = 0; code < 256; ++code) {
        if (!used.test(code)) continue;
        const std::string& name = old.glyphNames[code];
        result.glyphNames[code] = name;
        const char32_t ch = name.empty() ? 0 : GlyphNameToUnicode(name).value_or(0);
        result.characters[code] = ch;
        if (ch != 0) anyCharacter = true;
        FT_UInt glyph = 0;
        if (ch != 0 && unicodeMap) glyph = FT_Get_Char_Index(face, ch);
        result.newGlyphs[code] = glyph;
        // A code its encoding leaves unassigned shows nothing, before as after.
        if (glyph == 0 && !name.empty()) result.missing.push_back({static_cast<uint8_t>(code), ch, name});

        FT_Fixed advance = 0;
        if (FT_Get_Advance(face, glyph, FT_LOAD_NO_SCALE, &advance) != 0) advance = 0;
        const double natural = std::trunc(static_cast<double>(advance) * 1000.0 / face->units_per_EM);
        if (keepWidths && old.hasWidth.test(code))
            result.widths[code] = old.widths[code];
        else
            result.widths[code] = natural;
    }
    if (used.any() && !anyCharacter) result.symbolic = true;
    result.oldWidthsKnown = old.hasWidth.any();
    if (keepWidths) {
        result.ascent = old.ascent;
        result.descent = old.descent;
    }
    return result;
}

std::string MissingCharactersText(const std::vector<TMissingCharacter>& missing) {
    std::string text;
    for (const TMissingCharacter& entry : missing) {
        if (!text.empty()) text += ' ';
        if (entry.character >= 0x20) AppendUtf8(text, entry.character);
        else if (!entry.glyphName.empty()) text += "/" + entry.glyphName;
        else text += "#" + std::to_string(entry.code);
    }
    return text;
}
