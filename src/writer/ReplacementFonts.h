// The font dictionaries of replacements by added fonts: per pair (added
// font, replaced font) the old font's encoding and widths, and per added
// font one embedded subset of its font program shared by all its pairs.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "CidGlyphs.h"
#include "CompositeFonts.h"
#include "Conformance.h"
#include "FontProgram.h"
#include "PdfDocument.h"
#include "ReplacementGlyphs.h"
#include "ReplacementPairs.h"
#include "UsedCodes.h"

// Why an added font is written without its font program.
enum class TEmbedState { Embedded, NotWanted, Restricted, BitmapOnly, Unreadable };

// One replacement as the user sees it before and after saving.
struct TReplacementReport {
    std::string resName;      // the pair's resource name
    std::string addedFont;    // the added font's PostScript name
    std::string oldFont;      // /BaseFont of the replaced font
    std::vector<int32_t> pages;  // 1-based
    std::vector<TMissingCharacter> missing;
    // Codes the pages show whose character nothing in the file names.
    int32_t unknownCharacters = 0;
    bool symbolic = false;
    bool keptWidths = true;   // false: natural widths, chosen or for want of old ones
    TEmbedState embed = TEmbedState::Embedded;
};

// The codes each pair's pages draw with the replaced font, in the content
// as the file has it (the selections still name the old font), through
// every form, pattern and appearance the pages reach. A page's content is
// taken from whoever decodes the page anyway, and only the pages nobody
// handed over are decoded here.
class TPairCodes {
public:
    TPairCodes(TPdfDocument& doc, const std::vector<TReplacementPair>& pairs);
    bool Wants(int32_t pageIndex) const { return pending_.count(pageIndex) != 0; }
    void Take(int32_t pageIndex, const std::vector<uint8_t>& content);
    // Reads the pages still pending. Moves the document's cursor.
    std::vector<TCodeSet> Completed(TPdfDocument& doc);
    // By pair, after Completed: the codes of a composite old font.
    const std::vector<TWideCodes>& Wide() const { return wide_; }

private:
    std::set<int32_t> pending_;  // pages that hold a record of some pair
    std::vector<std::vector<int32_t>> records_;  // by pair: the old records
    // By pair: a default font of the interactive form, which keeps every
    // character of its encoding for the fields filled in later.
    std::vector<int32_t> formDefaults_;
    TDrawnCodes drawn_;
    std::vector<TWideCodes> wide_;
};

std::vector<TCodeSet> PairCodes(TPdfDocument& doc, const std::vector<TReplacementPair>& pairs);

// Every replacement by an added font, with the characters the new font
// lacks. Moves the document's cursor.
std::vector<TReplacementReport> DescribeReplacements(TPdfDocument& doc);

// The replacement of one old font record by an added font as the dialog
// shows it when that pair is chosen, before any replacement is set: the
// codes are those the record's page shows with it. Moves the document's
// cursor.
TReplacementReport DescribeReplacement(TPdfDocument& doc, int32_t oldRecord, int32_t addedIndex);


// Writes the objects. Plan() first (numbers come from `allocate`), then
// Write() once the pages are written: the subsets hold the characters the
// pages show, and the page writer hands each decoded page over
// (WantsCodesOf, TakePageContent) so that no page is decoded twice.
class TReplacementFontWriter {
public:
    using TAllocate = std::function<int32_t()>;
    // Receives each object's number and its complete text ("N 0 obj ... endobj").
    using TEmit = std::function<void(int32_t, const std::string&)>;

    TReplacementFontWriter(TPdfDocument& doc, TAllocate allocate) : doc_(doc), allocate_(std::move(allocate)) {}

    // Numbers every object; returns the /Font entries ("/Name N 0 R ...") of
    // the pair dictionaries.
    std::string Plan();
    // Whether the added font at this fontList index is written through its
    // pairs (its plain dictionary is then not needed).
    bool HasPairs(int32_t addedIndex) const { return faces_.count(addedIndex) != 0; }
    // Old font objects whose numbers the pair dictionaries take over; they
    // are not copied.
    std::vector<int32_t> TakenOverObjects() const;
    bool WantsCodesOf(int32_t pageIndex) const { return codes_ && codes_->Wants(pageIndex); }
    void TakePageContent(int32_t pageIndex, const std::vector<uint8_t>& content) {
        if (codes_) codes_->Take(pageIndex, content);
    }
    void Write(const TEmit& emit);
    // For a file that claims PDF/A or PDF/X: Write() notes for each face
    // what the claim needs to know (WrittenFonts), and with `listGlyphs`
    // (PDF/A-1) each subset's descriptor lists its glyphs (/CharSet).
    void WatchConformance(bool listGlyphs) {
        watch_ = true;
        listGlyphs_ = listGlyphs;
    }
    const std::vector<TWrittenFontFacts>& WrittenFonts() const { return writtenFonts_; }

private:
    struct TFace {
        std::vector<size_t> pairs;     // of simple old fonts
        std::vector<size_t> cidPairs;  // of composite ones: a font of their own
        int32_t cidDescriptorNum = 0;
        int32_t cidProgramNum = 0;
        TEmbedState embed = TEmbedState::Embedded;
        TFontProgramInfo info;
        int32_t descriptorNum = 0;
        int32_t programNum = 0;
        std::string charSet;  // "/A/B/space", empty for none
    };
    // The glyphs of each pair, once every page's codes are in.
    void Glyphs();
    std::string PairDictText(size_t k, const TFace& face, const std::string& baseFont) const;
    std::string DescriptorText(int32_t addedIndex, const TFace& face, const std::string& fontName) const;
    void NoteWrittenFont(const TFace& face, bool embedded, const std::string& fontName);
    // The composite pairs of a face: one subset that keeps the face's glyph
    // indexes, one descriptor, and per pair a Type 0 font (CompositeFaces.cpp).
    void WriteCompositeFace(int32_t addedIndex, const TFace& face, const TEmit& emit);
    TOldEncoding OldEncodingOf(size_t k);
    TCompositeGlyphs CompositeGlyphsFor(const TReplacementPair& pair, const TWideCodes& codes,
                                        const TFontRecord& added);

    TPdfDocument& doc_;
    TAllocate allocate_;
    std::vector<TReplacementPair> pairs_;
    std::optional<TPairCodes> codes_;
    std::vector<TReplacementGlyphs> glyphs_;  // empty for a composite pair
    std::map<size_t, TCompositeGlyphs> cidGlyphs_;   // by composite pair
    std::map<size_t, TCompositeNumbers> cidNumbers_;
    std::vector<int32_t> dictNums_;
    std::vector<int32_t> toUnicodeNums_;
    std::map<int32_t, TFace> faces_;
    bool watch_ = false;
    bool listGlyphs_ = false;
    std::vector<bool> widthsOfProgram_;  // by pair, when watched
    std::vector<TWrittenFontFacts> writtenFonts_;
};

// A PDF number for a width: the integer, or up to three decimals.
std::string WidthText(double value);
