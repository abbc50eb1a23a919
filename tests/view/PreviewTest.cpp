// The preview: the pixel comparison, the renderer's per-page cache and its
// invalidation, and the view mode "Vorschau" of the window driven as a user
// would: both panes show the page, a replacement changes the right one, and
// "Alte Schriftart verwenden" brings it back.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <cmath>
#include <functional>

#include "ChangeFontForm.h"
#include "FontTable.h"
#include "FontsTab.h"
#include "MainForm.h"
#include "OpenPDFForm.h"
#include "WindowParts.h"
#include "PageView.h"
#include "PixelDifference.h"
#include "PreviewPane.h"
#include "PreviewRenderer.h"
#include "TestSupport.h"
#include "ViewTestApp.h"

namespace {

constexpr int kDpi = 96;

// Lets the event loop run until `done` holds (renderings arrive as queued
// signals from the renderer's thread). Generous: the machine is shared.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

int64_t InkPixels(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    int64_t ink = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) ink += qGray(line[x]) < 128;
    }
    return ink;
}

QImage Filled(int width, int height, QRgb color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// ---- the comparison ----------------------------------------------------------

TEST(PixelDifference, CountsAndMarksChangedPixels) {
    const QImage white = Filled(20, 10, 0xFFFFFFFF);
    QImage dotted = white;
    dotted.setPixel(3, 4, 0xFF000000);
    dotted.setPixel(19, 9, 0xFFFFFFFE);  // one level in one channel counts

    struct TCase {
        const char* name;
        QImage before, after;
        int64_t changed;
    };
    const TCase cases[] = {
        {"identical", white, white, 0},
        {"two pixels", white, dotted, 2},
        {"symmetric", dotted, white, 2},
        // Paper beyond the smaller image counts as white: a larger white
        // rendering changes nothing, a larger black one every extra pixel.
        {"larger white", white, Filled(25, 10, 0xFFFFFFFF), 0},
        {"larger black", Filled(20, 10, 0xFF000000), Filled(20, 12, 0xFF000000), 40},
        {"against nothing", QImage(), dotted, 2},
        // Formats differ but colours are equal: no change.
        {"other format", white, white.convertToFormat(QImage::Format_ARGB32_Premultiplied), 0},
    };
    for (const TCase& c : cases) {
        const TPixelDifference d = ComparePages(c.before, c.after);
        EXPECT_EQ(d.changedPixels, c.changed) << c.name;
        EXPECT_EQ(d.overlay.width(), std::max(c.before.width(), c.after.width())) << c.name;
        EXPECT_EQ(d.overlay.height(), std::max(c.before.height(), c.after.height())) << c.name;
    }

    const TPixelDifference d = ComparePages(white, dotted);
    EXPECT_EQ(d.overlay.pixel(3, 4), 0xFFFF0000u);
    // Unchanged pixels stay as they were but faded: white stays white, black
    // turns light.
    EXPECT_EQ(d.overlay.pixel(0, 0), 0xFFFFFFFFu);
    const TPixelDifference black = ComparePages(Filled(2, 2, 0xFF000000), Filled(2, 2, 0xFF000000));
    EXPECT_GT(qGray(black.overlay.pixel(1, 1)), 150);
    EXPECT_LT(qGray(black.overlay.pixel(1, 1)), 255);
}

// ---- the renderer ----------------------------------------------------------------

class PreviewRendererTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    static QByteArray Bytes(const std::string& path) {
        const std::vector<uint8_t> bytes = ReadFileBytes(path);
        return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    }

    QImage Rendered(TPreviewSide side, int page, double dpi) {
        QImage image;
        const bool done = WaitFor([&] {
            image = renderer.Page(side, page, dpi);
            return !image.isNull() || renderer.Failed(side, page, dpi);
        });
        EXPECT_TRUE(done) << "no rendering of page " << page;
        return image;
    }

    TPreviewRenderer renderer;
};

