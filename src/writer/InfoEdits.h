// The document information the user typed, in the window or on the command
// line: a value its owner keeps and hands to the writer with each save.
#pragma once

#include <optional>
#include <string>

#include "PdfDocument.h"

struct TInfoDateTime {
    TDateTimeValue date;  // year, month, day
    TDateTimeValue time;  // hour, minute, second
};

struct TInfoEdits {
    // UTF-8; an empty text leaves the entry out (or keeps an empty one as
    // read).
    std::string producer;
    std::string creator;
    std::string author;
    std::string title;
    std::string subject;
    std::string keywords;
    // Dates the user set. Without one the file's creation date is kept as
    // it was written, and the modification date becomes the time of saving.
    std::optional<TInfoDateTime> creation;
    std::optional<TInfoDateTime> modification;
};

// The edits that change nothing: the texts as read, no date set.
TInfoEdits UneditedInfo(const TDocumentInfo& info);
