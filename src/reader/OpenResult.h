// How an open ended: one report for every caller (the window, the command
// line, tests). The core says what happened in kinds and numbers; the
// sentences the user reads are made from the report by the user interface.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "Lexer.h"

enum class TOpenResult {
    Opened,      // read as written
    Repaired,    // read after rebuilding a damaged cross-reference table
    Unreadable,  // the file itself could not be read (missing, no access)
    Invalid,     // not a PDF file, or damaged beyond repair
    Encrypted,   // encrypted in a way the reader cannot decipher (another handler, an unknown revision)
    PasswordNeeded, // encrypted with a user password: none was given, or the one given fits neither password
    Unsupported, // its structure needs what the reader cannot do (a stream filter it lacks)
    OutOfMemory, // memory or address space ran out while it was read
    Cancelled,   // the user stopped the open
};

// Whether the document holds the file's pages afterwards.
inline bool IsOpened(TOpenResult result) { return result == TOpenResult::Opened || result == TOpenResult::Repaired; }

enum class TOpenProblemKind : uint8_t {
    CannotRead,         // the file is missing, not a regular file, or not readable
    NoMemory,           // memory or address space ran out
    EmptyFile,
    NoPdfHeader,        // no "%PDF-" near the start
    Encrypted,          // another security handler or an unknown revision
    PasswordNeeded,     // the empty password does not open the file, and none was given
    WrongPassword,      // the password given opens the file neither as user nor as owner
    UnsupportedFilter,  // detail: the filter's name as the file writes it ("/RunLengthDecode")
    NotAnInteger,       // detail: the token that should have been an integer
    NotANumber,         // detail: the token that should have been a number
    Damaged,            // no catalog or page tree could be read
    TableRebuilt,       // the cross-reference table was damaged and rebuilt
    Failure,            // anything else that ended the open; detail: what the library said
};

struct TOpenProblem {
    TOpenProblemKind kind = TOpenProblemKind::Failure;
    std::string detail;  // see the kinds (8-bit text as the file has it)
    int32_t objNum = -1;   // the object it concerns, where known
    int32_t pageNo = 0;    // the page (1-based), where known
    TFilePos offset = -1;  // where in the file, where known
};

struct TOpenReport {
    TOpenResult outcome = TOpenResult::Invalid;
    // In the order they were met.
    std::vector<TOpenProblem> problems;

    bool Has(TOpenProblemKind kind) const {
        for (const TOpenProblem& problem : problems)
            if (problem.kind == kind) return true;
        return false;
    }
};

// What an open is asked to do besides reading the file.
struct TOpenOptions {
    // "Bilder einlesen": the pictures are looked at (a JPEG by its header).
    bool readPics = true;
    // Set from another thread to stop the open after the page it is on.
    const std::atomic<bool>* cancel = nullptr;
    // For an encrypted file: the user or the owner password. Empty: the
    // empty password is tried, which opens most encrypted files.
    std::string password;
};
