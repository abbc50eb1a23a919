#include "ReplacementFonts.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <unordered_map>

#include "AddedFonts.h"
#include "FontObjects_p.h"
#include "MissingFonts.h"
#include "Charsets.h"
#include "InfoObject.h"
#include "PdfText.h"
#include "UsedCodes.h"

namespace {

std::string Ref(int32_t num) { return std::to_string(num) + " 0 R"; }

const std::string kNotdef = ".notdef";

std::string Compressed(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string packed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), 9) != Z_OK)
        return {};
    packed.resize(size);
    return packed;
}

}  // namespace

// A Flate stream object; `extra` holds further dictionary entries.
std::string StreamObject(int32_t num, const std::string& data, const std::string& extra) {
    const std::string packed = Compressed(data);
    std::string text = std::to_string(num) + " 0 obj\r<< /Length " + std::to_string(packed.size()) +
                       " /Filter /FlateDecode" + extra + " >>\rstream\n";
    text += packed;
    text += "\nendstream\rendobj\r";
    return text;
}

// A PDF name from a font's PostScript name: characters outside "!".."~" and
// the delimiters as #XX.
std::string NameToken(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string token = "/";
    for (unsigned char ch : name) {
        const bool plain = ch > ' ' && ch <= '~' && std::string("#%()/<>[]{}").find(static_cast<char>(ch)) == std::string::npos;
        if (plain) {
            token += static_cast<char>(ch);
        } else {
            token += '#';
            token += kHex[ch >> 4];
            token += kHex[ch & 15];
        }
    }
    return token;
}

namespace {

TEmbedState EmbedStateOf(const TFontRecord& added, const std::optional<TFontProgramInfo>& info) {
    if (!added.embed) return TEmbedState::NotWanted;
    if (!info) return TEmbedState::Unreadable;
    if (info->permission == TEmbedPermission::Restricted) return TEmbedState::Restricted;
    if (info->permission == TEmbedPermission::BitmapOnly) return TEmbedState::BitmapOnly;
    return TEmbedState::Embedded;
}

}  // namespace

// The name an added font goes by in the file: its PostScript name, or the
// family name it was added under when the file cannot be read.
std::string AddedFontName(const TFontRecord& added, const std::optional<TFontProgramInfo>& info) {
    if (info && !info->postScriptName.empty()) return info->postScriptName;
    return added.baseFontName.size() > 1 ? added.baseFontName.substr(1) : added.resName.substr(1);
}

// Tells the user of an added font that is written by its name only.
void TellNotEmbedded(TDocumentUi& ui, const std::string& fontName, TEmbedState state) {
    switch (state) {
        case TEmbedState::Restricted: ui.Notice(TNotice(TNoticeKind::FontLicenceForbids, 0, fontName)); break;
        case TEmbedState::BitmapOnly: ui.Notice(TNotice(TNoticeKind::FontLicenceBitmapOnly, 0, fontName)); break;
        case TEmbedState::Unreadable: ui.Notice(TNotice(TNoticeKind::FontFileUnreadable, 0, fontName)); break;
        case TEmbedState::Embedded:
        case TEmbedState::NotWanted: break;
    }
}

