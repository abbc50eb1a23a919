// The composite pairs of the replacement font writer.
#include <set>

#include "FontObjects_p.h"
#include "ReplacementFonts.h"

namespace {

std::string NullObject(int32_t num) { return std::to_string(num) + " 0 obj\rnull\rendobj\r"; }

}  // namespace

TOldEncoding TReplacementFontWriter::OldEncodingOf(size_t k) {
    TFontRecord& old = doc_.fontList[static_cast<size_t>(pairs_[k].oldRecords.front())];
    TOldEncoding encoding;
    if (old.encodingCMapObj <= 0 && old.encodingName.size() > 1 && old.encodingName[0] == '/')
        encoding.name = old.encodingName;
    if (const TFontText* text = FontTextOf(doc_, old); text && text->composite) {
        encoding.ordering = text->ordering;
        encoding.codeSpace = text->encoding.CodeSpaceRanges();
    }
    return encoding;
}

TCompositeGlyphs TReplacementFontWriter::CompositeGlyphsFor(const TReplacementPair& pair, const TWideCodes& codes,
                                                            const TFontRecord& added) {
    TFontRecord& old = doc_.fontList[static_cast<size_t>(pair.oldRecords.front())];
    const TFontText* text = FontTextOf(doc_, old);
    if (!text || !text->composite) return {};
    if (auto glyphs = MapCompositeGlyphs(*text, codes, added.fontFile, added.fontFaceIndex, added.keepWidths != 0))
        return *glyphs;
    // A face that cannot be read draws nothing; the codes keep their
    // characters and widths.
    TCompositeGlyphs glyphs;
    glyphs.vertical = text->Vertical();
    glyphs.defaultWidth = text->defaultWidth;
    glyphs.defaultOriginY = text->defaultOriginY;
    glyphs.defaultAdvanceY = text->defaultAdvanceY;
    uint32_t spare = 1;
    for (const auto& [code, length] : codes) {
        TCidGlyph glyph;
        glyph.code = code;
        glyph.length = length;
        glyph.oldCid = text->encoding.Cid(code);
        glyph.text = CompositeCodeText(*text, code);
        glyph.width = glyph.oldWidth = text->CidWidth(glyph.oldCid);
        glyph.vertical = text->VerticalMetricsOf(glyph.oldCid);
        glyph.spareIndex = spare++;
        glyphs.codes.push_back(std::move(glyph));
    }
    return glyphs;
}

void TReplacementFontWriter::WriteCompositeFace(int32_t addedIndex, const TFace& face, const TEmit& emit) {
    const TFontRecord& added = doc_.fontList[static_cast<size_t>(addedIndex)];
    const bool cff = face.info.outlines == TOutlineKind::Cff;
    std::set<char32_t> characters;
    std::set<uint32_t> glyphIds;
    for (size_t k : face.cidPairs)
        for (const TCidGlyph& glyph : cidGlyphs_[k].codes)
            if (glyph.newGlyph != 0) {
                glyphIds.insert(glyph.newGlyph);
                if (glyph.text.size() == 1) characters.insert(glyph.text[0]);
            }
    std::string fontName =
        face.info.postScriptName.empty() ? AddedFontName(added, std::nullopt) : face.info.postScriptName;
    std::optional<std::string> program;
    if (face.embed == TEmbedState::Embedded) {
        const bool whole = face.info.permission == TEmbedPermission::WholeFont;
        // The glyphs are found by their index in the whole face.
        program = SubsetFontProgram(added.fontFile, added.fontFaceIndex, characters, whole, glyphIds, true);
        if (program && !whole) fontName = SubsetTag(fontName, characters) + "+" + fontName;
        if (program && cff) program = CffTableOf(*program);
    }
    TFace written = face;
    written.pairs.clear();
    written.descriptorNum = face.cidDescriptorNum;
    written.programNum = face.cidProgramNum;
    if (face.embed == TEmbedState::Embedded) {
        if (program) {
            const std::string extra = cff ? std::string(" /Subtype /CIDFontType0C")
                                          : " /Length1 " + std::to_string(program->size());
            emit(written.programNum, StreamObject(written.programNum, *program, extra));
        } else {
            emit(written.programNum, NullObject(written.programNum));
            written.programNum = 0;
            TellNotEmbedded(doc_.Ui(), fontName, TEmbedState::Unreadable);
        }
    }
    emit(written.descriptorNum, DescriptorText(addedIndex, written, fontName));
    if (watch_) {
        TWrittenFontFacts facts;
        facts.name = face.info.postScriptName;
        facts.embedded = written.programNum != 0;
        for (size_t k : face.cidPairs) {
            facts.widthsOfProgram = facts.widthsOfProgram && !added.keepWidths;
            facts.glyphsMissing = facts.glyphsMissing || !cidGlyphs_[k].missing.empty();
        }
        writtenFonts_.push_back(std::move(facts));
    }
    const std::string baseFont = NameToken(fontName);
    for (size_t k : face.cidPairs) {
        TCompositeNumbers numbers = cidNumbers_[k];
        numbers.descriptor = written.descriptorNum;
        const TCompositeGlyphs& glyphs = cidGlyphs_[k];
        const TOldEncoding encoding = OldEncodingOf(k);
        emit(numbers.font, Type0FontText(numbers, encoding, cff, baseFont));
        emit(numbers.descendant, DescendantText(numbers, glyphs, encoding, cff, baseFont));
        emit(numbers.toUnicode, StreamObject(numbers.toUnicode, WideToUnicodeText(glyphs, encoding), ""));
        if (cff) emit(numbers.cidToGid, NullObject(numbers.cidToGid));
        else emit(numbers.cidToGid, StreamObject(numbers.cidToGid, CidToGidMapBytes(glyphs), ""));
        if (KeepsEncodingName(encoding, cff)) {
            emit(numbers.encoding, NullObject(numbers.encoding));
        } else {
            const std::string cmapName = "GW-" + std::to_string(numbers.font) + (glyphs.vertical ? "-V" : "-H");
            const std::string extra = " /Type /CMap /CMapName /" + cmapName +
                                      " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>" +
                                      (glyphs.vertical ? " /WMode 1" : "");
            emit(numbers.encoding,
                 StreamObject(numbers.encoding, EncodingCMapText(glyphs, encoding, cff, cmapName), extra));
        }
    }
}
