// The main window driven through its real widgets, offscreen: start state,
// opening from the command line, the page field, the progress window and
// cancelling, the closing question, the font table's commands and the
// dialog "Schriftart wechseln", the screen font, the information tab.
#include <gtest/gtest.h>

#include <atomic>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>
#include <algorithm>
#include <set>

#include "ChangeFontForm.h"
#include "FileBrowser.h"
#include "ImageBtn.h"
#include "MainForm.h"
#include "MainFormFixture.h"
#include "OpenPDFForm.h"
#include "PageView.h"
#include "TestSupport.h"
#include "ViewTestApp.h"

namespace {


TEST_F(MainFormTest, StartsOnTheOpenTabWithTheInitialFields) {
    EXPECT_EQ(form->windowTitle(), "Vostrel PDF Glyphwell 1.0");
    EXPECT_EQ(form->size(), QSize(622, 489));
    ASSERT_EQ(form->PageControl1->count(), 4);
    const QStringList tabs = {"PDF-Datei öffnen", "Schriftarten", "Informationen", "PDF-Datei speichern"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(form->PageControl1->tabText(i), tabs[i]);
    EXPECT_EQ(form->PageControl1->currentIndex(), 0);
    EXPECT_EQ(form->FontsTab->PageEd->value(), 1);
    EXPECT_EQ(form->FontsTab->ZoomEd->value(), 50);
    EXPECT_EQ(form->FontsTab->Label6->text(), "von 0");
    EXPECT_EQ(form->SaveTab->PDFVersionBox->currentText(), "1.3 (Acrobat 4 and later)");
    ASSERT_EQ(form->SaveTab->PDFVersionBox->count(), 6);
    EXPECT_EQ(form->SaveTab->PDFVersionBox->itemText(3), "1.5 (Acrobat 6 and later)");
    EXPECT_EQ(form->SaveTab->PDFVersionBox->itemText(5), "1.7 (Acrobat 8 and later)");
    EXPECT_EQ(form->OpenTab->FontLabel->text(), "Optimieren auf: Arial");
    EXPECT_TRUE(form->OpenTab->ReadPicsCheck->isChecked());
    EXPECT_TRUE(form->SaveTab->ShowPDFCheck->isChecked());
    EXPECT_EQ(form->FontsTab->FontListView->topLevelItemCount(), 0);
    const QStringList headers = {"Alte Schriftart", "Schriftname", "Typ", "Eingebettet", "Kodierung", "Neue Schriftart"};
    ASSERT_EQ(form->FontsTab->FontListView->columnCount(), headers.size());
    for (int i = 0; i < headers.size(); ++i) EXPECT_EQ(form->FontsTab->FontListView->headerItem()->text(i), headers[i]);
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainFormTest, CommandLineArgumentsNameTheFileToOpen) {
    const QString programFolder = QString::fromStdString(ScratchDir("window-cmdline-program")) + "/";
    const QString workFolder = QString::fromStdString(ScratchDir("window-cmdline-work"));
    WriteFileBytes((programFolder + "both.PDF").toStdString(), "x");
    WriteFileBytes((workFolder + "/both.PDF").toStdString(), "x");
    WriteFileBytes((workFolder + "/workonly.pdf").toStdString(), "x");
    struct TCase {
        QString argument;
        std::optional<QString> expected;
    };
    const TCase cases[] = {
        {"both.PDF", programFolder + "both.PDF"},  // the program's folder wins
        {"workonly.pdf", workFolder + "/workonly.pdf"},
        {"missing.pdf", programFolder + "missing.pdf"},  // the reader reports it
        {"/data/Report.Pdf", "/data/Report.Pdf"},
        {"sub/x.pDf", "sub/x.pDf"},
        {"/data/report.pdfx", std::nullopt},
        {"notes.txt", std::nullopt},
        {"pdf", std::nullopt},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.argument.toStdString());
        EXPECT_EQ(TMainForm::CommandLinePath(c.argument, programFolder, workFolder), c.expected);
    }
}

TEST_F(MainFormTest, IgnoresAFirstArgumentThatIsNoPdfFile) {
    form->FormShow({"notes.txt", QString::fromStdString(CorpusPath("gs-std14-v12.pdf"))});
    EXPECT_EQ(form->FontsTab->Label6->text(), "von 0");
    EXPECT_EQ(form->PageControl1->currentIndex(), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainFormTest, OpeningFromTheCommandLineShowsPageOneAndItsFonts) {
    const TManifestRow& row = Manifest("gs-std14-v12.pdf");
    Open(row.file);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(form->PageControl1->currentIndex(), 1);
    EXPECT_EQ(form->FontsTab->Label6->text(), "von " + QString::number(row.pages));
    EXPECT_EQ(form->FontsTab->PageEd->value(), 1);
    EXPECT_EQ(TableFonts(), row.fonts[0]);
    for (int i = 0; i < form->FontsTab->FontListView->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = form->FontsTab->FontListView->topLevelItem(i);
        EXPECT_EQ(item->text(kNewFont), item->text(0));  // no replacement yet
    }
    // The file is version 1.2, and the information tab shows its producer.
    EXPECT_EQ(form->SaveTab->PDFVersionBox->currentIndex(), 0);
    EXPECT_EQ(form->InfoTab->Edit1->text().toStdString(), row.infoProducer);
    EXPECT_FALSE(form->OpenPDFForm->isVisible());
    EXPECT_EQ(form->StatusPanel1->Percent(), 0);
}

TEST_F(MainFormTest, ABareNameIsOpenedFromTheProgramFolder) {
    const std::vector<uint8_t> bytes = ReadFileBytes(CorpusPath("gs-std14-v12.pdf"));
    WriteFileBytes(programDir.toStdString() + "sample.PDF", std::string(bytes.begin(), bytes.end()));
    form->FormShow({"sample.PDF"});
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(form->FontsTab->Label6->text(), "von 3");
}

TEST_F(MainFormTest, TypingAPageBeyondTheLastShowsTheLastPage) {
    const TManifestRow& row = Manifest("gs-std14-v12.pdf");
    Open(row.file);
    form->show();
    form->FontsTab->PageEd->setFocus();
    form->FontsTab->PageEd->selectAll();
    QTest::keyClicks(form->FontsTab->PageEd, "7");
    EXPECT_EQ(form->FontsTab->PageEd->value(), 3);
    EXPECT_EQ(form->FontsTab->PageEd->text(), "3");
    EXPECT_EQ(TableFonts(), row.fonts[2]);

    // An emptied field reads as page 1.
    form->FontsTab->PageEd->selectAll();
    QTest::keyClick(form->FontsTab->PageEd, Qt::Key_Backspace);
    EXPECT_EQ(form->FontsTab->PageEd->value(), 1);
    EXPECT_EQ(TableFonts(), row.fonts[0]);

    QTest::keyClick(form->FontsTab->PageEd, Qt::Key_Up);
    EXPECT_EQ(TableFonts(), row.fonts[1]);
}

TEST_F(MainFormTest, PageAndZoomFieldsKeepTheirBounds) {
    // No document: the up arrow leaves the page at 1 and the table empty.
    form->FontsTab->PageEd->stepUp();
    EXPECT_EQ(form->FontsTab->PageEd->value(), 1);
    EXPECT_EQ(form->FontsTab->FontListView->topLevelItemCount(), 0);
    form->FontsTab->ZoomEd->setValue(300);
    form->FontsTab->ZoomEd->stepUp();
    EXPECT_EQ(form->FontsTab->ZoomEd->value(), 300);
    form->FontsTab->ZoomEd->setValue(10);
    form->FontsTab->ZoomEd->stepDown();
    EXPECT_EQ(form->FontsTab->ZoomEd->value(), 10);
    form->FontsTab->ZoomEd->stepUp();
    EXPECT_EQ(form->FontsTab->ZoomEd->value(), 20);
}

TEST_F(MainFormTest, TheWheelNeitherTurnsPagesNorZooms) {
    Open("gs-std14-v12.pdf");
    form->show();
    form->FontsTab->FontListView->setFocus();
    for (QSpinBox* field : {form->FontsTab->PageEd, form->FontsTab->ZoomEd}) {
        const int before = field->value();
        QWheelEvent wheel(QPointF(5, 5), field->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(field, &wheel);
        EXPECT_EQ(field->value(), before);
    }
}

TEST_F(MainFormTest, TheProgressLogStartsEmptyForEachOpen) {
    Open("gs-std14-v12.pdf");
    const QString first = form->OpenPDFForm->StatusMemo->toPlainText();
    EXPECT_TRUE(first.contains("Lese Seiten...")) << first.toStdString();
    EXPECT_TRUE(first.contains("3 Seiten gefunden...")) << first.toStdString();
    Open("gs-type3-v13.pdf");
    const QString second = form->OpenPDFForm->StatusMemo->toPlainText();
    EXPECT_TRUE(second.contains("2 Seiten gefunden...")) << second.toStdString();
    EXPECT_FALSE(second.contains("3 Seiten gefunden...")) << second.toStdString();
}

TEST_F(MainFormTest, CancelStopsAfterTheCurrentPage) {
    std::atomic<bool> cancelled = false;
    form->testHooks.readerStep = [this, &cancelled](const QString& label) {
        if (cancelled || label != "Lese Seite 1...") return;
        // The window answers while the reader works: the click lands now.
        OnWindowThread([this] { form->OpenPDFForm->BreakBtn->click(); });
        cancelled = true;
    };
    Open("gs-std14-v12.pdf");
    ASSERT_TRUE(cancelled);
    // The reader went no further than page 1, and the half-read document is
    // not shown.
    EXPECT_EQ(form->OpenPDFForm->Label2->text(), "Lese Seite 1...");
    EXPECT_EQ(form->FontsTab->Label6->text(), "von 0");
    EXPECT_EQ(form->Document().pageList.Count(), 0);
    EXPECT_FALSE(form->OpenPDFForm->isVisible());
    // The next open starts afresh and reads every page.
    form->testHooks.readerStep = nullptr;
    Open("gs-std14-v12.pdf");
    EXPECT_EQ(form->FontsTab->Label6->text(), "von 3");
    EXPECT_EQ(form->Document().pageList[2].hasContent, 1);
}

TEST_F(MainFormTest, EscapeInTheProgressWindowCancels) {
    QSignalSpy cancels(form->OpenPDFForm, &TOpenPDFForm::cancelClicked);
    form->OpenPDFForm->show();
    QTest::keyClick(form->OpenPDFForm, Qt::Key_Escape);
    EXPECT_EQ(cancels.count(), 1);
    EXPECT_TRUE(form->OpenPDFForm->isVisible());  // the reader closes it, not Escape
    form->OpenPDFForm->hide();
}

TEST_F(MainFormTest, ProgressDrivesTheBarAndTheStatusPanel) {
    form->show();
    auto navyColumns = [this] {
        const QImage image = form->StatusPanel1->grab().toImage();
        int columns = 0;
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, image.height() / 2) == QColor(0, 0, 128)) ++columns;
        return columns;
    };
    const int width = form->StatusPanel1->width();
    ASSERT_EQ(width, 50);
    for (const int percent : {0, 40, 80, 100, 60, 0}) {
        SCOPED_TRACE(percent);
        form->SetProStatus(percent);
        EXPECT_EQ(form->OpenPDFForm->ProgressBar1->value(), percent);
        EXPECT_EQ(navyColumns(), width * percent / 100);
    }
}

TEST_F(MainFormTest, ClosingWithChangesAsksAndCancelKeepsEverything) {
    Open("gs-std14-v12.pdf");
    form->show();
    form->InfoTab->Edit5->setText("Betreff");
    answer = QMessageBox::Cancel;
    EXPECT_FALSE(form->close());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Information);
    EXPECT_EQ(messages[0].caption, "Programm beenden");
    EXPECT_EQ(messages[0].text, "Hiermit beenden Sie das Programm! Alle nicht gespeicherten Daten gehen verloren!");
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->Document().pageList.Count(), 3);
    EXPECT_EQ(form->FontsTab->Label6->text(), "von 3");

    // The exit button takes the same road and asks again.
    answer = QMessageBox::Ok;
    QTest::mouseClick(form->EndeBtn, Qt::LeftButton);
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(MainFormTest, ClosingWhileReadingStopsTheReaderFirst) {
    form->show();
    std::atomic<bool> asked = false;
    form->testHooks.readerStep = [this, &asked](const QString& label) {
        if (asked || label != "Lese Seite 1...") return;
        asked = true;
        OnWindowThread([this] { EXPECT_FALSE(form->close()); });  // not while the reader runs
    };
    Open("gs-std14-v12.pdf");
    ASSERT_TRUE(asked);
    EXPECT_TRUE(messages.empty());  // nothing unsaved, nothing to ask
    EXPECT_EQ(form->OpenPDFForm->Label2->text(), "Lese Seite 1...");  // stopped after page 1
    EXPECT_TRUE(form->isVisible());
    QCoreApplication::processEvents();  // the close follows once the open has ended
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainFormTest, ReplaceAndKeepOnTheSelectedRow) {
    Open("mutool-create-noinfo-v17.pdf");
    ASSERT_EQ(form->FontsTab->FontListView->topLevelItemCount(), 2);
    const QString oldName = form->FontsTab->FontListView->topLevelItem(0)->text(0);
    const QString other = form->FontsTab->FontListView->topLevelItem(1)->text(0);
    SelectRow(0);
    form->testHooks.changeFont = [&](TChangeFontForm& dialog) {
        EXPECT_TRUE(dialog.OkBtn->isEnabled());
        dialog.ComboBox1->setCurrentIndex(dialog.ComboBox1->findData(other));
        return int(QDialog::Accepted);
    };
    form->FontsTab->ChangeBtn->click();
    EXPECT_EQ(form->FontsTab->FontListView->topLevelItem(0)->text(kNewFont), other);
    EXPECT_EQ(RecordOfRow(0).replacementName, other.toStdString());
    EXPECT_TRUE(RecordOfRow(1).replacementName.empty());

    // The replacement survives a page change and comes back in the table.
    form->FontsTab->PageEd->setValue(2);
    form->FontsTab->PageEd->setValue(1);
    EXPECT_EQ(form->FontsTab->FontListView->topLevelItem(0)->text(kNewFont), other);

    SelectRow(0);
    form->FontsTab->OldFontBtn->click();
    EXPECT_EQ(form->FontsTab->FontListView->topLevelItem(0)->text(kNewFont), oldName);
    EXPECT_TRUE(RecordOfRow(0).replacementName.empty());

    // Cancel in the dialog changes nothing.
    form->testHooks.changeFont = [&](TChangeFontForm&) { return int(QDialog::Rejected); };
    SelectRow(1);
    form->FontsTab->ChangeBtn->click();
    EXPECT_EQ(form->FontsTab->FontListView->topLevelItem(1)->text(kNewFont), other);
    EXPECT_TRUE(RecordOfRow(1).replacementName.empty());
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainFormTest, DoubleClickOnARowReplacesLikeTheButton) {
    Open("mutool-create-noinfo-v17.pdf");
    form->show();
    QCoreApplication::processEvents();
    form->testHooks.changeFont = [&](TChangeFontForm& dialog) {
        dialog.ComboBox1->setCurrentIndex(0);
        return int(QDialog::Accepted);
    };
    QTreeWidgetItem* second = form->FontsTab->FontListView->topLevelItem(1);
    const QRect cell = form->FontsTab->FontListView->visualItemRect(second);
    const QPoint centre(cell.left() + 10, cell.center().y());  // in the first column
    QTest::mouseClick(form->FontsTab->FontListView->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(form->FontsTab->FontListView->viewport(), Qt::LeftButton, {}, centre);
    // The table is filled anew after a replacement: its rows are new items.
    second = form->FontsTab->FontListView->topLevelItem(1);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->text(kNewFont), form->FontsTab->FontListView->topLevelItem(0)->text(0));
    EXPECT_EQ(RecordOfRow(1).replacementName, second->text(kNewFont).toStdString());
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainFormTest, WithoutASelectedRowReplaceComplainsAndKeepDoesNothing) {
    Open("mutool-create-noinfo-v17.pdf");
    int dialogs = 0;
    form->testHooks.changeFont = [&](TChangeFontForm&) { return ++dialogs, int(QDialog::Accepted); };
    form->FontsTab->FontListView->clearSelection();
    form->FontsTab->ChangeBtn->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(messages[0].caption, "PDF Glyphwell");
    EXPECT_EQ(messages[0].text, "Sie haben keinen Eintrag in der Liste der Schriftarten markiert!");
    form->FontsTab->OldFontBtn->click();
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(dialogs, 0);
}

