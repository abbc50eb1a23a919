// Replacing fonts that only forms and annotation appearances use: the saved
// file shows the replacement where it was chosen (pdffonts, pdftotext), and
// pages where nothing was chosen keep the original form.
#include <gtest/gtest.h>

#include "ContentInterpreter.h"
#include "PdfWriter.h"
#include "SaveCommand.h"
#include "SavedFileChecks.h"
#include "TestSupport.h"

namespace {

// Two pages that draw one form (/Fm0, 6) at 100 500 and 0 0; its /Fx is
// Courier (4) with "A" shown as "B", used nowhere else. Page 1 has a
// FreeText annotation (9) whose appearance (11) shows "(Stamped)" in
// Times-Roman (5), used nowhere else; the page's own /Fx is Helvetica (3).
std::string TwoPagesWithAForm() {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [7 0 R 8 0 R] /Count 2 >>");
    b.Object(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    b.Object(4, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding 10 0 R >>");
    b.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding /WinAnsiEncoding >>");
    b.Stream(6, "/Type /XObject /Subtype /Form /BBox [0 0 200 50] /Resources << /Font << /Fx 4 0 R >> >>",
             "BT /Fx 10 Tf 0 0 Td (AAA) Tj ET");
    const std::string page = "/Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
                             "/Resources << /Font << /Fx 3 0 R >> /XObject << /Fm0 6 0 R >> >>";
    b.Object(7, "<< " + page + " /Contents 12 0 R /Annots [9 0 R] >>");
    b.Object(8, "<< " + page + " /Contents 13 0 R >>");
    b.Object(9, "<< /Type /Annot /Subtype /FreeText /Rect [300 100 400 150] /Contents (Note) "
                "/DA (/FT 10 Tf 0 g) /AP << /N 11 0 R >> >>");
    b.Object(10, "<< /Type /Encoding /BaseEncoding /WinAnsiEncoding /Differences [65 /B] >>");
    b.Stream(11, "/Type /XObject /Subtype /Form /BBox [0 0 50 25] /Resources << /Font << /FT 5 0 R >> >>",
             "BT /FT 10 Tf 2 5 Td (Stamped) Tj ET");
    b.Stream(12, "", "BT /Fx 12 Tf 72 700 Td (Page A) Tj ET q 1 0 0 1 100 500 cm /Fm0 Do Q");
    b.Stream(13, "", "/Fm0 Do");
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

void AddPlainFont(TPdfDocument& doc, const std::string& resName) {
    TFontRecord* font = doc.fontList.Append();
    font->hidden = 1;
    font->resName = resName;
    font->baseFontName = resName + ",Bold";
    font->fontDictExtra = "/FirstChar 32 /LastChar 32 /Widths [250 ] ";
}

std::string PdffontsOfPage(const std::string& path, int page) {
    return RunTool("pdffonts -f " + std::to_string(page) + " -l " + std::to_string(page) + " " + Quoted(path)).output;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class FormReplacement : public ::testing::Test {
protected:
    void SetUp() override {
        dir = ScratchDir("form-replacement");
        WriteFileBytes(dir + "/in.pdf", TwoPagesWithAForm());
        h.doc.openfilenow(dir + "/in.pdf");
        ASSERT_EQ(h.doc.LastOpen().outcome, TOpenResult::Opened) << h.AllMessages();
    }

    // Chooses `added` for the page's record of `baseFont` used as `use`.
    void Choose(int32_t pageIndex, const std::string& baseFont, TFontUse use, const std::string& added) {
        ASSERT_EQ(ChooseReplacement(h.doc, pageIndex, baseFont, use, added), 1) << baseFont;
    }

    std::string Save() {
        const std::string out = dir + "/out.pdf";
        h.ui.saveFileName = out;
        EXPECT_TRUE(SavePdfCommand(h.doc)) << h.AllMessages();
        const TQpdfCheck check = QpdfCheck(out);
        EXPECT_EQ(check.status, 0) << check.output;
        return out;
    }

    THeadlessDoc h;
    std::string dir;
};

TEST_F(FormReplacement, AFormFontChosenOnOnePageChangesThatPagesCopyOnly) {
    AddPlainFont(h.doc, "/Arial");
    Choose(0, "/Courier", TFontUse::Form, "/Arial");
    const std::string out = Save();
    // Page 1 draws a copy selecting the added font; page 2 the original.
    EXPECT_FALSE(Has(PdffontsOfPage(out, 1), "Courier")) << PdffontsOfPage(out, 1);
    EXPECT_TRUE(Has(PdffontsOfPage(out, 2), "Courier")) << PdffontsOfPage(out, 2);
    const std::vector<std::string> texts = PageTexts(out);
    ASSERT_EQ(texts.size(), 2u);
    // The replacement keeps the old font's encoding: the text stays.
    EXPECT_TRUE(Has(texts[0], "BBB")) << texts[0];
    EXPECT_TRUE(Has(texts[1], "BBB")) << texts[1];
    // Read again by the save: the pages name different form objects.
    ASSERT_EQ(h.doc.pageList.Count(), 2);
    EXPECT_NE(h.doc.pageList[0].xobjectPositions, h.doc.pageList[1].xobjectPositions);
}

TEST_F(FormReplacement, AFormFontChosenOnEveryPageIsRewrittenOnce) {
    AddPlainFont(h.doc, "/Arial");
    Choose(0, "/Courier", TFontUse::Form, "/Arial");
    Choose(1, "/Courier", TFontUse::Form, "/Arial");
    const std::string out = Save();
    for (int page : {1, 2}) EXPECT_FALSE(Has(PdffontsOfPage(out, page), "Courier")) << PdffontsOfPage(out, page);
    const std::vector<std::string> texts = PageTexts(out);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_TRUE(Has(texts[0], "BBB") && Has(texts[1], "BBB")) << texts[0] << texts[1];
    ASSERT_EQ(h.doc.pageList.Count(), 2);
    EXPECT_EQ(h.doc.pageList[0].xobjectPositions, h.doc.pageList[1].xobjectPositions);
}

TEST_F(FormReplacement, AnAppearanceFontChosenOnItsPageShowsInTheSavedFile) {
    AddPlainFont(h.doc, "/Verd");
    Choose(0, "/Times-Roman", TFontUse::Annotation, "/Verd");
    const std::string out = Save();
    EXPECT_FALSE(Has(PdffontsOfPage(out, 1), "Times-Roman")) << PdffontsOfPage(out, 1);
    // Before, the appearance listed it.
    EXPECT_TRUE(Has(PdffontsOfPage(dir + "/in.pdf", 1), "Times-Roman"));
    const std::vector<std::string> texts = PageTexts(out);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_TRUE(Has(texts[0], "Stamped")) << texts[0];
    // The page's own content and its form are untouched.
    EXPECT_TRUE(Has(PdffontsOfPage(out, 1), "Courier"));
    EXPECT_TRUE(Has(PdffontsOfPage(out, 1), "Helvetica"));
}

}  // namespace
