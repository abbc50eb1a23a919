// What the window tells after a save: the writer's report in sentences.
#pragma once

#include <QString>
#include <QStringList>

struct TClaimProblem;
struct TWriteReport;

// The lines for the status bar: objects written as null, fonts kept in
// forms or on pages copied as they were, metadata copied because it does
// not parse, broken claims.
QStringList SaveReportLines(const TWriteReport& report);

// Why the saved file no longer meets the standard the original claims.
QString ClaimProblemText(const TClaimProblem& problem);
