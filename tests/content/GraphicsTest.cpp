// Paths, colours, the transformation matrix, the state stack, image
// placement and the hand-over of a page's items to the display list.
#include <gtest/gtest.h>

#include "InterpreterFixture.h"
#include "TestSupport.h"

namespace {

struct TSeg {
    double p1x, p1y, p3x, p3y;
    bool drawn;
};

void ExpectSegments(const TDisplayItem& item, const std::vector<TSeg>& expected) {
    ASSERT_EQ(item.segments.Count(), static_cast<int32_t>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        const TPathSegment& s = item.segments[i];
        SCOPED_TRACE("segment " + std::to_string(i));
        EXPECT_EQ(s.drawn, expected[i].drawn ? 1 : 0);
        EXPECT_DOUBLE_EQ(s.p1x, expected[i].p1x);
        EXPECT_DOUBLE_EQ(s.p1y, expected[i].p1y);
        EXPECT_DOUBLE_EQ(s.p3x, expected[i].p3x);
        EXPECT_DOUBLE_EQ(s.p3y, expected[i].p3y);
    }
}

TColorRef Rgb(int r, int g, int b) { return r | (g << 8) | (b << 16); }

}  // namespace

TEST_F(InterpreterTest, ClosedStrokedPathHasMoveTwoLinesAndClosingLine) {
    Run("10 20 m 110 20 l 110 80 l h S");
    const TDisplayItem& item = Only();
    EXPECT_EQ(item.isPath, 1);
    EXPECT_EQ(item.stroked, 1);
    EXPECT_EQ(item.filled, 0);
    EXPECT_EQ(item.isImage, 0);
    EXPECT_TRUE(item.text.empty());
    ExpectSegments(item, {{0, 0, 10, 20, false}, {10, 20, 110, 20, true}, {110, 20, 110, 80, true},
                          {110, 80, 10, 20, true}});
    for (const TPathSegment& s : item.segments) {
        EXPECT_DOUBLE_EQ(s.lineWidth, 1.0);
        EXPECT_DOUBLE_EQ(s.p2x, s.p1x);
        EXPECT_DOUBLE_EQ(s.p2y, s.p1y);
    }
}

TEST_F(InterpreterTest, RectangleIsFourDrawnSegmentsAndLeavesCurrentPointAtItsOrigin) {
    // The line after the fill starts at the rectangle's origin.
    Run("0 0 100 50 re f 7 8 l S");
    auto items = ItemsOf(1);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->filled, 1);
    EXPECT_EQ(items[0]->stroked, 0);
    ExpectSegments(*items[0],
                   {{0, 0, 100, 0, true}, {100, 0, 100, 50, true}, {100, 50, 0, 50, true}, {0, 50, 0, 0, true}});
    ExpectSegments(*items[1], {{0, 0, 7, 8, true}});
}

TEST_F(InterpreterTest, PaintingOperatorsSetStrokedAndFilled) {
    struct TCase {
        const char* op;
        int stroked, filled;
        size_t segments;  // "s", "b", "b*" close the path first
    };
    const TCase cases[] = {{"s", 1, 0, 3}, {"S", 1, 0, 2}, {"f", 0, 1, 2},  {"F", 0, 1, 2},  {"f*", 0, 1, 2},
                           {"B", 1, 1, 2}, {"b", 1, 1, 3}, {"B*", 1, 1, 2}, {"b*", 1, 1, 3}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.op);
        Run(std::string("0 0 m 5 0 l ") + c.op);
        const TDisplayItem& item = Only();
        EXPECT_EQ(item.stroked, c.stroked);
        EXPECT_EQ(item.filled, c.filled);
        EXPECT_EQ(static_cast<size_t>(item.segments.Count()), c.segments);
    }
}

TEST_F(InterpreterTest, CurvesAreStoredAsControlPolygons) {
    Run("0 0 m 1 2 3 4 5 6 c 7 8 9 10 v 11 12 13 14 y S");
    ExpectSegments(Only(), {{0, 0, 0, 0, false},
                            {0, 0, 1, 2, true},
                            {1, 2, 5, 6, true},  // c: p2 = (3, 4)
                            {5, 6, 5, 6, true},  // v: first control point = current point
                            {5, 6, 9, 10, true},
                            {9, 10, 11, 12, true},  // y: second control point = end point
                            {11, 12, 13, 14, true}});
    const TDisplayItem& item = Only();
    EXPECT_DOUBLE_EQ(item.segments[2].p2x, 3);
    EXPECT_DOUBLE_EQ(item.segments[2].p2y, 4);
    EXPECT_DOUBLE_EQ(item.segments[4].p2x, 7);
    EXPECT_DOUBLE_EQ(item.segments[4].p2y, 8);
    EXPECT_DOUBLE_EQ(item.segments[6].p2x, 13);
    EXPECT_DOUBLE_EQ(item.segments[6].p2y, 14);
}

