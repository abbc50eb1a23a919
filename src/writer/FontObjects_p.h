// Pieces the writers of replacement fonts share.
#pragma once

#include <optional>
#include <string>

#include "FontProgram.h"
#include "PdfDocument.h"
#include "ReplacementFonts.h"

// A Flate stream object; `extra` holds further dictionary entries.
std::string StreamObject(int32_t num, const std::string& data, const std::string& extra);
// A PDF name from a font's PostScript name: characters outside "!".."~" and
// the delimiters as #XX.
std::string NameToken(const std::string& name);
// The name an added font goes by in the file: its PostScript name, or the
// family name it was added under when the file cannot be read.
std::string AddedFontName(const TFontRecord& added, const std::optional<TFontProgramInfo>& info);
// Tells the user of an added font that is written by its name only.
void TellNotEmbedded(TDocumentUi& ui, const std::string& fontName, TEmbedState state);
