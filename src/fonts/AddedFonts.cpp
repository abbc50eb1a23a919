#include "AddedFonts.h"

#include <cmath>
#include <cstdlib>

#include "FontFiles_p.h"
#include "FtFace_p.h"

#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H
#include FT_ADVANCES_H

namespace {

bool IsPrintable(unsigned char ch) { return ch >= '!' && ch <= '~'; }

bool NeedsHexEscape(unsigned char ch) {
    switch (ch) {
        case '#': case '%': case '(': case ')': case '/': case '<': case '>':
        case '[': case ']': case '{': case '}':
            return true;
        default:
            return false;
    }
}

// Design units to thousandths of the em, rounded down: positive values
// (widths, right and top edges, the ascent) lose their fraction, negative
// ones (left and bottom edges, the descent) move outward, so the box still
// encloses every glyph.
int32_t Thousandths(int64_t units, int64_t unitsPerEm) {
    const int64_t scaled = units * 1000;
    int64_t q = scaled / unitsPerEm;
    if (scaled % unitsPerEm != 0 && ((scaled < 0) != (unitsPerEm < 0))) --q;
    return static_cast<int32_t>(q);
}

// Delimiters and "#" cannot stand in a PDF name as they are: a backslash
// does not escape anything there, and "(" or "/" would end the name in the
// content stream. They are written as "#" and two hexadecimal digits, which
// every reader turns back into the character.
void AppendNameChar(std::string& name, unsigned char ch) {
    static const char kHex[] = "0123456789ABCDEF";
    if (NeedsHexEscape(ch)) {
        name += '#';
        name += kHex[ch >> 4];
        name += kHex[ch & 15];
    } else {
        name += static_cast<char>(ch);
    }
}

bool NameExists(const TPdfDocument& doc, const std::string& name) {
    for (const auto& font : doc.fontList)
        if (font.resName == name) return true;
    return false;
}

// Coverage of the Windows-1252 codes 32..255: the first and last code the
// font has a glyph for. False when it has none (not a font for this
// character set).
bool CoveredRange(const std::array<FT_UInt, 256>& glyphs, int32_t& first, int32_t& last) {
    first = -1;
    for (int32_t code = 32; code < 256; ++code) {
        if (glyphs[code] == 0) continue;
        if (first < 0) first = code;
        last = code;
    }
    return first >= 0;
}

}  // namespace

std::string MakeResourceName(const std::string& faceName) {
    std::string name = "/";
    for (unsigned char ch : faceName) {
        if (!IsPrintable(ch)) continue;
        AppendNameChar(name, ch);
    }
    return name;
}

std::string MakeBaseFontName(const std::string& faceName, bool bold, bool italic) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string name = "/";
    for (unsigned char ch : faceName) {
        if (ch == 0) continue;
        if (IsPrintable(ch)) {
            AppendNameChar(name, ch);
        } else {
            name += '#';
            name += kHex[ch >> 4];
            name += kHex[ch & 15];
        }
    }
    if (bold && italic) name += ",BoldItalic";
    else if (italic) name += ",Italic";
    else if (bold) name += ",Bold";
    return name;
}

std::string MakeUniqueResourceName(const TPdfDocument& doc, const std::string& name) {
    // The family's name, then "_2", "_3", ...: the same steps give the same
    // names, and a second face of a family reads as such. The list is
    // finite, so a free number is found.
    if (!NameExists(doc, name)) return name;
    for (int64_t number = 2;; ++number) {
        const std::string numbered = name + "_" + std::to_string(number);
        if (!NameExists(doc, numbered)) return numbered;
    }
}

std::string FormatItalicAngle(int32_t fixedDegrees) {
    // Hundredths of a degree are more than any font states.
    const int64_t hundredths = std::llround(static_cast<double>(fixedDegrees) * 100.0 / 65536.0);
    const int64_t magnitude = std::llabs(hundredths);
    std::string text = hundredths < 0 ? "-" : "";
    text += std::to_string(magnitude / 100);
    int64_t fraction = magnitude % 100;
    if (fraction != 0) {
        text += '.';
        text += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) text += static_cast<char>('0' + fraction % 10);
    }
    return text;
}