TEST_F(InterpreterTest, ClosingReturnsToTheStartOfTheFirstSubpath) {
    Run("0 0 m 10 0 l 50 50 m 60 50 l h S");
    const TDisplayItem& item = Only();
    ASSERT_EQ(item.segments.Count(), 5);
    EXPECT_DOUBLE_EQ(item.segments[4].p1x, 60);
    EXPECT_DOUBLE_EQ(item.segments[4].p3x, 0);
    EXPECT_DOUBLE_EQ(item.segments[4].p3y, 0);
}

TEST_F(InterpreterTest, FailedConversionLeavesPartlyFilledSegmentAndCurrentPoint) {
    // "x" is no number: the line keeps p3x = 10 and p3y = 0, the current
    // point stays at (1, 2); the rectangle stops in its second segment.
    Run("1 2 m 10 x l 3 3 l S 0 0 10 x re f");
    auto items = ItemsOf(1);
    ASSERT_EQ(items.size(), 2u);
    ExpectSegments(*items[0], {{0, 0, 1, 2, false}, {1, 2, 10, 0, true}, {1, 2, 3, 3, true}});
    ExpectSegments(*items[1], {{0, 0, 10, 0, true}, {10, 0, 10, 0, true}});
}

TEST_F(InterpreterTest, EndedPathsAndEmptyPaths) {
    Run("0 0 m 10 10 l n 5 5 m 6 6 l sh f");
    const TDisplayItem& item = Only();
    EXPECT_EQ(item.segments.Count(), 0);  // "n" and "sh" dropped both paths
    EXPECT_EQ(item.filled, 1);
}

TEST_F(InterpreterTest, LineWidthIsCarriedBySegments) {
    Run("0 0 m 2.5 w 1 1 l S");
    const TDisplayItem& item = Only();
    EXPECT_DOUBLE_EQ(item.segments[0].lineWidth, 1.0);
    EXPECT_DOUBLE_EQ(item.segments[1].lineWidth, 2.5);
}

TEST_F(InterpreterTest, ColourOperators) {
    struct TCase {
        const char* content;
        TColorRef fill, stroke;
    };
    const TCase cases[] = {
        {"1 0 0 rg 0 0 1 RG", Rgb(255, 0, 0), Rgb(0, 0, 255)},
        {"0.5 g", Rgb(127, 127, 127), 0},
        {"0.25 G", 0, Rgb(63, 63, 63)},
        // "sc" meets "1", "rg" and "0.5": the conversion of "rg" fails.
        {"0 0 1 rg 0.5 sc", Rgb(0, 0, 255), 0},
        // Three components, then four: the second reading wins.
        {"/P0 cs 0 1 1 0 sc", Rgb(255, 0, 0), 0},
        {"/P0 CS 0.2 0.4 0.6 SCN", 0, Rgb(51, 102, 153)},
        {"1 0 0 1 scn", Rgb(0, 0, 0), 0},
        {"0 1 1 0 k", Rgb(255, 0, 0), 0},
        {"0.5 0 0 0.5 K", 0, Rgb(63, 127, 127)},
        {"0 0 1 0 k", Rgb(255, 255, 0), 0},
        // Only the low 8 bits of a component count (1.2 × 255 = 306).
        {"1.2 g", Rgb(50, 50, 50), 0},
        // A failed component leaves the colour as it was.
        {"0.5 g 1 x 0 rg", Rgb(127, 127, 127), 0},
        {"0.5 x 0 0 k", 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.content);
        Run(std::string(c.content) + " 0 0 m B");
        const TDisplayItem& item = Only();
        EXPECT_EQ(item.fillColor, c.fill);
        EXPECT_EQ(item.strokeColor, c.stroke);
    }
}

TEST_F(InterpreterTest, ConcatenatedMatrixBecomesPositionAndScale) {
    struct TCase {
        const char* content;
        double x, y, scaleX, scaleY;
    };
    const TCase cases[] = {
        {"2 0 0 3 100 200 cm", 100, 200, 2, 3},
        {"0 1 -1 0 0 0 cm", 0, 0, -1, 1},
        // The new matrix applies before the old one.
        {"1 0 0 1 10 20 cm 2 0 0 2 0 0 cm", 10, 20, 2, 2},
        {"2 0 0 2 0 0 cm 1 0 0 1 10 20 cm", 20, 40, 2, 2},
        {"1 0 0 1 x z cm", 0, 0, 1, 1},  // no numbers ("b" would paint)
        {"q 2 0 0 2 0 0 cm Q", 0, 0, 1, 1},
        {"Q Q", 0, 0, 1, 1},
        {"3 0 0 3 0 0 cm q q Q 2 0 0 2 5 5 cm Q", 0, 0, 3, 3},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.content);
        // Segments made before the "cm" are placed with the later matrix.
        Run(std::string("0 0 m 1 1 l ") + c.content + " S");
        const TDisplayItem& item = Only();
        EXPECT_DOUBLE_EQ(item.x, c.x);
        EXPECT_DOUBLE_EQ(item.y, c.y);
        EXPECT_DOUBLE_EQ(item.scaleX, c.scaleX);
        EXPECT_DOUBLE_EQ(item.scaleY, c.scaleY);
        EXPECT_EQ(item.segments.Count(), 2);
    }
}

