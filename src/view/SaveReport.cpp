#include "SaveReport.h"

#include "PdfWriter.h"

QString ClaimProblemText(const TClaimProblem& problem) {
    const QString font = QString::fromStdString(problem.fontName);
    const QString start = "Die Datei gibt an, " + QString::fromStdString(problem.claim) +
                          " zu erfüllen; die gespeicherte Datei erfüllt das nicht mehr: ";
    switch (problem.kind) {
        case TClaimProblem::TKind::FontNotEmbedded:
            return start + "die Schriftart " + font + " ist nicht eingebettet.";
        case TClaimProblem::TKind::WidthsDiffer:
            return start + "die Schriftart " + font + " behält Zeichenbreiten, die ihr Schriftprogramm nicht hat.";
        case TClaimProblem::TKind::GlyphsMissing:
            return start + "der Schriftart " + font + " fehlen Zeichen, die auf den Seiten stehen.";
    }
    return {};
}

QStringList SaveReportLines(const TWriteReport& report) {
    QStringList lines;
    if (report.missingObjects > 0) lines << QString::fromStdString(MissingObjectsLine(report.missingObjects));
    if (!report.keptFormFonts.empty()) lines << QString::fromStdString(KeptFormFontsLine(report.keptFormFonts));
    if (report.metadata == TMetadataOutcome::Unreadable)
        lines << "Die XMP-Metadaten der Datei lassen sich nicht lesen; sie wurden unverändert übernommen und "
                 "stimmen nicht mit den neuen Dokumentinformationen überein.";
    for (const TClaimProblem& problem : report.claimProblems) lines << ClaimProblemText(problem);
    return lines;
}
