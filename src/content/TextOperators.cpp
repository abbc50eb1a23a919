// Text operators: the text state, font selection, string decoding and the
// construction of text runs with per-character geometry.
//
// Widths come from the selected font record where it has them and are
// measured with the display font otherwise. Measurements are cached per em
// height for the page, so a character costs table look-ups only.
#include <cmath>

#include "Charsets.h"
#include "FontText.h"
#include "Interpreter_p.h"
#include "PdfText.h"

namespace {

using TCodeMap = std::array<uint8_t, 256>;

// ConvertCode(code, encoding, WinAnsi) for every code of the four
// encodings, computed once: the conversion itself searches the glyph table.
const std::array<TCodeMap, 4>& WinAnsiMaps() {
    static const std::array<TCodeMap, 4> maps = [] {
        std::array<TCodeMap, 4> built{};
        for (int32_t encoding = 0; encoding < 4; ++encoding)
            for (int32_t code = 0; code < 256; ++code)
                built[static_cast<size_t>(encoding)][static_cast<size_t>(code)] =
                    ConvertCode(static_cast<uint8_t>(code), encoding, kWinAnsiEncoding);
        return built;
    }();
    return maps;
}

// The UTF-8 form of each WinAnsi code, computed once.
const std::array<std::string, 256>& WinAnsiUtf8() {
    static const std::array<std::string, 256> texts = [] {
        std::array<std::string, 256> built{};
        for (int32_t code = 1; code < 256; ++code) built[static_cast<size_t>(code)] = Cp1252ToUtf8(std::string(1, static_cast<char>(code)));
        return built;
    }();
    return texts;
}

// Code points in a UTF-8 text.
uint32_t CountCharacters(const std::string& utf8) {
    uint32_t count = 0;
    for (const char ch : utf8) count += (static_cast<uint8_t>(ch) & 0xC0) != 0x80;
    return count;
}

// The byte position `count` code points after `from`, at most the end.
size_t SkipCharacters(const std::string& utf8, size_t from, uint32_t count) {
    size_t pos = from;
    for (uint32_t c = 0; c < count && pos < utf8.size(); ++c) {
        ++pos;
        while (pos < utf8.size() && (static_cast<uint8_t>(utf8[pos]) & 0xC0) == 0x80) ++pos;
    }
    return pos;
}

// The bytes of a hexadecimal string token ("<" and its digits), zero bytes
// included; an odd last digit counts as followed by 0.
std::string HexStringBytes(const std::string& token) { return HexBytes(std::string_view(token).substr(1)); }

// Em heights above this are measured at this height and scaled: the
// display font's widths grow linearly, and a font engine asked for a
// million-pixel em fails or allocates far too much.
constexpr int32_t kMaxEmPx = 10000;
// Em heights measured on one page; a page that uses more starts over.
constexpr size_t kMaxCachedEms = 32;

}  // namespace

// ---- text object and state ---------------------------------------------------

void TContentInterpreter::BeginText() {
    inTextObject_ = true;
    ClearOperands();
    textMatrix_ = TMatrix{};
    lineAdvance_ = 0;
    columnAdvance_ = 0;
}

void TContentInterpreter::EndText() {
    inTextObject_ = false;
    ClearOperands();
}

void TContentInterpreter::SetCharSpacing() {
    if (!Has(2)) return;
    if (const auto v = Number(2)) charSpacing_ = *v;
}

// Only vertical writing applies it: horizontal runs have always been
// placed without it.
void TContentInterpreter::SetWordSpacing() {
    if (!Has(2)) return;
    if (const auto v = Number(2)) wordSpacing_ = *v;
}

void TContentInterpreter::SetLeading() {
    if (!Has(2)) return;
    if (const auto v = Number(2)) leading_ = *v;
}

// The record comes from FontPosition. Without a match the copies of the
// previous font stay.
void TContentInterpreter::SelectFont() {
    if (!Has(3)) return;
    fontResName_ = Operand(3);
    const auto size = Number(2);
    if (!size) return;
    textFontSize_ = *size;

    auto& fonts = doc_.fontList;
    const int32_t position = FontPosition(fontResName_);
    if (position < 0 || position >= fonts.Count()) {
        // The walk over all records ends on the last one.
        if (fonts.Count() > 0) fonts.Select(fonts.Count() - 1);
        return;
    }
    const TFontRecord& font = *fonts.Select(position);
    if (position == selectedFont_) return;
    selectedFont_ = position;
    codes_ = &font.Codes();
    firstChar_ = font.firstChar;
    isType3_ = font.isType3;
    bboxHeight_ = font.bboxHeight;
    encodingMap_ = font.encoding >= 0 && font.encoding < 4 ? &WinAnsiMaps()[static_cast<size_t>(font.encoding)]
                                                           : nullptr;
    fontText_ = FontTextOf(doc_, *fonts.Select(position));
}