namespace {

// What the replacement needs of the old font: read once, used for the
// glyphs and for the check of the written widths.
struct TOldFontCodes {
    TOldFont old;
    TSimpleCodeCharacters characters;
};

// Moves the document's cursor.
TOldFontCodes ReadOldFontCodes(TPdfDocument& doc, int32_t oldRecord) {
    TFontRecord& record = doc.fontList[static_cast<size_t>(oldRecord)];
    TOldFontCodes read{ReadOldFont(doc, record), {}};
    read.characters = SimpleCodeCharacters(doc, record, read.old);
    return read;
}

// The replacement's glyphs for the old font; when the new font file cannot
// be read, the codes keep their old widths and count as missing.
TReplacementGlyphs GlyphsFor(const TOldFontCodes& oldFont, const TCodeSet& codes, const TFontRecord& added) {
    const TOldFont& old = oldFont.old;
    const TSimpleCodeCharacters& characters = oldFont.characters;
    if (auto glyphs = MapReplacementGlyphs(old, characters, codes, added.fontFile, added.fontFaceIndex,
                                           added.keepWidths != 0))
        return *glyphs;
    TReplacementGlyphs glyphs;
    glyphs.codes = codes;
    glyphs.oldWidthsKnown = old.hasWidth.any();
    for (size_t code = 0; code < 256; ++code) {
        if (!codes.test(code)) continue;
        glyphs.glyphNames[code] = ".notdef";
        glyphs.texts[code] = characters[code].text;
        glyphs.widths[code] = old.widths[code];
        if (characters[code].Unknown()) glyphs.unknown.set(code);
        else if (characters[code].Known())
            glyphs.missing.push_back({static_cast<uint8_t>(code), characters[code].text[0], old.glyphNames[code]});
    }
    glyphs.symbolic = old.symbolic && glyphs.unknown.any();
    return glyphs;
}

std::vector<int32_t> PagesOf(const TPdfDocument& doc, const TReplacementPair& pair) {
    std::set<int32_t> pages;
    for (int32_t record : pair.oldRecords)
        if (const int32_t page = doc.fontList[static_cast<size_t>(record)].pageIndex; page >= 0) pages.insert(page + 1);
    return {pages.begin(), pages.end()};
}

// Whether the widths written for the shown codes are the new program's own
// (to a unit, as PDF/A validators compare them).
bool WidthsOfProgram(const TReplacementGlyphs& written, const TOldFont& old, const TSimpleCodeCharacters& characters,
                     const TCodeSet& used, const TFontRecord& added) {
    if (!added.keepWidths) return true;
    const auto natural = MapReplacementGlyphs(old, characters, used, added.fontFile, added.fontFaceIndex, false);
    if (!natural) return false;
    for (size_t code = 0; code < 256; ++code)
        if (used.test(code) && std::fabs(written.widths[code] - natural->widths[code]) > 1.0) return false;
    return true;
}

// "/A/B/space": the names of the program's glyphs but .notdef; empty when
// the program names them not.
std::string CharSetOf(const std::string& program) {
    const auto names = GlyphNamesOfProgram(program);
    if (!names) return {};
    std::string charSet;
    for (const std::string& name : *names) charSet += "/" + name;
    return charSet;
}

}  // namespace

std::string WidthText(double value) {
    if (!std::isfinite(value)) return "0";
    const double rounded = std::round(value * 1000.0) / 1000.0;
    if (rounded == std::trunc(rounded)) return std::to_string(static_cast<int64_t>(rounded));
    std::string text = std::to_string(rounded);
    while (!text.empty() && text.back() == '0') text.pop_back();
    return text;
}

TPairCodes::TPairCodes(TPdfDocument& doc, const std::vector<TReplacementPair>& pairs)
    : records_(pairs.size()), formDefaults_(pairs.size(), -1), drawn_(doc) {
    for (size_t k = 0; k < pairs.size(); ++k) {
        for (int32_t record : pairs[k].oldRecords) {
            const TFontRecord& font = doc.fontList[static_cast<size_t>(record)];
            if (font.use == TFontUse::FormDefaults) formDefaults_[k] = record;
            if (font.pageIndex < 0 || font.pageIndex >= doc.pageList.Count()) continue;
            records_[k].push_back(record);
            pending_.insert(font.pageIndex);
        }
    }
}

void TPairCodes::Take(int32_t pageIndex, const std::vector<uint8_t>& content) {
    if (pending_.erase(pageIndex) == 0) return;
    drawn_.AddPage(pageIndex, &content);
}

std::vector<TCodeSet> TPairCodes::Completed(TPdfDocument& doc) {
    for (int32_t pageIndex : pending_) drawn_.AddPage(pageIndex);
    pending_.clear();
    std::vector<TCodeSet> codes(records_.size());
    wide_.assign(records_.size(), {});
    for (size_t k = 0; k < records_.size(); ++k) {
        for (int32_t record : records_[k]) {
            const TFontRecord& font = doc.fontList[static_cast<size_t>(record)];
            codes[k] |= drawn_.Of(font);
            if (IsCompositeFont(font)) {
                const TWideCodes wide = drawn_.WideOf(font);
                wide_[k].insert(wide.begin(), wide.end());
            }
        }
        if (formDefaults_[k] >= 0)
            codes[k] |= CharacterCodes(ReadOldFont(doc, doc.fontList[static_cast<size_t>(formDefaults_[k])]));
    }
    return codes;
}

