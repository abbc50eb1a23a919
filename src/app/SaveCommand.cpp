#include "SaveCommand.h"

#include "ContentRewrite.h"
#include "SaveMessages.h"

bool SavePDFNew(TPdfDocument& doc, TWriteReport* report, const TWriteOptions& options, TOpenOptions reopen) {
    const std::optional<std::string> path = doc.Ui().AskSaveFileName();
    if (!path || path->empty()) return false;
    // The written file keeps the passwords of this one.
    reopen.password = doc.Password();
    const TWriteOutcome outcome = WritePdfFile(doc, *path, doc.Ui().VersionItem(), options);
    switch (outcome.result) {
        case TWriteResult::CreateFailed:
            doc.Ui().ShowMessage(CreateFailedMessage(*path), TMsgIcon::Error);
            // As after every save, the chosen name is read: the document
            // shown is then the file of that name, if there is one.
            doc.openfilenow(*path, reopen);
            return false;
        case TWriteResult::WriteFailed:
            doc.Ui().ShowMessage(WriteFailedMessage(*path, outcome.errorText), TMsgIcon::Error);
            return false;
        case TWriteResult::Written:
            break;
    }
    if (report) *report = outcome.report;
    if (doc.Ui().ShowSavedFileWanted()) doc.Ui().ShowFileInViewer(*path);
    doc.openfilenow(*path, reopen);
    return true;
}

bool SavePdfCommand(TPdfDocument& doc) {
    TellUndecodablePages(doc);
    return SavePDFNew(doc);
}
