// What a new user meets in the window: the field "Gewählte Schriftart:"
// names the shown page's font and nothing older, help opens in the program,
// dates the file lacks are not invented, the window without a document
// offers no page commands, and the small things (the title's "*", the
// dialog's preselection, the added fonts' names, the last files).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimeEdit>
#include <QToolButton>
#include <QTreeWidget>

#include "AboutBox.h"
#include "ChangeFontForm.h"
#include "FileBrowser.h"
#include "HelpWindow.h"
#include "ImageBtn.h"
#include "MainFormFixture.h"
#include "PageView.h"
#include "RecentFiles.h"
#include "WindowParts.h"

namespace {

class WindowWalkTest : public MainFormTest {
protected:
    void SetUp() override {
        QSettings().clear();
        MainFormTest::SetUp();
    }

    // The first font name the pointer finds on the shown page, scanning the
    // page from the top (or from `fromY`).
    QString HoverSomeText(int fromY = 0) {
        TPageView* view = form->FontsTab->PageView;
        QString hovered;
        for (int y = fromY; y < view->height() && hovered.isEmpty(); y += 2)
            for (int x = 0; x < view->width() && hovered.isEmpty(); x += 2) hovered = view->HoverAt(x, y);
        return hovered;
    }

    // The help window, if one is on screen.
    static QTextBrowser* ShownManual() {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible())
                if (auto* browser = window->findChild<QTextBrowser*>()) return browser;
        return nullptr;
    }
};

