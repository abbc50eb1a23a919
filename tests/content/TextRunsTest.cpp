// Text operators: runs, their geometry, string decoding and font selection.
#include <gtest/gtest.h>

#include "FontText.h"
#include "InterpreterFixture.h"

namespace {

std::vector<double> Repeat(double value, size_t count) { return std::vector<double>(count, value); }

}  // namespace

TEST_F(InterpreterTest, HelloRunWithKnownWidths) {
    AddFont("/F1", 500);
    const std::string content = "BT /F1 12 Tf 100 700 Td (Hello) Tj ET";
    Run(content);
    const TDisplayItem& run = Only();
    EXPECT_EQ(run.text, "Hello");
    EXPECT_EQ(doc.FontNameOf(run), "/F1");
    EXPECT_DOUBLE_EQ(run.fontSize, 12);
    EXPECT_DOUBLE_EQ(run.x, 100);
    EXPECT_EQ(run.advances, Repeat(6.0, 5));
    EXPECT_EQ(run.spacings, Repeat(0.0, 5));
    EXPECT_DOUBLE_EQ(run.runWidth, 30);
    // 12 pt on 96 dpi is an em of 16 px; a space is 16 px = 12 pt high.
    EXPECT_DOUBLE_EQ(run.textHeight, 12);
    EXPECT_DOUBLE_EQ(run.y, 712);
    EXPECT_EQ(run.isPath, 0);
    EXPECT_EQ(run.isImage, 0);
    EXPECT_EQ(run.pageNo, 1);
    // "Tf" and "Td" cleared the operands: the run starts at its string.
    EXPECT_EQ(run.startPos, static_cast<int32_t>(content.find("(Hello)")));
    EXPECT_EQ(run.endPos, static_cast<int32_t>(content.find("Tj")));
    EXPECT_EQ(measurer.charWidthCalls, 0);
}

TEST_F(InterpreterTest, ConsecutiveRunsContinueOnTheLine) {
    AddFont("/F1", 500);
    Run("BT /F1 10 Tf 20 0 Td (AB) Tj (CD) Tj ET");
    auto items = ItemsOf(1);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_DOUBLE_EQ(items[0]->runWidth, 10);
    EXPECT_DOUBLE_EQ(items[1]->x, items[0]->x + items[0]->runWidth);
    EXPECT_DOUBLE_EQ(items[1]->x, 30);
}

TEST_F(InterpreterTest, ArrayAdjustmentsBecomeSpacings) {
    AddFont("/F1", 500);
    struct TCase {
        const char* content;
        const char* text;
        std::vector<double> spacings;
    };
    const TCase cases[] = {
        {"[(A) -1000 (B)] TJ", "AB", {10, 0}},
        {"[(A) -100 -50 (B)] TJ", "AB", {0.5, 0}},  // only the last number counts
        {"[-500 (A) 250] TJ", "A", {-2.5}},          // a leading number is ignored
        {"[<41>-120<42>]TJ", "AB", {1.2, 0}},        // a number right behind a hex string
        {"[(A) /Name (B) 100] TJ", "AB", {0, -1}},
        {"[(A) -100] Tj", "A", {0}},                 // "Tj" takes no adjustments
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.content);
        Run(std::string("BT /F1 10 Tf ") + c.content + " ET");
        const TDisplayItem& run = Only();
        EXPECT_EQ(run.text, c.text);
        ASSERT_EQ(run.spacings.size(), c.spacings.size());
        for (size_t i = 0; i < c.spacings.size(); ++i) EXPECT_DOUBLE_EQ(run.spacings[i], c.spacings[i]);
        double width = 0;
        for (size_t i = 0; i < c.spacings.size(); ++i) width += 5 + c.spacings[i];
        EXPECT_DOUBLE_EQ(run.runWidth, width);
    }
}

