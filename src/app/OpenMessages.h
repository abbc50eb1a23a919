// The one place where an open's report becomes what the user reads and what
// the program does: the window and glyphwell-cli both take their messages,
// status lines and decision from here.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "DocumentUi.h"
#include "OpenResult.h"

struct TOpenTexts {
    // Message boxes (the command line prints them), in order.
    std::vector<std::pair<std::string, TMsgIcon>> messages;
    // Lines for the progress window's status memo, behind the reader's own.
    std::vector<std::string> statusLines;
};

// The texts of the report of opening `path` (a UTF-8 file name).
TOpenTexts OpenTexts(const TOpenReport& report, const std::string& path);

// What becomes of the document: kept and shown, or given up; and the exit
// status of the command line (0 opened, 1 invalid or unsupported, 2 not
// readable, 3 encrypted, 8 out of memory; a cancelled open counts as invalid
// there, the command line never cancels).
struct TOpenDecision {
    bool keep = false;
    bool cancelled = false;
    int exitStatus = 1;
};
TOpenDecision DecideOpen(const TOpenReport& report);
