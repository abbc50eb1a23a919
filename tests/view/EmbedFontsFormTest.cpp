// "Fehlende Schriften einbetten…" driven through the window: the rows and
// their proposals, one row changed by hand, the rules file, and the saved
// file as pdffonts and pdftotext read it.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <cstdio>

#include "EmbedFontsForm.h"
#include "FontsTab.h"
#include "MainForm.h"
#include "SaveTab.h"
#include "TestSupport.h"
#include "ViewTestApp.h"

namespace {

int RowOf(const TEmbedFontsForm& dialog, const QString& name) {
    for (int row = 0; row < dialog.Table->rowCount(); ++row)
        if (dialog.Table->item(row, TEmbedFontsForm::NameColumn)->text() == name) return row;
    return -1;
}

class EmbedFontsFormTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    void SetUp() override {
        folder = ScratchDir("embed-fonts-form");
        form = std::make_unique<TMainForm>(QString::fromStdString(folder) + "/");
        form->testHooks.message = [this](QMessageBox::Icon, const QString&, const QString& text) {
            messages << text;
            return QMessageBox::Ok;
        };
        form->FormShow({QString::fromStdString(CorpusPath("gs-std14-v12.pdf"))});
    }

    std::string folder;
    std::unique_ptr<TMainForm> form;
    QStringList messages;
};

TEST_F(EmbedFontsFormTest, ListsEachFontOnceWithItsProposal) {
    int rows = -1;
    form->testHooks.embedFonts = [&](TEmbedFontsForm& dialog) {
        rows = dialog.Table->rowCount();
        const int times = RowOf(dialog, "Times-Roman");
        EXPECT_GE(times, 0);
        if (times < 0) return int(QDialog::Rejected);
        EXPECT_EQ(dialog.Table->item(times, TEmbedFontsForm::PagesColumn)->text(), "1, 3");
        EXPECT_EQ(dialog.ChosenFamily(times), "Nimbus Roman");
        EXPECT_EQ(dialog.Table->item(times, TEmbedFontsForm::WidthsColumn)->text(), "ja");
        EXPECT_EQ(dialog.Table->item(times, TEmbedFontsForm::CharactersColumn)->text(), "ja");
        const int symbol = RowOf(dialog, "Symbol");
        EXPECT_GE(symbol, 0);
        // Symbol's URW clone has its glyphs: every font finds its face.
        if (symbol >= 0) {
            EXPECT_EQ(dialog.ChosenFamily(symbol), "Standard Symbols PS");
            EXPECT_EQ(dialog.Table->item(symbol, TEmbedFontsForm::CharactersColumn)->text(), "ja");
        }
        EXPECT_TRUE(dialog.Summary->text().isEmpty()) << dialog.Summary->text().toStdString();
        return int(QDialog::Rejected);
    };
    form->FontsTab->EmbedFontsBtn->click();
    // 12 text fonts and Symbol and ZapfDingbats, however many pages use them.
    EXPECT_EQ(rows, 14);
    for (const TFontRecord& font : form->Document().fontList) EXPECT_TRUE(font.replacementName.empty());
}

TEST_F(EmbedFontsFormTest, OkReplacesOnEveryPageAndTheSavedFileShowsTheHandPickedRow) {
    const std::string rules = folder + "/rules.txt";
    form->testHooks.embedFonts = [&](TEmbedFontsForm& dialog) {
        const int times = RowOf(dialog, "Times-Roman");
        EXPECT_GE(times, 0);
        if (times < 0) return int(QDialog::Rejected);
        QComboBox* box = qobject_cast<QComboBox*>(dialog.Table->cellWidget(times, TEmbedFontsForm::ChoiceColumn));
        box->setCurrentIndex(box->findData("DejaVu Serif"));
        // DejaVu Serif is wider than Times, but the old widths stay.
        EXPECT_EQ(dialog.Table->item(times, TEmbedFontsForm::WidthsColumn)->text(), "ja");

        // The choices go through a rules file and come back the same.
        dialog.saveRulesFileHook = [&] { return std::optional<QString>(QString::fromStdString(rules)); };
        dialog.SaveRulesBtn->click();
        const std::string saved = ReadFileText(rules);
        EXPECT_NE(saved.find("Times-Roman=DejaVu Serif\n"), std::string::npos) << saved;
        EXPECT_NE(saved.find("Courier-Bold=Nimbus Mono PS\n"), std::string::npos) << saved;
        box->setCurrentIndex(0);
        dialog.loadRulesFileHook = [&] { return std::optional<QString>(QString::fromStdString(rules)); };
        dialog.LoadRulesBtn->click();
        EXPECT_EQ(dialog.ChosenFamily(RowOf(dialog, "Times-Roman")), "DejaVu Serif");

        const std::string broken = folder + "/broken.txt";
        WriteFileBytes(broken, "Times-*=Liberation Serif\n\nArial,Fett=Liberation Sans\n");
        QString error;
        dialog.errorHook = [&](const QString& text) { error = text; };
        dialog.loadRulesFileHook = [&] { return std::optional<QString>(QString::fromStdString(broken)); };
        dialog.LoadRulesBtn->click();
        EXPECT_TRUE(error.startsWith("Zeile 3: ")) << error.toStdString();
        EXPECT_EQ(dialog.ChosenFamily(RowOf(dialog, "Times-Roman")), "DejaVu Serif");
        return int(QDialog::Accepted);
    };
    form->FontsTab->EmbedFontsBtn->click();

    // Page 1 shows only Times and Helvetica: every row of its table is replaced.
    ASSERT_EQ(form->FontsTab->FontListView->topLevelItemCount(), 8);
    for (int row = 0; row < 8; ++row) {
        const QTreeWidgetItem* item = form->FontsTab->FontListView->topLevelItem(row);
        EXPECT_NE(item->text(1), item->text(0)) << row;
    }

    const std::string target = folder + "/saved.pdf";
    form->SaveTab->ShowPDFCheck->setChecked(false);
    form->testHooks.saveFileName = [&] { return std::optional<QString>(QString::fromStdString(target)); };
    form->SaveTab->SaveBtn->click();
    ASSERT_TRUE(messages.empty()) << messages.join("\n").toStdString();
    const std::string fonts = ToolOutput("pdffonts '" + target + "'");
    EXPECT_NE(fonts.find("+DejaVuSerif "), std::string::npos) << fonts;
    EXPECT_NE(fonts.find("+NimbusRoman-Bold "), std::string::npos) << fonts;
    EXPECT_EQ(fonts.find("Times-Roman"), std::string::npos) << fonts;
    EXPECT_EQ(fonts.find("NimbusRoman-Regular "), std::string::npos) << fonts;
    EXPECT_EQ(ToolOutput("pdftotext -q '" + target + "' -"),
              ToolOutput("pdftotext -q '" + CorpusPath("gs-std14-v12.pdf") + "' -"));
}

}  // namespace
