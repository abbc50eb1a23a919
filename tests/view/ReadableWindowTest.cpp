// Every text the window writes can be read whole, at 1280×800 and at a
// 1600×1000 screen scaled twice (800×500): by the layout, by "…" and a
// tooltip, or by wrapping. The row of fields above the page wraps instead
// of overlapping; the preview is as sharp as the screen and answers the
// magnifier; the embed dialog does or says every choice.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "ChangeFontForm.h"
#include "EmbedFontsForm.h"
#include "FlowLayout.h"
#include "MainFormFixture.h"
#include "PageView.h"
#include "PreviewPane.h"
#include "WindowParts.h"

namespace {

// Room a button's frame and padding take besides its text.
constexpr int kButtonPadding = 8;

// Texts of `root`'s visible widgets that are cut: a one-line label or a
// button narrower than its text, without "…" and a tooltip that says it
// all; a table cell or header narrower than its text without such a tooltip.
QStringList CutTexts(QWidget* root) {
    QStringList cut;
    for (QLabel* label : root->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(root) || label->text().isEmpty() || label->wordWrap() || label->text().contains('<'))
            continue;
        if (auto* elided = dynamic_cast<TElidedLabel*>(label)) {
            if (elided->IsElided() && elided->toolTip() != elided->text()) cut << elided->text();
            continue;
        }
        const int needed = label->fontMetrics().horizontalAdvance(label->text().section('\n', 0, 0));
        if (label->contentsRect().width() < needed) cut << label->text();
    }
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(root) || button->text().isEmpty()) continue;
        if (qobject_cast<QTabWidget*>(button->parentWidget())) continue;
        QString text = button->text();
        text.remove('&');
        int needed = button->fontMetrics().horizontalAdvance(text) + kButtonPadding;
        if (qobject_cast<QCheckBox*>(button)) needed += button->style()->pixelMetric(QStyle::PM_IndicatorWidth);
        if (button->width() < needed) cut << text;
    }
    for (QAbstractSpinBox* field : root->findChildren<QAbstractSpinBox*>()) {
        if (!field->isVisibleTo(root)) continue;
        // The buttons beside the text take about a line's height.
        const int needed = field->fontMetrics().horizontalAdvance(field->text()) + field->fontMetrics().height() +
                           kButtonPadding;
        if (field->width() < needed) cut << field->text();
    }
    for (QComboBox* box : root->findChildren<QComboBox*>()) {
        if (!box->isVisibleTo(root) || box->currentText().isEmpty() || box->toolTip() == box->currentText()) continue;
        // The arrow beside the text takes about a line's height.
        const int needed = box->fontMetrics().horizontalAdvance(box->currentText()) + box->fontMetrics().height() +
                           kButtonPadding;
        if (box->width() < needed) cut << box->currentText();
    }
    for (QTreeWidget* tree : root->findChildren<QTreeWidget*>()) {
        if (!tree->isVisibleTo(root)) continue;
        for (int column = 0; column < tree->columnCount(); ++column) {
            const int width = tree->columnWidth(column);
            const QString caption = tree->headerItem()->text(column);
            if (width < tree->header()->fontMetrics().horizontalAdvance(caption) + kButtonPadding) cut << caption;
            for (int row = 0; row < tree->topLevelItemCount(); ++row) {
                const QTreeWidgetItem* item = tree->topLevelItem(row);
                if (width < tree->fontMetrics().horizontalAdvance(item->text(column)) + kButtonPadding &&
                    item->toolTip(column) != item->text(column))
                    cut << item->text(column);
            }
        }
    }
    for (QTableWidget* table : root->findChildren<QTableWidget*>()) {
        if (!table->isVisibleTo(root)) continue;
        for (int column = 0; column < table->columnCount(); ++column) {
            const int width = table->columnWidth(column);
            const QTableWidgetItem* header = table->horizontalHeaderItem(column);
            if (width < table->horizontalHeader()->fontMetrics().horizontalAdvance(header->text()) + kButtonPadding &&
                header->toolTip() != header->text())
                cut << header->text();
            for (int row = 0; row < table->rowCount(); ++row) {
                const QTableWidgetItem* item = table->item(row, column);
                if (item && width < table->fontMetrics().horizontalAdvance(item->text()) + kButtonPadding &&
                    item->toolTip() != item->text())
                    cut << item->text();
            }
        }
    }
    return cut;
}

