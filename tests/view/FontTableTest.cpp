// The font table names each font as pdffonts does, the pointer tool finds
// the font's row, and the replacement dialog uses the same names.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTreeWidget>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>

#include "ChangeFontForm.h"
#include "MainFormFixture.h"
#include "PageView.h"

namespace {

using TFontRow = std::tuple<std::string, std::string, std::string>;  // name, type, embedded

std::string Trimmed(const std::string& s) {
    const size_t end = s.find_last_not_of(' ');
    return end == std::string::npos ? "" : s.substr(0, end + 1);
}

// pdffonts' table of one page: fixed columns.
std::multiset<TFontRow> PdfFontsOfPage(const std::string& path, int page) {
    std::multiset<TFontRow> rows;
    const std::string command =
        "pdffonts -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" + path + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return rows;
    char line[512];
    int lineNo = 0;
    while (fgets(line, sizeof line, pipe)) {
        const std::string text(line);
        if (++lineNo <= 2 || text.size() < 76) continue;
        std::string name = Trimmed(text.substr(0, 37));
        if (name == "[none]") name.clear();
        if (name.size() > 7 && name[6] == '+') name = name.substr(7);
        rows.insert({name, Trimmed(text.substr(37, 18)), Trimmed(text.substr(72, 4)) == "yes" ? "ja" : "nein"});
    }
    pclose(pipe);
    return rows;
}

class FontTableTest : public MainFormTest {};

TEST_F(FontTableTest, RowsNameTypeAndEmbeddingAsPdffontsDoes) {
    for (const char* file : {"cairo-truetype-flate-images-v14.pdf", "gs-std14-v12.pdf", "gs-type3-v13.pdf"}) {
        SCOPED_TRACE(file);
        Open(file);
        std::multiset<TFontRow> table;
        for (int row = 0; row < form->FontsTab->FontListView->topLevelItemCount(); ++row) {
            const QTreeWidgetItem* item = form->FontsTab->FontListView->topLevelItem(row);
            table.insert({item->text(1).toStdString(), item->text(2).toStdString(), item->text(3).toStdString()});
            EXPECT_FALSE(item->text(4).isEmpty());  // some encoding is always named
        }
        const std::multiset<TFontRow> expected = PdfFontsOfPage(CorpusPath(file), 1);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(table, expected);
    }
}

TEST_F(FontTableTest, EncodingsAreNamedFromTheFontDictionary) {
    Open("gs-std14-v12.pdf");
    std::set<std::string> encodings;
    for (int row = 0; row < form->FontsTab->FontListView->topLevelItemCount(); ++row)
        encodings.insert(form->FontsTab->FontListView->topLevelItem(row)->text(4).toStdString());
    // Fonts without /Encoding use their own; two have a dictionary with
    // /Differences.
    EXPECT_TRUE(encodings.count("eingebaut")) << *encodings.begin();
    EXPECT_TRUE(std::any_of(encodings.begin(), encodings.end(),
                            [](const std::string& e) { return e.find("Differences") != std::string::npos; }));
}

TEST_F(FontTableTest, AnEncodingDictionaryWrittenInTheFontIsNamedLikeAReferencedOne) {
    Open("reportlab-a85-flate-annots-v14.pdf");
    QString encoding;
    for (int row = 0; row < form->FontsTab->FontListView->topLevelItemCount(); ++row)
        if (form->FontsTab->FontListView->topLevelItem(row)->text(0) == "/F8")
            encoding = form->FontsTab->FontListView->topLevelItem(row)->text(4);
    EXPECT_EQ(encoding, "WinAnsiEncoding + Differences");
}

TEST_F(FontTableTest, HoveringOverTextSelectsItsRowAndNamesTheFont) {
    Open("gs-std14-v12.pdf");
    form->show();
    QCoreApplication::processEvents();
    form->FontsTab->FontListView->clearSelection();
    QString hovered;
    const QSize size = form->FontsTab->PageView->size();
    for (int y = 0; y < size.height() && hovered.isEmpty(); y += 2)
        for (int x = 0; x < size.width() && hovered.isEmpty(); x += 2) hovered = form->FontsTab->PageView->HoverAt(x, y);
    ASSERT_FALSE(hovered.isEmpty());
    const QList<QTreeWidgetItem*> selected = form->FontsTab->FontListView->selectedItems();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected[0]->text(0), hovered);
    EXPECT_EQ(form->FontsTab->FontNameEd->text(), hovered + " (" + selected[0]->text(1) + ")");
}

