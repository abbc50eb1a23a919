#include "FontProgram.h"

#include <hb-subset.h>
#include <hb.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "FtFace_p.h"

#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

namespace {

int32_t Thousandths(int64_t units, int64_t unitsPerEm) {
    return unitsPerEm == 0 ? 0 : static_cast<int32_t>(units * 1000 / unitsPerEm);
}

// The cap height from the OS/2 table (version 2 on), else the top of "H".
int32_t CapHeightUnits(FT_Face face, const TT_OS2* os2) {
    if (os2 && os2->version >= 2 && os2->version != 0xFFFF && os2->sCapHeight > 0) return os2->sCapHeight;
    const FT_UInt glyph = FT_Get_Char_Index(face, 'H');
    if (glyph != 0 && FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE) == 0) return static_cast<int32_t>(face->glyph->metrics.horiBearingY);
    return static_cast<int32_t>(face->ascender);
}

// No font table states the stem width; this estimate from the weight class
// is what producers commonly write (88 for regular, 166 for bold).
int32_t StemVThousandths(const TT_OS2* os2) {
    const double weight = os2 && os2->version != 0xFFFF ? os2->usWeightClass : 400;
    return static_cast<int32_t>(std::lround(50 + (weight / 65) * (weight / 65)));
}

struct THbBlobDeleter {
    void operator()(hb_blob_t* blob) const { hb_blob_destroy(blob); }
};
struct THbFaceDeleter {
    void operator()(hb_face_t* face) const { hb_face_destroy(face); }
};
struct THbInputDeleter {
    void operator()(hb_subset_input_t* input) const { hb_subset_input_destroy(input); }
};

std::string HexCode(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

}  // namespace

std::string Utf16Hex(char32_t ch) {
    if (ch < 0x10000) return HexCode(ch, 4);
    const char32_t v = ch - 0x10000;
    return HexCode(0xD800 + (v >> 10), 4) + HexCode(0xDC00 + (v & 0x3FF), 4);
}

TEmbedPermission PermissionOf(uint16_t fsType) {
    if (fsType & 0x0200) return TEmbedPermission::BitmapOnly;
    if ((fsType & 0x000F) == 0x0002) return TEmbedPermission::Restricted;
    if (fsType & 0x0100) return TEmbedPermission::WholeFont;
    return TEmbedPermission::Subset;
}

std::optional<TFontProgramInfo> ReadFontProgramInfo(const std::string& path, int32_t faceIndex) {
    TFtFace ft;
    if (!ft.Open(path, faceIndex)) return std::nullopt;
    FT_Face face = ft.Face();
    if (face->units_per_EM == 0) return std::nullopt;
    TFontProgramInfo info;
    if (const char* name = FT_Get_Postscript_Name(face)) info.postScriptName = name;
    if (!ft.HasTable(TTAG_glyf) && ft.HasTable(TTAG_CFF)) info.outlines = TOutlineKind::Cff;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF) info.fsType = os2->fsType;
    info.permission = PermissionOf(info.fsType);
    info.capHeight = Thousandths(CapHeightUnits(face, os2), face->units_per_EM);
    info.stemV = StemVThousandths(os2);
    info.fixedPitch = FT_IS_FIXED_WIDTH(face);
    return info;
}

std::optional<std::string> SubsetFontProgram(const std::string& path, int32_t faceIndex,
                                             const std::set<char32_t>& characters, bool wholeFont,
                                             const std::set<uint32_t>& glyphs, bool keepGlyphIds) {
    std::unique_ptr<hb_blob_t, THbBlobDeleter> blob(hb_blob_create_from_file_or_fail(path.c_str()));
    if (!blob) return std::nullopt;
    if (wholeFont) {
        unsigned int length = 0;
        const char* data = hb_blob_get_data(blob.get(), &length);
        return std::string(data, length);
    }
    std::unique_ptr<hb_face_t, THbFaceDeleter> face(hb_face_create(blob.get(), static_cast<unsigned>(faceIndex)));
    std::unique_ptr<hb_subset_input_t, THbInputDeleter> input(hb_subset_input_create_or_fail());
    if (!input) return std::nullopt;
    hb_set_t* unicodes = hb_subset_input_unicode_set(input.get());
    for (char32_t ch : characters) hb_set_add(unicodes, ch);
    // Glyphs found by name alone (a symbol font's) have no character to
    // be kept by.
    hb_set_t* glyphSet = hb_subset_input_glyph_set(input.get());
    for (uint32_t glyph : glyphs) hb_set_add(glyphSet, glyph);
    // A PDF viewer draws the glyphs one by one at the positions the content
    // gives: shaping tables and hinting are dead weight there.
    hb_set_t* dropped = hb_subset_input_set(input.get(), HB_SUBSET_SETS_DROP_TABLE_TAG);
    for (const char* tag : {"GSUB", "GPOS", "GDEF", "kern", "hdmx", "VDMX", "LTSH", "DSIG", "gasp", "morx", "feat"})
        hb_set_add(dropped, hb_tag_from_string(tag, 4));
    unsigned flags = HB_SUBSET_FLAGS_NO_HINTING | HB_SUBSET_FLAGS_GLYPH_NAMES;
    if (keepGlyphIds) flags |= HB_SUBSET_FLAGS_RETAIN_GIDS;
    hb_subset_input_set_flags(input.get(), flags);
    std::unique_ptr<hb_face_t, THbFaceDeleter> subset(hb_subset_or_fail(face.get(), input.get()));
    if (!subset) return std::nullopt;
    std::unique_ptr<hb_blob_t, THbBlobDeleter> result(hb_face_reference_blob(subset.get()));
    unsigned int length = 0;
    const char* data = hb_blob_get_data(result.get(), &length);
    if (!data || length == 0) return std::nullopt;
    return std::string(data, length);
}