TEST_F(MainFormTest, TheDialogOffersThePageFontsAndTheAddedFont) {
    Open("mutool-create-noinfo-v17.pdf");
    QString added;
    form->ChangeFontForm->fontChooserHook = [](QFont& font) {
        font = QFont("DejaVu Sans");
        return true;
    };
    form->testHooks.changeFont = [&](TChangeFontForm& dialog) {
        EXPECT_EQ(Items(dialog.ComboBox1), QStringList({"/F1", "/F2"}));
        const bool okBefore = dialog.OkBtn->isEnabled();
        dialog.NewFontBtnClick();
        EXPECT_EQ(dialog.ComboBox1->count(), 3);
        EXPECT_EQ(dialog.ComboBox1->currentIndex(), 2);
        EXPECT_EQ(dialog.OkBtn->isEnabled(), okBefore);  // adding does not re-evaluate OK
        added = dialog.ComboBox1->itemData(2).toString();
        return int(QDialog::Rejected);  // the added font stays all the same
    };
    SelectRow(0);
    form->FontsTab->ChangeBtn->click();
    ASSERT_TRUE(messages.empty()) << messages[0].text.toStdString();
    EXPECT_TRUE(added.startsWith("/DejaVuSans")) << added.toStdString();
    EXPECT_EQ(form->FontsTab->FontListView->topLevelItemCount(), 2);  // added fonts get no row

    // Whichever row is selected, the list is the same three names; the
    // font the row uses is selected.
    QStringList offered;
    int selected = -1;
    form->testHooks.changeFont = [&](TChangeFontForm& dialog) {
        offered = Items(dialog.ComboBox1);
        selected = dialog.ComboBox1->currentIndex();
        return int(QDialog::Rejected);
    };
    SelectRow(1);
    form->FontsTab->ChangeBtn->click();
    EXPECT_EQ(offered, QStringList({"/F1", "/F2", added}));
    EXPECT_EQ(selected, 1);
}

