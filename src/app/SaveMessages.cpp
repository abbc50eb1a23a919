#include "SaveMessages.h"

#include <map>
#include <set>

#include "Conformance.h"
#include "PdfText.h"
#include "PdfWriter.h"

std::string ClaimProblemLine(const TClaimProblem& problem) {
    const std::string start =
        "Die Datei gibt an, " + problem.claim + " zu erfüllen; die gespeicherte Datei erfüllt das nicht mehr: ";
    switch (problem.kind) {
        case TClaimProblem::TKind::FontNotEmbedded:
            return start + "die Schriftart " + problem.fontName + " ist nicht eingebettet.";
        case TClaimProblem::TKind::WidthsDiffer:
            return start + "die Schriftart " + problem.fontName +
                   " behält Zeichenbreiten, die ihr Schriftprogramm nicht hat.";
        case TClaimProblem::TKind::GlyphsMissing:
            return start + "der Schriftart " + problem.fontName + " fehlen Zeichen, die auf den Seiten stehen.";
    }
    return {};
}

std::string UnreadableMetadataLine() {
    return "Die XMP-Metadaten der Datei lassen sich nicht lesen; sie wurden unverändert übernommen und "
           "stimmen nicht mit den neuen Dokumentinformationen überein.";
}

std::string MissingObjectsLine(int32_t count) {
    if (count == 1)
        return "1 Objekt stand nicht an der in der Querverweistabelle angegebenen Stelle und wurde als leeres "
               "Objekt (null) gespeichert.";
    return std::to_string(count) +
           " Objekte standen nicht an der in der Querverweistabelle angegebenen Stelle und wurden als leere "
           "Objekte (null) gespeichert.";
}

namespace {

// "Die Schrift /F1 auf den Seiten 2, 3 wurde ... ", one sentence per font.
std::string KeptFontsLine(const std::vector<TKeptFormFont>& kept, const char* why) {
    std::map<std::string, std::set<int32_t>> pagesByFont;
    for (const TKeptFormFont& font : kept) pagesByFont[font.resName].insert(font.pageIndex + 1);
    std::string line;
    for (const auto& [name, pages] : pagesByFont) {
        std::string list;
        for (int32_t page : pages) list += (list.empty() ? "" : ", ") + std::to_string(page);
        if (!line.empty()) line += " ";
        line += "Die Schrift " + Cp1252ToUtf8(name) + (pages.size() == 1 ? " auf Seite " : " auf den Seiten ") +
                list + why;
    }
    return line;
}

}  // namespace

std::string KeptFormFontsLine(const std::vector<TKeptFormFont>& kept) {
    return KeptFontsLine(kept,
                         " wurde in einem Formular oder einer Anmerkung nicht ersetzt, weil sonst auch Seiten ohne "
                         "diese Ersetzung verändert würden oder der Inhalt nicht lesbar ist.");
}

std::string KeptPageFontsLine(const std::vector<TKeptFormFont>& kept) {
    return KeptFontsLine(kept,
                         " wurde nicht ersetzt, weil der Seiteninhalt nicht vollständig gelesen werden kann und "
                         "deshalb unverändert übernommen wird.");
}

std::vector<std::string> WriteReportLines(const TWriteReport& report) {
    std::vector<std::string> lines;
    if (report.missingObjects > 0) lines.push_back(MissingObjectsLine(report.missingObjects));
    if (!report.keptFormFonts.empty()) lines.push_back(KeptFormFontsLine(report.keptFormFonts));
    if (!report.keptPageFonts.empty()) lines.push_back(KeptPageFontsLine(report.keptPageFonts));
    if (report.metadata == TMetadataOutcome::Unreadable) lines.push_back(UnreadableMetadataLine());
    for (const TClaimProblem& problem : report.claimProblems) lines.push_back(ClaimProblemLine(problem));
    return lines;
}

std::string CreateFailedMessage(const std::string& path) {
    return "Die Datei " + path +
           " konnte nicht erstellt werden! Bitte schließen Sie diese Datei im Acrobat Reader, falls diese offen "
           "sein sollte!";
}

std::string WriteFailedMessage(const std::string& path, const std::string& reason) {
    return "Die Datei " + path + " konnte nicht geschrieben werden (" + reason +
           ")! Eine bereits vorhandene Datei dieses Namens bleibt unverändert.";
}

std::string EmbedStateNotice(const std::string& fontName, TEmbedState state) {
    switch (state) {
        case TEmbedState::Restricted:
            return "Die Schriftart " + fontName +
                   " darf laut ihrer Lizenz nicht eingebettet werden; sie wird nur mit ihrem Namen eingetragen.";
        case TEmbedState::BitmapOnly:
            return "Die Schriftart " + fontName +
                   " darf laut ihrer Lizenz nur als Bitmap eingebettet werden; sie wird nur mit ihrem Namen "
                   "eingetragen.";
        case TEmbedState::Unreadable:
            return "Die Schriftdatei von " + fontName +
                   " konnte nicht gelesen werden; die Schriftart wird nur mit ihrem Namen eingetragen.";
        case TEmbedState::Embedded:
        case TEmbedState::NotWanted:
            break;
    }
    return {};
}

std::string MissingCharactersNotice(const TReplacementReport& report) {
    std::string text;
    if (report.symbolic)
        text = report.oldFont + " ist eine Symbolschrift; " + report.addedFont +
               " ist eine Textschrift und zeigt ihre Zeichen nicht.";
    if (!report.missing.empty()) {
        if (!text.empty()) text += ' ';
        text += report.addedFont + " fehlen Zeichen, die mit " + report.oldFont +
                " gesetzt sind: " + MissingCharactersText(report.missing);
    }
    return text;
}
