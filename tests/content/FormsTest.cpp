// Form XObjects and annotation appearances: drawn with their own matrix,
// resources and fonts, nested forms drawn, cycles stopped, and their fonts
// listed for each page that can draw them.
#include <gtest/gtest.h>

#include "ContentInterpreter.h"
#include "TestSupport.h"

namespace {

struct TRun {
    std::string text;
    double x = 0;
    double fontSize = 0;
    std::string fontName;
    int32_t startPos = 0;
};

class FormsTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = ScratchDir("forms") + "/forms.pdf";
        WriteFileBytes(path, FormsDocument());
        h.doc.openfilenow(path);
        ASSERT_EQ(h.doc.LastOpen().outcome, TOpenResult::Opened) << h.AllMessages();
        InterpretAllPages(h.doc);
    }

    std::vector<TRun> RunsOfPage(int32_t pageNo) const {
        std::vector<TRun> runs;
        for (const TDisplayItem& item : h.doc.displayList)
            if (item.pageNo == pageNo && !item.isPath && !item.isImage)
                runs.push_back({item.text, item.x, item.fontSize, h.doc.FontNameOf(item), item.startPos});
        return runs;
    }

    static const TRun* Find(const std::vector<TRun>& runs, const std::string& text) {
        for (const TRun& run : runs)
            if (run.text == text) return &run;
        return nullptr;
    }

    static int Count(const std::vector<TRun>& runs, const std::string& text) {
        int count = 0;
        for (const TRun& run : runs) count += run.text == text;
        return count;
    }

    THeadlessDoc h;
    std::string path;
};

TEST_F(FormsTest, FormTextIsDrawnWithTheFormsMatrixAndItsOwnFont) {
    const std::vector<TRun> runs = RunsOfPage(1);
    const TRun* page = Find(runs, "Page A");
    ASSERT_NE(page, nullptr);
    EXPECT_DOUBLE_EQ(page->x, 72.0);
    // The form's /Fx maps "A" to "B"; the page's /Fx of the same name does not.
    const TRun* form = Find(runs, "BBB");
    ASSERT_NE(form, nullptr);
    EXPECT_DOUBLE_EQ(form->x, 110.0);  // the page's "cm" and the form's /Matrix
    EXPECT_DOUBLE_EQ(form->fontSize, 10.0);
    EXPECT_EQ(form->fontName, "/Fx");
    // The form's items span the page's call of it.
    const std::string content = "BT /Fx 12 Tf 72 700 Td (Page A) Tj ET q 1 0 0 1 100 500 cm /Fm0 Do Q";
    EXPECT_EQ(form->startPos, static_cast<int32_t>(content.find("/Fm0")));
    EXPECT_EQ(Find(runs, "AAA"), nullptr);
}

TEST_F(FormsTest, NestedFormsAreDrawnOnceAndCyclesStop) {
    // Form 6 calls itself and form 10, which calls form 6 again: each is
    // drawn once per call from the page.
    for (int32_t pageNo : {1, 2}) {
        const std::vector<TRun> runs = RunsOfPage(pageNo);
        EXPECT_EQ(Count(runs, "BBB"), 1) << "page " << pageNo;
        EXPECT_EQ(Count(runs, "Nested"), 1) << "page " << pageNo;
    }
    // Form 10 has no resources: it draws with its caller's /Fx.
    const std::vector<TRun> page2 = RunsOfPage(2);
    const TRun* nested = Find(page2, "Nested");
    ASSERT_NE(nested, nullptr);
    EXPECT_DOUBLE_EQ(nested->x, 10.0);
    EXPECT_DOUBLE_EQ(nested->fontSize, 8.0);
}

TEST_F(FormsTest, AppearancesAreFittedToTheAnnotationRectangle) {
    const std::vector<TRun> page1 = RunsOfPage(1);
    const TRun* stamped = Find(page1, "Stamped");
    ASSERT_NE(stamped, nullptr);
    // The 50x25 box fills [300 100 400 150]: scaled by 2, moved to 300.
    EXPECT_DOUBLE_EQ(stamped->x, 304.0);
    EXPECT_DOUBLE_EQ(stamped->fontSize, 20.0);
    // /AS picks the /On state of the widget's appearances.
    const std::vector<TRun> page2 = RunsOfPage(2);
    const TRun* on = Find(page2, "On");
    ASSERT_NE(on, nullptr);
    EXPECT_DOUBLE_EQ(on->x, 55.0);
    EXPECT_EQ(Find(page2, "Off"), nullptr);
    EXPECT_EQ(Find(page2, "Stamped"), nullptr);
}