TEST_F(MainFormTest, OkFollowsTheListsSelection) {
    TChangeFontForm& dialog = *form->ChangeFontForm;
    EXPECT_FALSE(dialog.OkBtn->isEnabled());  // disabled at first
    EXPECT_EQ(dialog.windowTitle(), "Schriftart wechseln");
    dialog.ComboBox1Change();
    EXPECT_FALSE(dialog.OkBtn->isEnabled());  // empty list
    dialog.ComboBox1->addItems({"/F1", "/F2"});
    dialog.ComboBox1->setCurrentIndex(-1);
    dialog.ComboBox1Change();
    EXPECT_FALSE(dialog.OkBtn->isEnabled());  // nothing selected
    dialog.ComboBox1->setCurrentIndex(1);
    dialog.ComboBox1Change();
    EXPECT_TRUE(dialog.OkBtn->isEnabled());
}

TEST_F(MainFormTest, AddingAFontWithoutATrueTypeFileShowsAnError) {
    Open("mutool-create-noinfo-v17.pdf");
    TChangeFontForm& dialog = *form->ChangeFontForm;
    dialog.fontChooserHook = [](QFont& font) {
        font = QFont("NoSuchFontFamilyAnywhere");
        return true;
    };
    const int fontsBefore = form->Document().fontList.Count();
    dialog.ComboBox1->clear();
    dialog.NewFontBtnClick();
    // fontconfig would substitute some default face; only the family asked
    // for counts.
    EXPECT_EQ(form->Document().fontList.Count(), fontsBefore);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(messages[0].caption, "PDF Glyphwell");
    EXPECT_TRUE(messages[0].text.contains("NoSuchFontFamilyAnywhere"));
    EXPECT_EQ(dialog.ComboBox1->count(), 0);
    // A cancelled chooser changes nothing.
    dialog.fontChooserHook = [](QFont&) { return false; };
    const int fontsNow = form->Document().fontList.Count();
    dialog.NewFontBtnClick();
    EXPECT_EQ(form->Document().fontList.Count(), fontsNow);
}

