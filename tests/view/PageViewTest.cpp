// The page area: geometry, painting of each kind of item, and the three
// mouse tools driven through the real widgets (offscreen).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <climits>
#include <cmath>
#include <memory>

#include "ContentInterpreter.h"
#include "FontMeasurer.h"
#include "PageView.h"
#include "PdfDocument.h"
#include "TestSupport.h"
#include "ViewTestApp.h"

using namespace PageGeometry;

namespace {


// A document with pages and items filled by hand, as the interpreter
// would leave them.
struct TTestDoc {
    THeadlessUi ui;
    TPdfDocument doc{ui};

    void AddPage(double llx, double lly, double urx, double ury) {
        doc.pageList.Append()->mediaBox = {llx, lly, urx, ury};
    }
    TDisplayItem& AddRun(int page, const std::string& fontName, const std::string& text, double x, double y,
                         double size, double advance) {
        TDisplayItem& item = *doc.displayList.Append();
        item.pageNo = page;
        item.fontNameId = doc.runFontNames.Intern(fontName);
        item.text = text;
        item.x = x;
        item.y = y;
        item.fontSize = size;
        item.advances.assign(text.size(), advance);
        item.spacings.assign(text.size(), 0.0);
        return item;
    }
    // A closed polygon through the corners, one line segment per edge.
    TDisplayItem& AddPolygon(int page, const std::vector<std::pair<double, double>>& corners) {
        TDisplayItem& item = *doc.displayList.Append();
        item.pageNo = page;
        item.isPath = 1;
        item.scaleX = 1;
        item.scaleY = 1;
        for (size_t i = 0; i < corners.size(); ++i) {
            const auto& a = corners[i];
            const auto& b = corners[(i + 1) % corners.size()];
            TPathSegment& seg = *item.segments.Append();
            seg.p1x = a.first;
            seg.p1y = a.second;
            seg.p2x = seg.p3x = b.first;
            seg.p2y = seg.p3y = b.second;
            seg.drawn = 1;
            seg.lineWidth = 3;
        }
        return item;
    }
};

bool IsDark(QRgb c) { return qRed(c) < 128 && qGreen(c) < 128 && qBlue(c) < 128; }
bool IsRed(QRgb c) { return qRed(c) > 180 && qGreen(c) < 100 && qBlue(c) < 100; }
bool IsWhite(QRgb c) { return (c & 0xFFFFFF) == 0xFFFFFF; }

// Counts pixels matching a test inside and outside a rectangle.
template <typename F>
std::pair<int, int> CountPixels(const QImage& image, const QRect& box, F test) {
    int inside = 0, outside = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (test(image.pixel(x, y))) (box.contains(x, y) ? inside : outside)++;
    return {inside, outside};
}

class PageViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    // The window's controls around a view, as the main window sets them up.
    void MakeWindowControls(int viewportW, int viewportH) {
        pageEd = std::make_unique<QSpinBox>();
        pageEd->setRange(1, 10000);
        pageEd->setValue(1);
        zoomEd = std::make_unique<QSpinBox>();
        zoomEd->setRange(10, 300);
        zoomEd->setSingleStep(10);
        zoomEd->setValue(50);
        fontNameEd = std::make_unique<QLineEdit>();
        scroll = std::make_unique<QScrollArea>();
        scroll->setWidgetResizable(false);
        view = new TPageView(t.doc);
        view->SetDpi(96);
        scroll->setWidget(view);
        view->AttachControls(pageEd.get(), zoomEd.get(), fontNameEd.get(), scroll.get());
        QObject::connect(zoomEd.get(), &QSpinBox::valueChanged, view, &TPageView::Refresh);
        scroll->resize(viewportW + scroll->verticalScrollBar()->sizeHint().width() + 2 * scroll->frameWidth(),
                       viewportH + scroll->horizontalScrollBar()->sizeHint().height() + 2 * scroll->frameWidth());
        scroll->show();
        view->Refresh();
        QCoreApplication::processEvents();
    }

    TTestDoc t;
    std::unique_ptr<QSpinBox> pageEd, zoomEd;
    std::unique_ptr<QLineEdit> fontNameEd;
    std::unique_ptr<QScrollArea> scroll;
    TPageView* view = nullptr;  // owned by the scroll area
};

