#include "CidGlyphs.h"

#include <algorithm>
#include <cmath>

#include "CodeCharacters.h"
#include "FtFace_p.h"

#include FT_ADVANCES_H

#include <hb.h>

#include <memory>

namespace {

struct THbFontDeleter {
    void operator()(hb_font_t* font) const { hb_font_destroy(font); }
};
struct THbBufferDeleter {
    void operator()(hb_buffer_t* buffer) const { hb_buffer_destroy(buffer); }
};

// The glyphs a face draws in vertical writing: its vertical alternates
// (brackets, punctuation, long vowel marks turned and moved), which
// HarfBuzz applies when it shapes a character top to bottom.
class TVerticalForms {
public:
    TVerticalForms(const std::string& path, int32_t faceIndex) {
        hb_blob_t* blob = hb_blob_create_from_file_or_fail(path.c_str());
        if (!blob) return;
        hb_face_t* face = hb_face_create(blob, static_cast<unsigned>(faceIndex));
        font_.reset(hb_font_create(face));
        hb_face_destroy(face);
        hb_blob_destroy(blob);
    }
    // The vertical form of the character's glyph; `glyph` where it has none.
    uint32_t Of(char32_t ch, uint32_t glyph) const {
        if (!font_ || glyph == 0) return glyph;
        std::unique_ptr<hb_buffer_t, THbBufferDeleter> buffer(hb_buffer_create());
        hb_buffer_add_utf32(buffer.get(), reinterpret_cast<const uint32_t*>(&ch), 1, 0, 1);
        hb_buffer_guess_segment_properties(buffer.get());
        hb_buffer_set_direction(buffer.get(), HB_DIRECTION_TTB);
        hb_shape(font_.get(), buffer.get(), nullptr, 0);
        unsigned count = 0;
        const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer.get(), &count);
        return count == 1 && info[0].codepoint != 0 ? info[0].codepoint : glyph;
    }

private:
    std::unique_ptr<hb_font_t, THbFontDeleter> font_;
};

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
    std::optional<TVerticalForms> verticalForms;
    if (result.vertical) verticalForms.emplace(newFontPath, newFaceIndex);
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
        if (verticalForms) glyph.newGlyph = verticalForms->Of(ch, glyph.newGlyph);
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
