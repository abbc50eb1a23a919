#include "FontFiles_p.h"
#include "FtFace_p.h"

#include <fontconfig/fontconfig.h>

#include FT_TRUETYPE_TABLES_H

#include "PdfText.h"

#if defined(__SANITIZE_ADDRESS__)
#define GW_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GW_LEAK_CHECKED 1
#endif
#endif

#ifdef GW_LEAK_CHECKED
// fontconfig keeps its configuration, once loaded, for the life of the
// process; the leak checker would report it at every exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
// Without the list of suppressions used, which would otherwise follow the
// program's own messages on stderr at every exit.
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

namespace {

std::string PatternString(FcPattern* pattern, const char* object) {
    FcChar8* value = nullptr;
    if (FcPatternGetString(pattern, object, 0, &value) != FcResultMatch || !value) return {};
    return reinterpret_cast<const char*>(value);
}

// Family names compare as fontconfig compares them: blanks and ASCII case
// do not count.
std::string FamilyKey(const char* name) {
    std::string key;
    for (const char* p = name; *p; ++p) {
        if (*p == ' ') continue;
        key += (*p >= 'A' && *p <= 'Z') ? static_cast<char>(*p - 'A' + 'a') : *p;
    }
    return key;
}

bool HasFamily(FcPattern* pattern, const std::string& family) {
    const std::string wanted = FamilyKey(family.c_str());
    FcChar8* value = nullptr;
    for (int n = 0; FcPatternGetString(pattern, FC_FAMILY, n, &value) == FcResultMatch; ++n) {
        if (value && FamilyKey(reinterpret_cast<const char*>(value)) == wanted) return true;
    }
    return false;
}

}  // namespace

namespace {

// fontconfig's choice for the request, of the given format when one is
// named; nothing when it has no font at all.
std::optional<TFontFileMatch> MatchOfFormat(FcConfig* config, const std::string& family, bool bold, bool italic,
                                            const char* format) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return std::nullopt;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    if (format) FcPatternAddString(pattern, FC_FONTFORMAT, reinterpret_cast<const FcChar8*>(format));
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return std::nullopt;

    TFontFileMatch found;
    found.path = PatternString(match, FC_FILE);
    int index = 0;
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) found.faceIndex = index;
    found.family = PatternString(match, FC_FAMILY);
    found.fontFormat = PatternString(match, FC_FONTFORMAT);
    found.familyMatches = HasFamily(match, family);
    FcPatternDestroy(match);
    if (found.path.empty()) return std::nullopt;
    return found;
}

}  // namespace

std::optional<TFontFileMatch> MatchFontFile(const std::string& family, bool bold, bool italic) {
    // FcConfigGetCurrent loads the configuration on first use; it stays
    // loaded for the life of the process.
    FcConfig* config = FcConfigGetCurrent();
    if (!config) return std::nullopt;
    // A family installed both as PostScript Type 1 and as OpenType (the
    // URW base-35 fonts) is found as the file a PDF can embed. The format
    // outranks the family in fontconfig's scoring, so each format is asked
    // for on its own.
    for (const char* format : {"TrueType", "CFF"})
        if (auto found = MatchOfFormat(config, family, bold, italic, format); found && found->familyMatches)
            return found;
    return MatchOfFormat(config, family, bold, italic, nullptr);
}

TFtFace::TFtFace() {
    if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
}

TFtFace::~TFtFace() {
    Close();
    if (library_) FT_Done_FreeType(library_);
}

void TFtFace::Close() {
    if (face_) FT_Done_Face(face_);
    face_ = nullptr;
    bytes_.clear();
}

bool TFtFace::Open(const std::string& path, int32_t faceIndex) {
    Close();
    if (!library_) return false;
    if (FT_New_Face(library_, path.c_str(), faceIndex, &face_) != 0) {
        face_ = nullptr;
        return false;
    }
    return true;
}

bool TFtFace::OpenMemory(std::string bytes) {
    Close();
    if (!library_ || bytes.empty()) return false;
    bytes_ = std::move(bytes);
    if (FT_New_Memory_Face(library_, reinterpret_cast<const FT_Byte*>(bytes_.data()),
                           static_cast<FT_Long>(bytes_.size()), 0, &face_) != 0) {
        Close();
        return false;
    }
    return true;
}

bool TFtFace::HasTable(FT_ULong tag) const {
    if (!face_ || !FT_IS_SFNT(face_)) return false;
    FT_ULong length = 0;
    return FT_Load_Sfnt_Table(face_, tag, 0, nullptr, &length) == 0 && length > 0;
}

std::array<FT_UInt, 256> Cp1252GlyphIndexes(FT_Face face, bool allowSymbol) {
    std::array<FT_UInt, 256> glyphs{};
    if (!face) return glyphs;
    const bool hasUnicode = FT_Select_Charmap(face, FT_ENCODING_UNICODE) == 0;
    const bool symbolOnly = !hasUnicode && allowSymbol && FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL) == 0;
    if (!hasUnicode && !symbolOnly) return glyphs;
    for (int code = 0; code < 256; ++code) {
        const char32_t unicode = Cp1252ToUnicode(static_cast<uint8_t>(code));
        if (symbolOnly) {
            glyphs[code] = FT_Get_Char_Index(face, 0xF000 + static_cast<FT_ULong>(code));
        } else if (unicode != 0) {
            glyphs[code] = FT_Get_Char_Index(face, unicode);
        }
    }
    return glyphs;
}