// A form may give a name the page uses to another font: the pointer finds
// the row of the font that drew the text, not the first row of that name.
TEST_F(FontTableTest, HoveringOverAFormsTextSelectsTheFormsFontEvenUnderThePagesName) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 400] /Resources << /Font << /F1 5 0 R >> "
                "/XObject << /Fm 6 0 R >> >> /Contents 4 0 R >>");
    b.Stream(4, "", "BT /F1 40 Tf 20 330 Td (Page) Tj ET /Fm Do");
    b.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    b.Stream(6, "/Type /XObject /Subtype /Form /BBox [0 0 400 400] /Resources << /Font << /F1 7 0 R >> >>",
             "BT /F1 40 Tf 20 40 Td (Form) Tj ET");
    b.Object(7, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding >>");
    b.Trailer("/Root 1 0 R");
    form->FormShow({QString::fromStdString(b.WriteTo("form-reuses-a-page-name.pdf"))});
    form->show();
    QCoreApplication::processEvents();
    TPageView* view = form->FontsTab->PageView;
    // The lower quarter of the page holds only the form's text.
    QString hovered;
    for (int y = view->height() * 3 / 4; y < view->height() && hovered.isEmpty(); y += 2)
        for (int x = 0; x < view->width() && hovered.isEmpty(); x += 2) hovered = view->HoverAt(x, y);
    ASSERT_EQ(hovered, QStringLiteral("/F1"));
    const QList<QTreeWidgetItem*> selected = form->FontsTab->FontListView->selectedItems();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected[0]->text(1), QStringLiteral("Courier"));
}

// The replacement dialog offers the page's fonts under the names the table
// gives them, and replacing by such an entry still uses its resource name.
TEST_F(FontTableTest, TheReplacementListNamesTheFontsAsTheTableDoes) {
    Open("gs-std14-v12.pdf");
    std::map<QString, QString> tableNames;  // resource name -> font name
    for (int row = 0; row < form->FontsTab->FontListView->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = form->FontsTab->FontListView->topLevelItem(row);
        tableNames[item->text(0)] = item->text(1);
    }
    QStringList captions, resNames;
    form->testHooks.changeFont = [&](TChangeFontForm& dialog) {
        for (int i = 0; i < dialog.ComboBox1->count(); ++i) captions << dialog.ComboBox1->itemText(i);
        resNames = Items(dialog.ComboBox1);
        // The Times-Roman entry is chosen by its caption, as a user reads it.
        dialog.ComboBox1->setCurrentIndex(dialog.ComboBox1->findText("Times-Roman", Qt::MatchContains));
        return int(QDialog::Accepted);
    };
    SelectRow(0);
    form->FontsTab->ChangeBtn->click();
    ASSERT_EQ(captions.size(), static_cast<qsizetype>(tableNames.size()));
    for (qsizetype i = 0; i < captions.size(); ++i) {
        ASSERT_TRUE(tableNames.count(resNames[i])) << resNames[i].toStdString();
        EXPECT_EQ(captions[i], resNames[i] + " (" + tableNames[resNames[i]] + ")");
    }
    const qsizetype times = captions.indexOf(QRegularExpression(".*\\(Times-Roman\\)"));
    ASSERT_GE(times, 0) << captions.join(", ").toStdString();
    const QString timesRes = resNames[times];
    EXPECT_EQ(form->FontsTab->FontListView->topLevelItem(0)->text(kNewFont), timesRes);
    EXPECT_EQ(RecordOfRow(0).replacementName, timesRes.toStdString());
}

}  // namespace
