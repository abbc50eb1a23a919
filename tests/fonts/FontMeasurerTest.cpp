#include <gtest/gtest.h>

#include "FontFiles_p.h"
#include "FontMeasurer.h"

namespace {

class FontMeasurerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto match = MatchFontFile("Liberation Sans", false, false);
        if (!match || !match->familyMatches) GTEST_SKIP() << "Liberation Sans is not installed";
    }
    TFreeTypeMeasurer measurer;
};

TEST_F(FontMeasurerTest, ArialResolvesToLiberationSans) {
    EXPECT_EQ(measurer.FaceName(), "Arial");
    EXPECT_EQ(measurer.ResolvedFamily(), "Liberation Sans");
    EXPECT_EQ(measurer.Dpi(), 96);
    measurer.SetDpi(120);
    EXPECT_EQ(measurer.Dpi(), 120);
}

TEST_F(FontMeasurerTest, WidthsAreRoundedAdvances) {
    // 1933 and 569 of 2048 units per em; hinting may move an advance by a pixel.
    EXPECT_NEAR(measurer.CharWidth('W', 100), 94, 1);
    EXPECT_NEAR(measurer.CharWidth(' ', 100), 28, 1);
    EXPECT_NEAR(measurer.CharWidth('W', 1000), 944, 1);
    // The euro sign is measured through U+20AC, not as glyph 0x80.
    EXPECT_NEAR(measurer.CharWidth(0x80, 100), 56, 1);
    // Asking again, and at another size in between, gives the same answer.
    const int32_t first = measurer.CharWidth('a', 37);
    EXPECT_NEAR(measurer.CharWidth('a', 12), 7, 1);
    EXPECT_EQ(measurer.CharWidth('a', 37), first);
}

TEST_F(FontMeasurerTest, ExtentIsTheSumOfWidthsAndTheWindowsHeight) {
    int32_t width = 0, height = 0;
    measurer.TextExtent("Wa W", 100, width, height);
    EXPECT_EQ(width, 2 * measurer.CharWidth('W', 100) + measurer.CharWidth('a', 100) + measurer.CharWidth(' ', 100));
    // winAscent 1854 + winDescent 434 of 2048: 91 + 21 pixels.
    EXPECT_EQ(height, 112);
    measurer.TextExtent(" ", 100, width, height);
    EXPECT_GT(height, 100);
    measurer.TextExtent("", 100, width, height);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 112);
}

TEST_F(FontMeasurerTest, DegenerateSizes) {
    // Non-positive ems count as 1 pixel; huge ones neither fail nor overflow.
    EXPECT_EQ(measurer.CharWidth('W', 0), measurer.CharWidth('W', 1));
    EXPECT_EQ(measurer.CharWidth('W', -50), measurer.CharWidth('W', 1));
    EXPECT_NEAR(measurer.CharWidth('W', 100000), 94385, 1);
    int32_t width = 0, height = 0;
    measurer.TextExtent(std::string(1000, 'W'), INT32_MAX, width, height);
    EXPECT_GT(width, 0);
    EXPECT_GT(height, 0);
}

TEST_F(FontMeasurerTest, StyleAndFamilyChangeTheMetrics) {
    const int32_t regular = measurer.CharWidth('a', 100);
    measurer.SetFont("DejaVu Sans", true, false);
    EXPECT_EQ(measurer.FaceName(), "DejaVu Sans");
    if (measurer.ResolvedFamily() == "DejaVu Sans") {
        EXPECT_NEAR(measurer.CharWidth('a', 100), 67, 1);  // 1382 of 2048 units
        EXPECT_NE(measurer.CharWidth('a', 100), regular);
    }
    measurer.SetFont("Arial", false, false);
    EXPECT_EQ(measurer.CharWidth('a', 100), regular);
}

}  // namespace
