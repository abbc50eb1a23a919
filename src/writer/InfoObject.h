// The document information dictionary of a written file, and the literal
// string escaping it shares with the annotation objects.
#pragma once

#include <cstdint>
#include <string>

#include "InfoEdits.h"
#include "PdfDocument.h"

// "\" "(" ")" get a backslash; bytes 8, 9, 10, 12, 13 become \b \t \n \f \r;
// other bytes below 32 become a backslash and three octal digits.
std::string EscapeLiteralString(const std::string& text);

// The local time's offset from UTC in minutes (east positive) at the given
// local date and time, from the system's time zone rules.
int32_t LocalUtcOffsetMinutes(const TDateTimeValue& date, const TDateTimeValue& time);

// "D:YYYYMMDDHHmmSS" and the offset ("Z", or "+01'00'") of the date from the
// date picker and the time of day from the time picker.
std::string PdfDateText(const TDateTimeValue& date, const TDateTimeValue& time);
std::string PdfDateText(const TDateTimeValue& date, const TDateTimeValue& time, int32_t utcOffsetMinutes);

// Whether the writer writes an information object: when the old file had
// one that could be read, or when it had none and the user filled a field.
bool WillWriteInfoObject(const TPdfDocument& doc, const TInfoEdits& edits);

// A text as a string token: a literal string of PDFDocEncoding, or a hex
// string of UTF-16BE when a character has no code there.
std::string TextStringToken(const std::string& utf8);

// The /ModDate of a written file: as the user set it, else the time of
// writing.
std::string ModDateText(const TInfoEdits& edits);

// The texts and dates the information dictionary of a written file holds,
// for the metadata that must say the same.
struct TWrittenInfo {
    struct TText {
        std::string value;     // UTF-8
        bool written = false;  // the dictionary holds the entry (an empty text kept as read too)
        bool hadKey = false;   // the old dictionary had one
    };
    TText producer, creator, author, title, subject, keywords;
    std::string creationDate;  // the PDF date written; empty for none
    std::string modDate;
};
TWrittenInfo WrittenInfo(const TPdfDocument& doc, const TInfoEdits& edits, const std::string& modDate);

// The object "objNum gen obj" ... "endobj", every line ended by a carriage
// return: the old entries the tab does not show, in their order, then the
// edited texts that are not empty (an unchanged one exactly as read), the
// creation date as read or as the user set it, and `modDate` (ModDateText
// when not given).
// Moves the document's cursor (kept entries are re-read for their strings).
std::string InfoObjectText(TPdfDocument& doc, const TInfoEdits& edits, int32_t objNum, int32_t gen,
                           const std::string& modDate);
std::string InfoObjectText(TPdfDocument& doc, const TInfoEdits& edits, int32_t objNum, int32_t gen);