TEST_F(PreviewRendererTest, RendersAtTheAskedResolutionAndKeepsPagesPerSide) {
    const std::string path = CorpusPath("gs-std14-v12.pdf");
    renderer.SetDocument(TPreviewSide::Before, {{}, Bytes(path), {}});
    renderer.SetDocument(TPreviewSide::After, {{}, Bytes(path), {}});

    // An A4 page (595 x 842 pt, as pdfinfo says) at 72 and 144 dpi.
    const QImage small = Rendered(TPreviewSide::Before, 0, 72);
    EXPECT_NEAR(small.width(), 595, 1);
    EXPECT_NEAR(small.height(), 842, 1);
    const QImage large = Rendered(TPreviewSide::Before, 0, 144);
    EXPECT_NEAR(large.width(), 1190, 1);
    EXPECT_GT(InkPixels(large), 1000);

    // Cached: the same image comes back at once, for either resolution.
    EXPECT_EQ(renderer.Page(TPreviewSide::Before, 0, 72).cacheKey(), small.cacheKey());
    EXPECT_EQ(renderer.Page(TPreviewSide::Before, 0, 144).cacheKey(), large.cacheKey());

    const QImage afterFirst = Rendered(TPreviewSide::After, 0, 144);
    EXPECT_EQ(ComparePages(large, afterFirst).changedPixels, 0);

    // New bytes for the right side drop its pages only.
    renderer.SetDocument(TPreviewSide::After, {{}, Bytes(CorpusPath("mutool-create-noinfo-v17.pdf")), {}});
    EXPECT_TRUE(renderer.Page(TPreviewSide::After, 0, 144).isNull());
    EXPECT_EQ(renderer.Page(TPreviewSide::Before, 0, 144).cacheKey(), large.cacheKey());
    const QImage afterSecond = Rendered(TPreviewSide::After, 0, 144);
    EXPECT_GT(ComparePages(large, afterSecond).changedPixels, 0);
}

TEST_F(PreviewRendererTest, FailsQuietlyOnMissingPagesAndUnreadableBytes) {
    renderer.SetDocument(TPreviewSide::Before, {{}, Bytes(CorpusPath("gs-std14-v12.pdf")), {}});
    EXPECT_TRUE(Rendered(TPreviewSide::Before, 3, 72).isNull());  // the file has 3 pages
    EXPECT_TRUE(renderer.Failed(TPreviewSide::Before, 3, 72));
    EXPECT_TRUE(Rendered(TPreviewSide::Before, -1, 72).isNull());

    renderer.SetDocument(TPreviewSide::After, {{}, QByteArray("%PDF-1.4\nnot a PDF at all\n"), {}});
    EXPECT_TRUE(Rendered(TPreviewSide::After, 0, 72).isNull());
    EXPECT_TRUE(renderer.Failed(TPreviewSide::After, 0, 72));

    // No document: nothing is asked of the worker and nothing fails.
    renderer.SetDocument(TPreviewSide::After, {});
    EXPECT_FALSE(renderer.HasDocument(TPreviewSide::After));
    EXPECT_TRUE(renderer.Page(TPreviewSide::After, 0, 72).isNull());
    EXPECT_FALSE(renderer.Failed(TPreviewSide::After, 0, 72));
}

// Poppler gets the password of an encrypted file, from memory and from a
// file alike; without it the side has no pages.
TEST_F(PreviewRendererTest, EncryptedFileRendersWithItsPassword) {
    const std::string path = DataPath("encrypted/r5-aes256-user.pdf");
    renderer.SetDocument(TPreviewSide::Before, {{}, Bytes(path), "user"});
    renderer.SetDocument(TPreviewSide::After, {QString::fromStdString(path), {}, "owner"});
    const QImage before = Rendered(TPreviewSide::Before, 0, 72);
    EXPECT_GT(InkPixels(before), 100);
    EXPECT_EQ(ComparePages(before, Rendered(TPreviewSide::After, 0, 72)).changedPixels, 0);
    renderer.SetDocument(TPreviewSide::After, {{}, Bytes(path), {}});
    EXPECT_TRUE(Rendered(TPreviewSide::After, 0, 72).isNull());
    EXPECT_TRUE(renderer.Failed(TPreviewSide::After, 0, 72));
}

// ---- the window's view mode "Vorschau" ---------------------------------------------

class PreviewWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    void SetUp() override {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        form = std::make_unique<TMainForm>(QString::fromStdString(ScratchDir("preview-" + name)) + "/");
        form->testHooks.message = [](QMessageBox::Icon, const QString&, const QString& text) {
            ADD_FAILURE() << "unexpected message: " << text.toStdString();
            return QMessageBox::Ok;
        };
        form->FontsTab->PageView->SetDpi(kDpi);
    }

    void TearDown() override {
        form->testHooks = TDialogHooks{};
        form.reset();
    }

    void Open(const std::string& file) { form->FormShow({QString::fromStdString(CorpusPath(file))}); }

    TPreviewPane& Pane() { return *form->FontsTab->PreviewPane; }

    void WaitForPage() { ASSERT_TRUE(WaitFor([this] { return Pane().PageReady(); })); }

    // Replaces the font of table row `row` by the first other font the
    // dialog offers.
    void ReplaceRow(int row) {
        form->FontsTab->FontListView->setCurrentItem(form->FontsTab->FontListView->topLevelItem(row));
        const QString old = form->FontsTab->FontListView->topLevelItem(row)->text(0);
        form->testHooks.changeFont = [old](TChangeFontForm& dialog) {
            const int other = dialog.ComboBox1->itemData(0).toString() == old ? 1 : 0;
            dialog.ComboBox1->setCurrentIndex(other);
            return int(QDialog::Accepted);
        };
        form->FontsTab->ChangeBtn->click();
        ASSERT_NE(form->FontsTab->FontListView->topLevelItem(row)->text(1), old);
    }

    std::unique_ptr<TMainForm> form;
};

TEST_F(PreviewWindowTest, ReplacementShowsAsChangedPixelsUntilTakenBack) {
    Open("gs-std14-v12.pdf");
    ASSERT_EQ(form->Document().pageList.Count(), 3);
    form->FontsTab->ZoomEd->setValue(100);
    EXPECT_FALSE(form->FontsTab->DiffBtn->isEnabled());
    form->FontsTab->PreviewBtn->click();
    ASSERT_EQ(form->FontsTab->PageStack->currentWidget(), form->FontsTab->PreviewPane);
    EXPECT_TRUE(form->FontsTab->DiffBtn->isEnabled());
    WaitForPage();

    // Both panes show the A4 page at 100 % (96 dpi), with text on it, and
    // as long as nothing is replaced they agree to the pixel.
    for (const QImage& image : {Pane().BeforeImage(), Pane().AfterImage()}) {
        EXPECT_NEAR(image.width(), std::lround(595 * kDpi / 72.0), 1);
        EXPECT_NEAR(image.height(), std::lround(842 * kDpi / 72.0), 1);
        EXPECT_GT(InkPixels(image), 1000);
    }
    EXPECT_EQ(Pane().ChangedPixels(), 0);
    form->FontsTab->DiffBtn->click();
    EXPECT_TRUE(Pane().DifferenceShown());
    EXPECT_EQ(form->StatusPanel0->text(), "Unterschied: Beim Speichern ändert sich kein Pixel dieser Seite.");
    const QImage leftBefore = Pane().BeforeImage();

    ReplaceRow(0);
    ASSERT_TRUE(WaitFor([this] { return Pane().PageReady(); }));
    const std::optional<int64_t> changed = Pane().ChangedPixels();
    ASSERT_TRUE(changed.has_value());
    EXPECT_GT(*changed, 100);
    EXPECT_NE(Pane().AfterImage().cacheKey(), leftBefore.cacheKey());
    // The left side was not rendered again.
    EXPECT_EQ(Pane().BeforeImage().cacheKey(), leftBefore.cacheKey());
    EXPECT_TRUE(form->StatusPanel0->text().contains(QLocale().toString(static_cast<qlonglong>(*changed))))
        << form->StatusPanel0->text().toStdString();

    form->FontsTab->OldFontBtn->click();
    WaitForPage();
    EXPECT_EQ(Pane().ChangedPixels(), 0);
    EXPECT_EQ(form->StatusPanel0->text(), "Unterschied: Beim Speichern ändert sich kein Pixel dieser Seite.");

    // Back to the simplified drawing: the difference goes off with it.
    form->FontsTab->PreviewBtn->click();
    EXPECT_EQ(form->FontsTab->PageStack->currentWidget(), form->FontsTab->ScrollBox1);
    EXPECT_FALSE(form->FontsTab->DiffBtn->isChecked());
    EXPECT_TRUE(form->StatusPanel0->text().isEmpty());
}

