// The window keeps the user's files safe: only a completely read document
// can be saved, a refused or cancelled open leaves the shown document as it
// was, and the question about unsaved changes comes exactly when there are
// such changes.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "ChangeFontForm.h"
#include "MainFormFixture.h"
#include "OpenOutcome.h"
#include "OpenPDFForm.h"

namespace {

class WindowSafetyTest : public MainFormTest {
protected:
    // Presses Ctrl+S and the button; counts how often the window asked
    // for a file name.
    int TrySaving(const std::string& target) {
        int asked = 0;
        form->testHooks.saveFileName = [&] {
            ++asked;
            return std::optional<QString>(QString::fromStdString(target));
        };
        form->SaveTab->SaveBtn->click();
        form->SaveBtnClick();  // what the keyboard shortcut does
        form->testHooks.saveFileName = nullptr;
        return asked;
    }

    // Cancels an open while its first page is read.
    void CancelWhileReading() { CancelWhileOn("Lese Seite 1..."); }

    std::string Target() const { return ScratchDir("safety-" + std::string(::testing::UnitTest::GetInstance()
                                                                               ->current_test_info()
                                                                               ->name())) +
                                        "/out.pdf"; }
};

TEST_F(WindowSafetyTest, NothingCanBeSavedWithoutACompletelyReadDocument) {
    const std::string textFile = ScratchDir("safety-text") + "/notes.pdf";
    WriteFileBytes(textFile, "Dies ist nur Text.\n");
    struct TCase {
        const char* what;
        std::string path;
    };
    const TCase cases[] = {
        {"encrypted", CorpusPath("encrypted-rc4-128.pdf")},
        {"missing", ScratchDir("safety-missing") + "/missing.pdf"},
        {"not a PDF", textFile},
    };
    // At the start nothing is open.
    EXPECT_FALSE(form->SaveTab->SaveBtn->isEnabled());
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        EXPECT_FALSE(form->openfilenow(QString::fromStdString(c.path)));
        EXPECT_FALSE(messages.empty());  // the reader said why
        EXPECT_EQ(form->FontsTab->Label6->text(), "von 0");
        EXPECT_FALSE(form->SaveTab->SaveBtn->isEnabled());
        EXPECT_TRUE(form->StatusPanel0->text().contains("nicht geöffnet")) << form->StatusPanel0->text().toStdString();
        const std::string target = Target();
        EXPECT_EQ(TrySaving(target), 0);
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(target)));
    }
}

TEST_F(WindowSafetyTest, ACancelledOpenLeavesNoHalfDocumentAndNothingToSave) {
    CancelWhileReading();
    EXPECT_FALSE(form->openfilenow(QString::fromStdString(CorpusPath("gs-std14-v12.pdf"))));
    EXPECT_TRUE(form->StatusPanel0->text().contains("abgebrochen")) << form->StatusPanel0->text().toStdString();
    EXPECT_EQ(form->FontsTab->Label6->text(), "von 0");
    EXPECT_EQ(form->Document().pageList.Count(), 0);
    EXPECT_FALSE(form->SaveTab->SaveBtn->isEnabled());
    const std::string target = Target();
    EXPECT_EQ(TrySaving(target), 0);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(target)));
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowSafetyTest, ARefusedOrCancelledOpenKeepsThePreviousDocumentAndItsChanges) {
    Open("mutool-create-noinfo-v17.pdf");
    ASSERT_EQ(form->FontsTab->Label6->text(), "von 2");
    form->InfoTab->Edit4->setText("Mein Titel");
    ASSERT_TRUE(form->HasUnsavedChanges());
    const QString title = form->windowTitle();

    // Asked first (there are changes), then the file is refused.
    EXPECT_FALSE(form->openfilenow(QString::fromStdString(CorpusPath("encrypted-rc4-128.pdf"))));
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[0].caption, "PDF-Datei öffnen");
    // A cancelled open of a readable file.
    CancelWhileReading();
    EXPECT_FALSE(form->openfilenow(QString::fromStdString(CorpusPath("gs-std14-v12.pdf"))));
    form->testHooks.readerStep = nullptr;

    EXPECT_EQ(form->FontsTab->Label6->text(), "von 2");
    EXPECT_EQ(form->Document().pageList.Count(), 2);
    EXPECT_EQ(form->Document().pageList[1].hasContent, 1);
    EXPECT_EQ(form->InfoTab->Edit4->text(), "Mein Titel");
    EXPECT_TRUE(form->HasUnsavedChanges());
    EXPECT_EQ(form->windowTitle(), title);
    EXPECT_TRUE(form->SaveTab->SaveBtn->isEnabled());
}

