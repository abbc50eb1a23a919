#include "SimilarFaces.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <map>
#include <mutex>
#include <vector>

#include "FtFace_p.h"
#include "GlyphNames.h"
#include "PdfText.h"

#include FT_ADVANCES_H

namespace {

constexpr int32_t kFixedPitchFlag = 1;
constexpr int32_t kSerifFlag = 2;
constexpr int32_t kScriptFlag = 8;

// Lower case without blanks, so that "Segoe UI Symbol" and "SegoeUISymbol"
// read alike.
std::string NameKey(const std::string& name) {
    std::string key;
    for (char ch : name) {
        if (ch == ' ' || ch == '-' || ch == '_') continue;
        key += (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
    }
    return key;
}

struct TClassWords {
    TFontClass fontClass;
    std::initializer_list<const char*> words;
};

// Checked in this order: "Lucida Sans Typewriter" is fixed-pitch, "Segoe
// Script" a script, "Century Gothic" a sans.
const TClassWords kClassWords[] = {
    {TFontClass::Symbol, {"symbol", "dingbat", "wingding", "webding", "marlett"}},
    {TFontClass::Mono,
     {"mono", "courier", "consol", "monaco", "menlo", "typewriter", "fixedsys", "andale", "inconsolata", "ocr"}},
    {TFontClass::Script,
     {"script", "brush", "hand", "chancery", "zapfino", "pristina", "kunstler", "vivaldi", "edwardian", "mistral",
      "calligraph", "cursive", "segoeprint", "freestyle"}},
    {TFontClass::Sans,
     {"sans", "arial", "helvet", "verdana", "tahoma", "segoe", "calibri", "candara", "corbel", "trebuchet",
      "gothic", "grotesk", "futura", "gill", "frutiger", "univers", "myriad", "franklin", "avenir", "optima",
      "geneva", "roboto", "lato", "ubuntu", "lucidagrande", "meta", "akzidenz"}},
    {TFontClass::Serif,
     {"serif", "times", "roman", "georgia", "garamond", "cambria", "book", "minion", "palatin", "baskerville",
      "bodoni", "century", "caslon", "constantia", "perpetua", "rockwell", "antiqua", "cochin", "didot",
      "charter", "sabon", "utopia", "goudy"}},
};

std::optional<TFontClass> ClassByName(const std::string& name) {
    const std::string key = NameKey(name);
    for (const TClassWords& entry : kClassWords)
        for (const char* word : entry.words)
            if (key.find(word) != std::string::npos) return entry.fontClass;
    return std::nullopt;
}

// The families fontconfig substitutes for a generic name, as name keys.
std::vector<std::string> GenericMembers(const char* generic) {
    std::vector<std::string> members;
    FcConfig* config = FcConfigGetCurrent();
    FcPattern* pattern = config ? FcPatternCreate() : nullptr;
    if (!pattern) return members;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(generic));
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcChar8* value = nullptr;
    for (int n = 0; FcPatternGetString(pattern, FC_FAMILY, n, &value) == FcResultMatch; ++n)
        if (value) members.push_back(NameKey(reinterpret_cast<const char*>(value)));
    FcPatternDestroy(pattern);
    return members;
}

struct TInstalledFamily {
    std::string name;
    TFontClass fontClass = TFontClass::Unknown;
};

// Every family name of the installed TrueType and OpenType (CFF) fonts with its class
// (fixed pitch by fontconfig's spacing), read once.
const std::vector<TInstalledFamily>& InstalledFamilies() {
    static std::mutex mutex;
    static std::vector<TInstalledFamily> families;
    static bool read = false;
    const std::lock_guard<std::mutex> lock(mutex);
    if (read) return families;
    read = true;
    FcConfig* config = FcConfigGetCurrent();
    FcPattern* pattern = config ? FcPatternCreate() : nullptr;
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_SPACING, FC_FONTFORMAT, nullptr);
    FcFontSet* set = pattern && objects ? FcFontList(config, pattern, objects) : nullptr;
    std::map<std::string, TFontClass> found;
    for (int i = 0; set && i < set->nfont; ++i) {
        FcChar8* format = nullptr;
        if (FcPatternGetString(set->fonts[i], FC_FONTFORMAT, 0, &format) != FcResultMatch || !format) continue;
        const std::string formatName = reinterpret_cast<const char*>(format);
        if (formatName != "TrueType" && formatName != "CFF") continue;
        int spacing = 0;
        const bool mono = FcPatternGetInteger(set->fonts[i], FC_SPACING, 0, &spacing) == FcResultMatch && spacing >= FC_MONO;
        FcChar8* value = nullptr;
        for (int n = 0; FcPatternGetString(set->fonts[i], FC_FAMILY, n, &value) == FcResultMatch; ++n) {
            if (!value) continue;
            const std::string name = reinterpret_cast<const char*>(value);
            found.emplace(name, mono ? TFontClass::Mono : TFontClass::Unknown);
        }
    }
    if (set) FcFontSetDestroy(set);
    if (objects) FcObjectSetDestroy(objects);
    if (pattern) FcPatternDestroy(pattern);
    for (const auto& [name, fontClass] : found) families.push_back({name, fontClass});
    return families;
}

TFontClass ClassOfInstalled(const TInstalledFamily& family) {
    if (family.fontClass != TFontClass::Unknown) return family.fontClass;
    return InstalledFamilyClass(family.name);
}

