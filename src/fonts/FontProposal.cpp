#include "FontProposal.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "AddedFonts.h"
#include "FontFiles_p.h"
#include "StandardFonts.h"

namespace {

std::string FamilyKey(const std::string& name) {
    std::string key;
    for (char ch : name) {
        if (ch == ' ') continue;
        key += (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
    }
    return key;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() > tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

FcPattern* FormatRequest(const std::string& family, const TFontStyle& style, const char* format) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return nullptr;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, style.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, style.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    // The format outranks the family in fontconfig's scoring: among the
    // fonts of one format that can be embedded the family then decides.
    FcPatternAddString(pattern, FC_FONTFORMAT, reinterpret_cast<const FcChar8*>(format));
    return pattern;
}

std::vector<std::string> SubstitutedFamilies(FcConfig* config, FcPattern* pattern) {
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    std::vector<std::string> families;
    FcChar8* value = nullptr;
    for (int n = 0; FcPatternGetString(pattern, FC_FAMILY, n, &value) == FcResultMatch; ++n)
        if (value) families.push_back(FamilyKey(reinterpret_cast<const char*>(value)));
    return families;
}

// fontconfig appends the generic families to every request and replaces
// each by its list of preferred fonts; the first font of each such list
// marks where the fallbacks begin.
const std::vector<std::string>& GenericHeads(FcConfig* config) {
    static const std::vector<std::string> heads = [config] {
        std::vector<std::string> found;
        for (const char* generic : {"sans-serif", "serif", "monospace"}) {
            FcPattern* pattern = FcPatternCreate();
            if (!pattern) continue;
            FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(generic));
            const std::vector<std::string> families = SubstitutedFamilies(config, pattern);
            FcPatternDestroy(pattern);
            if (!families.empty()) found.push_back(families.front());
        }
        return found;
    }();
    return heads;
}

// The families of the substituted request before the generic fallbacks:
// the font asked for and the aliases the configuration gives it.
std::vector<std::string> NamedFamilies(const std::vector<std::string>& substituted,
                                       const std::vector<std::string>& genericHeads) {
    std::vector<std::string> named;
    for (const std::string& family : substituted) {
        if (std::find(genericHeads.begin(), genericHeads.end(), family) != genericHeads.end()) break;
        named.push_back(family);
    }
    return named;
}

bool HasAnyFamily(FcPattern* font, const std::vector<std::string>& keys) {
    FcChar8* value = nullptr;
    for (int n = 0; FcPatternGetString(font, FC_FAMILY, n, &value) == FcResultMatch; ++n) {
        if (!value) continue;
        const std::string key = FamilyKey(reinterpret_cast<const char*>(value));
        for (const std::string& wanted : keys)
            if (key == wanted) return true;
    }
    return false;
}

std::optional<TInstalledFace> FaceOf(FcPattern* font, const TFontStyle& style) {
    FcChar8* file = nullptr;
    FcChar8* family = nullptr;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch || !file) return std::nullopt;
    if (FcPatternGetString(font, FC_FAMILY, 0, &family) != FcResultMatch || !family) return std::nullopt;
    TInstalledFace face;
    face.path = reinterpret_cast<const char*>(file);
    face.family = reinterpret_cast<const char*>(family);
    face.style = style;
    int index = 0;
    if (FcPatternGetInteger(font, FC_INDEX, 0, &index) == FcResultMatch) face.faceIndex = index;
    // The writer needs TrueType or CFF outlines and Windows-1252 coverage.
    if (!ReadOutlineMetrics(face.path, face.faceIndex)) return std::nullopt;
    return face;
}

}  // namespace

std::string RequestedFamily(const std::string& baseFont) {
    std::string name = WithoutStyleSuffix(WithoutSubsetTag(baseFont));
    if (const size_t dash = name.find('-'); dash != std::string::npos && dash > 0) name.erase(dash);
    for (const char* tail : {"PSMT", "MT", "PS"}) {
        if (EndsWith(name, tail)) {
            name.erase(name.size() - std::string(tail).size());
            break;
        }
    }
    return name;
}

namespace {

std::optional<TFontProposal> ProposeOfFormat(FcConfig* config, const std::string& baseFont, const TFontStyle& style,
                                             const char* format) {
    FcPattern* pattern = FormatRequest(RequestedFamily(baseFont), style, format);
    if (!pattern) return std::nullopt;
    const std::vector<std::string> named = NamedFamilies(SubstitutedFamilies(config, pattern), GenericHeads(config));
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return std::nullopt;
    std::optional<TFontProposal> proposal;
    if (const auto face = FaceOf(match, style)) proposal = TFontProposal{*face, HasAnyFamily(match, named)};
    FcPatternDestroy(match);
    return proposal;
}

}  // namespace

