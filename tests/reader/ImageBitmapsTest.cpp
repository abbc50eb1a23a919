// Pictures decoded on demand: reduced decoding, the averaging reduction, and
// the cache that keeps decoded bitmaps within a budget.
#include <gtest/gtest.h>

#include "Dib.h"
#include "ImageBitmaps.h"
#include "TestSupport.h"

namespace {

TDib GreyDib(int32_t width, int32_t height, uint8_t level) {
    TDib dib = newdib(width, height, 8);
    std::fill(dib.pixels.begin(), dib.pixels.end(), level);
    return dib;
}

double MeanOfChannel(const TDib& dib, int channel) {
    const int bytes = dib.bitsPerPixel / 8;
    double sum = 0;
    for (int32_t r = 0; r < dib.height; ++r)
        for (int32_t c = 0; c < dib.width; ++c) sum += dib.Row(r)[c * bytes + channel];
    return sum / (double{1} * dib.width * dib.height);
}

TEST(ImageBitmaps, KeepsWithinTheBudgetDroppingTheLeastRecentlyUsed) {
    TImageBitmaps cache;
    cache.Put(0, 1, GreyDib(100, 100, 10));
    const size_t one = cache.Bytes();
    ASSERT_GT(one, GreyDib(100, 100, 0).pixels.size());
    cache.SetBudget(3 * one);
    cache.Put(1, 1, GreyDib(100, 100, 20));
    cache.Put(2, 1, GreyDib(100, 100, 30));
    ASSERT_EQ(cache.Count(), 3u);
    ASSERT_NE(cache.Find(0, 1), nullptr);  // now the most recently used
    cache.Put(3, 1, GreyDib(100, 100, 40));
    EXPECT_EQ(cache.Count(), 3u);
    EXPECT_EQ(cache.Find(1, 1), nullptr);
    EXPECT_NE(cache.Find(0, 1), nullptr);
    EXPECT_NE(cache.Find(3, 1), nullptr);
    EXPECT_EQ(cache.Bytes(), 3 * one);
    // Reductions are entries of their own.
    EXPECT_EQ(cache.Find(0, 2), nullptr);
}

TEST(ImageBitmaps, ABitmapLargerThanTheBudgetStaysAloneAndOutlivesItsEviction) {
    TImageBitmaps cache(1000);
    cache.Put(0, 1, GreyDib(10, 10, 1));
    const TImageBitmaps::TBitmap big = cache.Put(1, 1, GreyDib(200, 200, 2));
    EXPECT_EQ(cache.Count(), 1u);
    EXPECT_EQ(cache.Find(1, 1), big);
    cache.Put(2, 1, GreyDib(10, 10, 3));
    EXPECT_EQ(cache.Find(1, 1), nullptr);
    // The caller's bitmap is still whole.
    ASSERT_EQ(big->width, 200);
    EXPECT_EQ(big->Row(199)[199], 2);
}

TEST(ImageBitmaps, PutReplacesTheBitmapOfTheSameKeyAndClearEmpties) {
    TImageBitmaps cache;
    cache.Put(5, 4, GreyDib(4, 4, 1));
    const size_t bytes = cache.Bytes();
    cache.Put(5, 4, GreyDib(4, 4, 9));
    EXPECT_EQ(cache.Count(), 1u);
    EXPECT_EQ(cache.Bytes(), bytes);
    EXPECT_EQ(cache.Find(5, 4)->Row(0)[0], 9);
    cache.Clear();
    EXPECT_EQ(cache.Count(), 0u);
    EXPECT_EQ(cache.Bytes(), 0u);
    EXPECT_EQ(cache.Find(5, 4), nullptr);
}

TEST(ReduceDib, AveragesBlocksAndKeepsTheCutOffEdge) {
    // 5 x 3 grey, bottom row first: a 2 x 2 reduction gives 3 x 2 pixels.
    TDib dib = newdib(5, 3, 8);
    const uint8_t rows[3][5] = {{0, 10, 20, 30, 40}, {100, 110, 120, 130, 140}, {200, 210, 220, 230, 240}};
    for (int r = 0; r < 3; ++r) std::copy(rows[r], rows[r] + 5, dib.Row(r));
    const TDib half = ReduceDib(dib, 2);
    ASSERT_EQ(half.width, 3);
    ASSERT_EQ(half.height, 2);
    EXPECT_EQ(half.bitsPerPixel, 8);
    EXPECT_EQ(half.Row(0)[0], (0 + 10 + 100 + 110) / 4);
    EXPECT_EQ(half.Row(0)[2], (40 + 140) / 2);
    EXPECT_EQ(half.Row(1)[1], (220 + 230) / 2);
    EXPECT_EQ(half.Row(1)[2], 240);
    EXPECT_EQ(half.colorTable, dib.colorTable);
}

TEST(ReduceDib, ColourChannelsStaySeparateAndOddDepthsStayWhole) {
    TDib rgb = newdib(4, 4, 24);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            rgb.Row(r)[c * 3] = 200;                      // blue
            rgb.Row(r)[c * 3 + 2] = static_cast<uint8_t>(c < 2 ? 0 : 100);  // red
        }
    const TDib quarter = ReduceDib(rgb, 4);
    ASSERT_EQ(quarter.width, 1);
    EXPECT_EQ(quarter.Row(0)[0], 200);
    EXPECT_EQ(quarter.Row(0)[1], 0);
    EXPECT_EQ(quarter.Row(0)[2], 50);

