#include "OpenOutcome.h"

#include "PdfDocument.h"

bool DocumentIsSavable(const TPdfDocument& doc) {
    return doc.rootFound && doc.pagesFound && doc.pageList.Count() > 0 && !doc.encrypted && !doc.parseFailed &&
           !doc.cancelRequested && !doc.opening;
}

TOpenOutcome OpenOutcome(const TPdfDocument& doc, int32_t errorMessages) {
    if (doc.cancelRequested) return TOpenOutcome::Cancelled;
    if (errorMessages > 0 || !DocumentIsSavable(doc)) return TOpenOutcome::Refused;
    return TOpenOutcome::Opened;
}
