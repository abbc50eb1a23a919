// Vertical writing: a composite font whose CMap writes downward places each
// glyph below the previous one, drawn from its position vector, with the
// metrics of /W2 and /DW2. Positions are checked against where pdftoppm
// draws the glyphs of the same file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "ContentInterpreter.h"
#include "FontText.h"
#include "TestSupport.h"

namespace {

// The font program holds .notdef, space, A, B, C, W and i as glyphs 0 to 6,
// which the identity maps make CIDs 0 to 6.
constexpr const char* kFontFile = "fonts/dejavu-sans-ABCWi.ttf";
constexpr double kPageHeight = 800;

// Every glyph of a column has its own ink band; the rows in between are
// white as long as no case squeezes the glyphs together.
struct TInkBand {
    double top = 0, bottom = 0, left = 0;  // points, measured from the page's top-left corner
};

// A CMap stream that writes vertically with one-byte codes, for word
// spacing: code 32 is the space glyph, "A" to "C" and "W" their glyphs.
const char* kOneByteVerticalCMap =
    "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /OneByte-V def /WMode 1 def "
    "1 begincodespacerange <00> <FF> endcodespacerange "
    "5 begincidchar <20> 1 <41> 2 <42> 3 <43> 4 <57> 5 endcidchar endcmap "
    "CMapName currentdict /CMap defineresource pop end end";

const char* kToUnicode =
    "/CIDInit /ProcSet findresource begin 12 dict begin begincmap 1 begincodespacerange <0000> <FFFF> "
    "endcodespacerange 6 beginbfchar <0001> <0020> <0002> <0041> <0003> <0042> <0004> <0043> <0005> <0057> "
    "<0006> <0069> endbfchar endcmap end end";

// One page per content. /F0 is the font with Identity-V, /F1 the same
// program under the one-byte vertical CMap, /FH with Identity-H. Glyph B
// (CID 3) has its own metrics in the array form of /W2, W (CID 5) in the
// range form; the others take /DW2 and half their width.
std::string VerticalDocument(const std::vector<std::string>& contents) {
    TPdfBuilder b;
    const int32_t firstPage = 100;
    std::string kids;
    for (size_t i = 0; i < contents.size(); ++i) kids += std::to_string(firstPage + 2 * i) + " 0 R ";
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(contents.size()) + " >>");
    b.Object(3, "<< /Font << /F0 10 0 R /F1 11 0 R /FH 12 0 R >> /XObject << /Fm 20 0 R >> >>");
    b.Object(10, "<< /Type /Font /Subtype /Type0 /BaseFont /AAAAAA+DejaVuSans /Encoding /Identity-V "
                 "/DescendantFonts [13 0 R] /ToUnicode 16 0 R >>");
    b.Object(11, "<< /Type /Font /Subtype /Type0 /BaseFont /AAAAAA+DejaVuSans /Encoding 17 0 R "
                 "/DescendantFonts [13 0 R] /ToUnicode 16 0 R >>");
    b.Object(12, "<< /Type /Font /Subtype /Type0 /BaseFont /AAAAAA+DejaVuSans /Encoding /Identity-H "
                 "/DescendantFonts [13 0 R] /ToUnicode 16 0 R >>");
    b.Object(13, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /AAAAAA+DejaVuSans /CIDSystemInfo << /Registry "
                 "(Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor 14 0 R /CIDToGIDMap /Identity "
                 "/W [1 [318 684 686 698 989 278]] /W2 18 0 R /DW2 [880 -1000] >>");
    b.Object(14, "<< /Type /FontDescriptor /FontName /AAAAAA+DejaVuSans /Flags 4 /FontBBox [-1021 -463 1793 1232] "
                 "/ItalicAngle 0 /Ascent 928 /Descent -236 /CapHeight 729 /StemV 80 /FontFile2 15 0 R >>");
    const std::vector<uint8_t> program = ReadFileBytes(DataPath(kFontFile));
    b.Stream(15, "/Length1 " + std::to_string(program.size()), std::string(program.begin(), program.end()));
    b.Stream(16, "", kToUnicode);
    b.Stream(17, "/Type /CMap /CMapName /OneByte-V /WMode 1", kOneByteVerticalCMap);
    b.Object(18, "[3 [-1200 343 900] 5 5 -800 494 880]");
    b.Stream(20, "/Type /XObject /Subtype /Form /BBox [0 0 300 800] /Matrix [1 0 0 1 30 -40]",
             "BT /F0 20 Tf 100 700 Td <00040002> Tj ET");
    for (size_t i = 0; i < contents.size(); ++i) {
        const auto page = static_cast<int32_t>(firstPage + 2 * i);
        b.Object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 800] /Resources 3 0 R /Contents " +
                           std::to_string(page + 1) + " 0 R >>");
        b.Stream(page + 1, "", contents[i]);
    }
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

