#include "CodeCharacters.h"

#include <unordered_map>

#include "FontText.h"
#include "FtFace_p.h"
#include "GlyphNames.h"
#include "ReplacementGlyphs.h"
#include "StandardFonts.h"

namespace {

// Characters that stand for no text of their own: what producers write for
// glyphs they could not name.
bool SaysNothing(char32_t ch) { return ch < 0x20 || ch == 0xFFFD || (ch >= 0x7F && ch < 0xA0); }

bool IsPrivateUse(char32_t ch) { return (ch >= 0xE000 && ch <= 0xF8FF) || ch >= 0xF0000; }

std::u32string Meaningful(std::u32string text) {
    for (char32_t ch : text)
        if (!SaysNothing(ch)) return text;
    return {};
}

}  // namespace

std::u32string Utf8ToCodePoints(const std::string& utf8) {
    std::u32string points;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<uint8_t>(utf8[i]);
        const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > utf8.size()) break;
        char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<uint8_t>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) return points;
            cp = cp << 6 | (next & 0x3F);
        }
        points += cp;
        i += length;
    }
    return points;
}

// ---- the embedded program ---------------------------------------------------------

struct TProgramGlyphs::TImpl {
    TFtFace face;
    bool sfnt = false;  // TrueType or OpenType: glyphs selected through cmap subtables
    FT_CharMap symbolMap = nullptr;   // (3,0)
    FT_CharMap macMap = nullptr;      // (1,0)
    FT_CharMap unicodeMap = nullptr;  // (3,1), (3,10), (0,x); for CFF and Type 1 the one FreeType makes from the names
    FT_CharMap ownMap = nullptr;      // a CFF's or Type 1's own encoding
    // Glyph -> its character by the Unicode map, read once.
    std::unordered_map<uint32_t, char32_t> characterOfGlyph;

    void ChooseMaps();
    void ReadUnicodeMap();
    uint32_t Lookup(FT_CharMap map, FT_ULong code) const {
        if (!map || FT_Set_Charmap(face.Face(), map) != 0) return 0;
        return FT_Get_Char_Index(face.Face(), code);
    }
    std::string GlyphName(uint32_t glyph) const {
        FT_Face f = face.Face();
        if (!FT_HAS_GLYPH_NAMES(f)) return {};
        char name[128] = {};
        if (FT_Get_Glyph_Name(f, glyph, name, sizeof name) != 0) return {};
        return name;
    }
};

void TProgramGlyphs::TImpl::ChooseMaps() {
    FT_Face f = face.Face();
    sfnt = FT_IS_SFNT(f);
    for (FT_Int i = 0; i < f->num_charmaps; ++i) {
        FT_CharMap map = f->charmaps[i];
        if (map->platform_id == 3 && map->encoding_id == 0) symbolMap = map;
        else if (map->platform_id == 1 && map->encoding_id == 0) macMap = map;
        else if (map->encoding == FT_ENCODING_ADOBE_CUSTOM || map->encoding == FT_ENCODING_ADOBE_STANDARD ||
                 map->encoding == FT_ENCODING_ADOBE_EXPERT || map->encoding == FT_ENCODING_ADOBE_LATIN_1)
            ownMap = ownMap ? ownMap : map;
    }
    if (FT_Select_Charmap(f, FT_ENCODING_UNICODE) == 0) unicodeMap = f->charmap;
}

void TProgramGlyphs::TImpl::ReadUnicodeMap() {
    if (!unicodeMap || FT_Set_Charmap(face.Face(), unicodeMap) != 0) return;
    FT_UInt glyph = 0;
    // The lowest code point of a glyph wins (space before no-break space,
    // hyphen before soft hyphen), except that one outside the private use
    // areas wins over one inside.
    for (FT_ULong cp = FT_Get_First_Char(face.Face(), &glyph); glyph != 0; cp = FT_Get_Next_Char(face.Face(), cp, &glyph)) {
        const auto ch = static_cast<char32_t>(cp);
        if (SaysNothing(ch)) continue;
        auto [entry, inserted] = characterOfGlyph.emplace(glyph, ch);
        if (!inserted && IsPrivateUse(entry->second) && !IsPrivateUse(ch)) entry->second = ch;
    }
}

