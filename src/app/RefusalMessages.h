// Why a replacement is not made, in the user's words: the window and
// glyphwell-cli take these sentences from here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TRefusedReplacement;

// "1-3, 5": 1-based page numbers, ascending, runs joined.
std::string PagesText(const std::vector<int32_t>& pages);
// "ABC kann nicht ersetzt werden: für 3 Zeichen ist nicht bekannt, welche
// Buchstaben sie sind." and the like, without the pages.
std::string RefusalSentence(const TRefusedReplacement& refusal);
// The same with the pages it concerns in front ("Seiten 1-3: ...").
std::string RefusalLine(const TRefusedReplacement& refusal);