// The ink of pdftoppm's rendering of one page at 144 dpi, band by band
// from the top.
std::vector<TInkBand> InkBands(const std::string& pdf, int32_t pageNo, const std::string& scratch) {
    const std::string prefix = scratch + "/page" + std::to_string(pageNo);
    const std::string page = std::to_string(pageNo);
    RunTool("pdftoppm -r 144 -gray -singlefile -f " + page + " -l " + page + " " + Quoted(pdf) + " " + Quoted(prefix));
    const std::vector<uint8_t> pgm = ReadFileBytes(prefix + ".pgm");
    // "P5 <width> <height> 255" and one byte per pixel.
    size_t pos = 0;
    int32_t fields[3] = {};
    auto skipBlanks = [&] { while (pos < pgm.size() && std::isspace(pgm[pos])) ++pos; };
    if (pgm.size() < 2 || pgm[0] != 'P' || pgm[1] != '5') return {};
    pos = 2;
    for (int32_t& field : fields) {
        skipBlanks();
        while (pos < pgm.size() && std::isdigit(pgm[pos])) field = field * 10 + (pgm[pos++] - '0');
    }
    ++pos;
    const int32_t width = fields[0], height = fields[1];
    if (width <= 0 || height <= 0 || pgm.size() < pos + static_cast<size_t>(width) * height) return {};
    const double ptPerPx = 72.0 / 144.0;
    std::vector<TInkBand> bands;
    bool inBand = false;
    for (int32_t y = 0; y < height; ++y) {
        int32_t left = -1;
        for (int32_t x = 0; x < width && left < 0; ++x)
            if (pgm[pos + static_cast<size_t>(y) * width + x] < 128) left = x;
        if (left < 0) {
            inBand = false;
            continue;
        }
        if (!inBand) bands.push_back({y * ptPerPx, 0, left * ptPerPx});
        inBand = true;
        bands.back().bottom = (y + 1) * ptPerPx;
        bands.back().left = std::min(bands.back().left, left * ptPerPx);
    }
    return bands;
}

// The point each glyph is drawn from: a run's x, and its y less the text
// height (runs hang their text height below y).
struct TGlyphOrigin {
    std::string text;
    double x = 0, y = 0;
};

class VerticalWritingTest : public ::testing::Test {
protected:
    void Open(const std::vector<std::string>& contents) {
        scratch = ScratchDir("vertical");
        path = scratch + "/vertical.pdf";
        WriteFileBytes(path, VerticalDocument(contents));
        h.doc.openfilenow(path);
        ASSERT_EQ(h.doc.LastOpen().outcome, TOpenResult::Opened) << h.AllMessages();
        InterpretAllPages(h.doc);
    }

    std::vector<TGlyphOrigin> Origins(int32_t pageNo) const {
        std::vector<TGlyphOrigin> origins;
        for (const TDisplayItem& item : h.doc.displayList)
            if (item.pageNo == pageNo && !item.isPath && !item.isImage)
                origins.push_back({item.text, item.x, item.y - item.textHeight});
        return origins;
    }

    THeadlessDoc h;
    std::string scratch, path;
};

// Each glyph's baseline is the bottom of its ink (A, B, C, W have no
// descenders); its left side bearing is under 2.5 points at these sizes.
TEST_F(VerticalWritingTest, GlyphsStandWherePopplerDrawsThem) {
    struct TCase {
        const char* what;
        std::string content;
        std::string text;
    };
    const std::vector<TCase> cases = {
        {"/DW2, /W2 array and range forms", "BT /F0 20 Tf 100 700 Td <0002000300040005> Tj ET", "ABCW"},
        {"character spacing and TJ numbers, one before the first glyph",
         "BT /F0 20 Tf -3 Tc 100 700 Td [200 <0002> 500 <0003>] TJ [-300 <0004>] TJ ET", "ABC"},
        {"text matrix and CTM scale and move the column",
         "q 0.5 0 0 0.5 20 100 cm BT /F0 40 Tf 1 0 0 1 150 1000 Tm <00050003> Tj ET Q", "WB"},
        {"word spacing moves after a one-byte space only", "BT /F1 20 Tf -30 Tw 100 700 Td (A BC) Tj ET", "A BC"},
        {"a form's matrix", "/Fm Do", "CA"},
    };
    std::vector<std::string> contents;
    for (const TCase& c : cases) contents.push_back(c.content);
    Open(contents);
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        const auto pageNo = static_cast<int32_t>(i + 1);
        std::vector<TGlyphOrigin> origins = Origins(pageNo);
        std::string text;
        for (const TGlyphOrigin& origin : origins) text += origin.text;
        EXPECT_EQ(text, cases[i].text);
        // The space draws no ink.
        std::erase_if(origins, [](const TGlyphOrigin& origin) { return origin.text == " "; });
        const std::vector<TInkBand> bands = InkBands(path, pageNo, scratch);
        ASSERT_EQ(bands.size(), origins.size());
        for (size_t g = 0; g < bands.size(); ++g) {
            SCOPED_TRACE(origins[g].text);
            EXPECT_NEAR(kPageHeight - origins[g].y, bands[g].bottom, 1.0);
            EXPECT_GE(bands[g].left, origins[g].x - 0.5);
            EXPECT_LE(bands[g].left, origins[g].x + 2.5);
        }
    }
}