// The order candidates are weighed in: fewer missing characters first,
// then a closer width; fontconfig's own match keeps its place unless
// another is clearly closer.
constexpr double kPreferFirst = 0.04;

}  // namespace

TFontClass OldFontClass(const std::string& baseFont, int32_t descriptorFlags) {
    if (const auto byName = ClassByName(WithoutSubsetTag(baseFont))) return *byName;
    if (descriptorFlags & kFixedPitchFlag) return TFontClass::Mono;
    if (descriptorFlags & kScriptFlag) return TFontClass::Script;
    if (descriptorFlags & kSerifFlag) return TFontClass::Serif;
    return TFontClass::Unknown;
}

TFontClass InstalledFamilyClass(const std::string& family) {
    if (const auto byName = ClassByName(family)) return *byName;
    static const std::vector<std::pair<TFontClass, std::vector<std::string>>> generics = {
        {TFontClass::Mono, GenericMembers("monospace")},
        {TFontClass::Serif, GenericMembers("serif")},
        {TFontClass::Sans, GenericMembers("sans-serif")},
    };
    const std::string key = NameKey(family);
    for (const auto& [fontClass, members] : generics)
        if (std::find(members.begin(), members.end(), key) != members.end()) return fontClass;
    return TFontClass::Unknown;
}

std::optional<TFaceFit> FitOf(const TOldFont& old, const TCodeSet& codes, const TInstalledFace& face) {
    TFtFace ft;
    if (!ft.Open(face.path, face.faceIndex) || ft.Face()->units_per_EM == 0) return std::nullopt;
    FT_Face ftFace = ft.Face();
    if (FT_Select_Charmap(ftFace, FT_ENCODING_UNICODE) != 0) return std::nullopt;
    TFaceFit fit;
    double misfit = 0;
    int32_t measured = 0;
    for (size_t code = 0; code < 256; ++code) {
        if (!codes.test(code) || old.glyphNames[code].empty()) continue;
        const char32_t ch = GlyphNameToUnicode(old.glyphNames[code]).value_or(0);
        const FT_UInt glyph = ch ? FT_Get_Char_Index(ftFace, ch) : 0;
        if (glyph == 0) {
            ++fit.missing;
            continue;
        }
        FT_Fixed advance = 0;
        if (!old.hasWidth.test(code) || old.widths[code] <= 0 ||
            FT_Get_Advance(ftFace, glyph, FT_LOAD_NO_SCALE, &advance) != 0 || advance <= 0)
            continue;
        misfit += std::fabs(std::log(old.widths[code] * ftFace->units_per_EM / (1000.0 * static_cast<double>(advance))));
        ++measured;
    }
    fit.widthMisfit = measured > 0 ? misfit / measured : 0;
    return fit;
}

std::optional<TInstalledFace> SimilarFace(const TOldFont& old, const TCodeSet& codes, TFontClass fontClass,
                                          const TFontStyle& style, const std::optional<TInstalledFace>& first) {
    TFontStyle wanted = style;
    const auto& installed = InstalledFamilies();
    const auto hasClass = [&installed](TFontClass c) {
        return std::any_of(installed.begin(), installed.end(), [c](const auto& f) { return ClassOfInstalled(f) == c; });
    };
    if (fontClass == TFontClass::Script && !hasClass(TFontClass::Script)) {
        fontClass = TFontClass::Serif;
        wanted.italic = true;
    }
    if (fontClass == TFontClass::Unknown && first) fontClass = InstalledFamilyClass(first->family);

    std::vector<TInstalledFace> candidates;
    const bool firstFits = first && (fontClass == TFontClass::Symbol || fontClass == TFontClass::Unknown ||
                                     InstalledFamilyClass(first->family) == fontClass) &&
                           first->style == wanted;
    if (firstFits) candidates.push_back(*first);
    for (const TInstalledFamily& family : installed) {
        if (fontClass != TFontClass::Symbol && fontClass != TFontClass::Unknown && ClassOfInstalled(family) != fontClass)
            continue;
        auto face = FindInstalledFace(family.name, wanted);
        if (!face) continue;
        // The name asked for finds this face again (a condensed face goes
        // by its family's first name otherwise).
        face->family = family.name;
        const bool known = std::any_of(candidates.begin(), candidates.end(), [&face](const TInstalledFace& c) {
            return c.path == face->path && c.faceIndex == face->faceIndex;
        });
        if (!known) candidates.push_back(*face);
    }

    std::optional<TInstalledFace> best;
    TFaceFit bestFit;
    for (size_t k = 0; k < candidates.size(); ++k) {
        auto fit = FitOf(old, codes, candidates[k]);
        if (!fit) continue;
        if (k == 0 && firstFits) fit->widthMisfit -= kPreferFirst;
        const bool better = !best || fit->missing < bestFit.missing ||
                            (fit->missing == bestFit.missing && fit->widthMisfit < bestFit.widthMisfit);
        if (!better) continue;
        best = candidates[k];
        bestFit = *fit;
    }
    if (!best && first) best = first;
    return best;
}

std::vector<std::string> EmbeddableFamilies() {
    std::vector<std::string> names;
    for (const TInstalledFamily& family : InstalledFamilies()) names.push_back(family.name);
    return names;
}
