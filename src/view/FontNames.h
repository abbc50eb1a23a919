// How the window names a font of the document: the columns of the font
// table, the text of the hover field and the replacement dialog's list.
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
// The resource name followed by the font's name in brackets, "/F1
// (Times-Roman)"; the resource name alone when the font has no name. An
// added font is named by the /BaseFont it will be written with.
QString FontCaption(const TFontRecord& font);