TEST_F(VerticalWritingTest, HorizontalFontOfTheSameProgramKeepsOneRun) {
    Open({"BT /FH 20 Tf 100 700 Td <00020003> Tj ET"});
    const std::vector<TGlyphOrigin> origins = Origins(1);
    ASSERT_EQ(origins.size(), 1u);
    EXPECT_EQ(origins[0].text, "AB");
    EXPECT_DOUBLE_EQ(origins[0].x, 100.0);
}

// The metrics as the reader takes them from the descendant font.
TEST_F(VerticalWritingTest, W2AndDW2AreRead) {
    Open({"BT /F0 20 Tf <0002> Tj ET"});
    const TFontText* text = nullptr;
    for (int32_t i = 0; i < h.doc.fontList.Count(); ++i)
        if (h.doc.fontList[static_cast<size_t>(i)].resName == "/F0") text = FontTextOf(h.doc, *h.doc.fontList.Select(i));
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->Vertical());
    struct TExpected {
        uint32_t cid;
        double advance, originX, originY;
    };
    const TExpected expected[] = {
        {2, -1000, 342, 880},   // /DW2, half of /W's 684
        {3, -1200, 343, 900},   // the array form
        {4, -1000, 349, 880},
        {5, -800, 494, 880},    // the range form
        {60, -1000, 500, 880},  // no /W either: half of the default width
    };
    for (const TExpected& want : expected) {
        const TFontText::TVerticalMetrics metrics = text->VerticalMetricsOf(want.cid);
        EXPECT_DOUBLE_EQ(metrics.advance, want.advance) << want.cid;
        EXPECT_DOUBLE_EQ(metrics.originX, want.originX) << want.cid;
        EXPECT_DOUBLE_EQ(metrics.originY, want.originY) << want.cid;
    }
}

// /W2 and /DW2 as a file may break them: what precedes the break is kept,
// and a huge array is read no further than the width arrays are.
TEST(VerticalMetrics, BrokenAndHugeEntriesAreBounded) {
    struct TCase {
        const char* what;
        std::string w2, dw2;
        size_t atMost;                 // entries kept, both forms together
        uint32_t cid;                  // looked up afterwards
        double advance, originY;       // its metrics
    };
    std::string huge = "[";
    for (int32_t i = 0; i < 70000; ++i) huge += std::to_string(i) + " " + std::to_string(i) + " -900 500 800 ";
    huge += "]";
    const std::vector<TCase> cases = {
        {"a name ends the array form", "[1 [-700 1 2 /X 5 6] 9 9 -600 1 2]", "[800 -900]", 2, 2, -900, 800},
        {"a range short of numbers", "[1 [-700 1 2] 7 8 -600]", "[800]", 1, 7, -1000, 880},
        {"unbalanced", "[1 [-700 1 2", "[x y]", 1, 1, -700, 2},
        {"huge", huge, "[880 -1000]", 65536, 69999, -1000, 880},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TPdfBuilder b;
        b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Resources << /Font << /F0 5 0 R >> >> "
                    "/Contents 4 0 R >>");
        b.Stream(4, "", "BT /F0 10 Tf <0001> Tj ET");
        b.Object(5, "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-V /DescendantFonts [6 0 R] >>");
        b.Object(6, "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /X /W2 7 0 R /DW2 " + c.dw2 + " >>");
        b.Object(7, c.w2);
        b.Trailer("/Root 1 0 R");
        THeadlessDoc h;
        h.doc.openfilenow(b.WriteTo("vertical-metrics.pdf"));
        ASSERT_EQ(h.doc.LastOpen().outcome, TOpenResult::Opened) << h.AllMessages();
        ASSERT_GT(h.doc.fontList.Count(), 0);
        const TFontText* text = FontTextOf(h.doc, *h.doc.fontList.Select(0));
        ASSERT_NE(text, nullptr);
        EXPECT_LE(text->verticalRanges.size() + text->cidVerticals.size(), c.atMost);
        const TFontText::TVerticalMetrics metrics = text->VerticalMetricsOf(c.cid);
        EXPECT_DOUBLE_EQ(metrics.advance, c.advance);
        EXPECT_DOUBLE_EQ(metrics.originY, c.originY);
        InterpretAllPages(h.doc);
    }
}

}  // namespace