class ReadableWindowTest : public MainFormTest {
protected:
    void Resize(const QSize& size) {
        form->resize(size);
        QCoreApplication::processEvents();
    }
};

TEST_F(ReadableWindowTest, EveryTextOfEveryTabCanBeReadAtBothSizes) {
    Open("gs-std14-v12.pdf");
    form->show();
    for (const QSize size : {QSize(1280, 800), QSize(800, 500)}) {
        Resize(size);
        for (int tab = 0; tab < form->PageControl1->count(); ++tab) {
            form->PageControl1->setCurrentIndex(tab);
            QCoreApplication::processEvents();
            EXPECT_EQ(CutTexts(form.get()), QStringList()) << size.width() << " tab " << tab;
        }
    }
}

TEST_F(ReadableWindowTest, TheStatusLineUsesTheWindowsWidthAndShortensOnlyWithATooltip) {
    form->show();
    Resize(QSize(1600, 1000));
    // What Ctrl+S says without a document, and what the difference says.
    form->SaveBtnClick();
    const QString nothing = form->StatusPanel0->text();
    ASSERT_TRUE(nothing.endsWith("nichts zu speichern.")) << nothing.toStdString();
    const QString difference = "Unterschied: Beim Speichern ändern sich 17.546 Pixel dieser Seite.";
    for (const QString& text : {nothing, difference}) {
        form->StatusPanel0->SetText(text);
        EXPECT_GE(form->StatusPanel0->contentsRect().width(), form->StatusPanel0->fontMetrics().horizontalAdvance(text));
        EXPECT_FALSE(form->StatusPanel0->IsElided());
        EXPECT_EQ(form->StatusPanel0->toolTip(), "");
    }
    // A window too narrow for it: "…" and the whole text in the tooltip.
    Resize(form->minimumSize());
    const QString longText = difference + " " + difference;
    form->StatusPanel0->SetText(longText);
    EXPECT_TRUE(form->StatusPanel0->IsElided());
    EXPECT_EQ(form->StatusPanel0->toolTip(), longText);
}

TEST_F(ReadableWindowTest, AMessageBoxIsWideEnoughForItsTitle) {
    const std::unique_ptr<QMessageBox> box =
        TMainForm::MakeMessageBox(QMessageBox::Critical, "PDF Glyphwell", "Fehler", QMessageBox::Ok, form.get());
    box->show();
    QCoreApplication::processEvents();
    EXPECT_GE(box->width(), TitleBarWidth("PDF Glyphwell"));
    box->close();
}

TEST_F(ReadableWindowTest, TheEmbedDialogsColumnsAndCellsCanBeRead) {
    Open("gs-std14-v12.pdf");
    form->show();
    QStringList cut;
    form->testHooks.embedFonts = [&](TEmbedFontsForm& dialog) {
        // Every face of the list once: the longest texts the columns get.
        for (int row = 0; row < dialog.Table->rowCount(); ++row) dialog.ChooseFamily(row, "Nimbus Roman");
        dialog.show();
        QCoreApplication::processEvents();
        cut = CutTexts(&dialog);
        dialog.hide();
        return int(QDialog::Rejected);
    };
    form->FontsTab->EmbedFontsBtn->click();
    EXPECT_EQ(cut, QStringList());
}

