// "auf allen Seiten, die diese Schriftart verwenden": one replacement in the
// dialog reaches every page that uses the same font object, under the name
// each page gives it; off, the replacement stays on the shown page. The
// saved file is read back to see which font each text is drawn with.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <map>

#include "ChangeFontForm.h"
#include "ContentInterpreter.h"
#include "MainFormFixture.h"
#include "WindowParts.h"

namespace {

// Helvetica (object 10) is /F1 on pages 1 and 2 and /F9 on page 3; Courier
// (11) is /F2 on page 1 and /FC on page 3; page 2 has no Courier.
std::string SharedFonts() {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>");
    const std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] ";
    b.Object(3, page + "/Resources << /Font << /F1 10 0 R /F2 11 0 R >> >> /Contents 6 0 R >>");
    b.Object(4, page + "/Resources << /Font << /F1 10 0 R >> >> /Contents 7 0 R >>");
    b.Object(5, page + "/Resources << /Font << /F9 10 0 R /FC 11 0 R >> >> /Contents 8 0 R >>");
    b.Stream(6, "", "BT /F1 20 Tf 20 200 Td (Eins) Tj /F2 20 Tf 0 -40 Td (Kurier) Tj ET");
    b.Stream(7, "", "BT /F1 20 Tf 20 200 Td (Zwei) Tj ET");
    b.Stream(8, "", "BT /F9 20 Tf 20 200 Td (Drei) Tj /FC 20 Tf 0 -40 Td (Kurier) Tj ET");
    b.Object(10, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    b.Object(11, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding >>");
    b.Trailer("/Root 1 0 R");
    return b.WriteTo("shared-fonts.pdf");
}

// The font each text of a page is drawn with, as our reader finds it in a
// file: its name without a subset tag. (An added font that replaces a font
// object everywhere takes that object's place, so the content's names may
// stay as they were.)
std::map<std::string, std::string> FontsOfTexts(const std::string& path, int32_t page) {
    TFixedMeasurer measurer;
    THeadlessUi ui(&measurer);
    TPdfDocument doc(ui);
    doc.openfilenow(path);
    std::map<std::string, std::string> fonts;
    if (!EnsurePageItems(doc, page)) return fonts;
    for (int32_t pos : ItemsOfPage(doc, page)) {
        const TDisplayItem& item = doc.displayList[static_cast<size_t>(pos)];
        if (item.isPath || item.isImage || item.fontIndex < 0) continue;
        std::string name = doc.fontList[static_cast<size_t>(item.fontIndex)].baseFont;
        if (name.size() > 8 && name[7] == '+') name = "/" + name.substr(8);
        fonts[item.text] = name;
    }
    return fonts;
}

class ReplaceEverywhereTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        form->FormShow({QString::fromStdString(SharedFonts())});
        ASSERT_EQ(form->FontsTab->Label6->text(), "von 3");
        form->SaveTab->ShowPDFCheck->setChecked(false);
    }

    // Replaces the row of /F1 on page 1 by `choice` (a name in the list, or
    // an added face when empty), with the box as given.
    void ReplaceF1(const QString& choice, bool everywhere) {
        form->FontsTab->PageEd->setValue(1);
        SelectRow(0);
        ASSERT_EQ(form->FontsTab->FontListView->topLevelItem(0)->text(0), "/F1");
        form->ChangeFontForm->fontChooserHook = [](QFont& font) {
            font = QFont("Liberation Sans");
            return true;
        };
        form->testHooks.changeFont = [&](TChangeFontForm& dialog) {
            EXPECT_FALSE(dialog.AllPagesBox->isChecked());  // off each time
            if (choice.isEmpty()) dialog.NewFontBtnClick();
            else dialog.ComboBox1->setCurrentIndex(dialog.ComboBox1->findData(choice));
            dialog.AllPagesBox->setChecked(everywhere);
            return int(QDialog::Accepted);
        };
        form->FontsTab->ChangeBtn->click();
    }

    std::string Save() {
        const std::string target = ScratchDir("replace-everywhere-" + std::string(::testing::UnitTest::GetInstance()
                                                                                      ->current_test_info()
                                                                                      ->name())) +
                                   "/saved.pdf";
        form->testHooks.saveFileName = [target] { return std::optional<QString>(QString::fromStdString(target)); };
        form->SaveTab->SaveBtn->click();
        return target;
    }
};

TEST_F(ReplaceEverywhereTest, AnAddedFontReplacesTheFontObjectOnEveryPage) {
    ReplaceF1("", true);
    EXPECT_EQ(form->StatusPanel0->text(), "/F1 wird auf 3 Seiten durch /LiberationSans ersetzt.");
    const std::string saved = Save();
    ASSERT_TRUE(messages.empty()) << messages[0].text.toStdString();
    EXPECT_EQ(FontsOfTexts(saved, 1).at("Eins"), "/LiberationSans");
    EXPECT_EQ(FontsOfTexts(saved, 2).at("Zwei"), "/LiberationSans");
    EXPECT_EQ(FontsOfTexts(saved, 3).at("Drei"), "/LiberationSans");
    // Courier was not asked for.
    EXPECT_EQ(FontsOfTexts(saved, 3).at("Kurier"), "/Courier");
}

TEST_F(ReplaceEverywhereTest, AFontOfThePageServesThePagesThatHaveItUnderTheirOwnName) {
    ReplaceF1("/F2", true);
    EXPECT_EQ(form->StatusPanel0->text(),
              "/F1 wird auf 2 Seiten durch /F2 ersetzt. Auf 1 Seite gibt es /F2 nicht; dort bleibt /F1.");
    const std::string saved = Save();
    ASSERT_TRUE(messages.empty()) << messages[0].text.toStdString();
    EXPECT_EQ(FontsOfTexts(saved, 1).at("Eins"), "/Courier");
    EXPECT_EQ(FontsOfTexts(saved, 2).at("Zwei"), "/Helvetica");
    EXPECT_EQ(FontsOfTexts(saved, 3).at("Drei"), "/Courier");
}

TEST_F(ReplaceEverywhereTest, WithoutTheBoxOnlyTheShownPageChanges) {
    ReplaceF1("/F2", false);
    EXPECT_EQ(form->StatusPanel0->text(), "");
    const std::string saved = Save();
    EXPECT_EQ(FontsOfTexts(saved, 1).at("Eins"), "/Courier");
    EXPECT_EQ(FontsOfTexts(saved, 2).at("Zwei"), "/Helvetica");
    EXPECT_EQ(FontsOfTexts(saved, 3).at("Drei"), "/Helvetica");
}

}  // namespace
