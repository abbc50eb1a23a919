// The installed face that comes closest to an old font no installed face
// is metric-compatible with. The old widths are kept, so no word moves
// whichever face draws the text; what matters is that the glyphs look like
// the old ones and fill their widths: the same class of design, the same
// weight and slant, the characters the pages show, and a similar width.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FontProposal.h"
#include "ReplacementGlyphs.h"
#include "UsedCodes.h"

enum class TFontClass { Unknown, Serif, Sans, Mono, Script, Symbol };

// The class of a font by its name (without subset tag; "Courier New",
// "BrushScriptMT", "SegoeUISymbol", ...) and, where the name says nothing,
// by the descriptor's flags (fixed pitch, serif, script).
TFontClass OldFontClass(const std::string& baseFont, int32_t descriptorFlags);

// The class of an installed family: by its name, else by the generic
// family (serif, sans-serif, monospace) fontconfig counts it in.
TFontClass InstalledFamilyClass(const std::string& family);

// How far the face's advances are from the old font's over the codes the
// pages show (the mean of |log(old / new)|), and how many of their
// characters it lacks. Nothing when the face cannot be read.
struct TFaceFit {
    int32_t missing = 0;
    double widthMisfit = 0;
};
std::optional<TFaceFit> FitOf(const TOldFont& old, const TCodeSet& codes, const TInstalledFace& face);

// fontconfig's match for the family (`first`, when given) if it is of the
// font's class, else the installed TrueType face of that class and style
// that lacks the fewest characters and comes closest in width; a script
// font takes an italic serif when no script face is installed, a symbol
// font whatever face has its characters. Nothing when no such face is
// installed at all.
std::optional<TInstalledFace> SimilarFace(const TOldFont& old, const TCodeSet& codes, TFontClass fontClass,
                                          const TFontStyle& style, const std::optional<TInstalledFace>& first);

// The installed families a PDF can embed (TrueType or CFF outlines), in
// fontconfig's name order, read once: what the dialogs offer.
std::vector<std::string> EmbeddableFamilies();
