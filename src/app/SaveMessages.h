// What a save tells the user: a failed write, the writer's report (objects
// written as null, fonts kept, metadata, conformance claims) and the state of
// added fonts. The window and glyphwell-cli take these sentences from here.
#pragma once

#include <string>
#include <vector>

#include "ReplacementFonts.h"

struct TClaimProblem;
struct TKeptFormFont;
struct TWriteReport;

// Why the saved file no longer meets the standard the original claims.
std::string ClaimProblemLine(const TClaimProblem& problem);

// The XMP packet did not parse and was copied as it stood.
std::string UnreadableMetadataLine();

// Objects written as null.
std::string MissingObjectsLine(int32_t count);
// Fonts of forms and appearances that stayed as they were on some pages.
std::string KeptFormFontsLine(const std::vector<TKeptFormFont>& kept);
// Fonts chosen on pages whose content is copied as the file has it.
std::string KeptPageFontsLine(const std::vector<TKeptFormFont>& kept);
// Every line of the writer's report, in the order they are told.
std::vector<std::string> WriteReportLines(const TWriteReport& report);

// The messages of a failed save.
std::string CreateFailedMessage(const std::string& path);
std::string WriteFailedMessage(const std::string& path, const std::string& reason);

// When an added font is not embedded for its licence or its file ("" otherwise).
std::string EmbedStateNotice(const std::string& fontName, TEmbedState state);
// The characters a replacement cannot show, and a symbolic font replaced by
// a text font ("" when there is nothing to say).
std::string MissingCharactersNotice(const TReplacementReport& report);
