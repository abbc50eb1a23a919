// What a user expects of the window itself: German dialogs, a size and
// state that are remembered, the page fitted to the width, keys, and files
// dropped onto the window.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <QToolButton>
#include <QLineEdit>
#include <QUrl>

#include "FileBrowser.h"
#include "OpenPDFForm.h"
#include "RecentFiles.h"
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
    // First start: four fifths of a large screen, at least 1000×700, never
    // more than the screen.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(form->width(), std::min(screen.width(), std::max(1000, screen.width() * 4 / 5)));
    EXPECT_EQ(form->height(), std::min(screen.height(), std::max(700, screen.height() * 4 / 5)));
    EXPECT_LE(form->width(), screen.width());
    form->show();
    form->resize(700, 520);
    form->PageControl1->setCurrentIndex(2);
    form->FontsTab->ZoomEd->setValue(120);
    ASSERT_TRUE(form->close());

    TMainForm again(programDir);
    again.RestoreWindowState();
    EXPECT_EQ(again.size(), QSize(700, 520));
    EXPECT_EQ(again.PageControl1->currentIndex(), 2);
    EXPECT_EQ(again.FontsTab->ZoomEd->value(), 120);
}

TEST_F(WindowUsabilityTest, OpeningFitsThePageWidthAndANewPageStartsAtItsTop) {
    form->resize(900, 800);
    form->show();
    QCoreApplication::processEvents();
    Open("gs-std14-v12.pdf");
    QCoreApplication::processEvents();
    const int room = form->FontsTab->ScrollBox1->viewport()->width();
    EXPECT_NE(form->FontsTab->ZoomEd->value(), 50);
    EXPECT_LE(form->FontsTab->PageView->width(), room);
    EXPECT_GE(form->FontsTab->PageView->width(), room - 40);

    QScrollBar* bar = form->FontsTab->ScrollBox1->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(bar->maximum());
    form->FontsTab->PageEd->setFocus();
    form->FontsTab->PageEd->selectAll();
    QTest::keyClicks(form->FontsTab->PageEd, "2");
    EXPECT_EQ(form->FontsTab->PageEd->value(), 2);
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(WindowUsabilityTest, KeysTurnPagesZoomSaveAndQuit) {
    Open("gs-std14-v12.pdf");
    form->show();
    form->activateWindow();
    QCoreApplication::processEvents();
    form->FontsTab->PageView->setFocus();
    struct TStep {
        QKeyCombination key;
        int page;
    };
    const TStep steps[] = {
        {Qt::Key_PageDown, 2}, {Qt::Key_PageDown, 3}, {Qt::Key_PageDown, 3},
        {Qt::Key_PageUp, 2},   {Qt::CTRL | Qt::Key_End, 3}, {Qt::CTRL | Qt::Key_Home, 1},
    };
    for (const TStep& step : steps) {
        QTest::keyClick(form->FontsTab->PageView, step.key.key(), step.key.keyboardModifiers());
        EXPECT_EQ(form->FontsTab->PageEd->value(), step.page) << step.key.key();
    }
    const int zoom = form->FontsTab->ZoomEd->value();
    QTest::keyClick(form->FontsTab->PageView, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(form->FontsTab->ZoomEd->value(), PageGeometry::MagnifiedZoom(zoom, true));
    QTest::keyClick(form->FontsTab->PageView, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_LT(form->FontsTab->ZoomEd->value(), PageGeometry::MagnifiedZoom(zoom, true));

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
    EXPECT_EQ(form->FontsTab->Label6->text(), "von 2");

    // Anything else is not taken.
    QMimeData text;
    text.setUrls({QUrl::fromLocalFile("/tmp/notes.txt")});
    QDragEnterEvent other(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    other.setAccepted(false);
    QCoreApplication::sendEvent(form.get(), &other);
    EXPECT_FALSE(other.isAccepted());
}

// Only files that opened are offered again: the last ten, newest first, kept
// across starts; a failed open adds neither a file nor a favourite folder.
TEST_F(WindowUsabilityTest, TheLastFilesAreOfferedAndOnlySuccessfulOpensAreRemembered) {
    const QStringList favouritesBefore = form->OpenTab->FileBrowser->Favourites();
    const std::string textFile = ScratchDir("recent-text") + "/notes.pdf";
    WriteFileBytes(textFile, "Nur Text.\n");
    EXPECT_FALSE(form->openfilenow(QString::fromStdString(textFile)));
    EXPECT_TRUE(form->OpenTab->RecentFiles->Files().isEmpty());
    EXPECT_EQ(form->OpenTab->FileBrowser->Favourites(), favouritesBefore);

    const QString first = QString::fromStdString(CorpusPath("gs-type3-v13.pdf"));
    const QString second = QString::fromStdString(CorpusPath("gs-std14-v12.pdf"));
    ASSERT_TRUE(form->openfilenow(first));
    ASSERT_TRUE(form->openfilenow(second));
    EXPECT_EQ(form->OpenTab->RecentFiles->Files(), (QStringList{QFileInfo(second).absoluteFilePath(),
                                                        QFileInfo(first).absoluteFilePath()}));
    EXPECT_EQ(form->OpenTab->FileBrowser->Favourites().value(0), QFileInfo(first).absolutePath() + "/");

    // Enter on an entry opens it, as a double click does.
    form->show();
    form->PageControl1->setCurrentIndex(0);
    form->OpenTab->RecentFiles->setCurrentRow(1);
    QTest::keyClick(form->OpenTab->RecentFiles, Qt::Key_Return);
    EXPECT_EQ(form->DocumentPath(), QFileInfo(first).absoluteFilePath());
    EXPECT_EQ(form->FontsTab->Label6->text(), "von 2");

    // Ten at most, a file once, and the list is there at the next start.
    const QString folder = QString::fromStdString(ScratchDir("recent-files"));
    const auto file = [&folder](int i) { return folder + QString("/datei-%1.pdf").arg(i); };
    for (int i = 0; i < 12; ++i) {
        WriteFileBytes(file(i).toStdString(), "%PDF-1.4\n");
        form->OpenTab->RecentFiles->Add(file(i));
    }
    form->OpenTab->RecentFiles->Add(file(5));
    QStringList expected{file(5)};
    for (int i = 11; expected.size() < TRecentFiles::kMaxFiles; --i)
        if (i != 5) expected << file(i);
    EXPECT_EQ(form->OpenTab->RecentFiles->Files(), expected);
    TMainForm again(programDir);
    EXPECT_EQ(again.OpenTab->RecentFiles->Files(), expected);
}

// Tab walks the font tab as the eye reads it, and the page shows when it
// has the focus.
TEST_F(WindowUsabilityTest, TabFollowsTheReadingOrderAndThePageShowsItsFocus) {
    Open("gs-std14-v12.pdf");
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->FontsTab->ZoomEd->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), form->FontsTab->ZoomEd);
    // The three tools are one choice, like radio buttons: Tab stops at the
    // chosen one only.
    const QWidget* expected[] = {form->FontsTab->PageEd,       form->FontsTab->PointerBtn, form->FontsTab->PreviewBtn, form->FontsTab->FontNameEd,
                                 form->FontsTab->PageView,     form->FontsTab->FontListView, form->FontsTab->ChangeBtn,  form->FontsTab->OldFontBtn,
                                 form->FontsTab->EmbedFontsBtn};
    auto frameColour = [this] {
        const QImage frame = form->FontsTab->ScrollBox1->grab().toImage();
        return frame.pixelColor(0, frame.height() / 2);
    };
    const QColor highlight = form->palette().color(QPalette::Active, QPalette::Highlight);
    for (size_t step = 0; step < std::size(expected); ++step) {
        const QWidget* next = expected[step];
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), next) << "step " << step;
        // The difference button is off while the preview is: Tab skips it.
        EXPECT_EQ(frameColour() == highlight, next == form->FontsTab->PageView) << "step " << step;
    }
}