TProgramGlyphs::TProgramGlyphs(std::string program) : impl_(std::make_unique<TImpl>()) {
    if (!impl_->face.OpenMemory(std::move(program))) return;
    impl_->ChooseMaps();
    impl_->ReadUnicodeMap();
}

TProgramGlyphs::~TProgramGlyphs() = default;

bool TProgramGlyphs::Opened() const { return impl_->face.Face() != nullptr; }

uint32_t TProgramGlyphs::GlyphOfCode(uint8_t code) const {
    if (!Opened()) return 0;
    const TImpl& p = *impl_;
    if (!p.sfnt) return p.Lookup(p.ownMap, code);
    if (p.symbolMap) {
        for (FT_ULong base : {0xF000u, 0u, 0xF100u, 0xF200u})
            if (const uint32_t glyph = p.Lookup(p.symbolMap, base + code)) return glyph;
    }
    if (const uint32_t glyph = p.Lookup(p.macMap, code)) return glyph;
    // Without any character map viewers take the code for the glyph index.
    if (!p.symbolMap && !p.macMap && !p.unicodeMap) return code < p.face.Face()->num_glyphs ? code : 0;
    return p.Lookup(p.unicodeMap, code);
}

uint32_t TProgramGlyphs::GlyphOfName(const std::string& name) const {
    if (!Opened() || name.empty() || !FT_HAS_GLYPH_NAMES(impl_->face.Face())) return 0;
    const uint32_t glyph = FT_Get_Name_Index(impl_->face.Face(), name.c_str());
    // FreeType answers 0 both for ".notdef" and for no such name.
    return glyph != 0 && impl_->GlyphName(glyph) == name ? glyph : 0;
}

TCodeCharacter TProgramGlyphs::CharactersOf(uint32_t glyph) const {
    TCodeCharacter result;
    if (!Opened() || glyph == 0) return result;
    const TImpl& p = *impl_;
    // A CFF's or Type 1's Unicode map is FreeType's reading of the names,
    // which the glyph list below does as well and names as what it is.
    if (p.sfnt) {
        if (const auto found = p.characterOfGlyph.find(glyph); found != p.characterOfGlyph.end()) {
            result.text = std::u32string(1, found->second);
            result.source = TCharacterSource::ProgramUnicode;
            return result;
        }
    }
    result.text = Meaningful(GlyphNameCharacters(p.GlyphName(glyph)));
    if (result.Known()) {
        result.source = TCharacterSource::ProgramGlyphName;
    } else if (!p.sfnt) {
        if (const auto found = p.characterOfGlyph.find(glyph); found != p.characterOfGlyph.end()) {
            result.text = std::u32string(1, found->second);
            result.source = TCharacterSource::ProgramGlyphName;
        }
    }
    return result;
}

// ---- the font -----------------------------------------------------------------------

std::u32string ToUnicodeCharacters(const TFontText* text, uint32_t code) {
    if (!text) return {};
    return Meaningful(Utf8ToCodePoints(text->toUnicode.Unicode(code)));
}