TEST_F(InterpreterTest, SaveAndRestoreKeepPathAndLineWidthButNotColours) {
    Run("0 0 m 5 5 l 3 w q 10 10 l 7 w 1 0 0 rg Q 6 6 l f");
    const TDisplayItem& item = Only();
    ASSERT_EQ(item.segments.Count(), 3);
    EXPECT_DOUBLE_EQ(item.segments[1].p3x, 5);
    EXPECT_DOUBLE_EQ(item.segments[2].lineWidth, 3);
    EXPECT_DOUBLE_EQ(item.segments[2].p1x, 10);  // the current point is not saved
    EXPECT_EQ(item.fillColor, Rgb(255, 0, 0));
}

TEST_F(InterpreterTest, DeepSaveNestingStillPairsEveryRestore) {
    std::string content = "2 0 0 2 0 0 cm ";
    for (int i = 0; i < 70000; ++i) content += "q ";
    content += "5 0 0 5 0 0 cm ";
    for (int i = 0; i < 70000; ++i) content += "Q ";
    content += "0 0 m S";
    Run(content);
    EXPECT_DOUBLE_EQ(Only().scaleX, 2);
}

TEST_F(InterpreterTest, ImagePlacementUsesTheFirstRecordOfTheName) {
    AddImage("/Im0");
    AddImage("/Im1");
    AddImage("/Im1");
    const std::string content = "q 100 0 0 50 10 20 cm /Im1 Do Q /Nope Do";
    Run(content);
    const TDisplayItem& item = Only();
    EXPECT_EQ(item.isImage, 1);
    EXPECT_EQ(item.isPath, 0);
    EXPECT_EQ(item.imageIndex, 1);
    EXPECT_DOUBLE_EQ(item.x, 10);
    EXPECT_DOUBLE_EQ(item.y, 20);
    EXPECT_DOUBLE_EQ(item.scaleX, 100);
    EXPECT_DOUBLE_EQ(item.scaleY, 50);
    EXPECT_EQ(item.startPos, static_cast<int32_t>(content.find("/Im1")));
    EXPECT_EQ(item.endPos, static_cast<int32_t>(content.find("Do")) + 1);
}

TEST_F(InterpreterTest, InlineImagesAndFormsProduceNothing) {
    AddImage("/Im0");
    Run("/Fm0 Do BI /W 1 /H 1 /BPC 8 /CS /G ID \x01 EI");
    EXPECT_TRUE(doc.displayList.IsEmpty());
}

