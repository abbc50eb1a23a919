// The window never makes a replacement that would turn text into nothing:
// "Schriftart wechseln" explains it and offers no OK, "Fehlende Schriften
// einbetten…" says so in the row and leaves those pages alone, and a save
// asks before it drops such a replacement.
#include <QCheckBox>
#include <QLabel>
#include <QTableWidget>
#include <filesystem>

#include "AddedFonts.h"
#include "ChangeFontForm.h"
#include "EmbedFontsForm.h"
#include "FontTable.h"
#include "MainFormFixture.h"

namespace {

const QString kUnknownCharacters =
    "Private kann nicht ersetzt werden: für 8 Zeichen ist nicht bekannt, welche Buchstaben sie sind.";

class ReplacementRefusalTest : public MainFormTest {
protected:
    void OpenBuilt(const std::string& name, const std::string& bytes) {
        const std::string path = ScratchDir("refusal-" + name) + "/" + name;
        WriteFileBytes(path, bytes);
        form->FormShow({QString::fromStdString(path)});
        ASSERT_TRUE(messages.empty()) << messages[0].text.toStdString();
    }
    // In the dialog: adds Liberation Sans and chooses it.
    void AddLiberationSans() {
        form->ChangeFontForm->fontChooserHook = [](QFont& font) {
            font = QFont("Liberation Sans");
            return true;
        };
    }
};

TEST_F(ReplacementRefusalTest, TheDialogRefusesAFontWhoseCharactersNoOneNames) {
    OpenBuilt("unknown.pdf", HelloWorldDocument(THelloFont::NothingSays));
    AddLiberationSans();
    QString info;
    bool ok = true;
    form->testHooks.changeFont = [&](TChangeFontForm& dialog) {
        dialog.NewFontBtnClick();
        info = dialog.ReplacementInfo->text();
        ok = dialog.OkBtn->isEnabled();
        EXPECT_TRUE(dialog.ChoiceRefused());
        EXPECT_FALSE(dialog.EmbedBox->isEnabled());
        // Picked by the user afterwards, OK stays off as well.
        dialog.ComboBox1Change();
        EXPECT_FALSE(dialog.OkBtn->isEnabled());
        return int(QDialog::Accepted);  // closed some other way all the same
    };
    SelectRow(0);
    form->FontsTab->ChangeBtn->click();
    EXPECT_EQ(info, kUnknownCharacters);
    EXPECT_FALSE(ok);
    // The window holds to it and says why.
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(messages[0].text, kUnknownCharacters);
    EXPECT_TRUE(RecordOfRow(0).replacementName.empty());
    EXPECT_FALSE(form->HasUnsavedChanges());
}

TEST_F(ReplacementRefusalTest, TheDialogReplacesAFontKnownByItsToUnicodeMap) {
    OpenBuilt("tounicode.pdf", HelloWorldDocument(THelloFont::ToUnicodeOnly));
    AddLiberationSans();
    QString info;
    form->testHooks.changeFont = [&](TChangeFontForm& dialog) {
        dialog.NewFontBtnClick();
        info = dialog.ReplacementInfo->text();
        EXPECT_FALSE(dialog.ChoiceRefused());
        EXPECT_TRUE(dialog.OkBtn->isEnabled());
        return int(QDialog::Accepted);
    };
    SelectRow(0);
    form->FontsTab->ChangeBtn->click();
    EXPECT_EQ(info, "LiberationSans enthält alle Zeichen, die auf dieser Seite mit Private gesetzt sind.");
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(RecordOfRow(0).replacementName.rfind("/LiberationSans", 0), 0u) << RecordOfRow(0).replacementName;
}

TEST_F(ReplacementRefusalTest, SimpleAndCompositeFontsAreNotOfferedForEachOther) {
    OpenBuilt("composite.pdf", SimpleAndCompositeDocument());
    struct TCase {
        int row;           // /F1 Helvetica, /F2 the composite Arial
        QString chosen;
        bool refused;
        QString text;
    } const cases[] = {
        {0, "/F2", true,
         "Helvetica kann nicht durch Arial ersetzt werden: Arial ist eine zusammengesetzte Schrift mit Zeichencodes "
         "aus mehreren Bytes, Helvetica eine einfache mit einem Byte je Zeichen."},
        {1, "/F1", true,
         "Arial kann nicht durch Helvetica ersetzt werden: Arial ist eine zusammengesetzte Schrift mit Zeichencodes "
         "aus mehreren Bytes, Helvetica eine einfache mit einem Byte je Zeichen."},
        {0, "/F1", false, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.chosen.toStdString());
        form->testHooks.changeFont = [&](TChangeFontForm& dialog) {
            dialog.ComboBox1->setCurrentIndex(dialog.ComboBox1->findData(c.chosen));
            EXPECT_EQ(dialog.ChoiceRefused(), c.refused);
            EXPECT_EQ(dialog.OkBtn->isEnabled(), !c.refused);
            if (c.refused) {
                EXPECT_EQ(dialog.ReplacementInfo->text(), c.text);
            }
            return int(QDialog::Rejected);
        };
        SelectRow(c.row);
        form->FontsTab->ChangeBtn->click();
    }
    EXPECT_TRUE(messages.empty());
}

// An installed face replaces a composite font as a composite font of its
// own: the dialog offers it and says what the face lacks.
TEST_F(ReplacementRefusalTest, AnInstalledFaceIsOfferedForACompositeFont) {
    OpenBuilt("composite.pdf", SimpleAndCompositeDocument());
    AddLiberationSans();
    QString info;
    form->testHooks.changeFont = [&](TChangeFontForm& dialog) {
        dialog.NewFontBtnClick();
        info = dialog.ReplacementInfo->text();
        EXPECT_FALSE(dialog.ChoiceRefused());
        EXPECT_TRUE(dialog.OkBtn->isEnabled());
        return int(QDialog::Accepted);
    };
    SelectRow(1);
    form->FontsTab->ChangeBtn->click();
    EXPECT_EQ(info, "LiberationSans enthält alle Zeichen, die auf dieser Seite mit Arial gesetzt sind.");
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(RecordOfRow(1).replacementName.rfind("/LiberationSans", 0), 0u) << RecordOfRow(1).replacementName;
}

TEST_F(ReplacementRefusalTest, AFontOfThePageThatDrawsOtherLettersIsNotOffered) {
    // An office subset's codes 1 to 8 under Helvetica's WinAnsiEncoding
    // would draw nothing.
    OpenBuilt("subset-beside-helvetica.pdf", HelloWorldDocument(THelloFont::TrueTypeSymbolCmap, true));
    form->testHooks.changeFont = [&](TChangeFontForm& dialog) {
        dialog.ComboBox1->setCurrentIndex(dialog.ComboBox1->findData("/F2"));
        EXPECT_TRUE(dialog.ChoiceRefused());
        EXPECT_FALSE(dialog.OkBtn->isEnabled());
        EXPECT_EQ(dialog.ReplacementInfo->text(),
                  "AAAAAA+LiberationSans kann nicht durch Helvetica ersetzt werden: Helvetica zeigt für 8 Zeichen "
                  "andere Buchstaben oder gar keine.");
        return int(QDialog::Rejected);
    };
    SelectRow(0);
    form->FontsTab->ChangeBtn->click();
    EXPECT_TRUE(RecordOfRow(0).replacementName.empty());
}

TEST_F(ReplacementRefusalTest, EmbeddingLeavesAFontWhoseCharactersNoOneNames) {
    OpenBuilt("unknown.pdf", HelloWorldDocument(THelloFont::NothingSays));
    QString characters;
    form->testHooks.embedFonts = [&](TEmbedFontsForm& dialog) {
        EXPECT_EQ(dialog.Table->rowCount(), 1);
        dialog.ChooseFamily(0, "Liberation Sans");
        characters = dialog.Table->item(0, TEmbedFontsForm::CharactersColumn)->text();
        return int(QDialog::Accepted);
    };
    form->FontsTab->EmbedFontsBtn->click();
    EXPECT_EQ(characters,
              "Private kann nicht ersetzt werden: für 8 Zeichen ist nicht bekannt, welche Buchstaben sie sind.");
    EXPECT_TRUE(RecordOfRow(0).replacementName.empty());
}

TEST_F(ReplacementRefusalTest, ASaveAsksBeforeItDropsAReplacementThatWouldLoseText) {
    OpenBuilt("unknown.pdf", HelloWorldDocument(THelloFont::NothingSays));
    // Set past the dialogs, as no command of the window does.
    TPdfDocument& doc = form->Document();
    const auto added = AddInstalledFont(doc, "Liberation Sans", false, false);
    ASSERT_TRUE(added);
    ASSERT_TRUE(SetReplacement(doc, 1, 0, *added));
    const std::string target = ScratchDir("refusal-save") + "/out.pdf";
    form->testHooks.saveFileName = [&] { return std::optional<QString>(QString::fromStdString(target)); };

    answer = QMessageBox::No;
    form->SaveBtnClick();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    EXPECT_EQ(messages[0].text, "Seite 1: " + kUnknownCharacters +
                                    "\n\nDie übrigen Änderungen ohne diese Ersetzungen speichern?");
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_FALSE(form->Document().fontList[0].replacementName.empty());

    answer = QMessageBox::Yes;
    form->SaveBtnClick();
    ASSERT_TRUE(std::filesystem::exists(target));
    const std::string fonts = ToolOutput("pdffonts " + Quoted(target));
    EXPECT_NE(fonts.find("Private"), std::string::npos) << fonts;
    EXPECT_EQ(fonts.find("LiberationSans"), std::string::npos) << fonts;
}

}  // namespace
