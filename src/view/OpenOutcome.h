// What became of an open, as far as the window is concerned, and whether a
// document may be written out.
#pragma once

#include <cstdint>

class TPdfDocument;

enum class TOpenOutcome { Opened, Refused, Cancelled };

// Whether the document was read completely: a catalog and at least one
// page, not encrypted, no step of the reader gave up, no cancelled open.
// Only such a document may be saved; anything else would write a file that
// lacks pages or still carries encrypted bytes.
bool DocumentIsSavable(const TPdfDocument& doc);

// The outcome of an open that has returned; `errorMessages` counts the
// error boxes the reader showed on the way (a conversion or memory failure
// ends an open that way without leaving a flag).
TOpenOutcome OpenOutcome(const TPdfDocument& doc, int32_t errorMessages);
