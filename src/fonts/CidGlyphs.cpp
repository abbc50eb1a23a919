#include "CidGlyphs.h"

#include <algorithm>
#include <cmath>

#include "CodeCharacters.h"
#include "FtFace_p.h"

#include FT_ADVANCES_H

namespace {

bool SaysNothing(char32_t ch) { return ch < 0x20 || ch == 0xFFFD || (ch >= 0x7F && ch < 0xA0); }

double Advance(FT_Face face, FT_UInt glyph) {
    FT_Fixed advance = 0;
    if (FT_Get_Advance(face, glyph, FT_LOAD_NO_SCALE, &advance) != 0) advance = 0;
    return std::trunc(static_cast<double>(advance) * 1000.0 / face->units_per_EM);
}

}  // namespace

std::u32string CompositeCodeText(const TFontText& old, uint32_t code) {
    std::u32string text = Utf8ToCodePoints(old.CharactersOf(code));
    for (char32_t ch : text)
        if (!SaysNothing(ch)) return text;
    return {};
}

int32_t CountUnknownComposite(const TFontText& old, const TWideCodes& used) {
    int32_t unknown = 0;
    for (const auto& [code, length] : used)
        if (CompositeCodeText(old, code).empty()) ++unknown;
    return unknown;
}

std::optional<TCompositeGlyphs> MapCompositeGlyphs(const TFontText& old, const TWideCodes& used,
                                                   const std::string& newFontPath, int32_t newFaceIndex,
                                                   bool keepWidths) {
    TFtFace ft;
    if (!ft.Open(newFontPath, newFaceIndex)) return std::nullopt;
    FT_Face face = ft.Face();
    if (face->units_per_EM == 0) return std::nullopt;
    const bool unicodeMap = FT_Select_Charmap(face, FT_ENCODING_UNICODE) == 0;

    TCompositeGlyphs result;
    result.vertical = old.Vertical();
    result.defaultWidth = old.defaultWidth;
    result.defaultOriginY = old.defaultOriginY;
    result.defaultAdvanceY = old.defaultAdvanceY;
    uint32_t spare = static_cast<uint32_t>(std::max<FT_Long>(face->num_glyphs, 1));
    for (const auto& [code, length] : used) {
        TCidGlyph glyph;
        glyph.code = code;
        glyph.length = length;
        glyph.oldCid = old.encoding.Cid(code);
        glyph.text = CompositeCodeText(old, code);
        glyph.vertical = old.VerticalMetricsOf(glyph.oldCid);
        const char32_t ch = glyph.text.empty() ? 0 : DrawnCharacter(glyph.text);
        // A code whose character is unknown must draw nothing rather than
        // another character.
        if (ch != 0 && unicodeMap) glyph.newGlyph = FT_Get_Char_Index(face, ch);
        if (glyph.text.empty()) ++result.unknownCharacters;
        else if (glyph.newGlyph == 0) result.missing.push_back({code, ch != 0 ? ch : glyph.text[0], {}});
        if (glyph.newGlyph == 0) glyph.spareIndex = spare++;
        const double oldWidth = old.CidWidth(glyph.oldCid);
        glyph.oldWidth = oldWidth;
        glyph.width = keepWidths || glyph.newGlyph == 0 ? oldWidth : Advance(face, glyph.newGlyph);
        result.codes.push_back(std::move(glyph));
    }
    return result;
}