std::optional<TFontProposal> ProposeFont(const std::string& baseFont, const TFontStyle& style) {
    FcConfig* config = FcConfigGetCurrent();
    if (!config) return std::nullopt;
    // A TrueType face first, as before OpenType faces could be embedded;
    // the configuration's metric twin with CFF outlines (the URW clones of
    // Palatino, Bookman, ...) where no TrueType one is.
    auto proposal = ProposeOfFormat(config, baseFont, style, "TrueType");
    if (proposal && proposal->good) return proposal;
    if (auto cff = ProposeOfFormat(config, baseFont, style, "CFF"); cff && cff->good) return cff;
    return proposal;
}

namespace {

// Whether a face of this family draws serifs: Mincho, Song and Myeongjo
// faces say so in their names (fontconfig's configuration does not class
// them under "serif" for every language).
bool SerifFamily(FcPattern* font) {
    FcChar8* value = nullptr;
    for (int n = 0; FcPatternGetString(font, FC_FAMILY, n, &value) == FcResultMatch; ++n) {
        if (!value) continue;
        std::string name = reinterpret_cast<const char*>(value);
        for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        for (const char* part : {"mincho", "ming", "song", "batang", "myeongjo", "serif"})
            if (name.find(part) != std::string::npos && name.find("sans") == std::string::npos) return true;
    }
    return false;
}

bool CoversLanguage(FcPattern* font, const std::string& language) {
    FcLangSet* covered = nullptr;
    FcChar8* format = nullptr;
    return FcPatternGetLangSet(font, FC_LANG, 0, &covered) == FcResultMatch &&
           FcLangSetHasLang(covered, reinterpret_cast<const FcChar8*>(language.c_str())) != FcLangDifferentLang &&
           FcPatternGetString(font, FC_FONTFORMAT, 0, &format) == FcResultMatch && format &&
           std::string(reinterpret_cast<const char*>(format)) == "TrueType";
}

}  // namespace

std::optional<TInstalledFace> ProposeFaceForLanguage(const std::string& language, bool serif, const TFontStyle& style) {
    FcConfig* config = FcConfigGetCurrent();
    if (!config || language.empty()) return std::nullopt;
    // TrueType outlines: a CID-keyed CFF program numbers its glyphs in its
    // own way, which the written font's map cannot follow.
    FcPattern* pattern = FormatRequest(serif ? "serif" : "sans-serif", style, "TrueType");
    if (!pattern) return std::nullopt;
    FcLangSet* wanted = FcLangSetCreate();
    FcLangSetAdd(wanted, reinterpret_cast<const FcChar8*>(language.c_str()));
    FcPatternAddLangSet(pattern, FC_LANG, wanted);
    FcLangSetDestroy(wanted);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcFontSet* sorted = FcFontSort(config, pattern, FcFalse, nullptr, &result);
    std::optional<TInstalledFace> face, other;
    // fontconfig always answers: only faces that cover the language count,
    // the first of the wanted kind before the first of any.
    for (int i = 0; sorted && i < sorted->nfont && !face; ++i) {
        FcPattern* font = FcFontRenderPrepare(config, pattern, sorted->fonts[i]);
        if (!font) continue;
        if (CoversLanguage(font, language)) {
            if (SerifFamily(font) == serif) face = FaceOf(font, style);
            else if (!other) other = FaceOf(font, style);
        }
        FcPatternDestroy(font);
    }
    if (sorted) FcFontSetDestroy(sorted);
    FcPatternDestroy(pattern);
    return face ? face : other;
}

std::optional<TInstalledFace> FindInstalledFace(const std::string& family, const TFontStyle& style) {
    const auto match = MatchFontFile(family, style.bold, style.italic);
    if (!match || !match->familyMatches) return std::nullopt;
    if (!ReadOutlineMetrics(match->path, match->faceIndex)) return std::nullopt;
    TInstalledFace face;
    face.family = match->family;
    face.style = style;
    face.path = match->path;
    face.faceIndex = match->faceIndex;
    return face;
}

void PrepareFontMatching() {
    if (FcConfig* config = FcConfigGetCurrent()) GenericHeads(config);
    for (const char* name : {"Times-Roman", "Times-Bold", "Times-Italic", "Times-BoldItalic", "Helvetica",
                             "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique", "Courier",
                             "Courier-Bold", "Courier-Oblique", "Courier-BoldOblique", "Symbol", "ZapfDingbats"})
        StandardFontMetrics(name);
}