// ---- geometry -----------------------------------------------------------------

TEST(PageGeometry, ConvertsPointsToPixels) {
    struct Case {
        double pt;
        int zoom, dpi, px;
    } cases[] = {
        {595, 50, 96, 396}, {842, 50, 96, 561}, {72, 100, 96, 96}, {720, 100, 96, 960},
        {612, 100, 96, 816}, {-10, 100, 72, -10},  // truncation toward zero, not down
        {-10.5, 100, 72, -10}, {1e300, 300, 96, INT_MAX}, {-1e300, 300, 96, INT_MIN},
    };
    for (const Case& c : cases) EXPECT_EQ(Conv(c.pt, c.zoom, c.dpi), c.px) << c.pt << " at " << c.zoom;
    EXPECT_EQ(TruncToInt(std::nan("")), 0);
}

TEST(PageGeometry, FontSizes) {
    EXPECT_EQ(RunEmPixels(0.1, 10, 96), 1);
    EXPECT_EQ(RunEmPixels(-12, 100, 96), 1);  // negative sizes still draw
    EXPECT_EQ(RunEmPixels(12, 100, 96), 16);
    EXPECT_EQ(RunEmPixels(12, 50, 96), 8);
    EXPECT_EQ(AnnotPointSize(50), 6);  // 5.5 to even
    EXPECT_EQ(AnnotPointSize(100), 11);
    EXPECT_EQ(AnnotPointSize(10), 1);  // 1.1
    EXPECT_EQ(AnnotPointSize(30), 3);  // 3.3
    EXPECT_EQ(HoverPointSize(12, 50), 6);
    EXPECT_EQ(HoverPointSize(0.5, 10), 1);
    EXPECT_EQ(HoverPointSize(5, 50), 2);  // 2.5 to even
}

TEST(PageGeometry, MagnifierZoomSequence) {
    std::vector<int> in, out;
    for (int z = 50, i = 0; i < 6; ++i) in.push_back(z = MagnifiedZoom(z, true));
    for (int z = 50, i = 0; i < 5; ++i) out.push_back(z = MagnifiedZoom(z, false));
    EXPECT_EQ(in, (std::vector<int>{75, 112, 168, 252, 300, 300}));
    EXPECT_EQ(out, (std::vector<int>{33, 22, 15, 10, 10}));
}

TEST(PageGeometry, ScrollPositions) {
    EXPECT_EQ(ClampScroll(-5, 100), 0);
    EXPECT_EQ(ClampScroll(150, 100), 99);
    EXPECT_EQ(ClampScroll(50, 100), 50);
    // Click at x 300 at zoom 50 is page unit 6; at zoom 75 that is 450,
    // minus half a 200-pixel viewport.
    EXPECT_EQ(MagnifierScroll(300, 50, 75, 200, 1000), 350);
    EXPECT_EQ(MagnifierScroll(10, 50, 75, 200, 1000), 0);
    EXPECT_EQ(MagnifierScroll(999, 50, 75, 200, 600), 599);
}

TEST(PageGeometry, BoxBoundsAreInclusive) {
    EXPECT_TRUE(BoxContains(10, 20, 30, 5, 10, 20));
    EXPECT_TRUE(BoxContains(10, 20, 30, 5, 40, 25));
    EXPECT_FALSE(BoxContains(10, 20, 30, 5, 41, 25));
    EXPECT_FALSE(BoxContains(10, 20, 30, 5, 9, 22));
    EXPECT_FALSE(BoxContains(10, 20, 30, 5, 20, 26));
}

TEST(PageGeometry, AnnotationRectangleInInchesFromTop) {
    TAnnotation a;
    a.x1 = 1;
    a.y1 = 0.5;
    a.x2 = 3;
    a.y2 = 2;
    EXPECT_EQ(AnnotRect(a, 0, 0, 100, 96), QRect(QPoint(96, 48), QPoint(288, 192)));
    EXPECT_EQ(AnnotRect(a, 72, 0, 50, 96), QRect(QPoint(0, 24), QPoint(96, 96)));
}

// ---- pictures ---------------------------------------------------------------------

