// The page view asks for what it shows: a page is interpreted when it is
// painted or hovered, and pictures are decoded at the size they are drawn.
#include <gtest/gtest.h>

#include <QImage>

#include "ContentInterpreter.h"
#include "FontMeasurer.h"
#include "PageView.h"
#include "PdfDocument.h"
#include "TestSupport.h"
#include "ViewTestApp.h"

namespace {

using PageGeometry::ScaleDenomFor;

int NonWhitePixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) ++count;
    return count;
}

bool Shown(const TPdfDocument& doc, int32_t pageNo) {
    for (const auto& page : doc.shownPages)
        if (page.pageNo == pageNo) return true;
    return false;
}

struct TOpenedView {
    TFreeTypeMeasurer measurer;
    THeadlessUi ui{&measurer};
    TPdfDocument doc{ui};
    explicit TOpenedView(const std::string& file) {
        EnsureApplication();
        doc.openfilenow(CorpusPath(file));
    }
};

TEST(ScaleDenomFor, TheLargestReductionThatStillCoversTheRectangle) {
    struct {
        int32_t width, height;
        int targetWidth, targetHeight;
        int32_t denom;
    } const cases[] = {
        {3000, 2000, 667, 444, 4},  // a photo half a page wide at zoom 100
        {3000, 2000, 375, 250, 8},  {3000, 2000, 376, 250, 4}, {3000, 2000, 1500, 1000, 2},
        {3000, 2000, 1501, 10, 1},  {3000, 2000, 10, 1001, 1}, {400, 300, 51, 38, 4},
        {0, 300, 1, 1, 1},          {16, 16, 2, 2, 8},         {1, 1, 1, 1, 8},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScaleDenomFor(c.width, c.height, c.targetWidth, c.targetHeight), c.denom)
            << c.width << "x" << c.height << " into " << c.targetWidth << "x" << c.targetHeight;
}

TEST(PageViewOnDemand, PaintingAPageInterpretsItAndDecodesItsPictureReduced) {
    TOpenedView opened("img2pdf-jpeg-rgb-gray-v13.pdf");
    TPdfDocument& doc = opened.doc;
    ASSERT_EQ(doc.imageList.Count(), 2);
    EXPECT_TRUE(doc.shownPages.empty());
    EXPECT_EQ(doc.imageBitmaps.Count(), 0u);

    TPageView view(doc);
    view.SetDpi(96);
    const QImage small = view.RenderPage(1, 10);
    ASSERT_FALSE(small.isNull());
    EXPECT_TRUE(Shown(doc, 1));
    EXPECT_FALSE(Shown(doc, 2));
    EXPECT_GT(NonWhitePixels(small), small.width() * small.height() / 2);  // the photo fills the page
    // At zoom 10 the 400 x 300 photo takes a few dozen pixels: never the
    // full picture.
    EXPECT_EQ(doc.imageBitmaps.Find(0, 1), nullptr);
    EXPECT_NE(doc.imageBitmaps.Find(0, 8), nullptr);

    // At zoom 300 it is drawn from the full picture, and looks the same.
    const QImage large = view.RenderPage(1, 300);
    ASSERT_FALSE(large.isNull());
    EXPECT_NE(doc.imageBitmaps.Find(0, 1), nullptr);
    const QImage scaled = large.scaled(small.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QRgb a = small.pixel(small.width() / 2, small.height() / 2);
    const QRgb b = scaled.pixel(small.width() / 2, small.height() / 2);
    EXPECT_NEAR(qRed(a), qRed(b), 40);
    EXPECT_NEAR(qGreen(a), qGreen(b), 40);
    EXPECT_NEAR(qBlue(a), qBlue(b), 40);
}

TEST(PageViewOnDemand, HoveringAPageInterpretsItAndStaleMarksAreCleared) {
    TOpenedView opened("pdftex-camlidl-v12.pdf");
    TPdfDocument& doc = opened.doc;
    ASSERT_GT(doc.pageList.Count(), 3);
    TPageView view(doc);
    view.SetDpi(96);
    // Without the page field the current page is 1.
    view.HoverAt(10, 10);
    EXPECT_TRUE(Shown(doc, 1));
    // A hit: the middle of the first run that has text.
    EnsurePageItems(doc, 1);
    const TDisplayItem* run = nullptr;
    for (const int32_t pos : ItemsOfPage(doc, 1)) {
        const TDisplayItem& item = doc.displayList[static_cast<size_t>(pos)];
        if (!item.isPath && !item.isImage && item.text.size() > 3) {
            run = &item;
            break;
        }
    }
    ASSERT_NE(run, nullptr);
    const auto& box = doc.pageList[0].mediaBox;
    const int zoom = view.CurrentZoom();
    const int x = PageGeometry::Conv(run->x - box[0] + 2, zoom, 96);
    const int y = view.PageAreaSize(1, zoom).height() - PageGeometry::Conv(run->y - box[1], zoom, 96) + 3;
    EXPECT_FALSE(view.HoverAt(x, y).isEmpty());
    const auto markedCount = [&] {
        int marked = 0;
        for (int32_t pos = 0; pos < doc.displayList.Count(); ++pos) marked += view.IsMarked(pos);
        return marked;
    };
    ASSERT_GT(markedCount(), 0);

    // Other pages push page 1 out of a small budget; when it comes back no
    // item carries a mark from before.
    doc.displayListBudget = 1;
    EnsurePageItems(doc, 2);
    EnsurePageItems(doc, 1);
    EXPECT_EQ(markedCount(), 0);
    view.HoverAt(0, 0);
    EXPECT_EQ(markedCount(), 0);
}

}  // namespace