TEST_F(InterpreterTest, StringDecoding) {
    AddFont("/F1", 500);
    struct TCase {
        const char* content;
        const char* text;  // nullptr: no run
    };
    const TCase cases[] = {
        {"<48656C6C6F> Tj", "Hello"},
        {"<414> Tj", "A"},          // the odd last digit is dropped
        {"<0041> Tj", "A"},         // so is the zero byte
        {"<48 65\n6C> Tj", "Hel"},  // blanks between the digits
        {"<41>Tj", "A"},            // the ">" ends the string, the operator follows
        {"<4G> Tj", nullptr},       // a byte that is no digit ends the string unclosed
        {"(\\101\\102) Tj", "AB"},
        {"(a\\)b) Tj", "a)b"},
        {"(a\\nb) Tj", "a\nb"},
        {"(a(b)c) Tj", "a(b)c"},    // balanced parentheses belong to the string
        {"(C:\\\\x\\)) Tj", "C:\\x)"},  // an escaped backslash, then an escaped ")"
        {"() Tj <> Tj", nullptr},
        {"(x) (y) Tj", "xy"},       // every string since the last "T" token
        {"(a) 1 0 0 rg 10 10 m (b) Tj", "ab"},
        {"(z) \"", nullptr},        // the double-quote operator is not known
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.content);
        Run(std::string("BT /F1 10 Tf ") + c.content + " ET");
        auto texts = Texts();
        if (!c.text) {
            EXPECT_TRUE(texts.empty());
        } else {
            ASSERT_EQ(texts.size(), 1u);
            EXPECT_EQ(texts[0], c.text);
        }
    }
}

// /Widths belongs to the code in the string, not to the character the
// encoding makes of it.
TEST_F(InterpreterTest, DifferencesRemapTheTextButTheWidthsFollowTheCode) {
    TFontRecord& font = AddFont("/F1", 500);
    font.EditCodes().differenceSet[65] = 1;
    font.EditCodes().differences[65] = 66;
    font.EditCodes().widths[65] = 700;
    font.EditCodes().widths[66] = 900;
    Run("BT /F1 10 Tf (AC) Tj ET");
    const TDisplayItem& run = Only();
    EXPECT_EQ(run.text, "BC");
    EXPECT_EQ(run.advances, (std::vector<double>{7, 5}));
}

TEST_F(InterpreterTest, CodesConvertFromTheFontsEncodingToWinAnsi) {
    AddFont("/M", 500, 0, 1);  // MacRoman: 0x80 is Adieresis, 0xC4 in WinAnsi
    AddFont("/S", 500, 0, 0);  // Standard: 0xA9 is quotesingle, 0x27 in WinAnsi
    Run("BT /M 10 Tf (\\200A) Tj /S 10 Tf (\\251) Tj ET");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"\xC3\x84" "A", "'"}));  // UTF-8
}

TEST_F(InterpreterTest, CharacterMappedToZeroEndsTheStoredText) {
    TFontRecord& font = AddFont("/F1", 500);
    font.EditCodes().differenceSet[0x43] = 1;
    font.EditCodes().differences[0x43] = 0;
    Run("BT /F1 10 Tf (ABCD) Tj (E) Tj ET");
    auto items = ItemsOf(1);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->text, "AB");
    EXPECT_EQ(items[0]->advances.size(), 4u);
    EXPECT_DOUBLE_EQ(items[0]->runWidth, 20);
    EXPECT_DOUBLE_EQ(items[1]->x, 20);
}

TEST_F(InterpreterTest, LeadingMovesToTheNextLine) {
    AddFont("/F1", 500);
    for (const char* second : {"T* (y) Tj", "(y) '"}) {
        SCOPED_TRACE(second);
        Run(std::string("10 TL BT /F1 10 Tf 0 100 Td (x) Tj ") + second + " ET");
        auto items = ItemsOf(1);
        ASSERT_EQ(items.size(), 2u);
        EXPECT_EQ(items[1]->text, "y");
        EXPECT_DOUBLE_EQ(items[1]->y, items[0]->y - 10);
        EXPECT_DOUBLE_EQ(items[1]->x, 0);
    }
    Run("BT /F1 10 Tf 5 -14 TD (a) Tj T* (b) Tj ET");
    auto items = ItemsOf(1);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_DOUBLE_EQ(items[1]->y, items[0]->y - 14);
    EXPECT_DOUBLE_EQ(items[1]->x, 5);
}

TEST_F(InterpreterTest, TextMatrixOperators) {
    AddFont("/F1", 500);
    struct TCase {
        const char* content;
        double x, baseline, fontSize;
    };
    const TCase cases[] = {
        {"2 0 0 2 10 10 Tm 5 5 Td", 20, 20, 20},
        // A failed "Tm" keeps the values stored before the failure: a to d
        // are new, e and f are the first "Tm"'s.
        {"1 0 0 1 50 50 Tm 2 0 0 2 x 5 Tm", 50, 50, 20},
        {"30 40 Td 1 x Td", 30, 40, 10},
        {"0 0 1 1 0 0 Tm", 0, 0, 10},  // the vertical scale is d + b
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.content);
        Run(std::string("BT /F1 10 Tf ") + c.content + " (a) Tj ET");
        const TDisplayItem& run = Only();
        EXPECT_DOUBLE_EQ(run.x, c.x);
        EXPECT_DOUBLE_EQ(run.y - run.textHeight, c.baseline);
        EXPECT_DOUBLE_EQ(run.fontSize, c.fontSize);
    }
}

