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
// readable, 3 encrypted (also a missing or wrong password), 8 out of memory; a cancelled open counts as invalid
// there, the command line never cancels).
struct TOpenDecision {
    bool keep = false;
    bool cancelled = false;
    int exitStatus = 1;
};
TOpenDecision DecideOpen(const TOpenReport& report);

// ---- encryption ----------------------------------------------------------------

struct TPermissions;
class TSecurityHandler;

// The permissions in the program's words, one "Name: ja/nein" per entry.
std::vector<std::string> PermissionTexts(const TPermissions& permissions);
// "R4, AES 128 Bit, mit Besitzerkennwort geöffnet"; "keine" for a file that
// is not encrypted (security == nullptr).
std::string EncryptionText(const TSecurityHandler* security);
// Why a change or a save is refused: the file forbids changes, and the owner
// password was not given.
std::string ModifyForbiddenText();
// Why an unencrypted copy is refused without the owner password.
std::string DecryptForbiddenText();
