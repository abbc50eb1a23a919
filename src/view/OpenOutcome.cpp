#include "OpenOutcome.h"

#include "OpenMessages.h"
#include "PdfDocument.h"

bool DocumentIsSavable(const TPdfDocument& doc) {
    return IsOpened(doc.LastOpen().outcome) && doc.rootFound && doc.pagesFound && doc.pageList.Count() > 0 &&
           (!doc.encrypted || doc.CryptState() == TCryptState::Opened) && !doc.parseFailed && !doc.opening;
}

TOpenOutcome OpenOutcome(const TOpenReport& report, bool savable) {
    const TOpenDecision decision = DecideOpen(report);
    if (decision.cancelled) return TOpenOutcome::Cancelled;
    if (!decision.keep || !savable) return TOpenOutcome::Refused;
    return TOpenOutcome::Opened;
}