TEST_F(WindowSafetyTest, TheTitleNamesTheFileAndMarksUnsavedChanges) {
    EXPECT_EQ(form->windowTitle(), "Vostrel PDF Glyphwell 1.0");
    Open("gs-std14-v12.pdf");
    EXPECT_EQ(form->windowTitle(), "gs-std14-v12.pdf – Vostrel PDF Glyphwell 1.0");
    // Typing into a field is a change; filling the fields on open is not.
    form->InfoTab->Edit3->setFocus();
    QTest::keyClicks(form->InfoTab->Edit3, "Anna");
    EXPECT_EQ(form->windowTitle(), "gs-std14-v12.pdf* – Vostrel PDF Glyphwell 1.0");

    const std::string target = Target();
    form->SaveTab->ShowPDFCheck->setChecked(false);
    form->testHooks.saveFileName = [&] { return std::optional<QString>(QString::fromStdString(target)); };
    form->SaveTab->SaveBtn->click();
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(target)));
    EXPECT_EQ(form->windowTitle(), "out.pdf – Vostrel PDF Glyphwell 1.0");
    EXPECT_EQ(form->InfoTab->Edit3->text(), "Anna");
    EXPECT_FALSE(form->HasUnsavedChanges());
    // Right after saving there is nothing to lose: closing does not ask.
    messages.clear();
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(messages.empty());
}

// A save that cannot write says so once, writes nothing and keeps the
// changes for another try.
TEST_F(WindowSafetyTest, AFailedSaveSaysSoOnceAndKeepsTheChanges) {
    Open("gs-std14-v12.pdf");
    form->InfoTab->Edit4->setText("Entwurf");
    const std::string target = ScratchDir("safety-failed-save") + "/kein-ordner/out.pdf";
    messages.clear();
    EXPECT_EQ(TrySaving(target), 2);
    ASSERT_EQ(messages.size(), 2u);  // one for each of the two attempts
    EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(messages[0].text.contains("out.pdf")) << messages[0].text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(target)));
    EXPECT_TRUE(form->HasUnsavedChanges());
    EXPECT_EQ(form->DocumentPath().toStdString(), CorpusPath("gs-std14-v12.pdf"));
}

// Which user actions make a change that the window must ask about.
TEST_F(WindowSafetyTest, TheUnsavedChangesQuestionComesExactlyWhenThereAreChanges) {
    struct TCase {
        const char* what;
        std::function<void()> act;
        bool changes;
    };
    const TCase cases[] = {
        {"nothing", [] {}, false},
        {"page and zoom", [this] {
             form->FontsTab->PageEd->setValue(2);
             form->FontsTab->ZoomEd->setValue(80);
         }, false},
        {"keep without replacement", [this] {
             SelectRow(0);
             form->FontsTab->OldFontBtn->click();
         }, false},
        {"title typed", [this] { QTest::keyClicks(form->InfoTab->Edit4, "x"); }, true},
        {"creation date", [this] { form->InfoTab->DateTimePicker1->setDate(QDate(2001, 2, 3)); }, true},
        {"replacement", [this] {
             SelectRow(0);
             form->testHooks.changeFont = [](TChangeFontForm& dialog) {
                 dialog.ComboBox1->setCurrentIndex(1);
                 return int(QDialog::Accepted);
             };
             form->FontsTab->ChangeBtn->click();
         }, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        form = std::make_unique<TMainForm>(programDir);
        // A password dialog would wait for a user: the tests type a wrong
        // password, so that an encrypted file ends as without one.
        form->testHooks.password = [](const QString&, int) -> std::optional<QString> { return QString("falsch"); };
        form->testHooks.message = [this](QMessageBox::Icon icon, const QString& caption, const QString& text) {
            messages.push_back({icon, caption, text});
            return answer;
        };
        Open("mutool-create-noinfo-v17.pdf");
        form->show();
        messages.clear();
        c.act();
        EXPECT_EQ(form->HasUnsavedChanges(), c.changes);

        // Opening another file: asked only with changes; Cancel keeps all.
        answer = QMessageBox::Cancel;
        const bool opened = form->openfilenow(QString::fromStdString(CorpusPath("gs-std14-v12.pdf")));
        EXPECT_EQ(opened, !c.changes);
        EXPECT_EQ(messages.size(), c.changes ? 1u : 0u);
        EXPECT_EQ(form->FontsTab->Label6->text(), c.changes ? "von 2" : "von 3");

        // Closing: the same.
        messages.clear();
        EXPECT_EQ(form->close(), !c.changes);
        ASSERT_EQ(messages.size(), c.changes ? 1u : 0u);
        if (c.changes) {
            EXPECT_EQ(messages[0].caption, "Programm beenden");
            answer = QMessageBox::Ok;
            EXPECT_TRUE(form->close());
        }
        answer = QMessageBox::Ok;
    }
}

}  // namespace