std::vector<TCodeSet> PairCodes(TPdfDocument& doc, const std::vector<TReplacementPair>& pairs) {
    return TPairCodes(doc, pairs).Completed(doc);
}

namespace {

// A composite old font's replacement: the characters the face lacks among
// the codes shown.
void DescribeComposite(TPdfDocument& doc, const TReplacementPair& pair, const TWideCodes& codes,
                       TReplacementReport& report) {
    const TFontRecord& added = doc.fontList[static_cast<size_t>(pair.addedIndex)];
    TFontRecord& old = doc.fontList[static_cast<size_t>(pair.oldRecords.front())];
    report.oldFont = old.baseFont.size() > 1 ? old.baseFont.substr(1) : std::string();
    const TFontText* text = FontTextOf(doc, old);
    if (!text || !text->composite) return;
    report.keptWidths = added.keepWidths != 0;
    if (const auto glyphs = MapCompositeGlyphs(*text, codes, added.fontFile, added.fontFaceIndex, true)) {
        report.missing = glyphs->missing;
        report.unknownCharacters = glyphs->unknownCharacters;
    } else {
        report.unknownCharacters = CountUnknownComposite(*text, codes);
    }
}

TReplacementReport Describe(TPdfDocument& doc, const TReplacementPair& pair, const TCodeSet& codes,
                            const TWideCodes& wide) {
    const TFontRecord& added = doc.fontList[static_cast<size_t>(pair.addedIndex)];
    if (IsCompositeFont(doc.fontList[static_cast<size_t>(pair.oldRecords.front())])) {
        const auto info = ReadFontProgramInfo(added.fontFile, added.fontFaceIndex);
        TReplacementReport report;
        report.resName = pair.resName.empty() ? doc.fontList[static_cast<size_t>(pair.oldRecords.front())].resName
                                              : pair.resName;
        report.addedFont = AddedFontName(added, info);
        report.pages = PagesOf(doc, pair);
        report.embed = EmbedStateOf(added, info);
        DescribeComposite(doc, pair, wide, report);
        return report;
    }
    const TOldFontCodes oldFont = ReadOldFontCodes(doc, pair.oldRecords.front());
    const TReplacementGlyphs glyphs = GlyphsFor(oldFont, codes, added);
    const auto info = ReadFontProgramInfo(added.fontFile, added.fontFaceIndex);
    TReplacementReport report;
    report.resName = pair.resName.empty() ? doc.fontList[static_cast<size_t>(pair.oldRecords.front())].resName
                                          : pair.resName;
    report.addedFont = AddedFontName(added, info);
    report.oldFont = oldFont.old.baseFont;
    report.pages = PagesOf(doc, pair);
    report.missing = glyphs.missing;
    report.symbolic = glyphs.symbolic;
    report.unknownCharacters = static_cast<int32_t>(glyphs.unknown.count());
    report.keptWidths = added.keepWidths && glyphs.oldWidthsKnown;
    report.embed = EmbedStateOf(added, info);
    return report;
}

}  // namespace

std::vector<TReplacementReport> DescribeReplacements(TPdfDocument& doc) {
    const TFilePos savedPos = doc.GetPos();
    const std::vector<TReplacementPair> pairs = ReplacementPairs(doc);
    TPairCodes pairCodes(doc, pairs);
    const std::vector<TCodeSet> codes = pairCodes.Completed(doc);
    std::vector<TReplacementReport> reports;
    for (size_t k = 0; k < pairs.size(); ++k) reports.push_back(Describe(doc, pairs[k], codes[k], pairCodes.Wide()[k]));
    doc.SetPos(savedPos);
    return reports;
}

