#include "SaveReport.h"

#include "PdfWriter.h"
#include "SaveMessages.h"

QString ClaimProblemText(const TClaimProblem& problem) {
    return QString::fromStdString(ClaimProblemLine(problem));
}

QStringList SaveReportLines(const TWriteReport& report) {
    QStringList lines;
    for (const std::string& line : WriteReportLines(report)) lines << QString::fromStdString(line);
    return lines;
}