TEST_F(MainFormTest, ScreenFontLabelFollowsTheDialogAfterOkAndCancel) {
    form->testHooks.screenFont = [](QFont& font) {
        font = QFont("DejaVu Serif");
        return true;
    };
    form->OpenTab->ChooseFontBtn->click();
    EXPECT_EQ(form->OpenTab->FontLabel->text(), "Optimieren auf: DejaVu Serif");
    EXPECT_EQ(form->FontsTab->PageView->DisplayFont().family(), "DejaVu Serif");
    EXPECT_EQ(form->Measurer().FaceName(), "DejaVu Serif");

    // Cancel: the dialog keeps its previous font, and the label is written
    // from it again.
    form->testHooks.screenFont = [](QFont& font) {
        font = QFont("DejaVu Sans Mono");
        return false;
    };
    form->OpenTab->FontLabel->setText("");
    form->OpenTab->ChooseFontBtn->click();
    EXPECT_EQ(form->OpenTab->FontLabel->text(), "Optimieren auf: DejaVu Serif");
}

TEST_F(MainFormTest, InformationFieldsWriteBackAndNowSetsOnlyTheModification) {
    Open("gs-std14-v12.pdf");
    form->InfoTab->Edit4->clear();
    QTest::keyClicks(form->InfoTab->Edit4, "Gr");
    form->InfoTab->Edit4->insert("üße (2)");  // QTest types ASCII only
    EXPECT_EQ(form->InfoEdits().title, "Grüße (2)");

    const QDate date(2005, 3, 7);
    const QTime time(9, 5, 3);
    form->InfoTab->DateTimePicker1->setDate(date);
    form->InfoTab->DateTimePicker2->setTime(time);
    form->InfoTab->DateTimePicker3->setDate(date);
    form->InfoTab->DateTimePicker4->setTime(time);
    const TInfoEdits& edits = form->InfoEdits();
    ASSERT_TRUE(edits.creation && edits.modification);
    EXPECT_EQ(edits.creation->date.year, 2005);
    EXPECT_EQ(edits.creation->time.second, 3);
    form->InfoTab->NowBtn->click();
    EXPECT_EQ(form->InfoTab->DateTimePicker1->date(), date);
    EXPECT_EQ(form->InfoTab->DateTimePicker2->time(), time);
    EXPECT_EQ(form->InfoTab->DateTimePicker3->date(), QDate::currentDate());
    EXPECT_EQ(edits.modification->date.year, QDate::currentDate().year());
    EXPECT_EQ(edits.creation->date.month, 3);
    // The document keeps what the file says.
    EXPECT_NE(form->Document().info.title, edits.title);
}

