#include "SaveReport.h"

#include "PdfWriter.h"
#include "SaveMessages.h"

QString ClaimProblemText(const TClaimProblem& problem) {
    return QString::fromStdString(ClaimProblemLine(problem));
}

QStringList SaveReportLines(const TWriteReport& report) {
    QStringList lines;
    if (!report.raisedVersion.empty()) lines << QString::fromStdString(RaisedVersionLine(report.raisedVersion));
    if (report.missingObjects > 0) lines << QString::fromStdString(MissingObjectsLine(report.missingObjects));
    if (!report.keptFormFonts.empty()) lines << QString::fromStdString(KeptFormFontsLine(report.keptFormFonts));
    if (report.metadata == TMetadataOutcome::Unreadable)
        lines << QString::fromStdString(UnreadableMetadataLine());
    for (const TClaimProblem& problem : report.claimProblems) lines << ClaimProblemText(problem);
    return lines;
}