    const TDib mono = newdib(16, 16, 1);
    EXPECT_EQ(ReduceDib(mono, 8).width, 16);
    TDib indexed = newdib(8, 8, 8);
    indexed.colorTable.assign(256, 0xFF0000);
    EXPECT_EQ(ReduceDib(indexed, 2).width, 8);
    // Requests round down to a reduction that exists.
    EXPECT_EQ(ValidScaleDenom(3), 2);
    EXPECT_EQ(ValidScaleDenom(100), 8);
    EXPECT_EQ(ValidScaleDenom(0), 1);
}

TEST(OpenDib, JpegDecodesReducedWithTheSameColours) {
    const std::string jpeg = ReadFileText(DataPath("streams/cmyk-adobe-16x16.jpg"));
    const auto* bytes = reinterpret_cast<const uint8_t*>(jpeg.data());
    const TDib full = OpenDib(bytes, jpeg.size());
    ASSERT_NE(full.bits(), nullptr);
    EXPECT_TRUE(JpegLooksDecodable(bytes, jpeg.size()));
    for (const int32_t denom : {2, 4, 8}) {
        SCOPED_TRACE(denom);
        const TDib reduced = OpenDib(bytes, jpeg.size(), denom);
        ASSERT_NE(reduced.bits(), nullptr);
        EXPECT_EQ(reduced.width, 16 / denom);
        EXPECT_EQ(reduced.height, 16 / denom);
        for (int channel = 0; channel < 3; ++channel)
            EXPECT_NEAR(MeanOfChannel(reduced, channel), MeanOfChannel(full, channel), 6.0) << channel;
    }
    EXPECT_FALSE(JpegLooksDecodable(bytes, 20));
    EXPECT_FALSE(JpegLooksDecodable(reinterpret_cast<const uint8_t*>("II*\0"), 4));
}

// The open of a file with two JPEG pages decodes nothing; asking for a
// picture decodes it at the reduction asked for and keeps it.
TEST(ImageBitmap, DecodedOnDemandAtTheReductionAskedFor) {
    auto opened = OpenHeadless(CorpusPath("img2pdf-jpeg-rgb-gray-v13.pdf"), true);
    TPdfDocument& doc = opened->doc;
    ASSERT_EQ(doc.imageList.Count(), 2);
    EXPECT_EQ(doc.imageBitmaps.Count(), 0u);
    const auto quarter = doc.ImageBitmap(0, 4);
    ASSERT_NE(quarter, nullptr);
    EXPECT_EQ(quarter->width, 100);
    EXPECT_EQ(quarter->height, 75);
    EXPECT_EQ(doc.imageBitmaps.Count(), 1u);
    EXPECT_EQ(doc.ImageBitmap(0, 4), quarter);  // kept, not decoded again
    const auto full = doc.ImageBitmap(0);
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(full->width, 400);
    for (int channel = 0; channel < 3; ++channel)
        EXPECT_NEAR(MeanOfChannel(*quarter, channel), MeanOfChannel(*full, channel), 3.0) << channel;
    // The grey picture, reduced by 8, is 38 x 25.
    const auto grey = doc.ImageBitmap(1, 8);
    ASSERT_NE(grey, nullptr);
    EXPECT_EQ(grey->width, 38);
    EXPECT_EQ(grey->height, 25);
    EXPECT_EQ(doc.ImageBitmap(7), nullptr);
    EXPECT_EQ(doc.ImageBitmap(-1), nullptr);
}

}  // namespace
