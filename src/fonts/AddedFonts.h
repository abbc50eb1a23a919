// Fonts added from installed TrueType and OpenType fonts: the names they get in the PDF
// file and the metrics written with them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "PdfDocument.h"

// Adds the installed font of that family (a Windows-1252 text, like every
// text of the model) and style as a new hidden font record (what "Neue Schriftart
// hinzufügen..." does after the font chooser). Returns the record's resource
// name, or nothing when no font file of that family with outlines a PDF
// can embed (TrueType, or CFF in an OpenType file) matches.
std::optional<std::string> AddInstalledFont(TPdfDocument& doc, const std::string& family, bool bold, bool italic);

// "/" + the face name's characters "!".."~" with # % ( ) / < > [ ] { }
// escaped by a backslash.
std::string MakeResourceName(const std::string& faceName);
// As the resource name, other characters as #XX, plus ",Bold", ",Italic" or
// ",BoldItalic".
std::string MakeBaseFontName(const std::string& faceName, bool bold, bool italic);
// The name itself, or else the name with "_2", "_3", ... (the lowest number
// that no record of the font list has).
std::string MakeUniqueResourceName(const TPdfDocument& doc, const std::string& name);

// What the font descriptor of an added font needs, in thousandths of the em
// (design units * 1000 / units per em, truncated toward zero).
struct TAddedFontMetrics {
    // false: the face has neither OS/2 nor hhea metrics; the descriptor then
    // gets the plain form (height and maximum width, positive descent).
    bool outline = true;
    int32_t bboxLeft = 0, bboxBottom = 0, bboxRight = 0, bboxTop = 0;
    int32_t ascent = 0;
    int32_t descent = 0;  // negative below the baseline (plain form: positive)
    int32_t height = 0;    // plain form only
    int32_t maxWidth = 0;  // plain form only
    // The 'post' table's italic angle in degrees, counter-clockwise from the
    // vertical, as a 16.16 fixed number.
    int32_t italicAngleFixed = 0;
    int32_t firstChar = 32;
    int32_t lastChar = 255;
    std::array<int32_t, 256> widths{};  // by Windows-1252 code
};

// Reads the metrics of an installed font file; nothing when it has neither
// TrueType nor CFF outlines in an sfnt (the outlines a PDF can embed) or
// covers no Windows-1252 character.
std::optional<TAddedFontMetrics> ReadOutlineMetrics(const std::string& path, int32_t faceIndex = 0);

// The record's fontDictExtra text: the descriptor, /FirstChar, /LastChar and
// /Widths.
std::string FontDictExtraText(const TAddedFontMetrics& metrics);
// An angle in 16.16 fixed degrees as a PDF number ("0", "-12", "-11.5").
std::string FormatItalicAngle(int32_t fixedDegrees);
