#include "CompositeFonts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "FontProgram.h"
#include "ReplacementFonts.h"

namespace {

std::string Ref(int32_t num) { return std::to_string(num) + " 0 R"; }

std::string Hex(const std::string& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text = "<";
    for (unsigned char ch : bytes) {
        text += kHex[ch >> 4];
        text += kHex[ch & 15];
    }
    return text + ">";
}

// Each new CID once, with the first code's entry: two codes that select
// the same CID draw the same glyph.
std::map<uint32_t, const TCidGlyph*> ByNewCid(const TCompositeGlyphs& glyphs, bool cff) {
    std::map<uint32_t, const TCidGlyph*> byCid;
    for (const TCidGlyph& glyph : glyphs.codes) byCid.emplace(NewCid(glyph, cff), &glyph);
    return byCid;
}

// The code-space ranges to declare: the old encoding's, else one full
// range per code length shown.
std::vector<std::pair<std::string, std::string>> CodeSpaceOf(const TCompositeGlyphs& glyphs, const TOldEncoding& old) {
    if (!old.codeSpace.empty()) return old.codeSpace;
    std::vector<std::pair<std::string, std::string>> ranges;
    for (uint8_t length = 1; length <= 4; ++length)
        if (std::any_of(glyphs.codes.begin(), glyphs.codes.end(), [&](const TCidGlyph& g) { return g.length == length; }))
            ranges.emplace_back(std::string(length, '\0'), std::string(length, '\xFF'));
    if (ranges.empty()) ranges.emplace_back(std::string(2, '\0'), std::string(2, '\xFF'));
    return ranges;
}

std::string CodeSpaceText(const std::vector<std::pair<std::string, std::string>>& ranges) {
    std::string text;
    for (size_t start = 0; start < ranges.size(); start += 100) {
        const size_t end = std::min(ranges.size(), start + 100);
        text += std::to_string(end - start) + " begincodespacerange\n";
        for (size_t i = start; i < end; ++i) text += Hex(ranges[i].first) + " " + Hex(ranges[i].second) + "\n";
        text += "endcodespacerange\n";
    }
    return text;
}

// Entries written in blocks of at most 100, as the CMap format wants.
std::string Blocks(const std::vector<std::string>& lines, const std::string& begin, const std::string& end) {
    std::string text;
    for (size_t start = 0; start < lines.size(); start += 100) {
        const size_t stop = std::min(lines.size(), start + 100);
        text += std::to_string(stop - start) + " " + begin + "\n";
        for (size_t i = start; i < stop; ++i) text += lines[i];
        text += end + "\n";
    }
    return text;
}

// The supplement of each collection the predefined maps of today use.
int32_t SupplementOf(const std::string& ordering) {
    if (ordering == "Japan1") return 6;
    if (ordering == "GB1") return 5;
    if (ordering == "CNS1") return 7;
    if (ordering == "Korea1") return 2;
    return 0;
}

}  // namespace

std::string CodeBytes(uint32_t code, uint8_t length) {
    std::string bytes;
    for (int shift = (length - 1) * 8; shift >= 0; shift -= 8) bytes += static_cast<char>((code >> shift) & 0xFF);
    return bytes;
}

uint32_t NewCid(const TCidGlyph& glyph, bool cff) {
    if (!cff) return glyph.oldCid;
    return glyph.newGlyph != 0 ? glyph.newGlyph : glyph.spareIndex;
}

std::string CidWidthsArray(const TCompositeGlyphs& glyphs, bool cff) {
    std::string text = "[";
    int64_t next = -1;
    for (const auto& [cid, glyph] : ByNewCid(glyphs, cff)) {
        if (static_cast<int64_t>(cid) != next) text += (next < 0 ? "" : "] ") + std::to_string(cid) + " [";
        else text += " ";
        text += WidthText(glyph->width);
        next = static_cast<int64_t>(cid) + 1;
    }
    if (next >= 0) text += "]";
    return text + "]";
}

std::string CidVerticalsArray(const TCompositeGlyphs& glyphs, bool cff) {
    std::string text;
    for (const auto& [cid, glyph] : ByNewCid(glyphs, cff)) {
        // The vertical origin keeps its place relative to the glyph's middle.
        const double originX = glyph->vertical.originX - glyph->oldWidth / 2 + glyph->width / 2;
        // What /DW2 gives needs no entry (and some readers misplace glyphs
        // that have one).
        if (glyph->vertical.advance == glyphs.defaultAdvanceY && glyph->vertical.originY == glyphs.defaultOriginY &&
            std::fabs(originX - glyph->width / 2) < 0.001)
            continue;
        text += " " + std::to_string(cid) + " [" + WidthText(glyph->vertical.advance) + " " + WidthText(originX) + " " +
                WidthText(glyph->vertical.originY) + "]";
    }
    return text.empty() ? std::string() : "[" + text + " ]";
}