TEST_F(InterpreterTest, WithoutFontSelectionTheDisplayFontMeasures) {
    Run("BT 0 0 Td (x) Tj ET");
    const TDisplayItem& run = Only();
    EXPECT_EQ(doc.FontNameOf(run), "/R1");
    EXPECT_DOUBLE_EQ(run.fontSize, 1.0);
    // 1 pt on 96 dpi rounds to an em of 1 px; our measurer makes it 1 px wide.
    ASSERT_EQ(run.advances.size(), 1u);
    EXPECT_DOUBLE_EQ(run.advances[0], 0.75);
    EXPECT_EQ(measurer.emHeights, (std::vector<int32_t>{1, 1}));
}

TEST_F(InterpreterTest, EmHeightRoundsHalfToEvenAndIsAtLeastOnePixel) {
    struct TCase {
        const char* size;
        int32_t em;
    };
    // size × 96 / 72: 0.375 → 0.5 → 0 → 1; 1.125 → 1.5 → 2; 1.875 → 2.5 → 2.
    const TCase cases[] = {{"0.375", 1}, {"1.125", 2}, {"1.875", 2}, {"9", 12}, {"0", 1}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.size);
        measurer.emHeights.clear();
        Run(std::string("BT /X ") + c.size + " Tf (a) Tj ET");
        ASSERT_FALSE(measurer.emHeights.empty());
        EXPECT_EQ(measurer.emHeights.front(), c.em);
    }
}

TEST_F(InterpreterTest, MeasurementsAreCachedPerEmHeight) {
    Run("BT /X 12 Tf (aaaa) Tj (ab) Tj /X 24 Tf (a) Tj ET");
    EXPECT_EQ(measurer.charWidthCalls, 3);  // a and b at 16 px, a at 32 px
    EXPECT_EQ(measurer.extentCalls, 2);
    auto items = ItemsOf(1);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_DOUBLE_EQ(items[0]->runWidth, 48);  // 4 × 16 px = 48 pt
    EXPECT_DOUBLE_EQ(items[2]->advances[0], 24);
}

TEST_F(InterpreterTest, TextOutsideTextObjectsIsIgnored) {
    AddFont("/F1", 500);
    Run("/F1 12 Tf (x) Tj [(y)] TJ (z) ' BT ET (w) Tj");
    EXPECT_TRUE(doc.displayList.IsEmpty());
    // "Tf", "Tc" and "TL" act outside text objects too.
    Run("/F1 20 Tf 1 Tc 5 TL BT (ab) ' ET");
    const TDisplayItem& run = Only();
    EXPECT_DOUBLE_EQ(run.fontSize, 20);
    EXPECT_EQ(run.spacings, Repeat(1.0, 2));
    EXPECT_DOUBLE_EQ(run.y - run.textHeight, -5);
}

TEST_F(InterpreterTest, FlippedMatrixGivesPositiveSizeAndAdvances) {
    AddFont("/F1", 500);
    Run("1 0 0 -1 0 792 cm BT /F1 12 Tf 1 0 0 -1 100 100 Tm (ab) Tj ET");
    const TDisplayItem& run = Only();
    EXPECT_DOUBLE_EQ(run.fontSize, 12);
    EXPECT_EQ(run.advances, Repeat(6.0, 2));
    EXPECT_DOUBLE_EQ(run.y - run.textHeight, 692);
}