TEST(DibToImage, RowsBottomUpAndColourTables) {
    TDib rgb = newdib(2, 2, 24);
    ASSERT_NE(rgb.bits(), nullptr);
    // Bottom row: blue, green; top row: red, white (BGR bytes).
    const uint8_t bottom[] = {255, 0, 0, 0, 255, 0};
    const uint8_t top[] = {0, 0, 255, 255, 255, 255};
    std::copy(std::begin(bottom), std::end(bottom), rgb.Row(0));
    std::copy(std::begin(top), std::end(top), rgb.Row(1));
    const QImage image = DibToImage(rgb);
    ASSERT_EQ(image.size(), QSize(2, 2));
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(image.pixel(1, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(image.pixel(0, 1) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(image.pixel(1, 1) & 0xFFFFFF, 0x00FF00u);

    TDib mono = newdib(9, 1, 1);
    ASSERT_NE(mono.bits(), nullptr);
    mono.colorTable = {0x000000, 0xFF8000};
    mono.Row(0)[0] = 0x80;  // first pixel set
    mono.Row(0)[1] = 0x80;  // ninth pixel set
    const QImage m = DibToImage(mono);
    EXPECT_EQ(m.pixel(0, 0) & 0xFFFFFF, 0xFF8000u);
    EXPECT_EQ(m.pixel(1, 0) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(m.pixel(8, 0) & 0xFFFFFF, 0xFF8000u);
}

TEST(DibToImage, RejectsInconsistentBlocksAndSamplesHugeOnes) {
    TDib bad = newdib(4, 4, 24);
    bad.rowBytes = 4;  // shorter than a row of 12 bytes
    EXPECT_TRUE(DibToImage(bad).isNull());
    TDib shortData = newdib(4, 4, 8);
    shortData.pixels.resize(3);
    EXPECT_TRUE(DibToImage(shortData).isNull());
    TDib odd = newdib(4, 4, 8);
    odd.bitsPerPixel = 16;
    EXPECT_TRUE(DibToImage(odd).isNull());
    EXPECT_TRUE(DibToImage(TDib{}).isNull());

    TDib big = newdib(400, 100, 8);
    ASSERT_NE(big.bits(), nullptr);
    const QImage sampled = DibToImage(big, 10000);
    EXPECT_LE(int64_t{sampled.width()} * sampled.height(), 10000);
    EXPECT_EQ(sampled.width(), 200);
    EXPECT_EQ(sampled.height(), 50);
}

// ---- painting -----------------------------------------------------------------------

TEST_F(PageViewTest, AreaSizeFollowsMediaBoxOrSheet) {
    t.AddPage(0, 0, 595, 842);
    t.AddPage(100, 100, 712, 892);
    TPageView v(t.doc);
    v.SetDpi(96);
    EXPECT_EQ(v.PageAreaSize(1, 50), QSize(396, 561));
    EXPECT_EQ(v.PageAreaSize(2, 100), QSize(816, 1056));
    // Invalid page numbers get an A4 sheet.
    EXPECT_EQ(v.PageAreaSize(3, 100), QSize(793, 1122));
    EXPECT_EQ(v.PageAreaSize(0, 50), QSize(396, 561));
    const QImage empty = v.RenderPage(3, 50);
    ASSERT_EQ(empty.size(), QSize(396, 561));
    EXPECT_EQ(CountPixels(empty, QRect(), [](QRgb c) { return !IsWhite(c); }).second, 0);
}

TEST_F(PageViewTest, TextRunDrawnAtItsPlaceOnly) {
    t.AddPage(0, 0, 612, 792);
    t.AddRun(1, "/F1", "HHHH", 72, 720, 24, 18);
    t.AddRun(2, "/F1", "HHHH", 300, 300, 24, 18);  // another page: not drawn here
    TPageView v(t.doc);
    v.SetDpi(96);
    const QImage image = v.RenderPage(1, 100);
    ASSERT_EQ(image.size(), QSize(816, 1056));
    // Top-left corner at (96, 96); four characters 24 pixels apart, 32 px em.
    const QRect runBox(96, 96, 4 * 24 + 32, 48);
    const auto [inside, outside] = CountPixels(image, runBox, IsDark);
    EXPECT_GT(inside, 100);
    EXPECT_EQ(outside, 0);
    // The characters stand at their own advances: every 24-pixel cell
    // holds ink of its own character.
    bool darkInEachCell[4] = {};
    for (int ch = 0; ch < 4; ++ch)
        for (int x = 96 + ch * 24; x < 96 + ch * 24 + 24; ++x)
            for (int y = 96; y < 144; ++y) darkInEachCell[ch] |= IsDark(image.pixel(x, y));
    for (bool dark : darkInEachCell) EXPECT_TRUE(dark);
}

TEST_F(PageViewTest, MarkedRunIsRedAndOthersKeepTheirColour) {
    t.AddPage(0, 0, 612, 792);
    t.AddRun(1, "/F1", "MM", 72, 720, 24, 20);
    t.AddRun(1, "/F2", "MM", 72, 500, 24, 20).fillColor = 0xFF0000;  // blue
    TPageView v(t.doc);
    v.SetDpi(96);
    // The pointer over the first run (the view's zoom is 50 without fields).
    ASSERT_EQ(v.HoverAt(55, 52), QStringLiteral("/F1"));
    const QImage image = v.RenderPage(1, 100);
    const QRect firstRun(96, 96, 100, 48);
    const auto [redInside, redOutside] = CountPixels(image, firstRun, IsRed);
    EXPECT_GT(redInside, 50);
    EXPECT_EQ(redOutside, 0);
    const auto [blue, blueElsewhere] = CountPixels(image, QRect(96, 389, 100, 48), [](QRgb c) {
        return qBlue(c) > 180 && qRed(c) < 100 && qGreen(c) < 100;
    });
    EXPECT_GT(blue, 50);
    EXPECT_EQ(blueElsewhere, 0);
}

TEST_F(PageViewTest, FilledPathHasNoOutlineAndStrokedPathNoFill) {
    t.AddPage(0, 0, 612, 792);
    TDisplayItem& square = t.AddPolygon(1, {{72, 72}, {216, 72}, {216, 216}, {72, 216}});
    square.filled = 1;
    square.fillColor = 0xFF0000;    // blue
    square.strokeColor = 0x0000FF;  // red, must not show
    TPageView v(t.doc);
    v.SetDpi(96);
    QImage image = v.RenderPage(1, 100);
    // Square from (96, 768) to (288, 960) in the view.
    EXPECT_EQ(image.pixel(192, 864) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(CountPixels(image, QRect(), IsRed).second, 0);
    EXPECT_TRUE(IsWhite(image.pixel(50, 864)));

    square.filled = 0;
    square.stroked = 1;
    image = v.RenderPage(1, 100);
    EXPECT_TRUE(IsWhite(image.pixel(192, 864)));
    EXPECT_TRUE(IsRed(image.pixel(192, 768)));  // top edge, 4 px pen
    EXPECT_TRUE(IsRed(image.pixel(96, 864)));   // left edge
    // Segments with drawn = 0 contribute nothing.
    for (TPathSegment& seg : square.segments) seg.drawn = 0;
    image = v.RenderPage(1, 100);
    EXPECT_EQ(CountPixels(image, QRect(), [](QRgb c) { return !IsWhite(c); }).second, 0);
}

TEST_F(PageViewTest, ImageStretchedIntoItsRectangle) {
    t.AddPage(0, 0, 612, 792);
    t.doc.imageList.Append();
    TDib dib = newdib(2, 1, 24);
    const uint8_t row[] = {0, 0, 255, 255, 0, 0};  // red, blue
    std::copy(std::begin(row), std::end(row), dib.Row(0));
    t.doc.imageBitmaps.Put(0, 1, dib);
    TDisplayItem& item = *t.doc.displayList.Append();
    item.pageNo = 1;
    item.isImage = 1;
    item.imageIndex = 0;
    item.x = 72;
    item.y = 72;
    item.scaleX = 144;
    item.scaleY = 72;
    TDisplayItem& broken = *t.doc.displayList.Append();  // no such picture
    broken.pageNo = 1;
    broken.isImage = 1;
    broken.imageIndex = 7;
    TPageView v(t.doc);
    v.SetDpi(96);
    const QImage image = v.RenderPage(1, 100);
    // Left = 96, top = 1056 - 192 = 864, 192 x 96 pixels.
    EXPECT_TRUE(IsRed(image.pixel(100, 900)));
    EXPECT_EQ(image.pixel(280, 900) & 0xFFFFFF, 0x0000FFu);
    EXPECT_TRUE(IsWhite(image.pixel(100, 860)));
    EXPECT_TRUE(IsWhite(image.pixel(100, 962)));
    // A new picture in the same record is seen at the next paint.
    dib.Row(0)[2] = 0;
    dib.Row(0)[1] = 255;
    t.doc.imageBitmaps.Put(0, 1, dib);
    EXPECT_EQ(v.RenderPage(1, 100).pixel(100, 900) & 0xFFFFFF, 0x00FF00u);
}

TEST_F(PageViewTest, AnnotationsAsYellowBoxesWithText) {
    t.AddPage(0, 0, 612, 792);
    TPageRecord& page = t.doc.pageList[0];
    TAnnotation& note = *page.annotations.Append();
    note.annotKind = 2;
    note.x1 = 1;
    note.y1 = 1;
    note.x2 = 4;
    note.y2 = 2;
    note.contents = "Dies ist ein l\xE4ngerer Text, der umbrochen wird";
    TAnnotation& link = *page.annotations.Append();
    link.annotKind = 0;
    link.x1 = 1;
    link.y1 = 5;
    link.x2 = 3;
    link.y2 = 6;
    TPageView v(t.doc);
    v.SetDpi(96);
    const QImage image = v.RenderPage(1, 100);
    // Box from (96, 96) to (384, 192); the outline is black.
    const QRgb yellow = qRgb(255, 255, 0);
    EXPECT_EQ(image.pixel(380, 188), yellow);
    EXPECT_TRUE(IsDark(image.pixel(96, 140)));
    EXPECT_TRUE(IsDark(image.pixel(200, 96)));
    const auto [textInside, textOutside] = CountPixels(image, QRect(99, 99, 283, 91), IsDark);
    EXPECT_GT(textInside, 30);
    // Only the outline's pixels are dark outside the text area.
    EXPECT_LT(textOutside, 2 * (288 + 96) + 8);
    // The link is not drawn.
    EXPECT_TRUE(IsWhite(image.pixel(150, 520)));
}

TEST_F(PageViewTest, ASwappedInDocumentReplacesTheShownOne) {
    t.AddPage(0, 0, 612, 792);
    t.AddRun(1, "/F1", "HHHH", 72, 720, 24, 18);
    TTestDoc other;
    other.AddPage(0, 0, 300, 200);
    TPageView v(t.doc);
    v.SetDpi(96);
    v.HoverAt(55, 52);
    ASSERT_TRUE(v.IsMarked(0));
    v.SetDocument(other.doc);
    EXPECT_EQ(v.PageAreaSize(1, 100), QSize(400, 266));
    EXPECT_EQ(CountPixels(v.RenderPage(1, 100), QRect(), IsDark).second, 0);
    // The old document's marks went with it.
    EXPECT_FALSE(v.IsMarked(0));
    EXPECT_EQ(v.HoverAt(55, 52), QString());
}

TEST_F(PageViewTest, PaintingClearsStatusTextOnValidPagesOnly) {
    t.AddPage(0, 0, 595, 842);
    MakeWindowControls(300, 200);
    EXPECT_EQ(view->size(), QSize(396, 561));
    QSignalSpy spy(view, &TPageView::statusTextChanged);
    view->repaint();
    ASSERT_GE(spy.count(), 1);
    EXPECT_EQ(spy.last().at(0).toString(), QString());
    spy.clear();
    t.doc.pageList.Clear();
    view->Refresh();
    QCoreApplication::processEvents();
    view->repaint();
    EXPECT_EQ(spy.count(), 0);
}

TEST_F(PageViewTest, DamagedModelValuesDrawWithoutHarm) {
    // A media box far beyond any screen: the area stops at the widget
    // limit, the whole-page bitmap is refused, a window-sized part draws.
    t.AddPage(0, 0, 1e12, 1e12);
    t.AddPage(std::nan(""), 0, 612, 792);
    t.AddPage(0, 0, 612, 792);
    TDisplayItem& huge = t.AddRun(1, "/F1", "Wide", 1e15, -1e15, 1e9, 1e300);
    huge.advances.resize(1);  // fewer advances than characters
    huge.spacings.clear();
    t.AddRun(1, "/F1", "Big", 72, 720, 5000, 10);
    TDisplayItem& path = t.AddPolygon(1, {{1e300, -1e300}, {std::nan(""), 5}, {72, 72}});
    path.filled = path.stroked = 1;
    path.segments[0].lineWidth = 1e300;
    t.doc.imageList.Append();
    t.doc.imageBitmaps.Put(0, 1, newdib(3, 3, 8));
    TDisplayItem& mirrored = *t.doc.displayList.Append();
    mirrored.pageNo = 3;
    mirrored.isImage = 1;
    mirrored.x = 300;
    mirrored.y = 300;
    mirrored.scaleX = -100;
    mirrored.scaleY = -100;
    // Stale index entries point past the list and at another page's item.
    t.doc.pageItemIndex = {{}, {0, 99, -4, 1, 2}, {}, {1, 0, 3}};

    TPageView v(t.doc);
    v.SetDpi(96);
    EXPECT_EQ(v.PageAreaSize(1, 300), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    EXPECT_TRUE(v.RenderPage(1, 300).isNull());
    const QImage part = v.RenderPageRegion(1, 300, QRect(0, 0, 500, 400));
    EXPECT_EQ(part.size(), QSize(500, 400));
    EXPECT_EQ(v.PageAreaSize(2, 100).width(), 0);
    EXPECT_TRUE(v.RenderPage(2, 100).isNull());
    const QImage third = v.RenderPage(3, 100);
    ASSERT_EQ(third.size(), QSize(816, 1056));
    // The mirrored picture (grey level 0: black) spans 200..300 pt both ways.
    EXPECT_TRUE(IsDark(third.pixel(Conv(250, 100, 96), 1056 - Conv(250, 100, 96))));
    EXPECT_TRUE(IsWhite(third.pixel(Conv(350, 100, 96), 1056 - Conv(250, 100, 96))));
    EXPECT_TRUE(IsWhite(third.pixel(Conv(250, 100, 96), 1056 - Conv(350, 100, 96))));
    EXPECT_EQ(CountPixels(third, QRect(267, 657, 134, 134), IsDark).second, 0);
}

// ---- mouse tools ---------------------------------------------------------------------

TEST_F(PageViewTest, PointerMarksRunsUnderItAndNamesTheLastOne) {
    t.AddPage(0, 0, 612, 792);
    t.AddRun(1, "/F1", "Hello", 72, 720, 24, 14);
    t.AddRun(1, "/F2", "World", 72, 720, 24, 14);  // same place, later in the list
    t.AddRun(1, "/F3", "Other", 72, 400, 24, 14);
    MakeWindowControls(600, 500);
    zoomEd->setValue(100);
    auto marks = [this] { return std::vector<bool>{view->IsMarked(0), view->IsMarked(1), view->IsMarked(2)}; };

    // View (100, 100) is inside the first two runs' boxes (top 96).
    EXPECT_EQ(view->HoverAt(100, 100), QStringLiteral("/F2"));
    EXPECT_EQ(fontNameEd->text(), QStringLiteral("/F2"));
    EXPECT_EQ(marks(), (std::vector<bool>{true, true, false}));

    // The marked runs paint red.
    const QImage image = view->RenderPage(1, 100);
    EXPECT_GT(CountPixels(image, QRect(96, 96, 200, 48), IsRed).first, 50);

    // Over the third run (top 1056 - 533 = 523).
    EXPECT_EQ(view->HoverAt(100, 530), QStringLiteral("/F3"));
    EXPECT_EQ(marks(), (std::vector<bool>{false, false, true}));

    // Empty paper clears the marks and the field.
    EXPECT_EQ(view->HoverAt(700, 900), QString());
    EXPECT_EQ(fontNameEd->text(), QString());
    EXPECT_EQ(marks(), (std::vector<bool>{false, false, false}));

    // Left of the run's start: the box's left bound is included, one
    // pixel less is not.
    EXPECT_EQ(view->HoverAt(96, 100), QStringLiteral("/F2"));
    EXPECT_EQ(view->HoverAt(95, 100), QString());
}

TEST_F(PageViewTest, PointerUsesThePageIndexWhenPresent) {
    t.AddPage(0, 0, 612, 792);
    t.AddPage(0, 0, 612, 792);
    t.AddRun(2, "/F9", "Page2", 72, 720, 24, 14);
    t.AddRun(1, "/F1", "Page1", 72, 720, 24, 14);
    // Index by page number: page 1 holds item 1, page 2 item 0.
    t.doc.pageItemIndex = {{}, {1}, {0}};
    MakeWindowControls(600, 500);
    zoomEd->setValue(100);
    EXPECT_EQ(view->HoverAt(100, 100), QStringLiteral("/F1"));
    pageEd->setValue(2);
    EXPECT_EQ(view->HoverAt(100, 100), QStringLiteral("/F9"));
    // The mark of page 1's run went with the movement on page 2.
    EXPECT_FALSE(view->IsMarked(1));
    EXPECT_TRUE(view->IsMarked(0));
}

TEST_F(PageViewTest, PointerWithoutValidPageKeepsTheField) {
    MakeWindowControls(300, 200);
    fontNameEd->setText(QStringLiteral("/F7"));
    QTest::mouseMove(view, QPoint(50, 50));
    EXPECT_EQ(fontNameEd->text(), QStringLiteral("/F7"));
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(PageViewTest, MouseMovementDrivesThePointer) {
    t.AddPage(0, 0, 612, 792);
    t.AddRun(1, "/F1", "Hello", 72, 720, 24, 14);
    MakeWindowControls(600, 500);
    zoomEd->setValue(100);
    QTest::mouseMove(view, QPoint(110, 105));
    EXPECT_EQ(fontNameEd->text(), QStringLiteral("/F1"));
    QTest::mouseMove(view, QPoint(400, 400));
    EXPECT_EQ(fontNameEd->text(), QString());
}

TEST_F(PageViewTest, CursorsFollowTheToolOnNextMovement) {
    t.AddPage(0, 0, 595, 842);
    MakeWindowControls(300, 200);
    view->SetTool(TPageView::TTool::Magnifier);
    QTest::mouseMove(view, QPoint(20, 20));
    EXPECT_EQ(view->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(view->cursor().hotSpot(), QPoint(0, 0));
    view->SetTool(TPageView::TTool::Hand);
    QTest::mouseMove(view, QPoint(30, 30));
    EXPECT_EQ(view->cursor().hotSpot(), QPoint(15, 16));
    EXPECT_EQ(view->cursor().pixmap().size(), QSize(32, 32));
    view->SetTool(TPageView::TTool::Pointer);
    QTest::mouseMove(view, QPoint(40, 40));
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);
    // The scroll box itself keeps its own cursor.
    EXPECT_EQ(scroll->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(PageViewTest, MagnifierZoomsThroughTheSequence) {
    t.AddPage(0, 0, 595, 842);
    MakeWindowControls(300, 200);
    view->SetTool(TPageView::TTool::Magnifier);
    std::vector<int> zooms;
    for (int i = 0; i < 6; ++i) {
        QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(5, 5));
        zooms.push_back(zoomEd->value());
    }
    EXPECT_EQ(zooms, (std::vector<int>{75, 112, 168, 252, 300, 300}));
    EXPECT_EQ(view->size(), QSize(2380, 3368));
    zooms.clear();
    zoomEd->setValue(50);
    for (int i = 0; i < 5; ++i) {
        QTest::mouseClick(view, Qt::RightButton, {}, QPoint(5, 5));
        zooms.push_back(zoomEd->value());
    }
    EXPECT_EQ(zooms, (std::vector<int>{33, 22, 15, 10, 10}));
}

TEST_F(PageViewTest, MagnifierAtTheCornerStopsAtEachScrollMaximum) {
    t.AddPage(0, 0, 595, 842);
    MakeWindowControls(300, 200);
    view->SetTool(TPageView::TTool::Magnifier);
    const QSize before = view->size();
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(before.width() - 1, before.height() - 1));
    ASSERT_EQ(zoomEd->value(), 75);
    EXPECT_EQ(view->size(), QSize(595, 842));
    QScrollBar* h = scroll->horizontalScrollBar();
    QScrollBar* v = scroll->verticalScrollBar();
    EXPECT_EQ(h->maximum(), 595 - scroll->viewport()->width());
    EXPECT_EQ(h->value(), h->maximum());
    EXPECT_EQ(v->value(), v->maximum());

    // A click near the top left scrolls back to the start.
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(zoomEd->value(), 112);
    EXPECT_EQ(h->value(), 0);
    EXPECT_EQ(v->value(), 0);

    // In the middle: the clicked page point comes to the viewport's centre.
    // x 400 at zoom 112 is page unit 3 (trunc 400/112); 168 * 3 - 150.
    const int vw = scroll->viewport()->width();
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(400, 600));
    EXPECT_EQ(zoomEd->value(), 168);
    EXPECT_EQ(h->value(), 168 * 3 - vw / 2);
    EXPECT_EQ(v->value(), 168 * 5 - scroll->viewport()->height() / 2);
}

TEST_F(PageViewTest, HandDragScrollsByTheMouseDistance) {
    t.AddPage(0, 0, 595, 842);
    MakeWindowControls(300, 200);
    zoomEd->setValue(100);
    QCoreApplication::processEvents();
    ASSERT_EQ(view->size(), QSize(793, 1122));
    QScrollBar* h = scroll->horizontalScrollBar();
    QScrollBar* v = scroll->verticalScrollBar();
    h->setValue(100);
    v->setValue(100);
    view->SetTool(TPageView::TTool::Hand);

    // A right press starts no pan.
    QTest::mousePress(view, Qt::RightButton, {}, QPoint(300, 300));
    QTest::mouseMove(view, QPoint(200, 250));
    EXPECT_EQ(h->value(), 100);
    QTest::mouseRelease(view, Qt::RightButton, {}, QPoint(200, 250));

    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(300, 300));
    QTest::mouseMove(view, QPoint(200, 250));  // 100 left, 50 up
    EXPECT_EQ(h->value(), 200);
    EXPECT_EQ(v->value(), 150);
    // Far beyond the range: each direction stops at its end.
    QTest::mouseMove(view, QPoint(-5000, 5000));
    EXPECT_EQ(h->value(), h->maximum());
    EXPECT_EQ(v->value(), 0);
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(-5000, 5000));
    QTest::mouseMove(view, QPoint(300, 300));
    EXPECT_EQ(h->value(), h->maximum());
    EXPECT_EQ(v->value(), 0);
}

// ---- a real file -----------------------------------------------------------------

TEST_F(PageViewTest, CorpusFileWithAnnotationsPaintsAndHovers) {
    TFreeTypeMeasurer measurer;
    THeadlessUi ui(&measurer);
    TPdfDocument doc(ui);
    doc.openfilenow(CorpusPath("gs-annots-v14.pdf"));
    ASSERT_EQ(doc.pageList.Count(), 2);
    InterpretAllPages(doc);
    const TDisplayItem* firstRun = nullptr;
    for (const TDisplayItem& item : doc.displayList)
        if (item.pageNo == 1 && !item.isPath && !item.isImage && !item.text.empty()) {
            firstRun = &item;
            break;
        }
    ASSERT_NE(firstRun, nullptr);

    QSpinBox pageField, zoomField;
    pageField.setRange(1, 10000);
    zoomField.setRange(10, 300);
    zoomField.setValue(100);
    QLineEdit nameField;
    TPageView v(doc);
    v.SetDpi(96);
    v.AttachControls(&pageField, &zoomField, &nameField, nullptr);

    const QImage image = v.RenderPage(1, 100);
    const QRgb yellow = qRgb(255, 255, 0);
    EXPECT_GT(CountPixels(image, QRect(), [&](QRgb c) { return c == yellow; }).second, 20000);
    EXPECT_GT(CountPixels(image, QRect(), IsDark).second, 1000);

    // Just inside the first run's top-left corner.
    const auto& box = doc.pageList[0].mediaBox;
    const int left = Conv(firstRun->x - box[0], 100, 96);
    const int top = v.PageAreaSize(1, 100).height() - Conv(firstRun->y - box[1], 100, 96);
    const QString name = v.HoverAt(left + 2, top + 2);
    EXPECT_TRUE(name == "/R7" || name == "/R32" || name == "/R35") << name.toStdString();
    EXPECT_EQ(nameField.text(), name);
    EXPECT_TRUE(v.IsMarked(static_cast<int32_t>(firstRun - &doc.displayList[0])));
    EXPECT_GT(CountPixels(v.RenderPage(1, 100), QRect(), IsRed).second, 20);
}

}  // namespace