void TContentInterpreter::NextLine() {
    textMatrix_.f -= leading_ * textMatrix_.d;
    lineAdvance_ = 0;
    columnAdvance_ = 0;
}

void TContentInterpreter::MoveText(bool setLeading) {
    lineAdvance_ = 0;
    columnAdvance_ = 0;
    if (!Has(3)) return;
    const auto tx = Number(3);
    if (!tx) return;
    const auto ty = Number(2);
    if (!ty) return;
    textMatrix_.e += *tx * textMatrix_.a + *ty * textMatrix_.c;
    textMatrix_.f += *tx * textMatrix_.b + *ty * textMatrix_.d;
    if (setLeading) leading_ = -*ty;
}

void TContentInterpreter::SetTextMatrix() {
    lineAdvance_ = 0;
    columnAdvance_ = 0;
    if (!Has(7)) return;
    double* fields[6] = {&textMatrix_.a, &textMatrix_.b, &textMatrix_.c,
                         &textMatrix_.d, &textMatrix_.e, &textMatrix_.f};
    for (size_t i = 0; i < 6; ++i) {
        const auto v = Number(7 - i);
        if (!v) return;
        *fields[i] = *v;
    }
}

// ---- text showing ---------------------------------------------------------------

// "Tj", "TJ" and "'" show every string entry since the previous token that
// began with "T" or an apostrophe; "TJ" also takes its adjustments.
void TContentInterpreter::ShowText(bool isTJ, bool nextLineFirst) {
    if (nextLineFirst) NextLine();
    runText_.clear();
    runGlyphs_.clear();
    runSpacings_.clear();
    runTextEnded_ = false;
    const bool composite = fontText_ && fontText_->composite;
    const size_t count = operands_.size() - 1;  // the operator itself is last
    for (size_t i = 0; i < count; ++i) {
        const std::string& entry = operands_[i];
        if (composite && entry.size() > 1 && (entry[0] == '<' || entry[0] == '(')) {
            // Every byte counts here, zero bytes too: codes are wider than one.
            AppendCompositeCodes(entry[0] == '<' ? HexStringBytes(entry) : Unescape(StripParens(entry)));
        } else if (entry.size() > 1 && entry[0] == '<') {
            AppendHexString(entry);
        } else if (entry.size() > 1 && entry[0] == '(') {
            AppendLiteralString(entry);
        } else if (isTJ && !entry.empty()) {
            AppendAdjustment(entry);
        }
    }
    if (runGlyphs_.empty()) return;
    if (composite && fontText_->Vertical())
        BuildColumn();
    else
        BuildRun();
}

// The token holds the string as written, blanks between the digits and
// its closing ">" included. Zero bytes and an odd last digit are dropped.
void TContentInterpreter::AppendHexString(const std::string& token) {
    for (const char byte : HexBytes(std::string_view(token).substr(1), false))
        if (byte != 0) AppendCharacter(static_cast<uint8_t>(byte));
}

void TContentInterpreter::AppendLiteralString(const std::string& token) {
    for (const char ch : Unescape(StripParens(token))) AppendCharacter(static_cast<uint8_t>(ch));
}

// A number in a "TJ" array moves the next character: it becomes the
// spacing after the last character so far, replacing an earlier one. A
// number before the first character and anything that is not a number
// ("[", "]", names) count for nothing.
//
// Vertical writing moves down the column in text space, a number before the
// first glyph included, as every reader does.
void TContentInterpreter::AppendAdjustment(const std::string& token) {
    const bool vertical = fontText_ && fontText_->Vertical();
    if (runSpacings_.empty() && !vertical) return;
    const std::optional<double> t = TryStrToFloat(token);
    if (!t) return;
    if (vertical) {
        const double move = -*t / 1000.0 * textFontSize_;
        if (runSpacings_.empty()) columnAdvance_ += move;
        else runSpacings_.back() += move;
        return;
    }
    runSpacings_.back() = std::fabs(textFontSize_ * textMatrix_.d * ctm_.d) * (-*t) / 1000.0;
}