TEST_F(InterpreterTest, FontSelection) {
    AddFont("/F1", 500);
    AddFont("/F1", 250);  // a later page's /F1: the first record wins
    TFontRecord& type3 = AddFont("/T3", 0.5);
    type3.isType3 = 1;
    type3.bboxHeight = 2;
    Run("BT /F1 10 Tf (a) Tj /Nope 10 Tf (b) Tj /T3 12 Tf (c) Tj /F1 x Tf (d) Tj ET");
    auto items = ItemsOf(1);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0]->advances[0], 5);
    // No record: the name changes, the copies of /F1 stay.
    EXPECT_EQ(doc.FontNameOf(*items[1]), "/Nope");
    EXPECT_EQ(items[1]->advances[0], 5);
    // Type 3 widths are in text space already; the box height scales the size.
    EXPECT_EQ(items[2]->advances[0], 6);
    EXPECT_DOUBLE_EQ(items[2]->fontSize, 24);
    // A size that does not convert changes only the name.
    EXPECT_EQ(doc.FontNameOf(*items[3]), "/F1");
    EXPECT_DOUBLE_EQ(items[3]->fontSize, 24);
    EXPECT_EQ(doc.fontList.current, &doc.fontList[2]);
}

TEST_F(InterpreterTest, WidthsOutsideTheTableAreMeasured) {
    TFontRecord& font = AddFont("/F1", 500, 66);  // slot 0 is code 66
    font.EditCodes().widthSet[1] = 0;                         // code 67 has no width
    Run("BT /F1 12 Tf (ABC) Tj ET");
    const TDisplayItem& run = Only();
    EXPECT_EQ(run.advances, (std::vector<double>{12, 6, 12}));  // A and C measured at 16 px
}

TEST_F(InterpreterTest, ColoursAndCharacterSpacingReachTheRun) {
    AddFont("/F1", 500);
    Run("0 0 1 0 k 1 0 0 RG BT /F1 10 Tf 2 0 0 2 0 0 Tm 0.5 Tc (ab) Tj ET");
    const TDisplayItem& run = Only();
    EXPECT_EQ(run.fillColor, 255 | (255 << 8));
    EXPECT_EQ(run.strokeColor, 255);
    EXPECT_EQ(run.spacings, Repeat(1.0, 2));  // |d| × Tc
    EXPECT_EQ(run.advances, Repeat(10.0, 2));
}

// Fonts whose text comes from more than their encoding: the records carry
// a ready text description, as the reader builds it on first use.
namespace {

std::shared_ptr<TFontText> CompositeText() {
    auto text = std::make_shared<TFontText>();
    text->composite = true;
    text->encoding = TCMap::Identity(false);
    text->toUnicode = TCMap::Parse("1 beginbfchar <0041> <0048> <0042> <00660069> <0000> <0058> endbfchar");
    text->defaultWidth = 1000;
    text->cidWidths[0x42] = 600;
    return text;
}

}  // namespace

TEST_F(InterpreterTest, CompositeFontsSplitCodesByTheirCMapAndTakeCidWidths) {
    TFontRecord& font = AddFont("/C0");
    font.subtype = "/Type0";
    font.text = CompositeText();
    font.textRead = 1;
    // <0000> is a code of its own here, not a dropped zero byte; 0x0099 has
    // no character and shows as the replacement character.
    Run("BT /C0 10 Tf <0041004200000099> Tj (\\000A) Tj ET");
    auto items = ItemsOf(1);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->text, "HfiX\xEF\xBF\xBD");
    // 0x41: the default width; 0x42: 600, shared by its two characters.
    EXPECT_EQ(items[0]->advances, (std::vector<double>{10, 3, 3, 10, 10}));
    EXPECT_DOUBLE_EQ(items[0]->runWidth, 36);
    EXPECT_EQ(items[1]->text, "H");
    EXPECT_EQ(measurer.charWidthCalls, 0);
}

TEST_F(InterpreterTest, ToUnicodeGivesTheTextAndTheEncodingKeepsTheWidths) {
    TFontRecord& font = AddFont("/F1", 500);
    font.EditCodes().widths[0x61] = 300;
    auto text = std::make_shared<TFontText>();
    text->toUnicode = TCMap::Parse("2 beginbfchar <61> <03B1> <62> <00660066> endbfchar");
    text->FillCodeTable();
    font.text = text;
    font.textRead = 1;
    Run("BT /F1 10 Tf [(abc) -1000 (b)] TJ ET");
    const TDisplayItem& run = Only();
    EXPECT_EQ(run.text, "\xCE\xB1" "ffcff");  // alpha, the ff ligature, c unmapped
    EXPECT_EQ(run.advances, (std::vector<double>{3, 2.5, 2.5, 5, 2.5, 2.5}));
    // The adjustment follows the glyph: after c, the last character of "c".
    EXPECT_EQ(run.spacings, (std::vector<double>{0, 0, 0, 10, 0, 0}));
}