// Two pages that both call their font /F1: Helvetica on the first, Courier
// on the second.
std::string TwoFontsOfOneName() {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Resources << /Font << /F1 7 0 R >> >> "
                "/Contents 5 0 R >>");
    b.Object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Resources << /Font << /F1 8 0 R >> >> "
                "/Contents 6 0 R >>");
    b.Stream(5, "", "BT /F1 40 Tf 20 200 Td (Eins) Tj ET");
    b.Stream(6, "", "BT /F1 40 Tf 20 200 Td (Zwei) Tj ET");
    b.Object(7, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    b.Object(8, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding >>");
    b.Trailer("/Root 1 0 R");
    return b.WriteTo("two-fonts-of-one-name.pdf");
}

TEST_F(WindowWalkTest, TheChosenFontIsThatOfTheShownPageAndGoesWithThePageOrTheFile) {
    form->resize(900, 800);
    form->show();
    form->FormShow({QString::fromStdString(TwoFontsOfOneName())});
    QCoreApplication::processEvents();
    QLineEdit* field = form->FontsTab->FontNameEd;
    ASSERT_EQ(HoverSomeText(), "/F1");
    EXPECT_EQ(field->text(), "/F1 (Helvetica)");

    // Another page: what the pointer named was on the page before.
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->FontsTab->PageView->setFocus();
    QTest::keyClick(form->FontsTab->PageView, Qt::Key_PageDown);
    ASSERT_EQ(form->FontsTab->PageEd->value(), 2);
    EXPECT_EQ(field->text(), "");
    ASSERT_EQ(HoverSomeText(), "/F1");
    EXPECT_EQ(field->text(), "/F1 (Courier)");

    // Another file: nothing of the last one stays, before the pointer has
    // moved over the new page.
    Open("pdftex-gri-285p-converted.pdf");
    EXPECT_EQ(form->FontsTab->FontNameEd->text(), "");
    EXPECT_EQ(form->FontsTab->FontNameEd->toolTip(), "");
}

TEST_F(WindowWalkTest, F1OpensTheManualInTheProgramFromEveryTab) {
    Open("gs-std14-v12.pdf");
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    int lastPlace = -1;
    for (int tab = 0; tab < form->PageControl1->count(); ++tab) {
        SCOPED_TRACE(tab);
        if (QTextBrowser* open = ShownManual()) open->window()->close();
        form->PageControl1->setCurrentIndex(tab);
        QWidget* page = form->PageControl1->currentWidget();
        // F1 wherever the focus is on the tab: a field, a list, a button.
        QWidget* focus = page->findChild<QLineEdit*>();
        if (!focus || !focus->isEnabled()) focus = page->findChild<QAbstractButton*>();
        ASSERT_NE(focus, nullptr);
        focus->setFocus();
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form.get(), Qt::Key_F1);
        QTextBrowser* manual = ShownManual();
        ASSERT_NE(manual, nullptr);
        EXPECT_TRUE(manual->toPlainText().startsWith("PDF Glyphwell – Handbuch")) << manual->toPlainText().left(80).toStdString();
        // Opened at the section of the tab: the manual describes the tabs
        // in their order.
        EXPECT_GT(manual->verticalScrollBar()->value(), lastPlace);
        lastPlace = manual->verticalScrollBar()->value();
    }
    // The link in the bottom bar opens it as well, at its top.
    ShownManual()->window()->close();
    form->WwwBtn->click();
    ASSERT_NE(ShownManual(), nullptr);
    EXPECT_EQ(ShownManual()->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowWalkTest, TheAboutBoxLeadsToTheManualAndTheInstalledManualIsPreferred) {
    TAboutBox box;
    box.BitBtnXP1->click();
    EXPECT_EQ(box.result(), QDialog::Accepted);
    EXPECT_TRUE(box.HelpWanted());

    // Installed as PREFIX/bin/glyphwell and PREFIX/share/glyphwell/handbuch.html.
    const QString prefix = QString::fromStdString(ScratchDir("help-prefix"));
    QDir().mkpath(prefix + "/bin");
    QDir().mkpath(prefix + "/share/glyphwell");
    WriteFileBytes((prefix + "/share/glyphwell/handbuch.html").toStdString(),
                   "<html><body><h1>Installiertes Handbuch</h1></body></html>");
    EXPECT_EQ(THelpWindow::ManualSource(prefix + "/bin/"), QFileInfo(prefix + "/share/glyphwell/handbuch.html").absoluteFilePath());
    THelpWindow installed(prefix + "/bin/");
    EXPECT_EQ(installed.Browser->toPlainText().trimmed(), "Installiertes Handbuch");
    // Without one (a build tree) the copy in the program serves.
    THelpWindow builtIn(programDir);
    EXPECT_TRUE(builtIn.Browser->toPlainText().contains("Eine Schriftart ersetzen"));
}

TEST_F(WindowWalkTest, ASavedFileThatNoViewerCanShowIsSaidInTheStatusLine) {
    Open("mutool-create-noinfo-v17.pdf");
    const std::string target = ScratchDir("walk-viewer") + "/saved.pdf";
    form->testHooks.saveFileName = [&] { return std::optional<QString>(QString::fromStdString(target)); };
    QStringList shown;
    form->testHooks.openFile = [&](const QString& path) {
        shown << path;
        return false;
    };
    ASSERT_TRUE(form->SaveTab->ShowPDFCheck->isChecked());
    form->SaveTab->SaveBtn->click();
    EXPECT_EQ(shown, QStringList{QString::fromStdString(target)});
    EXPECT_TRUE(form->StatusPanel0->text().contains("kann nicht angezeigt werden")) << form->StatusPanel0->text().toStdString();
    EXPECT_TRUE(messages.empty());

    // A viewer that starts: nothing to say.
    form->testHooks.openFile = [](const QString&) { return true; };
    form->SaveTab->SaveBtn->click();
    EXPECT_EQ(form->StatusPanel0->text(), "");
}

TEST_F(WindowWalkTest, DatesTheFileLacksShowAsNotSetAndAreNotWritten) {
    // No information dictionary at all.
    Open("mutool-create-noinfo-v17.pdf");
    for (QDateEdit* date : {static_cast<QDateEdit*>(form->InfoTab->DateTimePicker1),
                            static_cast<QDateEdit*>(form->InfoTab->DateTimePicker3)})
        EXPECT_EQ(date->text(), "nicht gesetzt");
    EXPECT_FALSE(form->InfoTab->DateTimePicker2->isEnabled());
    EXPECT_FALSE(form->HasUnsavedChanges());

    // A creation date and no modification date; a date that cannot be read.
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
    b.Object(4, "<< /Title (Datum) /CreationDate (D:20050307090503Z) /ModDate (D:2005) >>");
    b.Trailer("/Root 1 0 R /Info 4 0 R");
    form->FormShow({QString::fromStdString(b.WriteTo("dates.pdf"))});
    EXPECT_EQ(form->InfoTab->DateTimePicker1->date(), QDate(2005, 3, 7));
    EXPECT_EQ(form->InfoTab->DateTimePicker2->time(), QTime(9, 5, 3));
    EXPECT_EQ(form->InfoTab->DateTimePicker3->text(), "nicht gesetzt");
    EXPECT_TRUE(form->InfoTab->DateTimePicker3->toolTip().contains("(D:2005)"));

    // The first touch of a date that is not set starts it at today.
    form->show();
    form->PageControl1->setCurrentIndex(2);
    QTest::keyClick(form->InfoTab->DateTimePicker3, Qt::Key_Up);
    EXPECT_EQ(form->InfoTab->DateTimePicker3->date(), QDate::currentDate());
    EXPECT_TRUE(form->InfoTab->DateTimePicker4->isEnabled());
    EXPECT_TRUE(form->HasUnsavedChanges());

    // Saved: the untouched dates are kept as the file had them.
    const std::string target = ScratchDir("walk-dates") + "/saved.pdf";
    form->SaveTab->ShowPDFCheck->setChecked(false);
    form->testHooks.saveFileName = [&] { return std::optional<QString>(QString::fromStdString(target)); };
    form->InfoTab->DateTimePicker3->SetUnset();
    form->SaveTab->SaveBtn->click();
    const std::string bytes = ReadFileText(target);
    EXPECT_NE(bytes.find("/CreationDate (D:20050307090503Z)"), std::string::npos);
    EXPECT_EQ(bytes.find("/ModDate (D:2005)"), std::string::npos) << "the time of saving replaces it";
    EXPECT_NE(bytes.find("/ModDate (D:"), std::string::npos);
}

TEST_F(WindowWalkTest, WithoutADocumentThePageCommandsRestAndTheBrowserStartsWhereTheUserLeftOff) {
    const QWidget* commands[] = {form->FontsTab->PageEd,     form->FontsTab->ZoomEd,     form->FontsTab->PointerBtn,
                                 form->FontsTab->LupeBtn,    form->FontsTab->HandBtn,    form->FontsTab->PreviewBtn,
                                 form->FontsTab->DiffBtn,    form->FontsTab->ChangeBtn,  form->FontsTab->OldFontBtn,
                                 form->FontsTab->EmbedFontsBtn, form->InfoTab->Edit4};
    for (const QWidget* command : commands) EXPECT_FALSE(command->isEnabled()) << command->metaObject()->className();
    // The page area says how to get a page instead of showing an empty one.
    EXPECT_EQ(form->FontsTab->PageStack->currentWidget(), static_cast<QWidget*>(form->FontsTab->NoDocumentNote));
    // A first start shows the home folder, not the program's.
    EXPECT_EQ(QDir(form->OpenTab->FileBrowser->CurrentFolder()), QDir::home());

    const QString folder = QString::fromStdString(ScratchDir("walk-last-folder"));
    form->OpenTab->FileBrowser->SetFolder(folder);
    TMainForm again(programDir);
    EXPECT_EQ(QDir(again.OpenTab->FileBrowser->CurrentFolder()), QDir(folder));
    // A folder that has gone: home again.
    QDir(folder).removeRecursively();
    TMainForm later(programDir);
    EXPECT_EQ(QDir(later.OpenTab->FileBrowser->CurrentFolder()), QDir::home());

    Open("gs-std14-v12.pdf");
    for (const QWidget* command : commands) {
        if (command != form->FontsTab->DiffBtn) {
            EXPECT_TRUE(command->isEnabled()) << command->metaObject()->className();
        }
    }
    EXPECT_EQ(form->FontsTab->PageStack->currentWidget(), static_cast<QWidget*>(form->FontsTab->ScrollBox1));
}

TEST_F(WindowWalkTest, TakingBackTheOnlyChangeTakesBackTheStar) {
    Open("mutool-create-noinfo-v17.pdf");
    const QString other = form->FontsTab->FontListView->topLevelItem(1)->text(0);
    SelectRow(0);
    form->testHooks.changeFont = [&](TChangeFontForm& dialog) {
        dialog.ComboBox1->setCurrentIndex(dialog.ComboBox1->findData(other));
        return int(QDialog::Accepted);
    };
    form->FontsTab->ChangeBtn->click();
    EXPECT_TRUE(form->windowTitle().startsWith("mutool-create-noinfo-v17.pdf*"));
    SelectRow(0);
    form->FontsTab->OldFontBtn->click();
    EXPECT_TRUE(form->windowTitle().startsWith("mutool-create-noinfo-v17.pdf –")) << form->windowTitle().toStdString();
    EXPECT_FALSE(form->HasUnsavedChanges());

    // A text typed and deleted again is no change either.
    form->InfoTab->Edit4->setText("Entwurf");
    EXPECT_TRUE(form->HasUnsavedChanges());
    form->InfoTab->Edit4->clear();
    EXPECT_FALSE(form->HasUnsavedChanges());
}

TEST_F(WindowWalkTest, TheDialogOffersTheFontTheRowUsesAndAddedFontsAreNumbered) {
    Open("mutool-create-noinfo-v17.pdf");
    QString preselected;
    form->testHooks.changeFont = [&](TChangeFontForm& dialog) {
        preselected = dialog.ChosenResourceName();
        return int(QDialog::Rejected);
    };
    for (int row : {1, 0}) {
        SelectRow(row);
        form->FontsTab->ChangeBtn->click();
        EXPECT_EQ(preselected, form->FontsTab->FontListView->topLevelItem(row)->text(0));
    }

    // The same family twice: its name, then the name and a count.
    form->ChangeFontForm->fontChooserHook = [](QFont& font) {
        font = QFont("Liberation Mono");
        return true;
    };
    QStringList added;
    form->testHooks.changeFont = [&](TChangeFontForm& dialog) {
        dialog.NewFontBtnClick();
        added << dialog.ChosenResourceName();
        dialog.NewFontBtnClick();
        added << dialog.ChosenResourceName();
        return int(QDialog::Accepted);
    };
    SelectRow(0);
    form->FontsTab->ChangeBtn->click();
    EXPECT_EQ(added, QStringList({"/LiberationMono", "/LiberationMono_2"}));
    // The row replaced keeps showing its replacement as the preselection.
    form->testHooks.changeFont = [&](TChangeFontForm& dialog) {
        preselected = dialog.ChosenResourceName();
        return int(QDialog::Rejected);
    };
    SelectRow(0);
    form->FontsTab->ChangeBtn->click();
    EXPECT_EQ(preselected, "/LiberationMono_2");
}

TEST_F(WindowWalkTest, TheLastFilesListOnlyFilesThatAreThereWithTheNewestInSight) {
    const QString folder = QString::fromStdString(ScratchDir("walk-recent"));
    QStringList files;
    for (int i = 0; i < TRecentFiles::kMaxFiles; ++i) {
        files << folder + QString("/datei-%1.pdf").arg(i);
        WriteFileBytes(files.last().toStdString(), "%PDF-1.4\n");
        form->OpenTab->RecentFiles->Add(files.last());
    }
    // A small list, scrolled down to its oldest entry, gets a new file.
    form->show();
    form->PageControl1->setCurrentIndex(0);
    TRecentFiles* recent = form->OpenTab->RecentFiles;
    recent->scrollToBottom();
    recent->setCurrentRow(recent->count() - 1);
    const QString newest = QString::fromStdString(CorpusPath("gs-std14-v12.pdf"));
    ASSERT_TRUE(form->openfilenow(newest));
    form->PageControl1->setCurrentIndex(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(recent->Files().value(0), QFileInfo(newest).absoluteFilePath());
    EXPECT_TRUE(recent->viewport()->rect().contains(recent->visualItemRect(recent->item(0))));

    // Files deleted meanwhile are not offered, now or at the next start.
    QFile::remove(files[9]);
    QFile::remove(files[5]);
    form->PageControl1->setCurrentIndex(1);
    form->PageControl1->setCurrentIndex(0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(recent->Files().contains(files[9]));
    EXPECT_FALSE(recent->Files().contains(files[5]));
    QFile::remove(files[7]);
    TMainForm again(programDir);
    EXPECT_FALSE(again.OpenTab->RecentFiles->Files().contains(files[7]));
    EXPECT_EQ(again.OpenTab->RecentFiles->Files().size(), TRecentFiles::kMaxFiles - 3);
}

}  // namespace
