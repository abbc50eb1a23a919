// The installed face that stands in for an old font: named by a rule, or
// proposed by fontconfig's own matching. fontconfig always returns some
// font; a proposal counts only where the system's configuration names the
// face as the old font itself or one of its aliases (Times -> Liberation
// Serif), never where it is merely the generic default.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ReplacementRules.h"

struct TInstalledFace {
    std::string family;  // UTF-8, as fontconfig names it
    TFontStyle style;
    std::string path;
    int32_t faceIndex = 0;
};

struct TFontProposal {
    TInstalledFace face;
    // false: only a generic fallback ("sans-serif") matched; shown, never
    // applied on its own.
    bool good = false;
};

// The family fontconfig is asked for: the base name without subset tag,
// ",Style" suffix, "-Style" part and the "MT"/"PS" endings of Windows
// fonts ("ABCDEF+Arial-BoldMT" -> "Arial").
std::string RequestedFamily(const std::string& baseFont);

// fontconfig's choice among the installed TrueType fonts for that old
// font; nothing when there is no TrueType font at all.
std::optional<TFontProposal> ProposeFont(const std::string& baseFont, const TFontStyle& style);

// An installed TrueType face for text of a language ("ja", "zh-cn",
// "zh-tw", "ko"), serif (Mincho, Song, Myeongjo) or not; nothing when no
// installed face covers the language.
std::optional<TInstalledFace> ProposeFaceForLanguage(const std::string& language, bool serif, const TFontStyle& style);
// The TrueType face of exactly this family and style, as a rule names it;
// nothing when that family is not installed.
std::optional<TInstalledFace> FindInstalledFace(const std::string& family, const TFontStyle& style);

// Loads fontconfig's configuration, the generic families and the standard
// fonts' metrics now, so that processes forked afterwards share them
// instead of each reading the configuration, caches and AFM files again.
void PrepareFontMatching();
