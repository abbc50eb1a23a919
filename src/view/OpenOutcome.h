// What became of an open, as far as the window is concerned, and whether a
// document may be written out.
#pragma once

#include <cstdint>

#include "OpenResult.h"

class TPdfDocument;

enum class TOpenOutcome { Opened, Refused, Cancelled };

// Whether the document was read completely: opened (also after a repair),
// a catalog and at least one page, not encrypted or deciphered, no step of the reader
// gave up, not being read. Only such a document may be saved; anything else
// would write a file that lacks pages or still carries encrypted bytes.
bool DocumentIsSavable(const TPdfDocument& doc);

// The outcome of an open that has returned, decided from its report (as the
// command line decides its exit status), for a document that is `savable`.
TOpenOutcome OpenOutcome(const TOpenReport& report, bool savable);