// The progress window is on screen and painted before the reader has got to
// the pages, and the window answers while the reader works.
TEST_F(WindowUsabilityTest, TheProgressWindowPaintsAtOnceAndTheWindowAnswersWhileReading) {
    struct TPaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) ++paints;
            return false;
        }
    } counter;
    form->show();
    form->OpenPDFForm->installEventFilter(&counter);
    int paintsAtFirstPage = -1;
    bool visibleAtFirstPage = false;
    int tabWhileReading = -1;
    form->testHooks.readerStep = [&](const QString& label) {
        if (paintsAtFirstPage >= 0 || label != "Lese Seite 1...") return;
        OnWindowThread([&] {
            paintsAtFirstPage = counter.paints;
            visibleAtFirstPage = form->OpenPDFForm->isVisible();
            form->PageControl1->setCurrentIndex(2);
            tabWhileReading = form->PageControl1->currentIndex();
        });
    };
    Open("gs-std14-v12.pdf");
    form->OpenPDFForm->removeEventFilter(&counter);
    EXPECT_GE(paintsAtFirstPage, 1);
    EXPECT_TRUE(visibleAtFirstPage);
    EXPECT_EQ(tabWhileReading, 2);
    EXPECT_EQ(form->FontsTab->Label6->text(), "von 3");
    EXPECT_FALSE(form->OpenPDFForm->isVisible());
}

}  // namespace

// At 2× scaling a 1600×1000 screen is 800×500: the font table's commands
// must still be on screen, and a large window gives the table more rows.
TEST_F(WindowUsabilityTest, TheFontCommandsStayOnScreenInASmallWindow) {
    Open("libreoffice-writer-v16.pdf");
    form->show();
    auto tableHeightAt = [this](QSize size) {
        form->resize(size);
        QCoreApplication::processEvents();
        EXPECT_EQ(form->size(), size) << "the window's minimum is larger";
        const QRect window = form->rect();
        const QTreeWidget* table = form->FontsTab->FontListView;
        const int tableBottom = table->mapTo(form.get(), QPoint(0, table->height())).y();
        for (const QPushButton* button :
             {form->FontsTab->ChangeBtn, form->FontsTab->OldFontBtn, form->FontsTab->EmbedFontsBtn}) {
            const QRect placed(button->mapTo(form.get(), QPoint(0, 0)), button->size());
            EXPECT_TRUE(button->isVisible()) << button->text().toStdString();
            EXPECT_TRUE(window.contains(placed)) << button->text().toStdString() << " at " << placed.y();
            EXPECT_GE(placed.top(), tableBottom) << button->text().toStdString();
            EXPECT_LE(placed.bottom(), form->centralWidget()->geometry().bottom());
        }
        return table->height();
    };
    const int small = tableHeightAt(QSize(800, 500));
    EXPECT_GE(small, 3 * form->FontsTab->FontListView->fontMetrics().height());
    const int large = tableHeightAt(QSize(1280, 900));
    EXPECT_GT(large, small + 50);
    // The page keeps the larger share.
    EXPECT_GT(form->FontsTab->PageStack->height(), 2 * large);
}
