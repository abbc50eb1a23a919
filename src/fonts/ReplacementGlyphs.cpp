#include "ReplacementGlyphs.h"

#include <cmath>
#include <cstdio>
#include <set>
#include <string_view>

#include "Charsets.h"
#include "FtFace_p.h"
#include "PdfText.h"
#include "StandardFonts.h"

#include FT_ADVANCES_H
#include FT_TRUETYPE_TAGS_H

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

// /BaseEncoding and /Differences of an encoding dictionary's tokens; the
// codes /Differences names go into `named`. True when the dictionary names
// its base encoding.
bool ApplyEncodingDict(const std::vector<std::string>& tokens, TGlyphNameTable& names, TCodeSet& named) {
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
                if (code >= 0 && code < 256) {
                    names[static_cast<size_t>(code)] = token.substr(1);
                    named.set(static_cast<size_t>(code));
                }
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


// A Type 3 font's widths are in its glyph space: "[0.01 0 0 0.01 0 0]" makes
// 100 units one em. Nothing for a matrix that is no such scale.
std::optional<double> Type3WidthScale(const std::vector<std::string>& tokens) {
    if (tokens.size() < 2 || tokens[0] != "[") return std::nullopt;
    const auto a = TryStrToFloat(FixDecimalPoint(tokens[1]));
    if (!a || !std::isfinite(*a) || *a <= 0 || *a > 1) return std::nullopt;
    return *a * 1000;
}

// Per code the width /Widths gives (missingWidth outside it), else the
// standard font's, in thousandths of the em.
void ReadOldWidths(const TFontRecord& font, double missingWidth, double scale, const TStandardFontMetrics* standard,
                   TOldFont& old) {
    if (AnyWidth(font)) {
        for (int32_t code = 0; code < 256; ++code) {
            const int64_t slot = int64_t{code} - font.firstChar;
            const bool inside = slot >= 0 && slot < 256 && font.Codes().widthSet[static_cast<size_t>(slot)];
            old.widths[static_cast<size_t>(code)] =
                inside ? font.Codes().widths[static_cast<size_t>(slot)] * scale : missingWidth;
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
        const double fallback = missingWidth != 0 ? missingWidth : standard->missingWidth;
        for (size_t code = 0; code < 256; ++code) {
            auto found = standard->widths.find(old.glyphNames[code]);
            if (kUnmeasured.count(old.glyphNames[code])) found = standard->widths.end();
            const bool blank = code == ' ' && space != standard->widths.end();
            old.widths[code] = found != standard->widths.end() ? found->second
                               : blank                         ? space->second
                                                               : fallback;
            old.hasWidth.set(code);
        }
    }
}

}  // namespace

TOldFont ReadOldFont(TPdfDocument& doc, const TFontRecord& font) {
    TOldFont old;
    doc.SetPos(font.fontDictPos);
    doc.ParseDict();
    const TDictEntryList entries = doc.TakeDictEntries();
    doc.parseFailed = 0;
    const TDictEntry* encoding = nullptr;
    double scale = 1;  // thousandths of the em per unit of /Widths
    for (const TDictEntry& entry : entries) {
        if (entry.tokens.size() < 2) continue;
        if (entry.tokens[0] == "/BaseFont") {
            const std::string name = NameValue(doc, entry);
            if (name.size() > 1 && name[0] == '/') old.baseFont = name.substr(1);
        } else if (entry.tokens[0] == "/Encoding") {
            encoding = &entry;
        } else if (entry.tokens[0] == "/FontMatrix" && font.isType3) {
            scale = Type3WidthScale(ValueTokens(doc, entry)).value_or(scale);
        }
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
        old.givenNames.set();
    } else {
        // Values of three ems and more are no real font's.
        const double ascent = descriptor.ascent.value_or(0);
        const double descent = descriptor.descent.value_or(0);
        if (ascent > 0 && ascent < 3000 && descent <= 0 && descent > -3000) {
            old.ascent = static_cast<int32_t>(std::lround(ascent));
            old.descent = static_cast<int32_t>(std::lround(descent));
        }
        old.glyphNames = StandardEncodingNames(kStandardEncoding);
        old.symbolic = (descriptor.flags & 4) != 0 && !encoding;
        // StandardEncoding is the built-in encoding of a text font without
        // a program; a symbolic one has codes of its own.
        if (!descriptor.embedded && (descriptor.flags & 4) == 0) old.givenNames.set();
    }
    if (encoding) {
        // The value may be a name, a dictionary, or a reference to either
        // (some producers keep even "/WinAnsiEncoding" in an object of its own).
        const std::vector<std::string> value = ValueTokens(doc, *encoding);
        if (value.size() == 1) {
            if (const auto base = EncodingIndex(value[0])) {
                old.glyphNames = BaseEncodingNames(*base);
                old.givenNames.set();
            }
        } else {
            TCodeSet differences;
            if (ApplyEncodingDict(value, old.glyphNames, differences)) old.givenNames.set();
            old.givenNames |= differences;
        }
    }

    ReadOldWidths(font, descriptor.missingWidth * scale, scale, standard, old);
    return old;
}

namespace {

// The name under which a viewer finds the new font's glyph of `ch`: its
// own name where the glyph list reads that as the character, else
// uniXXXX (uXXXXX beyond the first plane).
std::string NewGlyphName(FT_Face face, FT_UInt glyph, char32_t ch) {
    if (glyph != 0 && FT_HAS_GLYPH_NAMES(face)) {
        char name[128] = {};
        if (FT_Get_Glyph_Name(face, glyph, name, sizeof name) == 0 && GlyphNameCharacters(name) == std::u32string(1, ch))
            return name;
    }
    char text[16];
    std::snprintf(text, sizeof text, ch < 0x10000 ? "uni%04X" : "u%05X", static_cast<unsigned>(ch));
    return text;
}

// A CFF font's own name of a glyph: a viewer finds the glyphs of a
// /FontFile3 font through its charset, by these names alone.
std::string OwnGlyphName(FT_Face face, FT_UInt glyph) {
    char name[128] = {};
    if (FT_Get_Glyph_Name(face, glyph, name, sizeof name) != 0 || name[0] == 0) return ".notdef";
    return name;
}

// The new font's glyph for a code: the glyph of its character, else, in a
// font found by glyph names, the glyph of the old font's name (a metric
// clone of Symbol or ZapfDingbats names its glyphs as the original did,
// some of them without a character of their own).
FT_UInt NewGlyph(FT_Face face, bool unicodeMap, bool byName, char32_t ch, const std::string& oldName) {
    FT_UInt glyph = ch != 0 && unicodeMap ? FT_Get_Char_Index(face, ch) : 0;
    if (glyph == 0 && byName && !oldName.empty() && oldName != ".notdef")
        glyph = FT_Get_Name_Index(face, oldName.c_str());
    return glyph;
}

double NaturalWidth(FT_Face face, FT_UInt glyph) {
    FT_Fixed advance = 0;
    if (FT_Get_Advance(face, glyph, FT_LOAD_NO_SCALE, &advance) != 0) advance = 0;
    return std::trunc(static_cast<double>(advance) * 1000.0 / face->units_per_EM);
}

}  // namespace

char32_t DrawnCharacter(const std::u32string& text) {
    if (text.size() == 1) return text[0];
    static const std::pair<std::u32string_view, char32_t> kLigatures[] = {
        {U"ff", 0xFB00}, {U"fi", 0xFB01}, {U"fl", 0xFB02}, {U"ffi", 0xFB03},
        {U"ffl", 0xFB04}, {U"\u017Ft", 0xFB05}, {U"st", 0xFB06},
    };
    for (const auto& [letters, ligature] : kLigatures)
        if (text == letters) return ligature;
    return 0;
}

std::optional<TReplacementGlyphs> MapReplacementGlyphs(const TOldFont& old, const TSimpleCodeCharacters& characters,
                                                       const TCodeSet& used, const std::string& newFontPath,
                                                       int32_t newFaceIndex, bool keepWidths) {
    TFtFace ft;
    if (!ft.Open(newFontPath, newFaceIndex)) return std::nullopt;
    FT_Face face = ft.Face();
    if (face->units_per_EM == 0) return std::nullopt;
    const bool unicodeMap = FT_Select_Charmap(face, FT_ENCODING_UNICODE) == 0;
    const bool byName = ft.HasTable(TTAG_CFF) && !ft.HasTable(TTAG_glyf) && FT_HAS_GLYPH_NAMES(face);

    TReplacementGlyphs result;
    result.codes = used;
    for (size_t code = 0; code < 256; ++code) {
        if (!used.test(code)) continue;
        const TCodeCharacter& character = characters[code];
        // A code the old font draws nothing for draws nothing in the new one
        // either, and one whose character is unknown must not draw another.
        result.glyphNames[code] = ".notdef";
        if (character.Unknown()) result.unknown.set(code);
        const char32_t ch = character.Known() ? DrawnCharacter(character.text) : 0;
        result.texts[code] = character.text;
        result.characters[code] = ch;
        // A code of unknown character still has its glyph in a font found
        // by the name the old font gave it (ZapfDingbats' a1 ... a191).
        const std::string& givenName = old.givenNames.test(code) ? old.glyphNames[code] : std::string();
        const FT_UInt glyph = character.Known()     ? NewGlyph(face, unicodeMap, byName, ch, old.glyphNames[code])
                              : character.Unknown() ? NewGlyph(face, false, byName, 0, givenName)
                                                    : 0;
        if (glyph != 0) result.unknown.reset(code);
        if (byName && glyph != 0) result.glyphNames[code] = OwnGlyphName(face, glyph);
        else if (ch != 0) result.glyphNames[code] = NewGlyphName(face, glyph, ch);
        if (character.Known() && glyph == 0)
            result.missing.push_back({static_cast<uint8_t>(code), ch != 0 ? ch : character.text[0], old.glyphNames[code]});
        result.newGlyphs[code] = glyph;
        if (keepWidths && old.hasWidth.test(code))
            result.widths[code] = old.widths[code];
        else
            result.widths[code] = NaturalWidth(face, glyph);
    }
    result.symbolic = old.symbolic && result.unknown.any();
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
