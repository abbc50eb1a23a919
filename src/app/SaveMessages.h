// What a save's report about the document's metadata and its conformance
// claims tells the user: the window and glyphwell-cli take these sentences
// from here.
#pragma once

#include <string>

struct TClaimProblem;

// Why the saved file no longer meets the standard the original claims.
std::string ClaimProblemLine(const TClaimProblem& problem);

// The header's version was raised to `version` for the file's encryption.
std::string RaisedVersionLine(const std::string& version);

// The XMP packet did not parse and was copied as it stood.
std::string UnreadableMetadataLine();