std::optional<TAddedFontMetrics> ReadOutlineMetrics(const std::string& path, int32_t faceIndex) {
    TFtFace ft;
    if (!ft.Open(path, faceIndex)) return std::nullopt;
    FT_Face face = ft.Face();
    // TrueType or CFF outlines in an sfnt: what a PDF embeds as /FontFile2
    // or /FontFile3. A variable font's CFF2 and a bare Type 1 file are not.
    if (!FT_IS_SFNT(face) || face->units_per_EM == 0) return std::nullopt;
    if (!ft.HasTable(TTAG_glyf) && !ft.HasTable(TTAG_CFF)) return std::nullopt;

    TAddedFontMetrics metrics;
    const auto glyphs = Cp1252GlyphIndexes(face, false);
    if (!CoveredRange(glyphs, metrics.firstChar, metrics.lastChar)) return std::nullopt;

    const int64_t upem = face->units_per_EM;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    const auto* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(face, FT_SFNT_POST));
    const bool hasOs2 = os2 && os2->version != 0xFFFF;
    metrics.outline = hasOs2 || hhea;
    metrics.bboxLeft = Thousandths(face->bbox.xMin, upem);
    metrics.bboxBottom = Thousandths(face->bbox.yMin, upem);
    metrics.bboxRight = Thousandths(face->bbox.xMax, upem);
    metrics.bboxTop = Thousandths(face->bbox.yMax, upem);
    if (hasOs2) {
        metrics.ascent = Thousandths(os2->sTypoAscender, upem);
        metrics.descent = Thousandths(os2->sTypoDescender, upem);
    } else {
        metrics.ascent = Thousandths(face->ascender, upem);
        metrics.descent = Thousandths(face->descender, upem);
    }
    if (!metrics.outline) metrics.descent = -metrics.descent;
    metrics.height = Thousandths(int64_t{face->ascender} - face->descender, upem);
    metrics.maxWidth = Thousandths(face->max_advance_width, upem);
    if (post) metrics.italicAngleFixed = static_cast<int32_t>(post->italicAngle);

    for (int32_t code = metrics.firstChar; code <= metrics.lastChar; ++code) {
        // Codes the font lacks map to glyph 0, the missing glyph, whose
        // advance is what such a character takes when drawn.
        FT_Fixed advance = 0;
        if (FT_Get_Advance(face, glyphs[code], FT_LOAD_NO_SCALE, &advance) != 0) advance = 0;
        metrics.widths[code] = Thousandths(advance, upem);
    }
    return metrics;
}

std::string FontDictExtraText(const TAddedFontMetrics& m) {
    std::string text = "/FontDescriptor <</Type/FontDescriptor ";
    if (m.outline) {
        text += "/FontBBox[" + std::to_string(m.bboxLeft) + " " + std::to_string(m.bboxBottom) + " " +
                std::to_string(m.bboxRight) + " " + std::to_string(m.bboxTop) + "] ";
        text += "/Flags 4/Ascent " + std::to_string(m.ascent) + "/Descent " + std::to_string(m.descent);
        text += "/ItalicAngle " + FormatItalicAngle(m.italicAngleFixed) + ">> ";
    } else {
        text += "/FontBBox[0 " + std::to_string(m.height) + " " + std::to_string(m.maxWidth) + " 0] ";
        text += "/Flags 4/Ascent " + std::to_string(m.ascent) + "/Descent " + std::to_string(m.descent) + ">> ";
    }
    text += "/FirstChar " + std::to_string(m.firstChar) + " ";
    text += "/LastChar " + std::to_string(m.lastChar) + " ";
    text += "/Widths [";
    for (int32_t code = m.firstChar; code <= m.lastChar; ++code) text += std::to_string(m.widths[code]) + " ";
    text += "] ";
    return text;
}

std::optional<std::string> AddInstalledFont(TPdfDocument& doc, const std::string& family, bool bold, bool italic) {
    const auto match = MatchFontFile(Cp1252ToUtf8(family), bold, italic);
    // fontconfig always offers some font; only the family asked for counts,
    // as the font chooser offers installed families only.
    if (!match || !match->familyMatches) return std::nullopt;
    const auto metrics = ReadOutlineMetrics(match->path, match->faceIndex);
    if (!metrics) return std::nullopt;

    const std::string resName = MakeUniqueResourceName(doc, MakeResourceName(family));
    TFontRecord& font = *doc.fontList.Append();
    font.hidden = 1;
    font.pageIndex = 0;
    font.encoding = 3;
    font.bboxWidth = 1.0;
    font.bboxHeight = 1.0;
    font.resName = resName;
    font.baseFontName = MakeBaseFontName(family, bold, italic);
    font.fontDictExtra = FontDictExtraText(*metrics);
    font.fontFile = match->path;
    font.fontFaceIndex = match->faceIndex;
    TFontCodes& codes = font.EditCodes();
    for (int32_t code = metrics->firstChar; code <= metrics->lastChar; ++code) {
        codes.widths[code] = metrics->widths[code];
        codes.widthSet[code] = 1;
    }
    return resName;
}
