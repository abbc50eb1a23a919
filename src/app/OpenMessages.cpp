#include "OpenMessages.h"

#include "PdfText.h"
#include "Security.h"

namespace {

const char* const kInvalidFile = "Dies ist keine gültige PDF-Datei.";
const char* const kEncryptedFile = "Diese PDF-Datei ist verschlüsselt und kann nicht gelesen werden!";
const char* const kEmptyFile = "Die Datei ist leer.";
const char* const kNotPdf = "Diese Datei ist keine PDF-Datei.";
const char* const kUnsupportedStart = "Diese PDF-Datei nutzt eine Funktion, die das Programm nicht unterstützt (";
const char* const kUnsupportedEnd = "), und kann deshalb nicht gelesen werden!";
const char* const kRepaired = "Die Querverweistabelle war beschädigt und wurde neu aufgebaut.";

void AddProblem(const TOpenProblem& problem, const std::string& path, TOpenTexts& texts) {
    auto error = [&texts](std::string text) { texts.messages.emplace_back(std::move(text), TMsgIcon::Error); };
    switch (problem.kind) {
        case TOpenProblemKind::CannotRead: error("Konnte die Datei " + path + " nicht öffnen."); break;
        case TOpenProblemKind::NoMemory: error("Nicht genug Arbeitsspeicher, um die Datei " + path + " zu lesen."); break;
        case TOpenProblemKind::EmptyFile: error(kEmptyFile); break;
        case TOpenProblemKind::NoPdfHeader: error(kNotPdf); break;
        // The one message of an encrypted file that does not open: nothing
        // follows it.
        case TOpenProblemKind::Encrypted:
        case TOpenProblemKind::PasswordNeeded:
        case TOpenProblemKind::WrongPassword: error(kEncryptedFile); break;
        case TOpenProblemKind::UnsupportedFilter:
            error(kUnsupportedStart + ("Komprimierung " + Cp1252ToUtf8(problem.detail)) + kUnsupportedEnd);
            break;
        case TOpenProblemKind::NotAnInteger:
            error("'" + Cp1252ToUtf8(problem.detail) + "' ist kein gültiger Integerwert.");
            break;
        case TOpenProblemKind::NotANumber:
            error("'" + Cp1252ToUtf8(problem.detail) + "' ist kein gültiger Gleitkommawert.");
            break;
        case TOpenProblemKind::Damaged: error(kInvalidFile); break;
        case TOpenProblemKind::TableRebuilt: texts.statusLines.emplace_back(kRepaired); break;
        case TOpenProblemKind::Failure: error(problem.detail); break;
    }
}

}  // namespace

TOpenTexts OpenTexts(const TOpenReport& report, const std::string& path) {
    TOpenTexts texts;
    for (const TOpenProblem& problem : report.problems) AddProblem(problem, path, texts);
    return texts;
}

TOpenDecision DecideOpen(const TOpenReport& report) {
    TOpenDecision decision;
    decision.keep = IsOpened(report.outcome);
    decision.cancelled = report.outcome == TOpenResult::Cancelled;
    switch (report.outcome) {
        case TOpenResult::Opened:
        case TOpenResult::Repaired: decision.exitStatus = 0; break;
        case TOpenResult::Unreadable: decision.exitStatus = 2; break;
        case TOpenResult::Encrypted:
        case TOpenResult::PasswordNeeded: decision.exitStatus = 3; break;
        case TOpenResult::OutOfMemory: decision.exitStatus = 8; break;
        case TOpenResult::Invalid:
        case TOpenResult::Unsupported:
        case TOpenResult::Cancelled: decision.exitStatus = 1; break;
    }
    return decision;
}

std::vector<std::string> PermissionTexts(const TPermissions& permissions) {
    const std::pair<const char*, bool> rows[] = {
        {"Drucken", permissions.print},
        {"Drucken in hoher Qualität", permissions.printHighQuality},
        {"Ändern", permissions.modify},
        {"Kopieren", permissions.copy},
        {"Kommentieren", permissions.annotate},
        {"Formulare", permissions.fillForms},
        {"Barrierefreiheit", permissions.extractForAccessibility},
        {"Zusammenstellen", permissions.assemble},
    };
    std::vector<std::string> texts;
    for (const auto& [name, allowed] : rows) texts.push_back(std::string(name) + ": " + (allowed ? "ja" : "nein"));
    return texts;
}

std::string EncryptionText(const TSecurityHandler* security) {
    if (security == nullptr) return "keine";
    const TEncryptParams& params = security->Params();
    std::string method;
    const bool filesOnly = params.streamMethod == TCryptMethod::None && params.fileMethod != TCryptMethod::None;
    switch (filesOnly ? params.fileMethod : params.streamMethod) {
        case TCryptMethod::None: method = "keine Daten"; break;
        case TCryptMethod::Rc4: method = "RC4 " + std::to_string(params.r == 2 ? 40 : params.keyBytes * 8) + " Bit"; break;
        case TCryptMethod::Aes128: method = "AES 128 Bit"; break;
        case TCryptMethod::Aes256: method = "AES 256 Bit"; break;
    }
    if (filesOnly) method += " (nur Anhänge)";
    const char* const opened =
        security->Match() == TPasswordMatch::Owner ? "mit Besitzerkennwort geöffnet" : "mit Benutzerkennwort geöffnet";
    return "R" + std::to_string(params.r) + ", " + method + ", " + opened;
}

std::string ModifyForbiddenText() {
    return "Änderung nicht erlaubt: Die Berechtigungen dieser PDF-Datei verbieten Änderungen. Mit dem "
           "Besitzerkennwort geöffnet, kann sie geändert und gespeichert werden.";
}

std::string DecryptForbiddenText() {
    return "Änderung nicht erlaubt: Ohne Verschlüsselung darf die Datei nur gespeichert werden, wenn sie mit dem "
           "Besitzerkennwort geöffnet wurde.";
}
