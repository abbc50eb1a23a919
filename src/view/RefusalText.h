// Why the window does not make a replacement, in the user's words.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

struct TRefusedReplacement;

// "1-3, 5": 1-based page numbers, ascending, runs joined.
QString PagesText(const std::vector<int32_t>& pages);

// "ABC kann nicht ersetzt werden: für 3 Zeichen ist nicht bekannt, welche
// Buchstaben sie sind." and the like, without the pages.
QString RefusalText(const TRefusedReplacement& refusal);
// The same with the pages it concerns in front ("Seiten 1-3: ...").
QString RefusalLine(const TRefusedReplacement& refusal);