TEST_F(ReadableWindowTest, TheEmbedDialogTakesOnlyChoicesItCanEmbed) {
    Open("gs-std14-v12.pdf");
    QStringList errors;
    int result = -1;
    form->testHooks.embedFonts = [&](TEmbedFontsForm& dialog) {
        dialog.errorHook = [&](const QString& text) { errors << text; };
        int times = -1;
        for (int row = 0; row < dialog.Table->rowCount(); ++row)
            if (dialog.Table->item(row, TEmbedFontsForm::NameColumn)->text() == "Times-Roman") times = row;
        EXPECT_GE(times, 0);
        // Not installed at all: refused.
        const QString missing("Keine Solche Schrift");
        dialog.ChooseFamily(times, missing);
        EXPECT_EQ(dialog.Table->item(times, TEmbedFontsForm::WidthsColumn)->text(), "nicht einbettbar");
        dialog.OkBtn->click();
        EXPECT_NE(dialog.result(), int(QDialog::Accepted));
        EXPECT_TRUE(!errors.isEmpty() && errors.last().contains("Times-Roman → " + missing));
        // Installed as Type 1 and as OpenType with CFF outlines: offered,
        // and the OpenType file embeds with the widths of the original.
        auto* box = qobject_cast<QComboBox*>(dialog.Table->cellWidget(times, TEmbedFontsForm::ChoiceColumn));
        EXPECT_GE(box->findData(QString("Nimbus Roman")), 0);
        dialog.ChooseFamily(times, "Nimbus Roman");
        EXPECT_EQ(dialog.Table->item(times, TEmbedFontsForm::WidthsColumn)->text(), "ja");
        EXPECT_EQ(dialog.Table->item(times, TEmbedFontsForm::CharactersColumn)->text(), "ja");
        // Every family listed is one the writer can embed.
        for (int i = 1; i < box->count(); ++i) {
            const QString family = box->itemData(i).toString();
            if (family == missing) continue;
            EXPECT_TRUE(FindInstalledFace(family.toStdString(), TFontStyle{})) << family.toStdString();
        }
        // "nicht ersetzen" is a choice that can always be made.
        qobject_cast<QComboBox*>(dialog.Table->cellWidget(times, TEmbedFontsForm::ChoiceColumn))->setCurrentIndex(0);
        dialog.OkBtn->click();
        result = dialog.result();
        return result;
    };
    form->FontsTab->EmbedFontsBtn->click();
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(result, int(QDialog::Accepted));
    // Done as chosen: Times-Roman stays, the proposals are set elsewhere.
    bool othersReplaced = false;
    for (const TFontRecord& font : form->Document().fontList) {
        if (font.hidden) continue;
        if (font.baseFont == "/Times-Roman") EXPECT_TRUE(font.replacementName.empty());
        else othersReplaced = othersReplaced || !font.replacementName.empty();
    }
    EXPECT_TRUE(othersReplaced);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ReadableWindowTest, AtTheSmallestSizeTheFieldsWrapInsteadOfOverlapping) {
    Open("gs-std14-v12.pdf");
    form->show();
    for (const QSize size : {QSize(1, 1), QSize(800, 500), QSize(1600, 1000)}) {
        Resize(size);
        SCOPED_TRACE(form->width());
        const QWidget* row = form->FontsTab->FieldsRow->parentWidget();
        QList<QWidget*> shown;
        for (QWidget* widget : row->findChildren<QWidget*>())
            if (widget->isVisible() && widget->findChildren<QWidget*>().isEmpty()) shown << widget;
        for (qsizetype a = 0; a < shown.size(); ++a) {
            const QRect first(shown[a]->mapTo(row, QPoint(0, 0)), shown[a]->size());
            EXPECT_TRUE(row->rect().contains(first)) << shown[a]->metaObject()->className();
            for (qsizetype b = a + 1; b < shown.size(); ++b) {
                if (shown[a]->isAncestorOf(shown[b]) || shown[b]->isAncestorOf(shown[a])) continue;
                const QRect second(shown[b]->mapTo(row, QPoint(0, 0)), shown[b]->size());
                EXPECT_FALSE(first.intersects(second))
                    << shown[a]->metaObject()->className() << " / " << shown[b]->metaObject()->className();
            }
        }
        for (const QToolButton* tool : {form->FontsTab->PreviewBtn, form->FontsTab->DiffBtn})
            EXPECT_GE(tool->width(), tool->sizeHint().width()) << tool->text().toStdString();
        EXPECT_GE(form->FontsTab->FontNameEd->width(),
                  form->FontsTab->FontNameEd->fontMetrics().horizontalAdvance("/R11 (Helvetica-BoldOblique)"));
    }
    // Wide enough, it is one line again.
    EXPECT_EQ(form->FontsTab->FieldsRow->LineCount(), 1);
}