TReplacementReport DescribeReplacement(TPdfDocument& doc, int32_t oldRecord, int32_t addedIndex) {
    const TFilePos savedPos = doc.GetPos();
    TReplacementPair pair;
    pair.addedIndex = addedIndex;
    pair.resName = doc.fontList[static_cast<size_t>(addedIndex)].resName;
    pair.oldRecords.push_back(oldRecord);
    TCodeSet codes;
    TWideCodes wide;
    const TFontRecord& font = doc.fontList[static_cast<size_t>(oldRecord)];
    if (font.pageIndex >= 0 && font.pageIndex < doc.pageList.Count()) {
        TDrawnCodes drawn(doc);
        drawn.AddPage(font.pageIndex);
        codes = drawn.Of(font);
        wide = drawn.WideOf(font);
    }
    TReplacementReport report = Describe(doc, pair, codes, wide);
    doc.SetPos(savedPos);
    return report;
}

std::string TReplacementFontWriter::Plan() {
    const TFilePos savedPos = doc_.GetPos();
    pairs_ = ReplacementPairs(doc_);
    codes_.emplace(doc_, pairs_);
    std::string refs;
    for (size_t k = 0; k < pairs_.size(); ++k) {
        const TReplacementPair& pair = pairs_[k];
        const bool composite = IsCompositeFont(doc_.fontList[static_cast<size_t>(pair.oldRecords.front())]);
        (composite ? faces_[pair.addedIndex].cidPairs : faces_[pair.addedIndex].pairs).push_back(k);
        dictNums_.push_back(pair.takesOverObject != 0 ? pair.takesOverObject : allocate_());
        toUnicodeNums_.push_back(allocate_());
        if (composite) {
            TCompositeNumbers& numbers = cidNumbers_[k];
            numbers.font = dictNums_.back();
            numbers.toUnicode = toUnicodeNums_.back();
            numbers.descendant = allocate_();
            numbers.cidToGid = allocate_();
            numbers.encoding = allocate_();
        }
        if (pair.takesOverObject != 0) continue;
        if (!refs.empty()) refs += ' ';
        refs += pair.resName + " " + Ref(dictNums_.back());
    }
    for (auto& [addedIndex, face] : faces_) {
        const TFontRecord& added = doc_.fontList[static_cast<size_t>(addedIndex)];
        const auto info = ReadFontProgramInfo(added.fontFile, added.fontFaceIndex);
        face.embed = EmbedStateOf(added, info);
        if (info) face.info = *info;
        if (!face.pairs.empty()) {
            face.descriptorNum = allocate_();
            if (face.embed == TEmbedState::Embedded) face.programNum = allocate_();
        }
        if (!face.cidPairs.empty()) {
            face.cidDescriptorNum = allocate_();
            if (face.embed == TEmbedState::Embedded) face.cidProgramNum = allocate_();
        }
        TellNotEmbedded(doc_.Ui(), AddedFontName(added, info), face.embed);
    }
    doc_.SetPos(savedPos);
    return refs;
}

std::vector<int32_t> TReplacementFontWriter::TakenOverObjects() const {
    std::vector<int32_t> numbers;
    for (const TReplacementPair& pair : pairs_)
        if (pair.takesOverObject != 0) numbers.push_back(pair.takesOverObject);
    return numbers;
}