TEST_F(PreviewWindowTest, PageAndZoomFieldsDriveBothPanes) {
    Open("gs-std14-v12.pdf");
    form->FontsTab->PreviewBtn->click();
    form->FontsTab->ZoomEd->setValue(50);
    WaitForPage();
    const int width50 = Pane().BeforeImage().width();
    form->FontsTab->ZoomEd->setValue(150);
    WaitForPage();
    EXPECT_NEAR(Pane().BeforeImage().width(), 3 * width50, 3);
    EXPECT_EQ(Pane().AfterImage().size(), Pane().BeforeImage().size());

    const QImage page1 = Pane().BeforeImage();
    form->FontsTab->PageEd->setValue(2);
    WaitForPage();
    EXPECT_GT(ComparePages(page1, Pane().BeforeImage()).changedPixels, 1000);
    EXPECT_EQ(Pane().ChangedPixels(), 0);

    // The two panes scroll together.
    Pane().resize(600, 400);
    form->FontsTab->PageStack->resize(600, 400);
    Pane().BeforeArea()->verticalScrollBar()->setRange(0, 1000);
    Pane().AfterArea()->verticalScrollBar()->setRange(0, 1000);
    Pane().BeforeArea()->verticalScrollBar()->setValue(321);
    EXPECT_EQ(Pane().AfterArea()->verticalScrollBar()->value(), 321);
    Pane().AfterArea()->horizontalScrollBar()->setRange(0, 500);
    Pane().BeforeArea()->horizontalScrollBar()->setRange(0, 500);
    Pane().AfterArea()->horizontalScrollBar()->setValue(77);
    EXPECT_EQ(Pane().BeforeArea()->horizontalScrollBar()->value(), 77);
}

// Opening another file while the preview is shown: both sides show the new
// file (420 x 297 pt, as pdfinfo says), nothing of the old one.
TEST_F(PreviewWindowTest, OpeningAnotherFileReplacesBothSides) {
    Open("gs-std14-v12.pdf");
    form->FontsTab->ZoomEd->setValue(100);
    form->FontsTab->PreviewBtn->click();
    WaitForPage();
    Open("mutool-create-noinfo-v17.pdf");
    ASSERT_EQ(form->Document().pageList.Count(), 2);
    // A new file is fitted to the window's width; the sizes below are at 100 %.
    form->FontsTab->ZoomEd->setValue(100);
    WaitForPage();
    for (const QImage& image : {Pane().BeforeImage(), Pane().AfterImage()}) {
        EXPECT_NEAR(image.width(), std::lround(420 * kDpi / 72.0), 1);
        EXPECT_NEAR(image.height(), std::lround(297 * kDpi / 72.0), 1);
    }
    EXPECT_EQ(Pane().ChangedPixels(), 0);
}

