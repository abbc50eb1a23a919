// Fonts added from installed TrueType fonts: the names they get in the PDF
// file and the metrics written with them.
#pragma once

#include <optional>
#include <string>

#include "PdfDocument.h"

// Adds the installed font of that family and style as a new hidden font
// record (what "Neue Schriftart hinzufügen..." does after the font chooser).
// Returns the record's resource name, or nothing when no scalable TrueType
// font file matches.
std::optional<std::string> AddTrueTypeFont(TPdfDocument& doc, const std::string& family, bool bold, bool italic);

// "/" + the face name's characters "!".."~" with # % ( ) / < > [ ] { }
// escaped by a backslash.
std::string MakeResourceName(const std::string& faceName);
// As the resource name, other characters as #XX, plus ",Bold", ",Italic" or
// ",BoldItalic".
std::string MakeBaseFontName(const std::string& faceName, bool bold, bool italic);
