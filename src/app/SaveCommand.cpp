#include "SaveCommand.h"

#include "ContentRewrite.h"
#include "SaveMessages.h"

bool SavePDFNew(TPdfDocument& doc, TWriteReport* report) {
    const std::optional<std::string> path = doc.Ui().AskSaveFileName();
    if (!path || path->empty()) return false;
    const TWriteOutcome outcome = WritePdfFile(doc, *path, doc.Ui().VersionItem());
    switch (outcome.result) {
        case TWriteResult::CreateFailed:
            doc.Ui().ShowMessage(CreateFailedMessage(*path), TMsgIcon::Error);
            // As after every save, the chosen name is read: the document
            // shown is then the file of that name, if there is one.
            doc.openfilenow(*path);
            return false;
        case TWriteResult::WriteFailed:
            doc.Ui().ShowMessage(WriteFailedMessage(*path, outcome.errorText), TMsgIcon::Error);
            return false;
        case TWriteResult::Written:
            break;
    }
    if (report) *report = outcome.report;
    if (doc.Ui().ShowSavedFileWanted()) doc.Ui().ShowFileInViewer(*path);
    doc.openfilenow(*path);
    return true;
}

bool SavePdfCommand(TPdfDocument& doc) {
    RewritePageContents(doc);
    return SavePDFNew(doc);
}
