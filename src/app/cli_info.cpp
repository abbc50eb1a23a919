#include <cstdio>

#include "CliCommands.h"
#include "OpenMessages.h"
#include "Security.h"
#include "Conformance.h"

namespace {

std::string Reference(bool found, int32_t num, int32_t gen) {
    if (!found) return "nicht gefunden";
    return "gefunden (" + std::to_string(num) + " " + std::to_string(gen) + " R)";
}

// "-" for a date the file does not have.
std::string Date(bool read, const TDateTimeValue& date, const TDateTimeValue& time) {
    if (!read) return "-";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", date.year, date.month, date.day, time.hour,
                  time.minute, time.second);
    return buf;
}

// "PDF/A-2b, PDF/X-4", or that the file claims neither.
std::string ClaimsText(const TXmpClaims& claims) {
    std::string text = claims.pdfa;
    if (!claims.pdfx.empty()) text += (text.empty() ? "" : ", ") + claims.pdfx;
    return text.empty() ? "keine Angabe" : text;
}

}  // namespace

int CliInfo(const TCliArgs& args) {
    if (args.size() != 1) {
        std::fputs("Aufruf: glyphwell-cli info DATEI\n", stderr);
        return 64;
    }
    TCliDocument cli;
    TPdfDocument& doc = cli.doc;
    cli.Open(args[0]);
    // An encrypted file that did not open has nothing to show: its message
    // is all that is printed.
    if (cli.OpenStatus() == 3) {
        PrintMessages(cli.ui);
        return 3;
    }

    std::string version = "-";
    if (doc.SourceSize() >= 8) version.assign(reinterpret_cast<const char*>(doc.Source().data()) + 5, 3);
    std::printf("PDF-Version: %s\n", Cp1252ToUtf8(version).c_str());
    std::printf("objCount: %d\n", doc.ObjCount());
    std::printf("/Root: %s\n", Reference(doc.rootFound, doc.rootObjNum, doc.rootGen).c_str());
    std::printf("/Info: %s\n", Reference(doc.infoFound, doc.infoObjNum, doc.infoGen).c_str());
    std::printf("/Encrypt: %s\n", Reference(doc.encrypted, doc.encryptObjNum, doc.encryptGen).c_str());
    if (doc.Security()) {
        std::printf("Verschlüsselung: %s\n", EncryptionText(doc.Security()).c_str());
        std::string line;
        for (const std::string& text : PermissionTexts(doc.Permissions())) line += (line.empty() ? "" : ", ") + text;
        std::printf("Berechtigungen: %s\n", line.c_str());
    }
    std::printf("Seiten: %d\n", doc.pageList.Count());
    std::printf("Querverweistabelle: %s\n", doc.repaired ? "neu aufgebaut" : "gelesen");
    if (doc.rootFound) std::printf("Konformität: %s\n", ClaimsText(DocumentClaims(doc)).c_str());
    if (doc.infoFound) {
        std::printf("Producer: %s\n", doc.info.producer.c_str());
        std::printf("Creator: %s\n", doc.info.creator.c_str());
        std::printf("Autor: %s\n", doc.info.author.c_str());
        std::printf("Titel: %s\n", doc.info.title.c_str());
        std::printf("Betreff: %s\n", doc.info.subject.c_str());
        std::printf("Stichworte: %s\n", doc.info.keywords.c_str());
        std::printf("Erstellt: %s\n", Date(doc.info.creationDateRead, doc.info.creationDate, doc.info.creationTime).c_str());
        std::printf("Geändert: %s\n", Date(doc.info.modDateRead, doc.info.modDate, doc.info.modTime).c_str());
    }
    PrintMessages(cli.ui);
    return cli.OpenStatus();
}