TEST_F(FormsTest, FontsOfFormsAndAppearancesAreListedForEachPage) {
    struct TExpected {
        int32_t pageIndex;
        std::string resName, baseFont;
        TFontUse use;
        std::string usedBy;
    };
    const std::vector<TExpected> expected = {
        {0, "/Fx", "/Helvetica", TFontUse::PageContent, ""}, {1, "/Fx", "/Helvetica", TFontUse::PageContent, ""},
        {0, "/Fx", "/Courier", TFontUse::Form, "/Fm0"},      {0, "/FT", "/Times-Roman", TFontUse::Annotation, "9"},
        {1, "/Fx", "/Courier", TFontUse::Form, "/Fm0"},      {1, "/FT", "/Times-Roman", TFontUse::Annotation, "12"},
    };
    ASSERT_EQ(h.doc.fontList.Count(), static_cast<int32_t>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        const TFontRecord& font = h.doc.fontList[i];
        EXPECT_EQ(font.pageIndex, expected[i].pageIndex) << i;
        EXPECT_EQ(font.resName, expected[i].resName) << i;
        EXPECT_EQ(font.baseFont, expected[i].baseFont) << i;
        EXPECT_EQ(font.use, expected[i].use) << i;
        EXPECT_EQ(font.usedBy, expected[i].usedBy) << i;
    }
}

// The record each run's font came from tells where it is used, for the
// command line's runs and the pointer tool alike.
TEST_F(FormsTest, EachRunKnowsTheRecordOfItsFont) {
    struct TExpected {
        int32_t pageNo;
        std::string text, baseFont;
        TFontUse use;
        std::string usedBy;
    };
    const TExpected expected[] = {
        {1, "Page A", "/Helvetica", TFontUse::PageContent, ""},
        {1, "BBB", "/Courier", TFontUse::Form, "/Fm0"},
        {1, "Stamped", "/Times-Roman", TFontUse::Annotation, "9"},
        {2, "BBB", "/Courier", TFontUse::Form, "/Fm0"},
        // Form 10 has no resources; it draws with its caller's font.
        {2, "Nested", "/Courier", TFontUse::Form, "/Fm0"},
        {2, "On", "/Times-Roman", TFontUse::Annotation, "12"},
    };
    for (const TExpected& want : expected) {
        SCOPED_TRACE(want.text);
        const TDisplayItem* run = nullptr;
        for (const TDisplayItem& item : h.doc.displayList)
            if (item.pageNo == want.pageNo && !item.isPath && !item.isImage && item.text == want.text) run = &item;
        ASSERT_NE(run, nullptr);
        ASSERT_GE(run->fontIndex, 0);
        ASSERT_LT(run->fontIndex, h.doc.fontList.Count());
        const TFontRecord& font = h.doc.fontList[static_cast<size_t>(run->fontIndex)];
        EXPECT_EQ(font.baseFont, want.baseFont);
        EXPECT_EQ(font.use, want.use);
        EXPECT_EQ(font.usedBy, want.usedBy);
    }
}

TEST(FormsFonts, TextAfterAFormKeepsTheCallersFont) {
    // The form selects a font whose /ToUnicode turns every "A" into "Z";
    // the page's text after the form is read with the page's own font again.
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << /Font << /F1 5 0 R >> "
                "/XObject << /Fm 6 0 R >> >> /Contents 4 0 R >>");
    b.Stream(4, "", "BT /F1 10 Tf (AB) Tj ET /Fm Do BT (AB) Tj ET");
    b.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    b.Stream(6, "/Type /XObject /Subtype /Form /BBox [0 0 100 100] /Resources << /Font << /F2 7 0 R >> >>",
             "BT /F2 10 Tf (AB) Tj ET");
    b.Object(7, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /ToUnicode 8 0 R >>");
    b.Stream(8, "", "/CIDInit /ProcSet findresource begin 12 dict begin begincmap 1 begincodespacerange <00> <FF> "
                    "endcodespacerange 1 beginbfchar <41> <005A> endbfchar endcmap end end");
    b.Trailer("/Root 1 0 R");
    THeadlessDoc h;
    h.doc.openfilenow(b.WriteTo("font-after-form.pdf"));
    ASSERT_EQ(h.doc.LastOpen().outcome, TOpenResult::Opened) << h.AllMessages();
    InterpretAllPages(h.doc);
    std::vector<std::string> texts;
    for (const TDisplayItem& item : h.doc.displayList)
        if (!item.isPath && !item.isImage) texts.push_back(item.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"AB", "ZB", "AB"}));
}

TEST(FormsLimits, AFormCallingItselfThroughManyNamesEnds) {
    // Each form calls the next twice: 2^40 calls unless depth and the
    // per-page budget stop them.
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] "
                "/Resources << /XObject << /X 10 0 R >> >> /Contents 4 0 R >>");
    b.Stream(4, "", "/X Do");
    for (int32_t i = 10; i < 50; ++i)
        b.Stream(i, "/Subtype /Form /BBox [0 0 1 1] /Resources << /XObject << /X " + std::to_string(i + 1) + " 0 R >> >>",
                 "0 0 1 1 re f /X Do /X Do");
    b.Stream(50, "/Subtype /Form /BBox [0 0 1 1]", "0 0 1 1 re f");
    b.Trailer("/Root 1 0 R");
    THeadlessDoc h;
    h.doc.openfilenow(b.WriteTo("form-tree.pdf"));
    InterpretAllPages(h.doc);
    ASSERT_EQ(h.doc.LastOpen().outcome, TOpenResult::Opened) << h.AllMessages();
    int32_t paths = 0;
    for (const TDisplayItem& item : h.doc.displayList) paths += item.isPath;
    // Sixteen levels deep at most: 2^16 - 1 calls.
    EXPECT_GT(paths, 0);
    EXPECT_LE(paths, (1 << 16) - 1);
}

