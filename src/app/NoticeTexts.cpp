#include "NoticeTexts.h"

#include "ReplacementFonts.h"
#include "SaveMessages.h"

namespace {

std::string DecodeText(const TNotice& notice) {
    if (notice.decode == TDecodeFailure::TooLarge)
        return "Fehler beim Entpacken der Daten (die entpackten Daten sind größer als 256 MB)";
    return "Fehler beim Entpacken der Daten (" + notice.detail + ")";
}

}  // namespace

std::string NoticeText(const TNotice& notice) {
    const std::string page = std::to_string(notice.page);
    switch (notice.kind) {
        case TNoticeKind::PageContentTooLarge:
            return "Der Inhalt der Seite " + page + " ist zu groß und wird nicht gelesen!";
        case TNoticeKind::PageFilterUnsupported:
            return "Die Komprimierung " + notice.name + " wird nicht unterstützt, deshalb kann die Seite " + page +
                   " nicht gelesen werden!";
        case TNoticeKind::PageContentCutShort:
            return "Der Inhalt der Seite " + page + " endet vor seinem Ende und wird nur bis dorthin gelesen.";
        case TNoticeKind::PageContentDamaged:
            return "Der Inhalt der Seite " + page + " ist beschädigt und wird " +
                   (notice.partly ? "nur bis zur beschädigten Stelle" : "nicht") + " gelesen (" + DecodeText(notice) +
                   ").";
        case TNoticeKind::ImageDamaged:
            return "Ein Bild auf Seite " + page + " ist beschädigt und wird nicht angezeigt.";
        case TNoticeKind::FormUnreadable:
            return "Seite " + page + ": ein Formularobjekt kann nicht gelesen werden.";
        case TNoticeKind::TooManyFormCalls:
            return "Seite " + page + ": zu viele Formularaufrufe, weitere werden nicht dargestellt.";
        case TNoticeKind::TooManyItems:
            return "Seite " + page + ": zu viele Zeichnungselemente, der Rest der Seite wird nicht dargestellt.";
        case TNoticeKind::ContentNotDecodable:
            return "Der Inhalt der Seite konnte nicht dekodiert werden!";
        case TNoticeKind::FontLicenceForbids:
            return EmbedStateNotice(notice.name, TEmbedState::Restricted);
        case TNoticeKind::FontLicenceBitmapOnly:
            return EmbedStateNotice(notice.name, TEmbedState::BitmapOnly);
        case TNoticeKind::FontFileUnreadable:
            return EmbedStateNotice(notice.name, TEmbedState::Unreadable);
    }
    return {};
}

bool NoticeIsError(const TNotice& notice) {
    return notice.kind == TNoticeKind::ContentNotDecodable;
}

std::string RuleErrorText(const TRuleError& error) {
    switch (error.problem) {
        case TRuleProblem::NoEquals: return "Kein \"=\" zwischen alter und neuer Schriftart";
        case TRuleProblem::SeveralEquals: return "Mehr als ein \"=\" in der Regel";
        case TRuleProblem::UnknownStyle: return "Unbekannter Schriftschnitt \"" + error.detail + "\"";
        case TRuleProblem::OldFontMissing: return "Die alte Schriftart fehlt";
        case TRuleProblem::BadOldFontCharacter: return "Ungültiges Zeichen im Namen der alten Schriftart";
        case TRuleProblem::NewFontMissing: return "Die neue Schriftart fehlt";
        case TRuleProblem::FileUnreadable: return "Die Regeldatei lässt sich nicht lesen: " + error.detail;
        case TRuleProblem::FileTooLarge: return "Die Regeldatei ist zu groß: " + error.detail;
    }
    return {};
}

std::string ProgressText(const TProgress& progress) {
    const std::string count = std::to_string(progress.count);
    switch (progress.step) {
        case TProgressStep::Started: return {};
        case TProgressStep::PagesFound: return count + " Seiten gefunden...";
        case TProgressStep::ReadingPages: return "Lese Seiten...";
        case TProgressStep::ReadingPage: return "Lese Seite " + count + "...";
        case TProgressStep::FontsFound: return count + " Schriftarten gefunden...";
        case TProgressStep::FormFontsFound: return count + " Schriftarten in Formularen und Anmerkungen gefunden...";
        case TProgressStep::ImagesFound: return count + " Bilder/Objekte gefunden...";
        case TProgressStep::JpegsRead: return count + " JPEG-Bilder gelesen...";
    }
    return {};
}

bool ProgressIsLabel(const TProgress& progress) {
    return progress.step == TProgressStep::Started || progress.step == TProgressStep::ReadingPage;
}