std::string CidToGidMapBytes(const TCompositeGlyphs& glyphs) {
    uint32_t highest = 0;
    for (const TCidGlyph& glyph : glyphs.codes) highest = std::max(highest, glyph.oldCid);
    // CIDs stop at 65535 in every collection.
    highest = std::min<uint32_t>(highest, 0xFFFF);
    std::string bytes(2 * (size_t{highest} + 1), '\0');
    for (const auto& [cid, glyph] : ByNewCid(glyphs, false)) {
        if (cid > highest) continue;
        bytes[2 * cid] = static_cast<char>(glyph->newGlyph >> 8);
        bytes[2 * cid + 1] = static_cast<char>(glyph->newGlyph & 0xFF);
    }
    return bytes;
}

std::string EncodingCMapText(const TCompositeGlyphs& glyphs, const TOldEncoding& old, bool cff,
                             const std::string& cmapName) {
    std::string text =
        "%!PS-Adobe-3.0 Resource-CMap\n/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> def\n/CMapName /" +
        cmapName + " def\n/CMapType 1 def\n/WMode " + (glyphs.vertical ? "1" : "0") + " def\n";
    text += CodeSpaceText(CodeSpaceOf(glyphs, old));
    std::vector<std::string> lines;
    for (const TCidGlyph& glyph : glyphs.codes)
        lines.push_back(Hex(CodeBytes(glyph.code, glyph.length)) + " " + std::to_string(NewCid(glyph, cff)) + "\n");
    text += Blocks(lines, "begincidchar", "endcidchar");
    text += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    return text;
}

std::string WideToUnicodeText(const TCompositeGlyphs& glyphs, const TOldEncoding& old) {
    std::string text =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n";
    text += CodeSpaceText(CodeSpaceOf(glyphs, old));
    std::vector<std::string> lines;
    for (const TCidGlyph& glyph : glyphs.codes) {
        if (glyph.text.empty()) continue;
        std::string target;
        for (char32_t ch : glyph.text) target += Utf16Hex(ch);
        lines.push_back(Hex(CodeBytes(glyph.code, glyph.length)) + " <" + target + ">\n");
    }
    text += Blocks(lines, "beginbfchar", "endbfchar");
    text += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    return text;
}

bool KeepsEncodingName(const TOldEncoding& old, bool cff) { return !cff && old.name.size() > 1; }

std::string SystemInfoText(const TOldEncoding& old, bool cff) {
    std::string ordering = "Identity";
    if (KeepsEncodingName(old, cff) && old.name.rfind("/Identity-", 0) != 0 && !old.ordering.empty() &&
        old.ordering.find_first_of("()\\") == std::string::npos)
        ordering = old.ordering;
    return "<< /Registry (Adobe) /Ordering (" + ordering + ") /Supplement " + std::to_string(SupplementOf(ordering)) +
           " >>";
}

std::string Type0FontText(const TCompositeNumbers& numbers, const TOldEncoding& old, bool cff,
                          const std::string& baseFont) {
    const std::string encoding = KeepsEncodingName(old, cff) ? old.name : Ref(numbers.encoding);
    return std::to_string(numbers.font) + " 0 obj\r<< /Type /Font /Subtype /Type0 /BaseFont " + baseFont +
           " /Encoding " + encoding + " /DescendantFonts [" + Ref(numbers.descendant) + "] /ToUnicode " +
           Ref(numbers.toUnicode) + " >>\rendobj\r";
}

std::string DescendantText(const TCompositeNumbers& numbers, const TCompositeGlyphs& glyphs, const TOldEncoding& old,
                           bool cff, const std::string& baseFont) {
    std::string text = std::to_string(numbers.descendant) + " 0 obj\r<< /Type /Font /Subtype " +
                       (cff ? "/CIDFontType0" : "/CIDFontType2") + " /BaseFont " + baseFont + " /CIDSystemInfo " +
                       SystemInfoText(old, cff) + " /FontDescriptor " + Ref(numbers.descriptor) + " /DW " +
                       WidthText(glyphs.defaultWidth) + "\r/W " + CidWidthsArray(glyphs, cff);
    if (glyphs.vertical) {
        text += "\r/DW2 [" + WidthText(glyphs.defaultOriginY) + " " + WidthText(glyphs.defaultAdvanceY) + "]";
        if (const std::string verticals = CidVerticalsArray(glyphs, cff); !verticals.empty()) text += " /W2 " + verticals;
    }
    if (!cff) text += "\r/CIDToGIDMap " + Ref(numbers.cidToGid);
    text += " >>\rendobj\r";
    return text;
}