TEST_F(MainFormTest, SaveWritesTheFileAndOpensItAgain) {
    Open("mutool-create-noinfo-v17.pdf");
    const std::string target = ScratchDir("window-save") + "/saved.pdf";
    form->SaveTab->ShowPDFCheck->setChecked(false);
    form->SaveTab->PDFVersionBox->setCurrentIndex(2);
    form->testHooks.saveFileName = [&] { return std::optional<QString>(QString::fromStdString(target)); };
    // The first font of page 1 is replaced by an installed TrueType font
    // added in the dialog.
    form->ChangeFontForm->fontChooserHook = [](QFont& font) {
        font = QFont("Liberation Sans");
        return true;
    };
    QString added;
    SelectRow(0);
    form->testHooks.changeFont = [&](TChangeFontForm& dialog) {
        dialog.NewFontBtnClick();
        added = dialog.ChosenResourceName();
        return int(QDialog::Accepted);
    };
    form->FontsTab->ChangeBtn->click();
    ASSERT_EQ(added, "/LiberationSans");
    EXPECT_EQ(form->FontsTab->FontListView->topLevelItem(0)->text(kNewFont), added);
    form->SaveTab->SaveBtn->click();
    ASSERT_TRUE(messages.empty()) << messages[0].text.toStdString();
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(target)));
    EXPECT_EQ(ReadFileText(target).substr(0, 8), "%PDF-1.4");
    // Read again at once: no replacements, and the added font is an
    // ordinary font of every page.
    EXPECT_EQ(form->FontsTab->Label6->text(), "von 2");
    for (int page = 1; page <= 2; ++page) {
        form->FontsTab->PageEd->setValue(page);
        QStringList oldNames;
        for (int row = 0; row < form->FontsTab->FontListView->topLevelItemCount(); ++row) {
            const QTreeWidgetItem* item = form->FontsTab->FontListView->topLevelItem(row);
            EXPECT_EQ(item->text(kNewFont), item->text(0));
            oldNames << item->text(0);
        }
        EXPECT_TRUE(oldNames.contains(added)) << page << " " << oldNames.join(",").toStdString();
    }
    for (const TFontRecord& font : form->Document().fontList) EXPECT_TRUE(font.replacementName.empty());
}