// The pointer over the rendering names the font of the word under it: the
// word's box comes from pdftotext, independent of our reader.
TEST_F(PreviewWindowTest, PointerOverTheRenderingNamesTheFont) {
    const std::string path = CorpusPath("gs-std14-v12.pdf");
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-bbox", "-f", "1", "-l", "1", QString::fromStdString(path), "-"});
    ASSERT_TRUE(pdftotext.waitForFinished(30000));
    const QString html = QString::fromUtf8(pdftotext.readAllStandardOutput());
    const QRegularExpressionMatch word = QRegularExpression(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">)re").match(html);
    ASSERT_TRUE(word.hasMatch()) << html.left(400).toStdString();
    const double scale = kDpi / 72.0;
    const QPoint centre(static_cast<int>((word.captured(1).toDouble() + word.captured(3).toDouble()) / 2 * scale),
                        static_cast<int>((word.captured(2).toDouble() + word.captured(4).toDouble()) / 2 * scale));

    Open("gs-std14-v12.pdf");
    form->FontsTab->ZoomEd->setValue(100);
    form->FontsTab->PreviewBtn->click();
    WaitForPage();
    form->FontsTab->FontNameEd->clear();
    QWidget* sheet = Pane().AfterArea()->widget();
    QMouseEvent move(QEvent::MouseMove, QPointF(centre), sheet->mapToGlobal(QPointF(centre)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(sheet, &move);
    // The field shows the resource name, then the font's own name.
    const QString font = form->FontsTab->FontNameEd->text().section(' ', 0, 0);
    std::vector<std::string> pageFonts;
    for (int32_t row : FontTableRows(form->Document(), 1))
        pageFonts.push_back(form->Document().fontList[static_cast<size_t>(row)].resName);
    EXPECT_NE(std::find(pageFonts.begin(), pageFonts.end(), font.toStdString()), pageFonts.end())
        << "field: " << font.toStdString();

    // With the magnifier chosen the pointer names nothing.
    form->FontsTab->LupeBtn->click();
    form->FontsTab->FontNameEd->clear();
    QCoreApplication::sendEvent(sheet, &move);
    EXPECT_TRUE(form->FontsTab->FontNameEd->text().isEmpty());
}

// The preview holds no second copy of the document: the version as saved
// is a file Poppler reads as it needs it (checked by qpdf), made anew for
// each change and gone with the document; the file as read is rendered from
// the document's own bytes, which stay good while another file is read and
// that open is cancelled.
TEST_F(PreviewWindowTest, TheSavedVersionIsAFileAndTheFileIsReadWhereItIs) {
    Open("gs-std14-v12.pdf");
    form->FontsTab->ZoomEd->setValue(100);
    form->FontsTab->PreviewBtn->click();
    WaitForPage();
    const QString first = Pane().ResultFile();
    ASSERT_FALSE(first.isEmpty());
    EXPECT_EQ(RunTool("qpdf --check " + Quoted(first.toStdString())).status, 0);
    EXPECT_EQ(ToolOutput("pdftotext -q " + Quoted(first.toStdString()) + " -"),
              ToolOutput("pdftotext -q " + Quoted(CorpusPath("gs-std14-v12.pdf")) + " -"));

    ReplaceRow(0);
    WaitForPage();
    const QString second = Pane().ResultFile();
    EXPECT_NE(second, first);
    EXPECT_FALSE(QFileInfo::exists(first));
    EXPECT_EQ(RunTool("qpdf --check " + Quoted(second.toStdString())).status, 0);

    // Taken back (so that opening asks nothing), the third version.
    form->FontsTab->FontListView->setCurrentItem(form->FontsTab->FontListView->topLevelItem(0));
    form->FontsTab->OldFontBtn->click();
    WaitForPage();
    const QString third = Pane().ResultFile();
    EXPECT_FALSE(QFileInfo::exists(second));

    // Another file is read and the open cancelled: the shown document lent
    // its memory meanwhile, and the preview comes back from its bytes.
    const QImage before = Pane().BeforeImage();
    int steps = 0;
    form->testHooks.readerStep = [&](const QString& label) {
        if (label != "Lese Seite 1..." || steps++ > 0) return;
        QMetaObject::invokeMethod(form.get(), [this] { form->OpenPDFForm->BreakBtn->click(); },
                                  Qt::BlockingQueuedConnection);
    };
    Open("gs-type3-v13.pdf");
    form->testHooks.readerStep = nullptr;
    EXPECT_EQ(form->FontsTab->Label6->text(), "von 3");
    WaitForPage();
    EXPECT_EQ(Pane().BeforeImage(), before);

    // Written again after the open (the version of before went while it
    // ran); another document takes the file with the old one.
    const QString shown = Pane().ResultFile();
    EXPECT_FALSE(QFileInfo::exists(third));
    ASSERT_TRUE(QFileInfo::exists(shown));
    Open("mutool-create-noinfo-v17.pdf");
    EXPECT_FALSE(QFileInfo::exists(shown));
}

}  // namespace