TEST_F(InterpreterTest, ReinterpretedPageMovesToTheEndWithOneSetOfItems) {
    Run("0 0 m S 0 0 m f", 1);
    Run("0 0 m S", 2);
    Run("0 0 m B 0 0 m S 0 0 m f", 1);
    ASSERT_EQ(doc.displayList.Count(), 4);
    EXPECT_EQ(doc.displayList[0].pageNo, 2);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(doc.displayList[i].pageNo, 1);
    EXPECT_EQ(doc.displayList[1].filled + doc.displayList[1].stroked, 2);  // the "B" item leads
    EXPECT_TRUE(doc.pageItems.IsEmpty());
    ASSERT_GE(doc.pageItemIndex.size(), 3u);
    EXPECT_EQ(doc.pageItemIndex[1], (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(doc.pageItemIndex[2], (std::vector<int32_t>{0}));

    Run("", 1);  // an empty content still removes the page's items
    ASSERT_EQ(doc.displayList.Count(), 1);
    EXPECT_EQ(doc.displayList[0].pageNo, 2);
    EXPECT_TRUE(doc.pageItemIndex[1].empty());
    EXPECT_EQ(doc.pageItemIndex[2], (std::vector<int32_t>{0}));
}

TEST_F(InterpreterTest, IndexFollowsAListChangedBehindItsBack) {
    Run("0 0 m S", 1);
    Run("0 0 m S", 2);
    // Other code empties the list without touching the index.
    doc.displayList.Clear();
    TDisplayItem& foreign = *doc.displayList.Append();
    foreign.pageNo = 2;
    Run("0 0 m f", 2);
    ASSERT_EQ(doc.displayList.Count(), 1);
    EXPECT_EQ(doc.displayList[0].filled, 1);
    EXPECT_TRUE(doc.pageItemIndex[1].empty());
    EXPECT_EQ(doc.pageItemIndex[2], (std::vector<int32_t>{0}));
}

TEST_F(InterpreterTest, ReaderCursorIsRestoredAndMessagesArePumpedPerToken) {
    const std::string file = "%PDF-1.4 something";
    doc.Assign(file);
    doc.SetPos(5);
    int pumps = 0;
    ui.onPump = [&] { ++pumps; };
    Run("0 0 m 10 10 l S", 1, true);
    EXPECT_EQ(pumps, 7);
    EXPECT_EQ(doc.SourceSize(), static_cast<TFilePos>(file.size()));
    EXPECT_EQ(doc.GetPos(), 5);
    Run("0 0 m 10 10 l S", 1, false);
    EXPECT_EQ(pumps, 7);
}

TEST_F(InterpreterTest, NoInputMakesTheLoopOverrun) {
    // Unterminated strings and dictionaries, stray delimiters, binary bytes.
    const std::string contents[] = {
        "(never closed", "<<", "[", "BT (a\\", "BT <4", "\xff\xfe\x00\x01 Tj", "q q q", ">>>>", ")", "BT [ ( ] TJ",
        std::string("0 0 m\0\0\0 1 1 l S", 17),
    };
    for (const std::string& content : contents) {
        SCOPED_TRACE(content);
        Run(content);
        EXPECT_LE(doc.displayList.Count(), 1);
    }
}

TEST_F(InterpreterTest, RepeatedlySavedHugePathCannotExhaustMemory) {
    // Each "q" copies the path, "f" paints it and "Q" brings the copy back:
    // without a bound these 100,000 segments would be copied 20,000 times.
    std::string content = "0 0 m ";
    for (int i = 0; i < 100000; ++i) content += "1 1 l ";
    for (int i = 0; i < 20000; ++i) content += "q f Q ";
    Run(content);
    int64_t segments = 0;
    for (const TDisplayItem& item : doc.displayList) segments += item.segments.Count();
    EXPECT_LT(segments * static_cast<int64_t>(sizeof(TPathSegment)), int64_t{300} << 20);
    EXPECT_GT(segments, 100000);
    ASSERT_EQ(ui.notices.size(), 1u);
    EXPECT_EQ(ui.notices[0].kind, TNoticeKind::TooManyItems);
    EXPECT_EQ(ui.notices[0].page, 1);
}

TEST_F(InterpreterTest, TokenSoupKeepsTheDisplayListConsistent) {
    AddFont("/F1", 500);
    AddImage("/Im1");
    const char* const tokens[] = {"q", "Q", "BT", "ET", "Tj", "TJ", "'", "T*", "Td", "TD", "Tm", "Tf", "TL", "Tc",
                                  "m", "l", "c", "v", "y", "h", "re", "S", "f", "B", "b*", "n", "cm", "rg", "k",
                                  "sc", "SCN", "g", "w", "Do", "/F1", "/Im1", "[", "]", "(ab)", "<41", ">", "<",
                                  "(", ")", "1", "-2.5", "0", "1e3", "x", "BI", "ID", "EI", "\\", "%", "\x80"};
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int page = 1; page <= 300; ++page) {
        std::string content;
        const int count = static_cast<int>(next() % 200);
        for (int i = 0; i < count; ++i) {
            content += tokens[next() % (sizeof tokens / sizeof tokens[0])];
            content += (next() % 4 == 0) ? "" : " ";
        }
        Run(content, static_cast<int32_t>(next() % 7) + 1);
    }
    size_t indexed = 0;
    for (size_t pageNo = 0; pageNo < doc.pageItemIndex.size(); ++pageNo) {
        for (const int32_t position : doc.pageItemIndex[pageNo]) {
            ASSERT_LT(position, doc.displayList.Count());
            EXPECT_EQ(doc.displayList[static_cast<size_t>(position)].pageNo, static_cast<int32_t>(pageNo));
        }
        indexed += doc.pageItemIndex[pageNo].size();
    }
    EXPECT_EQ(indexed, static_cast<size_t>(doc.displayList.Count()));
    EXPECT_GT(doc.displayList.Count(), 0);
    for (const TDisplayItem& item : doc.displayList) {
        EXPECT_EQ(item.advances.size(), item.spacings.size());
        EXPECT_LE(CodePointCount(item.text), item.advances.size());
    }
}