std::string TReplacementFontWriter::DescriptorText(int32_t addedIndex, const TFace& face,
                                                   const std::string& fontName) const {
    const TFontRecord& added = doc_.fontList[static_cast<size_t>(addedIndex)];
    const auto metrics = ReadOutlineMetrics(added.fontFile, added.fontFaceIndex);
    TAddedFontMetrics m = metrics.value_or(TAddedFontMetrics{});
    int32_t flags = 32;
    if (face.info.fixedPitch) flags |= 1;
    if (m.italicAngleFixed != 0) flags |= 64;
    std::string text = std::to_string(face.descriptorNum) + " 0 obj\r<< /Type /FontDescriptor /FontName " +
                       NameToken(fontName) + " /Flags " + std::to_string(flags);
    text += " /FontBBox [" + std::to_string(m.bboxLeft) + " " + std::to_string(m.bboxBottom) + " " +
            std::to_string(m.bboxRight) + " " + std::to_string(m.bboxTop) + "]";
    text += " /ItalicAngle " + FormatItalicAngle(m.italicAngleFixed);
    // A face that keeps the widths of the font it replaces keeps its ascent
    // and descent too, which text extraction and selection measure height
    // with. One descriptor serves every pair of the face: the first speaks.
    int32_t ascent = m.ascent;
    int32_t descent = m.outline ? m.descent : -m.descent;
    if (const TReplacementGlyphs* first = face.pairs.empty() ? nullptr : &glyphs_[face.pairs.front()];
        first && first->ascent > 0) {
        ascent = first->ascent;
        descent = first->descent;
    }
    text += " /Ascent " + std::to_string(ascent) + " /Descent " + std::to_string(descent);
    text += " /CapHeight " + std::to_string(face.info.capHeight) + " /StemV " + std::to_string(face.info.stemV);
    const bool cff = face.info.outlines == TOutlineKind::Cff;
    if (face.programNum != 0) text += (cff ? " /FontFile3 " : " /FontFile2 ") + Ref(face.programNum);
    if (face.programNum != 0 && !face.charSet.empty()) text += " /CharSet (" + EscapeLiteralString(face.charSet) + ")";
    text += " >>\rendobj\r";
    return text;
}

std::string TReplacementFontWriter::PairDictText(size_t k, const TFace& face, const std::string& baseFont) const {
    const TReplacementGlyphs& glyphs = glyphs_[k];
    size_t first = 0, last = 255;
    while (first < 255 && !glyphs.codes.test(first)) ++first;
    while (last > first && !glyphs.codes.test(last)) --last;
    // CFF outlines make a Type 1 font (its program in /FontFile3), whose
    // glyphs a viewer finds by the names the encoding gives.
    const char* subtype = face.info.outlines == TOutlineKind::Cff ? "/Type1" : "/TrueType";
    std::string text = std::to_string(dictNums_[k]) + " 0 obj\r<< /Type /Font /Subtype " + subtype + " /BaseFont " +
                       NameToken(baseFont) + " /FirstChar " + std::to_string(first) + " /LastChar " +
                       std::to_string(last) + "\r/Widths [";
    for (size_t code = first; code <= last; ++code) {
        text += code == first ? "" : " ";
        text += glyphs.codes.test(code) ? WidthText(glyphs.widths[code]) : "0";
    }
    // The new font's name of each code's glyph where WinAnsi would name
    // another, so that each code draws the character it stood for.
    const TGlyphNameTable& winAnsi = StandardEncodingNames(kWinAnsiEncoding);
    std::string differences;
    int32_t next = -1;
    for (size_t code = first; code <= last; ++code) {
        // A code the old encoding leaves unassigned showed nothing and was
        // no text: it stays so, whatever WinAnsi has there (viewers read an
        // unused WinAnsi code as the bullet).
        const std::string& name = glyphs.glyphNames[code].empty() ? kNotdef : glyphs.glyphNames[code];
        if (!glyphs.codes.test(code) || name == winAnsi[code]) continue;
        if (static_cast<int32_t>(code) != next) differences += " " + std::to_string(code);
        differences += " " + NameToken(name);
        next = static_cast<int32_t>(code) + 1;
    }
    text += "]\r/Encoding << /Type /Encoding /BaseEncoding /WinAnsiEncoding";
    if (!differences.empty()) text += " /Differences [" + differences + " ]";
    text += " >>\r/FontDescriptor " + Ref(face.descriptorNum) + " /ToUnicode " + Ref(toUnicodeNums_[k]) +
            " >>\rendobj\r";
    return text;
}

void TReplacementFontWriter::Glyphs() {
    const TFilePos savedPos = doc_.GetPos();
    const std::vector<TCodeSet> codes = codes_->Completed(doc_);
    for (size_t k = 0; k < pairs_.size(); ++k) {
        const TReplacementPair& pair = pairs_[k];
        TCodeSet used = codes[k];
        // A font selected but never shown still needs a valid dictionary.
        if (used.none()) used.set(' ');
        const TFontRecord& added = doc_.fontList[static_cast<size_t>(pair.addedIndex)];
        if (cidNumbers_.count(k) != 0) {
            glyphs_.emplace_back();
            cidGlyphs_[k] = CompositeGlyphsFor(pair, codes_->Wide()[k], added);
            if (watch_) widthsOfProgram_.push_back(!added.keepWidths);
            continue;
        }
        const TOldFontCodes oldFont = ReadOldFontCodes(doc_, pair.oldRecords.front());
        glyphs_.push_back(GlyphsFor(oldFont, used, added));
        if (watch_)
            widthsOfProgram_.push_back(WidthsOfProgram(glyphs_.back(), oldFont.old, oldFont.characters, used, added));
    }
    codes_.reset();
    doc_.SetPos(savedPos);
}

