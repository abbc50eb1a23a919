// Finding an installed font file through fontconfig; shared by the
// measurer, the added fonts and their tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct TFontFileMatch {
    std::string path;
    int32_t faceIndex = 0;
    std::string family;      // the first family name of the matched font
    std::string fontFormat;  // fontconfig's FC_FONTFORMAT ("TrueType", "CFF", ...)
    bool familyMatches = false;  // the request names this font's own family
};

// The font fontconfig picks for family (UTF-8), weight bold/regular, slant
// italic/roman, scalable only: the same request the window's font chooser
// makes; of the family's files a TrueType or OpenType one before any
// other. Nothing when fontconfig has no font at all.
std::optional<TFontFileMatch> MatchFontFile(const std::string& family, bool bold, bool italic);