TEST_F(ReadableWindowTest, TheMagnifierAndTheHandWorkInThePreview) {
    Open("gs-std14-v12.pdf");
    form->show();
    Resize(QSize(1280, 800));
    form->FontsTab->ZoomEd->setValue(100);
    form->FontsTab->PreviewBtn->click();
    form->FontsTab->LupeBtn->click();
    QWidget* sheet = form->FontsTab->PreviewPane->BeforeArea()->widget();
    const int zoom = form->FontsTab->ZoomEd->value();
    QTest::mouseClick(sheet, Qt::LeftButton, {}, QPoint(sheet->width() / 2, sheet->height() / 2));
    EXPECT_EQ(form->FontsTab->ZoomEd->value(), PageGeometry::MagnifiedZoom(zoom, true));
    // The clicked point, the middle of the page, comes to the middle, as
    // on the simplified page (whose arithmetic rounds to whole steps of the
    // zoom, here 150 pixels).
    const QScrollArea* area = form->FontsTab->PreviewPane->BeforeArea();
    EXPECT_GT(area->horizontalScrollBar()->value(), 0);
    EXPECT_NEAR(area->verticalScrollBar()->value() + area->viewport()->height() / 2, sheet->height() / 2, 150);
    QTest::mouseClick(sheet, Qt::RightButton, {}, QPoint(10, 10));
    EXPECT_EQ(form->FontsTab->ZoomEd->value(), zoom);

    // The hand drags both pages.
    QTest::mouseClick(sheet, Qt::LeftButton, {}, QPoint(sheet->width() / 2, sheet->height() / 2));
    form->FontsTab->HandBtn->click();
    QScrollBar* bar = form->FontsTab->PreviewPane->BeforeArea()->verticalScrollBar();
    const int before = bar->value();
    QTest::mousePress(sheet, Qt::LeftButton, {}, QPoint(100, 300));
    QMouseEvent move(QEvent::MouseMove, QPointF(100, 250), sheet->mapToGlobal(QPointF(100, 250)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(sheet, &move);
    QTest::mouseRelease(sheet, Qt::LeftButton, {}, QPoint(100, 250));
    EXPECT_EQ(bar->value(), before + 50);
    EXPECT_EQ(form->FontsTab->PreviewPane->AfterArea()->verticalScrollBar()->value(), before + 50);
}

// The preview renders at the screen's own pixels. Run in a process of its
// own: the scaling is chosen when the application starts.
TEST_F(ReadableWindowTest, ThePreviewIsRenderedAtTheScreensPixelRatio) {
    if (qEnvironmentVariable("QT_SCALE_FACTOR") != "2") {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_SCALE_FACTOR", "2");
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=ReadableWindowTest.ThePreviewIsRenderedAtTheScreensPixelRatio"});
        ASSERT_TRUE(child.waitForFinished(240000));
        const QString output = QString::fromLocal8Bit(child.readAll());
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
        return;
    }
    Open("gs-std14-v12.pdf");
    form->show();
    QCoreApplication::processEvents();
    ASSERT_EQ(form->devicePixelRatio(), 2);
    form->FontsTab->PreviewBtn->click();
    TPreviewPane* pane = form->FontsTab->PreviewPane;
    QElapsedTimer timer;
    timer.start();
    while (!pane->PageReady() && timer.elapsed() < 60000) QTest::qWait(20);
    ASSERT_TRUE(pane->PageReady());
    const QWidget* sheet = pane->BeforeArea()->widget();
    // Two device pixels per logical one, both ways: sharp, not scaled up.
    EXPECT_NEAR(pane->BeforeImage().width(), 2 * sheet->width(), 2);
    EXPECT_NEAR(pane->BeforeImage().height(), 2 * sheet->height(), 2);
    EXPECT_NEAR(pane->AfterImage().width(), 2 * sheet->width(), 2);
}

}  // namespace
