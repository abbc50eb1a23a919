#include "FontMeasurer.h"

#include <array>
#include <cmath>
#include <unordered_map>

#include "FontFiles_p.h"
#include "FtFace_p.h"

#include FT_ADVANCES_H
#include FT_TRUETYPE_TABLES_H

namespace {

// Above this em height glyphs are not loaded at that size (FreeType refuses
// sizes beyond 16 bits, and hinting is invisible there anyway): advances are
// scaled linearly from design units.
constexpr int32_t kMaxHintedEm = 2000;
// A text extent of an absurd size must not overflow 32 bits.
constexpr int32_t kMaxEm = 1000000;
// Distinct em heights kept; a file that uses more just measures again.
constexpr size_t kMaxCachedSizes = 512;

// Stand-ins when no font at all can be found: a typical sans-serif average.
constexpr double kFallbackWidth = 0.5;
constexpr double kFallbackHeight = 1.15;

int32_t ScaleRounded(int64_t units, int32_t emPx, int32_t unitsPerEm) {
    const int64_t scaled = units * emPx;
    const int64_t half = unitsPerEm / 2;
    return static_cast<int32_t>(scaled >= 0 ? (scaled + half) / unitsPerEm : -((-scaled + half) / unitsPerEm));
}

}  // namespace

struct TFreeTypeMeasurer::TImpl {
    struct TSizeEntry {
        std::array<int32_t, 256> widths;
        int32_t height = -1;
        TSizeEntry() { widths.fill(-1); }
    };

    TFtFace ft;
    bool haveFace = false;
    std::string family = "Arial";
    bool bold = false;
    bool italic = false;
    std::string resolvedFamily;
    int32_t dpi = 96;
    int32_t unitsPerEm = 2048;
    int32_t winAscent = 0;
    int32_t winDescent = 0;
    std::array<FT_UInt, 256> glyphs{};
    std::unordered_map<int32_t, TSizeEntry> cache;
    int32_t lastEm = -1;
    TSizeEntry* last = nullptr;
    int32_t faceSizePx = 0;  // the pixel size FreeType is set to

    void Load() {
        cache.clear();
        lastEm = -1;
        last = nullptr;
        faceSizePx = 0;
        haveFace = false;
        resolvedFamily.clear();
        const auto match = MatchFontFile(family, bold, italic);
        if (!match || !ft.Open(match->path, match->faceIndex)) return;
        FT_Face face = ft.Face();
        if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) return;
        haveFace = true;
        resolvedFamily = face->family_name ? face->family_name : match->family;
        unitsPerEm = face->units_per_EM;
        glyphs = Cp1252GlyphIndexes(face, true);
        winAscent = winDescent = 0;
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        if (os2 && os2->version != 0xFFFF) {
            winAscent = os2->usWinAscent;
            winDescent = os2->usWinDescent;
        }
    }

    TSizeEntry& Entry(int32_t emPx) {
        if (emPx == lastEm && last) return *last;
        if (cache.size() >= kMaxCachedSizes && cache.find(emPx) == cache.end()) cache.clear();
        last = &cache[emPx];
        lastEm = emPx;
        return *last;
    }

    bool SetPixelSize(int32_t emPx) {
        if (faceSizePx == emPx) return true;
        if (FT_Set_Pixel_Sizes(ft.Face(), 0, static_cast<FT_UInt>(emPx)) != 0) return false;
        faceSizePx = emPx;
        return true;
    }

    int32_t MeasureWidth(uint8_t ch, int32_t emPx) {
        if (!haveFace) return static_cast<int32_t>(emPx * kFallbackWidth);
        FT_Face face = ft.Face();
        if (emPx <= kMaxHintedEm && SetPixelSize(emPx) && FT_Load_Glyph(face, glyphs[ch], FT_LOAD_DEFAULT) == 0)
            return static_cast<int32_t>((face->glyph->advance.x + 32) >> 6);
        FT_Fixed advance = 0;
        if (FT_Get_Advance(face, glyphs[ch], FT_LOAD_NO_SCALE, &advance) != 0) return 0;
        return ScaleRounded(advance, emPx, unitsPerEm);
    }

    // ascent + descent as a text extent reports the height: the OS/2 table's
    // Windows ascent and descent (what GDI's tmHeight is made of), each
    // scaled to the em and rounded; fonts without them use FreeType's size
    // metrics, which round ascent and descent up.
    int32_t MeasureHeight(int32_t emPx) {
        if (!haveFace) return static_cast<int32_t>(std::lround(emPx * kFallbackHeight));
        if (winAscent + winDescent > 0)
            return ScaleRounded(winAscent, emPx, unitsPerEm) + ScaleRounded(winDescent, emPx, unitsPerEm);
        FT_Face face = ft.Face();
        if (emPx <= kMaxHintedEm && SetPixelSize(emPx))
            return static_cast<int32_t>((face->size->metrics.ascender - face->size->metrics.descender) >> 6);
        return ScaleRounded(face->ascender, emPx, unitsPerEm) - ScaleRounded(face->descender, emPx, unitsPerEm);
    }
};

namespace {

int32_t ClampEm(int32_t emHeightPx) {
    if (emHeightPx <= 0) return 1;
    return emHeightPx > kMaxEm ? kMaxEm : emHeightPx;
}

}  // namespace

TFreeTypeMeasurer::TFreeTypeMeasurer() : impl_(std::make_unique<TImpl>()) { impl_->Load(); }

TFreeTypeMeasurer::~TFreeTypeMeasurer() = default;

int32_t TFreeTypeMeasurer::Dpi() { return impl_->dpi; }

void TFreeTypeMeasurer::SetDpi(int32_t dpi) { impl_->dpi = dpi > 0 ? dpi : 96; }

int32_t TFreeTypeMeasurer::CharWidth(uint8_t ch, int32_t emHeightPx) {
    const int32_t emPx = ClampEm(emHeightPx);
    auto& entry = impl_->Entry(emPx);
    int32_t& width = entry.widths[ch];
    if (width < 0) width = impl_->MeasureWidth(ch, emPx);
    return width;
}

void TFreeTypeMeasurer::TextExtent(const std::string& text, int32_t emHeightPx, int32_t& widthPx,
                                   int32_t& heightPx) {
    const int32_t emPx = ClampEm(emHeightPx);
    int64_t sum = 0;
    for (unsigned char ch : text) sum += CharWidth(ch, emPx);
    widthPx = sum > INT32_MAX ? INT32_MAX : static_cast<int32_t>(sum);
    auto& entry = impl_->Entry(emPx);
    if (entry.height < 0) entry.height = impl_->MeasureHeight(emPx);
    heightPx = entry.height;
}

void TFreeTypeMeasurer::SetFont(const std::string& family, bool bold, bool italic) {
    if (family == impl_->family && bold == impl_->bold && italic == impl_->italic) return;
    impl_->family = family;
    impl_->bold = bold;
    impl_->italic = italic;
    impl_->Load();
}

std::string TFreeTypeMeasurer::FaceName() { return impl_->family; }

std::string TFreeTypeMeasurer::ResolvedFamily() const { return impl_->resolvedFamily; }
