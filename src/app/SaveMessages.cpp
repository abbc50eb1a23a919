#include "SaveMessages.h"

#include "Conformance.h"

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

std::string RaisedVersionLine(const std::string& version) {
    return "Die PDF-Version wurde auf " + version + " angehoben, weil die Verschlüsselung der Datei sie verlangt.";
}
