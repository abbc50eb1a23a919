// How an open ended, for callers that act on it (exit codes, the window's
// state); the messages the user reads are reported beside it.
#pragma once

enum class TOpenResult {
    Opened,      // read as written
    Repaired,    // read after rebuilding a damaged cross-reference table
    Unreadable,  // the file itself could not be read (missing, no access)
    Invalid,     // not a PDF file, or damaged beyond repair
    Encrypted,   // encrypted; decrypting is not supported
    Unsupported, // its structure needs what the reader cannot do (a stream filter it lacks)
    OutOfMemory, // memory or address space ran out while it was read
    Cancelled,   // the user stopped the open
};

// Whether the document holds the file's pages afterwards.
inline bool IsOpened(TOpenResult result) { return result == TOpenResult::Opened || result == TOpenResult::Repaired; }