std::optional<std::string> CffTableOf(const std::string& program) {
    std::unique_ptr<hb_blob_t, THbBlobDeleter> blob(
        hb_blob_create(program.data(), static_cast<unsigned>(program.size()), HB_MEMORY_MODE_READONLY, nullptr, nullptr));
    std::unique_ptr<hb_face_t, THbFaceDeleter> face(hb_face_create(blob.get(), 0));
    std::unique_ptr<hb_blob_t, THbBlobDeleter> table(hb_face_reference_table(face.get(), HB_TAG('C', 'F', 'F', ' ')));
    unsigned int length = 0;
    const char* data = hb_blob_get_data(table.get(), &length);
    if (!data || length == 0) return std::nullopt;
    return std::string(data, length);
}

std::optional<std::vector<std::string>> GlyphNamesOfProgram(const std::string& program) {
    TFtFace face;
    if (!face.OpenMemory(program) || !FT_HAS_GLYPH_NAMES(face.Face())) return std::nullopt;
    std::vector<std::string> names;
    for (FT_Long glyph = 1; glyph < face.Face()->num_glyphs; ++glyph) {
        char name[128] = {};
        if (FT_Get_Glyph_Name(face.Face(), static_cast<FT_UInt>(glyph), name, sizeof name) != 0 || name[0] == 0)
            return std::nullopt;
        names.emplace_back(name);
    }
    return names;
}

std::string SubsetTag(const std::string& postScriptName, const std::set<char32_t>& characters) {
    // FNV-1a over the name and the characters: stable across runs and
    // machines, unlike std::hash.
    uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](uint32_t value) {
        for (int k = 0; k < 4; ++k) {
            hash ^= (value >> (8 * k)) & 0xFF;
            hash *= 1099511628211ull;
        }
    };
    for (unsigned char ch : postScriptName) mix(ch);
    mix(0xFFFFFFFF);
    for (char32_t ch : characters) mix(ch);
    std::string tag;
    for (int k = 0; k < 6; ++k) {
        tag += static_cast<char>('A' + hash % 26);
        hash /= 26;
    }
    return tag;
}

std::string ToUnicodeCMap(const std::vector<std::pair<uint8_t, char32_t>>& codeCharacters) {
    std::vector<std::pair<uint8_t, std::u32string>> texts;
    for (const auto& [code, ch] : codeCharacters)
        if (ch != 0) texts.emplace_back(code, std::u32string(1, ch));
    return ToUnicodeCMap(texts);
}

std::string ToUnicodeCMap(const std::vector<std::pair<uint8_t, std::u32string>>& codeTexts) {
    std::string text =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n";
    std::vector<std::pair<uint8_t, std::u32string>> entries;
    for (const auto& entry : codeTexts)
        if (!entry.second.empty()) entries.push_back(entry);
    // At most 100 entries per block, as the CMap format requires.
    for (size_t start = 0; start < entries.size(); start += 100) {
        const size_t end = std::min(entries.size(), start + 100);
        text += std::to_string(end - start) + " beginbfchar\n";
        for (size_t i = start; i < end; ++i) {
            text += "<" + HexCode(entries[i].first, 2) + "> <";
            for (char32_t ch : entries[i].second) text += Utf16Hex(ch);
            text += ">\n";
        }
        text += "endbfchar\n";
    }
    text += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    return text;
}
