// The fonts of a document as "Fehlende Schriften einbetten…" sees them: one
// entry per old font dictionary however many pages use it, the face that
// replaces it (by rule or by fontconfig's proposal), and setting those
// replacements on every page.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FontProposal.h"
#include "PdfDocument.h"
#include "ReplacementGlyphs.h"
#include "ReplacementRules.h"
#include "SimilarFaces.h"
#include "UsedCodes.h"

struct TDocumentFont {
    std::string baseFont;            // /BaseFont as written, without the slash
    std::vector<int32_t> records;    // fontList indexes, one per page
    std::vector<int32_t> pages;      // 1-based, ascending
    bool embedded = false;           // the descriptor holds a font program
    bool type3 = false;
    bool composite = false;          // Type0: two-byte codes a simple font cannot take
    bool symbolic = false;           // Symbol, ZapfDingbats and fonts whose codes are no text
    // A default font of the interactive form: a field filled in later may
    // draw any character of its encoding with it.
    bool formDefault = false;
    TFontStyle style;
    TFontClass fontClass = TFontClass::Unknown;
    TOldFont old;                    // its encoding and widths
    TCodeSet codes;                  // what the pages show with it (every named code for a form default)
    // Composite fonts: the codes the pages show, and the character
    // collection of the descendant (/CIDSystemInfo /Ordering: "Japan1").
    TWideCodes wideCodes;
    std::string ordering;
};

// Every font of the document's pages, in order of first use. Moves the
// document's cursor.
std::vector<TDocumentFont> DocumentFonts(TPdfDocument& doc);

enum class TChoiceKind {
    Rule,         // a rule names the face
    Proposal,     // fontconfig's match is the font itself or an alias of it
    Substitute,   // no face is metric-compatible: the closest face of the font's class
    NoGoodMatch,  // nothing but a generic fallback (when substitutes are not wanted), or a symbol font
    MissingFace,  // a rule names a family that is not installed
    LeftAlone,    // embedded and named by no rule, or Type 3
};

struct TFontChoice {
    TChoiceKind kind = TChoiceKind::LeftAlone;
    // Set for Rule, Proposal and Substitute; the fallback for NoGoodMatch.
    std::optional<TInstalledFace> face;
    std::string rule;  // the rule's text for Rule and MissingFace
    // The face is the old font itself or one the system's configuration
    // names as its metric-compatible alias.
    bool metricCompatible = false;

    bool Replaces() const {
        return (kind == TChoiceKind::Rule || kind == TChoiceKind::Proposal || kind == TChoiceKind::Substitute) && face;
    }
};

// The first rule naming the font decides; a non-embedded font without one
// gets fontconfig's proposal, and where that is no metric-compatible face,
// the closest face of its class when substitutes are allowed (a symbol
// font never: a text face would change every character). A composite font
// of a Chinese, Japanese or Korean collection gets a face for that
// language; one of another collection fontconfig's proposal, or as its
// substitute the generic face fontconfig falls back on (it keeps its
// widths, so no text moves).
TFontChoice ChooseReplacement(const TDocumentFont& font, const std::vector<TReplacementRule>& rules,
                              bool allowSubstitutes = true);

// The codes of the old font's encoding that stand for a character: what a
// form default font must be able to show.
TCodeSet CharacterCodes(const TOldFont& old);

// What the dialog shows for a choice before it is applied.
struct TChoiceCheck {
    bool keepsWidths = true;  // the old font states a width for each code
    std::vector<TMissingCharacter> missing;
    // Codes the pages show whose character nothing in the file names: the
    // pages that show them keep the old font (see ReplacementChecks.h).
    int32_t unknownCharacters = 0;
};
// Nothing when the face's file cannot be read. Moves the document's cursor.
std::optional<TChoiceCheck> CheckChoice(TPdfDocument& doc, const TDocumentFont& font, const TInstalledFace& face);

// Adds each chosen face once (embedded, keeping widths) and sets it as the
// replacement on every record of its font; the caller takes back those
// that RefusedReplacements finds. Returns per font the added
// font's resource name, empty where nothing was set.
std::vector<std::string> ApplyChoices(TPdfDocument& doc, const std::vector<TDocumentFont>& fonts,
                                      const std::vector<TFontChoice>& choices);