void TReplacementFontWriter::Write(const TEmit& emit) {
    if (pairs_.empty()) return;
    Glyphs();
    for (const auto& [addedIndex, face] : faces_) {
        if (!face.cidPairs.empty()) WriteCompositeFace(addedIndex, face, emit);
        if (face.pairs.empty()) continue;
        const TFontRecord& added = doc_.fontList[static_cast<size_t>(addedIndex)];
        std::set<char32_t> characters;
        std::set<uint32_t> glyphIds;
        for (size_t k : face.pairs)
            for (size_t code = 0; code < 256; ++code)
                if (glyphs_[k].codes.test(code) && glyphs_[k].newGlyphs[code] != 0) {
                    if (glyphs_[k].characters[code] != 0) characters.insert(glyphs_[k].characters[code]);
                    glyphIds.insert(glyphs_[k].newGlyphs[code]);
                }
        std::string fontName = face.info.postScriptName.empty() ? AddedFontName(added, std::nullopt)
                                                                : face.info.postScriptName;
        const std::string untagged = fontName;
        std::optional<std::string> program;
        if (face.embed == TEmbedState::Embedded) {
            const bool whole = face.info.permission == TEmbedPermission::WholeFont;
            program = SubsetFontProgram(added.fontFile, added.fontFaceIndex, characters, whole, glyphIds);
            // A subset carries a tag, so that two subsets of one font in
            // different files are never taken for each other.
            if (program && !whole) fontName = SubsetTag(fontName, characters) + "+" + fontName;
        }
        TFace written = face;
        if (program && listGlyphs_) written.charSet = CharSetOf(*program);
        const bool cff = face.info.outlines == TOutlineKind::Cff;
        if (program && cff) program = CffTableOf(*program);
        if (face.embed == TEmbedState::Embedded) {
            // HarfBuzz refusing the font leaves an empty program object
            // rather than a dangling reference; the font is then named only.
            if (program) {
                const std::string extra = cff ? std::string(" /Subtype /Type1C")
                                              : " /Length1 " + std::to_string(program->size());
                emit(face.programNum, StreamObject(face.programNum, *program, extra));
            } else {
                emit(face.programNum, std::to_string(face.programNum) + " 0 obj\rnull\rendobj\r");
                written.programNum = 0;
                TellNotEmbedded(doc_.Ui(), fontName, TEmbedState::Unreadable);
            }
        }
        emit(face.descriptorNum, DescriptorText(addedIndex, written, fontName));
        if (watch_) NoteWrittenFont(face, written.programNum != 0, untagged);
        for (size_t k : face.pairs) {
            emit(dictNums_[k], PairDictText(k, written, fontName));
            std::vector<std::pair<uint8_t, std::u32string>> map;
            for (size_t code = 0; code < 256; ++code)
                if (glyphs_[k].codes.test(code)) map.emplace_back(static_cast<uint8_t>(code), glyphs_[k].texts[code]);
            emit(toUnicodeNums_[k], StreamObject(toUnicodeNums_[k], ToUnicodeCMap(map), ""));
        }
    }
}

void TReplacementFontWriter::NoteWrittenFont(const TFace& face, bool embedded, const std::string& fontName) {
    TWrittenFontFacts facts;
    facts.name = fontName;
    facts.embedded = embedded;
    for (size_t k : face.pairs) {
        facts.widthsOfProgram = facts.widthsOfProgram && widthsOfProgram_[k];
        facts.glyphsMissing = facts.glyphsMissing || !glyphs_[k].missing.empty();
    }
    writtenFonts_.push_back(std::move(facts));
}