// A form's /BBox, through its /Matrix and the CTM of its call, clips what
// it draws: items wholly outside the box are left out, as other readers
// draw nothing of them; an item reaching into the box stays. pdftoppm
// confirms that nothing of the left-out items shows.
TEST(FormsClip, ItemsWhollyOutsideTheBoxAreLeftOut) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 400] /Resources << /Font << /F1 5 0 R >> "
                "/XObject << /Box 6 0 R /Turned 7 0 R /Open 8 0 R /Outer 9 0 R >> >> /Contents 4 0 R >>");
    b.Stream(4, "", "q 1 0 0 1 100 100 cm /Box Do Q q 1 0 0 1 300 200 cm /Turned Do Q /Open Do "
                    "q 1 0 0 1 20 300 cm /Outer Do Q");
    b.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    // [100 100 160 150] on the page.
    b.Stream(6, "/Type /XObject /Subtype /Form /BBox [0 0 60 50]",
             "BT /F1 12 Tf 5 30 Td (Inside) Tj 0 -25 Td (Crossing the edge) Tj 0 80 Td (Above) Tj ET "
             "10 10 20 20 re f 200 5 20 20 re f");
    // Turned a quarter: the box [0 0 100 20] covers x 280..300, y 200..300;
    // "Beside" starts at x 240, far enough left that even its run, laid out
    // across the page as runs are here, stays outside.
    b.Stream(7, "/Type /XObject /Subtype /Form /BBox [0 0 100 20] /Matrix [0 1 -1 0 0 0]",
             "BT /F1 8 Tf 5 5 Td (Along) Tj 0 55 Td (Beside) Tj ET");
    // No box: nothing is clipped.
    b.Stream(8, "/Type /XObject /Subtype /Form", "BT /F1 8 Tf 350 380 Td (Unboxed) Tj ET");
    // The inner box is large, the outer one small: they clip together.
    b.Stream(9, "/Type /XObject /Subtype /Form /BBox [0 0 80 30] /Resources << /Font << /F1 5 0 R >> "
                "/XObject << /Inner 10 0 R >> >>",
             "/Inner Do");
    b.Stream(10, "/Type /XObject /Subtype /Form /BBox [0 0 400 400]",
             "BT /F1 10 Tf 2 10 Td (Nested) Tj 0 50 Td (Cut) Tj ET");
    b.Trailer("/Root 1 0 R");
    const std::string path = b.WriteTo("form-clip.pdf");
    THeadlessDoc h;
    h.doc.openfilenow(path);
    ASSERT_EQ(h.doc.LastOpen().outcome, TOpenResult::Opened) << h.AllMessages();
    InterpretAllPages(h.doc);
    std::vector<std::string> texts;
    int32_t paths = 0;
    for (const TDisplayItem& item : h.doc.displayList) {
        if (item.isPath) ++paths;
        else if (!item.isImage) texts.push_back(item.text);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"Inside", "Crossing the edge", "Along", "Unboxed", "Nested"}));
    EXPECT_EQ(paths, 1);

    // Where the left-out items would stand, pdftoppm draws nothing either;
    // where the kept ones stand, it does. Rows and columns at 72 dpi from
    // the top-left corner.
    const std::string prefix = ScratchDir("form-clip") + "/page";
    ASSERT_EQ(RunTool("pdftoppm -r 72 -gray -singlefile " + Quoted(path) + " " + Quoted(prefix)).status, 0);
    const std::vector<uint8_t> pgm = ReadFileBytes(prefix + ".pgm");
    const std::string header = "P5\n400 400\n255\n";
    ASSERT_EQ(std::string(pgm.begin(), pgm.begin() + static_cast<std::ptrdiff_t>(std::min(pgm.size(), header.size()))), header);
    auto inkIn = [&](int left, int top, int right, int bottom) {
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                if (pgm[header.size() + static_cast<size_t>(y) * 400 + x] < 128) return true;
        return false;
    };
    struct TArea {
        const char* what;
        int left, top, right, bottom;
        bool ink;
    };
    const TArea areas[] = {
        {"Inside", 100, 255, 160, 270, true},      {"Above", 100, 200, 160, 250, false},
        {"right square", 290, 270, 330, 300, false}, {"Along", 280, 100, 300, 200, true},
        {"Beside", 220, 100, 279, 200, false},     {"Nested", 20, 80, 100, 100, true},
        {"Cut", 20, 20, 100, 69, false},
    };
    for (const TArea& area : areas)
        EXPECT_EQ(inkIn(area.left, area.top, area.right, area.bottom), area.ink) << area.what;
}

}  // namespace
