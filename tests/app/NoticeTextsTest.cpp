// The core reports facts; these are the sentences the window and
// glyphwell-cli make of them, word for word as the user sees them.
#include <gtest/gtest.h>

#include "NoticeTexts.h"
#include "PdfWriter.h"
#include "SaveMessages.h"

namespace {

TDecodeError Corrupt(const char* zlib) {
    return TDecodeError(TDecodeFailure::Corrupt, zlib);
}

}  // namespace

TEST(NoticeTexts, EveryKindOfPageProblemNamesItsPage) {
    const struct {
        TNotice notice;
        const char* text;
    } cases[] = {
        {TNotice(TNoticeKind::PageContentTooLarge, 40), "Der Inhalt der Seite 40 ist zu groß und wird nicht gelesen!"},
        {TNotice(TNoticeKind::PageFilterUnsupported, 3, "/M\xC3\xA4rchen"),
         "Die Komprimierung /M\xC3\xA4rchen wird nicht unterstützt, deshalb kann die Seite 3 nicht gelesen werden!"},
        {TNotice(TNoticeKind::PageContentCutShort, 1),
         "Der Inhalt der Seite 1 endet vor seinem Ende und wird nur bis dorthin gelesen."},
        {TNotice::Damaged(2, Corrupt("zlib: incorrect header check"), false),
         "Der Inhalt der Seite 2 ist beschädigt und wird nicht gelesen (Fehler beim Entpacken der Daten (zlib: "
         "incorrect header check))."},
        {TNotice::Damaged(1, Corrupt("zlib: incorrect data check"), true),
         "Der Inhalt der Seite 1 ist beschädigt und wird nur bis zur beschädigten Stelle gelesen (Fehler beim "
         "Entpacken der Daten (zlib: incorrect data check))."},
        {TNotice::Damaged(5, TDecodeError(TDecodeFailure::TooLarge, "more than 256 MiB"), false),
         "Der Inhalt der Seite 5 ist beschädigt und wird nicht gelesen (Fehler beim Entpacken der Daten (die "
         "entpackten Daten sind größer als 256 MB))."},
        {TNotice(TNoticeKind::ImageDamaged, 7), "Ein Bild auf Seite 7 ist beschädigt und wird nicht angezeigt."},
        {TNotice(TNoticeKind::FormUnreadable, 2), "Seite 2: ein Formularobjekt kann nicht gelesen werden."},
        {TNotice(TNoticeKind::TooManyFormCalls, 2), "Seite 2: zu viele Formularaufrufe, weitere werden nicht dargestellt."},
        {TNotice(TNoticeKind::TooManyItems, 1),
         "Seite 1: zu viele Zeichnungselemente, der Rest der Seite wird nicht dargestellt."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NoticeText(c.notice), c.text);
        EXPECT_FALSE(NoticeIsError(c.notice)) << c.text;
    }
}

TEST(NoticeTexts, SavingNoticesAndWhichOnesAreMessageBoxes) {
    const TNotice undecodable(TNoticeKind::ContentNotDecodable);
    EXPECT_EQ(NoticeText(undecodable), "Der Inhalt der Seite konnte nicht dekodiert werden!");
    EXPECT_TRUE(NoticeIsError(undecodable));
    EXPECT_EQ(NoticeText(TNotice(TNoticeKind::FontLicenceForbids, 0, "Tahoma")),
              "Die Schriftart Tahoma darf laut ihrer Lizenz nicht eingebettet werden; sie wird nur mit ihrem Namen "
              "eingetragen.");
    EXPECT_EQ(NoticeText(TNotice(TNoticeKind::FontLicenceBitmapOnly, 0, "Tahoma")),
              EmbedStateNotice("Tahoma", TEmbedState::BitmapOnly));
    EXPECT_EQ(NoticeText(TNotice(TNoticeKind::FontFileUnreadable, 0, "Tahoma")),
              "Die Schriftdatei von Tahoma konnte nicht gelesen werden; die Schriftart wird nur mit ihrem Namen "
              "eingetragen.");
    EXPECT_EQ(EmbedStateNotice("Tahoma", TEmbedState::Embedded), "");
}

TEST(NoticeTexts, ProgressGoesToTheMemoButThePageBeingReadToTheLabel) {
    EXPECT_EQ(ProgressText({TProgressStep::PagesFound, 3}), "3 Seiten gefunden...");
    EXPECT_EQ(ProgressText({TProgressStep::FontsFound, 2}), "2 Schriftarten gefunden...");
    EXPECT_EQ(ProgressText({TProgressStep::FormFontsFound, 1}),
              "1 Schriftarten in Formularen und Anmerkungen gefunden...");
    EXPECT_EQ(ProgressText({TProgressStep::ImagesFound, 2}), "2 Bilder/Objekte gefunden...");
    EXPECT_EQ(ProgressText({TProgressStep::JpegsRead, 0}), "0 JPEG-Bilder gelesen...");
    EXPECT_EQ(ProgressText({TProgressStep::ReadingPages}), "Lese Seiten...");
    EXPECT_EQ(ProgressText({TProgressStep::ReadingPage, 12}), "Lese Seite 12...");
    EXPECT_TRUE(ProgressIsLabel({TProgressStep::ReadingPage, 12}));
    EXPECT_TRUE(ProgressIsLabel({TProgressStep::Started}));
    EXPECT_EQ(ProgressText({TProgressStep::Started}), "");
    EXPECT_FALSE(ProgressIsLabel({TProgressStep::ReadingPages}));
}

TEST(SaveMessages, WriteReportLinesInTheOrderTheyAreTold) {
    TWriteReport report;
    EXPECT_TRUE(WriteReportLines(report).empty());
    report.missingObjects = 1;
    report.keptFormFonts = {{0, "/FT"}, {2, "/FT"}};
    report.keptPageFonts = {{4, "/F\xE4"}};  // a name in the file's single-byte encoding
    report.metadata = TMetadataOutcome::Unreadable;
    const std::vector<std::string> lines = WriteReportLines(report);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "1 Objekt stand nicht an der in der Querverweistabelle angegebenen Stelle und wurde als "
                        "leeres Objekt (null) gespeichert.");
    EXPECT_EQ(lines[1], "Die Schrift /FT auf den Seiten 1, 3 wurde in einem Formular oder einer Anmerkung nicht "
                        "ersetzt, weil sonst auch Seiten ohne diese Ersetzung verändert würden oder der Inhalt nicht "
                        "lesbar ist.");
    EXPECT_EQ(lines[2], "Die Schrift /F\xC3\xA4 auf Seite 5 wurde nicht ersetzt, weil der Seiteninhalt nicht "
                        "vollständig gelesen werden kann und deshalb unverändert übernommen wird.");
    EXPECT_EQ(lines[3], UnreadableMetadataLine());
    EXPECT_EQ(MissingObjectsLine(3).substr(0, 28), "3 Objekte standen nicht an d");
}

TEST(NoticeTexts, RuleErrorsSayWhatIsWrong) {
    TRuleError error{0, TRuleProblem::UnknownStyle, "Fett"};
    EXPECT_EQ(RuleErrorText(error), "Unbekannter Schriftschnitt \"Fett\"");
    error = {3, TRuleProblem::FileTooLarge, "/tmp/regeln.txt"};
    EXPECT_EQ(RuleErrorText(error), "Die Regeldatei ist zu groß: /tmp/regeln.txt");
    error = {0, TRuleProblem::NoEquals, {}};
    EXPECT_EQ(RuleErrorText(error), "Kein \"=\" zwischen alter und neuer Schriftart");
}