void TContentInterpreter::AppendCharacter(uint8_t code) {
    uint8_t mapped = code;
    if (codes_->differenceSet[code]) mapped = codes_->differences[code];
    else if (encodingMap_) mapped = (*encodingMap_)[code];
    // /Widths is indexed by the code as it stands in the string, whatever
    // character the encoding makes of it; the text prefers what the font
    // says about the code itself.
    if (fontText_) {
        const std::string& characters = fontText_->SimpleCharacters(code);
        if (!characters.empty()) {
            AppendGlyph(code, characters, mapped);
            return;
        }
    }
    // ASCII, the common case, needs no table.
    if (mapped != 0 && mapped < 0x80 && !runTextEnded_) {
        runText_ += static_cast<char>(mapped);
        runGlyphs_.push_back({code, 1, mapped});
        runSpacings_.push_back(0.0);
        return;
    }
    AppendGlyph(code, WinAnsiUtf8()[mapped], mapped);
}

// Codes of a composite font: split by its CMap, each one glyph whose width
// is its CID's. A code nothing gives characters for still shows, as the
// replacement character.
void TContentInterpreter::AppendCompositeCodes(const std::string& bytes) {
    static const std::string kReplacement = "\xEF\xBF\xBD";
    std::string_view rest(bytes);
    while (!rest.empty()) {
        const TCMap::TCode code = fontText_->encoding.NextCode(rest);
        if (code.length == 0) break;
        rest.remove_prefix(code.length);
        const std::string characters = fontText_->CharactersOf(code.value);
        AppendGlyph(fontText_->encoding.Cid(code.value), characters.empty() ? kReplacement : characters, 0,
                    code.length == 1 && code.value == 32);
    }
}

void TContentInterpreter::AppendGlyph(uint32_t widthKey, const std::string& characters, uint8_t shown, bool space) {
    TRunGlyph glyph;
    glyph.widthKey = widthKey;
    glyph.shown = shown;
    glyph.space = space;
    if (characters.empty() || characters[0] == 0) runTextEnded_ = true;
    if (!runTextEnded_) {
        runText_ += characters;
        glyph.characters = characters.size() == 1 ? 1 : CountCharacters(characters);
    }
    runGlyphs_.push_back(glyph);
    runSpacings_.push_back(0.0);
}

// ---- text runs --------------------------------------------------------------------

// Vertical writing: each glyph becomes a run of its own, built like a
// horizontal one that starts where the glyph is drawn, its position vector
// above and right of it, so that drawing and the pointer tool treat it like
// any run. The text position moves down the column by the glyph's vertical
// advance, the character spacing, word spacing after a one-byte code 32,
// and the numbers of "TJ".
void TContentInterpreter::BuildColumn() {
    const std::vector<TRunGlyph> glyphs = std::move(runGlyphs_);
    const std::vector<double> moves = std::move(runSpacings_);
    const std::string text = std::move(runText_);
    const TMatrix line = textMatrix_;
    const double lineAdvance = lineAdvance_;
    const double charSpacing = charSpacing_;
    charSpacing_ = 0;
    size_t offset = 0;
    for (size_t g = 0; g < glyphs.size(); ++g) {
        const TRunGlyph& glyph = glyphs[g];
        const TFontText::TVerticalMetrics metrics = fontText_->VerticalMetricsOf(glyph.widthKey);
        // Past a glyph that ended the text, the glyphs add none.
        const size_t end = SkipCharacters(text, offset, glyph.characters);
        if (end > offset) {
            const double x = -metrics.originX / 1000.0 * textFontSize_;
            const double y = columnAdvance_ - metrics.originY / 1000.0 * textFontSize_;
            textMatrix_.e = x * line.a + y * line.c + line.e;
            textMatrix_.f = x * line.b + y * line.d + line.f;
            lineAdvance_ = 0;
            runText_.assign(text, offset, end - offset);
            runGlyphs_.assign(1, glyph);
            runSpacings_.assign(1, 0.0);
            BuildRun();
            offset = end;
        }
        columnAdvance_ += metrics.advance / 1000.0 * textFontSize_ + charSpacing + (glyph.space ? wordSpacing_ : 0.0) +
                          (g < moves.size() ? moves[g] : 0.0);
    }
    textMatrix_ = line;
    lineAdvance_ = lineAdvance;
    charSpacing_ = charSpacing;
    runText_.clear();
    runGlyphs_.clear();
    runSpacings_.clear();
}

