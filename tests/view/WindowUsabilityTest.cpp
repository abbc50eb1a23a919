// What a user expects of the window itself: German dialogs, a size and
// state that are remembered, the page fitted to the width, keys, and files
// dropped onto the window.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QUrl>

#include "FileBrowser.h"
#include "MainFormFixture.h"
#include "PageView.h"
#include "Translations.h"

namespace {

class WindowUsabilityTest : public MainFormTest {
protected:
    void SetUp() override {
        QSettings().clear();
        MainFormTest::SetUp();
    }
};

TEST_F(WindowUsabilityTest, QtsOwnTextsAreGerman) {
    ASSERT_TRUE(InstallGermanQtTranslations(*QCoreApplication::instance()));
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Save);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), "Abbrechen");
    EXPECT_EQ(buttons.button(QDialogButtonBox::Save)->text(), "Speichern");
}

TEST_F(WindowUsabilityTest, SizeTabAndZoomAreRememberedAcrossStarts) {
    form->RestoreWindowState();
    // First start: most of the screen, never less than the old fixed size.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(form->width(), std::max(622, screen.width() * 4 / 5));
    EXPECT_EQ(form->height(), std::max(489, screen.height() * 4 / 5));
    form->show();
    form->resize(700, 520);
    form->PageControl1->setCurrentIndex(2);
    form->ZoomEd->setValue(120);
    ASSERT_TRUE(form->close());

    TMainForm again(programDir);
    again.RestoreWindowState();
    EXPECT_EQ(again.size(), QSize(700, 520));
    EXPECT_EQ(again.PageControl1->currentIndex(), 2);
    EXPECT_EQ(again.ZoomEd->value(), 120);
}

TEST_F(WindowUsabilityTest, OpeningFitsThePageWidthAndANewPageStartsAtItsTop) {
    form->resize(900, 800);
    form->show();
    QCoreApplication::processEvents();
    Open("gs-std14-v12.pdf");
    QCoreApplication::processEvents();
    const int room = form->ScrollBox1->viewport()->width();
    EXPECT_NE(form->ZoomEd->value(), 50);
    EXPECT_LE(form->PageView->width(), room);
    EXPECT_GE(form->PageView->width(), room - 40);

    QScrollBar* bar = form->ScrollBox1->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(bar->maximum());
    form->PageEd->setFocus();
    form->PageEd->selectAll();
    QTest::keyClicks(form->PageEd, "2");
    EXPECT_EQ(form->PageEd->value(), 2);
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(WindowUsabilityTest, KeysTurnPagesZoomSaveAndQuit) {
    Open("gs-std14-v12.pdf");
    form->show();
    form->activateWindow();
    QCoreApplication::processEvents();
    form->PageView->setFocus();
    struct TStep {
        QKeyCombination key;
        int page;
    };
    const TStep steps[] = {
        {Qt::Key_PageDown, 2}, {Qt::Key_PageDown, 3}, {Qt::Key_PageDown, 3},
        {Qt::Key_PageUp, 2},   {Qt::CTRL | Qt::Key_End, 3}, {Qt::CTRL | Qt::Key_Home, 1},
    };
    for (const TStep& step : steps) {
        QTest::keyClick(form->PageView, step.key.key(), step.key.keyboardModifiers());
        EXPECT_EQ(form->PageEd->value(), step.page) << step.key.key();
    }
    const int zoom = form->ZoomEd->value();
    QTest::keyClick(form->PageView, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(form->ZoomEd->value(), PageGeometry::MagnifiedZoom(zoom, true));
    QTest::keyClick(form->PageView, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_LT(form->ZoomEd->value(), PageGeometry::MagnifiedZoom(zoom, true));

    int asked = 0;
    form->testHooks.saveFileName = [&] { return ++asked, std::optional<QString>(); };
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(asked, 1);
    QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(form->PageControl1->currentIndex(), 0);
    QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(WindowUsabilityTest, ADroppedPdfFileIsOpened) {
    form->show();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(CorpusPath("gs-type3-v13.pdf")))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.get(), &drop);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->Label6->text(), "von 2");

    // Anything else is not taken.
    QMimeData text;
    text.setUrls({QUrl::fromLocalFile("/tmp/notes.txt")});
    QDragEnterEvent other(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    other.setAccepted(false);
    QCoreApplication::sendEvent(form.get(), &other);
    EXPECT_FALSE(other.isAccepted());
}

}  // namespace