namespace {

// The program's word on one code: the glyph its name selects, else the one
// its maps give the code.
TCodeCharacter ProgramCharacter(const TProgramGlyphs& program, uint8_t code, const std::string& name) {
    uint32_t glyph = program.GlyphOfName(name);
    if (glyph == 0) glyph = program.GlyphOfCode(code);
    if (glyph != 0) return program.CharactersOf(glyph);
    TCodeCharacter none;
    none.source = TCharacterSource::NoGlyph;
    return none;
}

// The character of a ZapfDingbats glyph by its code in the font's own
// encoding. Unicode's Dingbats block follows that encoding, U+2700 + code
// and U+2760 + (code - 0xA0); the glyphs Unicode had already elsewhere are
// the exceptions. 0 for a code without a glyph.
char32_t DingbatsCharacter(uint8_t code) {
    static const std::unordered_map<uint8_t, char32_t> kElsewhere = {
        {0x25, 0x260E}, {0x2A, 0x261B}, {0x2B, 0x261E}, {0x48, 0x2605}, {0x6C, 0x25CF}, {0x6E, 0x25A0},
        {0x73, 0x25B2}, {0x74, 0x25BC}, {0x75, 0x25C6}, {0x77, 0x25D7}, {0xA8, 0x2663}, {0xA9, 0x2666},
        {0xAA, 0x2665}, {0xAB, 0x2660}, {0xD5, 0x2192}, {0xD6, 0x2194}, {0xD7, 0x2195}};
    if (const auto found = kElsewhere.find(code); found != kElsewhere.end()) return found->second;
    if (code == 0x20) return 0x20;
    if (code >= 0x21 && code <= 0x7E) return 0x2700 + code;
    if (code >= 0x80 && code <= 0x8D) return 0x2768 + (code - 0x80);  // the ornamental brackets
    if (code >= 0xAC && code <= 0xB5) return 0x2460 + (code - 0xAC);  // circled digits
    if (code >= 0xA1 && code <= 0xFE && code != 0xF0) return 0x2760 + (code - 0xA0);
    return 0;
}

// A glyph name of ZapfDingbats (a1 ... a206), which the glyph list leaves
// out, read through that font's own encoding; empty for other fonts and
// names.
std::u32string DingbatsNameCharacters(const TStandardFontMetrics* dingbats, const std::string& name) {
    if (!dingbats || name.empty()) return {};
    for (size_t code = 0; code < 256; ++code)
        if (dingbats->builtInEncoding[code] == name)
            if (const char32_t ch = DingbatsCharacter(static_cast<uint8_t>(code))) return std::u32string(1, ch);
    return {};
}

}  // namespace

TSimpleCodeCharacters SimpleCodeCharacters(TPdfDocument& doc, TFontRecord& font, const TOldFont& old) {
    TSimpleCodeCharacters characters;
    const TFontText* text = FontTextOf(doc, font);
    std::unique_ptr<TProgramGlyphs> program;
    // Type 3 glyphs are drawings of the file's own; their names alone say
    // what they are.
    if (font.fontFileObj > 0 && !font.isType3) {
        program = std::make_unique<TProgramGlyphs>(FontProgramBytes(doc, font));
        if (!program->Opened()) program.reset();
    }
    // ZapfDingbats without a program of its own: the viewer's built-in one.
    const TStandardFontMetrics* standard = font.fontFileObj > 0 ? nullptr : StandardFontMetrics(old.baseFont);
    const TStandardFontMetrics* dingbats = standard && standard->afmName == "D050000L" ? standard : nullptr;
    for (size_t code = 0; code < 256; ++code) {
        TCodeCharacter& character = characters[code];
        character.text = ToUnicodeCharacters(text, static_cast<uint32_t>(code));
        if (character.Known()) {
            character.source = TCharacterSource::ToUnicode;
            continue;
        }
        const std::string& name = old.givenNames.test(code) ? old.glyphNames[code] : std::string();
        character.text = Meaningful(GlyphNameCharacters(name));
        if (!character.Known()) character.text = DingbatsNameCharacters(dingbats, name);
        if (character.Known()) {
            character.source = TCharacterSource::GlyphName;
            continue;
        }
        if (program) {
            character = ProgramCharacter(*program, static_cast<uint8_t>(code), name);
        } else if (old.givenNames.test(code) && name.empty()) {
            // The encoding leaves the code unassigned: without a program of
            // its own the font draws nothing for it.
            character.source = TCharacterSource::NoGlyph;
        }
    }
    return characters;
}

int32_t CountUnknown(const TSimpleCodeCharacters& characters, const TCodeSet& codes) {
    int32_t count = 0;
    for (size_t code = 0; code < 256; ++code)
        if (codes.test(code) && characters[code].Unknown()) ++count;
    return count;
}