TEmMetrics& TContentInterpreter::MetricsFor(int32_t emPx) {
    for (auto& metrics : metrics_)
        if (metrics->emPx == emPx) return *metrics;
    if (metrics_.size() >= kMaxCachedEms) metrics_.clear();
    auto metrics = std::make_unique<TEmMetrics>();
    metrics->emPx = emPx;
    metrics->charWidthPx.fill(-1);
    metrics_.push_back(std::move(metrics));
    return *metrics_.back();
}

void TContentInterpreter::BuildRun() {
    size_t count = 0;
    for (const TRunGlyph& glyph : runGlyphs_) count += glyph.characters;
    if (!Spend(sizeof(TDisplayItem) + count * (2 * sizeof(double) + 1))) {
        runText_.clear();
        return;
    }
    TDisplayItem* item = doc_.pageItems.Append();
    item->strokeColor = strokeColor_;
    item->fillColor = fillColor_;
    item->startPos = tokenPositions_.front();
    item->endPos = tokenPositions_.back();
    // A character that mapped to 0 ends the stored text; its advance and
    // those after it still count.
    item->text = runText_;
    item->x = textMatrix_.e * ctm_.a + textMatrix_.f * ctm_.c + ctm_.e + lineAdvance_;
    item->fontSize =
        std::fabs((textMatrix_.d + textMatrix_.b) * (ctm_.d + ctm_.b) * textFontSize_ * bboxHeight_);

    // The display font at the run's size, as an em height in pixels.
    const double emExact = item->fontSize * dpi_ / 72.0;
    int32_t emPx = kMaxEmPx;
    double emScale = 1.0;
    if (emExact < kMaxEmPx) {
        emPx = static_cast<int32_t>(RoundHalfEven(emExact));
        if (emPx <= 0) emPx = 1;
    } else if (std::isfinite(emExact)) {
        emScale = emExact / kMaxEmPx;
    }
    TTextMeasurer& measurer = ui_.Measurer();
    TEmMetrics& metrics = MetricsFor(emPx);
    if (metrics.spaceHeightPx < 0) {
        int32_t widthPx = 0, heightPx = 0;
        measurer.TextExtent(" ", emPx, widthPx, heightPx);
        metrics.spaceHeightPx = heightPx;
    }
    const double pxToPt = 72.0 / dpi_;
    item->textHeight = metrics.spaceHeightPx * emScale * pxToPt;
    item->y = textMatrix_.e * ctm_.b + textMatrix_.f * ctm_.d + ctm_.f + item->textHeight;
    item->fontNameId = doc_.runFontNames.Intern(fontResName_);
    // A name without a record keeps the tables of the font before it, but
    // the run is not that font's.
    const bool named = selectedFont_ >= 0 && selectedFont_ < doc_.fontList.Count() &&
                       doc_.fontList[static_cast<size_t>(selectedFont_)].resName == fontResName_;
    item->fontIndex = named ? selectedFont_ : -1;
    item->pageNo = pageNo_;

    item->advances.resize(count);
    item->spacings.resize(count);
    const double start = lineAdvance_;
    const double scale = std::fabs(textFontSize_ * textMatrix_.d * ctm_.d);
    const double charSpacing = std::fabs(textMatrix_.d * ctm_.d) * charSpacing_;
    const bool composite = fontText_ && fontText_->composite;
    size_t k = 0;
    for (size_t g = 0; g < runGlyphs_.size(); ++g) {
        const TRunGlyph& glyph = runGlyphs_[g];
        double advance;
        if (composite) {
            advance = fontText_->CidWidth(glyph.widthKey) / 1000.0 * scale;
        } else {
            const int64_t slot = int64_t{glyph.widthKey} - firstChar_;
            if (slot >= 0 && slot <= 255 && codes_->widthSet[static_cast<size_t>(slot)]) {
                const double width = codes_->widths[static_cast<size_t>(slot)];
                advance = isType3_ ? scale * width : width / 1000.0 * scale;
            } else {
                int32_t& widthPx = metrics.charWidthPx[glyph.shown];
                if (widthPx < 0) widthPx = measurer.CharWidth(glyph.shown, emPx);
                advance = widthPx * emScale * pxToPt;
            }
        }
        const double spacing = charSpacing + runSpacings_[g];
        // A glyph of several characters (a ligature) shares its advance
        // among them; the spacing follows its last one.
        const uint32_t n = glyph.characters;
        for (uint32_t c = 0; c < n && k < count; ++c, ++k) {
            item->advances[k] = advance / n;
            item->spacings[k] = c + 1 == n ? spacing : 0.0;
        }
        lineAdvance_ += advance + spacing;
    }
    item->runWidth = lineAdvance_ - start;
    runText_.clear();
    runGlyphs_.clear();
}
