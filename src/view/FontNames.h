// How the window names a font of the document: the columns of the font
// table and the text of the hover field.
#pragma once

#include <QString>

struct TFontRecord;

// /BaseFont without its slash and without a subset tag ("ABCDEF+").
QString FontName(const TFontRecord& font);
// "Type 1", "TrueType", "Type 3", ... from /Subtype.
QString FontTypeText(const TFontRecord& font);
QString FontEmbeddedText(const TFontRecord& font);
// The encoding's name, "+ Differences" when the dictionary changes codes;
// "eingebaut" for a font without /Encoding (it uses its own).
QString FontEncodingText(const TFontRecord& font);