// What a user sees first after an open: the fonts tab with the top of the
// page drawn (not an empty sheet) and the first rows of the font table.
TEST_F(MainFormTest, AfterOpeningThePageAndTheFontTableAreInSight) {
    form->resize(1280, 800);
    form->show();
    Open("reportlab-a85-flate-annots-v14.pdf");
    QCoreApplication::processEvents();
    EXPECT_EQ(form->PageControl1->currentWidget(), form->FontsTab);
    const QImage page = form->FontsTab->ScrollBox1->viewport()->grab().toImage();
    int ink = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) ink += qGray(page.pixel(x, y)) < 100;
    EXPECT_GT(ink, 500) << "the visible part of the page is empty";

    QTreeWidget* table = form->FontsTab->FontListView;
    ASSERT_GT(table->topLevelItemCount(), 2);
    for (int row = 0; row < 3; ++row)
        EXPECT_TRUE(table->viewport()->rect().contains(table->visualItemRect(table->topLevelItem(row)))) << row;
    // Every column's caption can be read whole.
    for (int column = 0; column < table->columnCount(); ++column) {
        const QString caption = table->headerItem()->text(column);
        EXPECT_GE(table->columnWidth(column), table->fontMetrics().horizontalAdvance(caption)) << caption.toStdString();
    }
}

}  // namespace
