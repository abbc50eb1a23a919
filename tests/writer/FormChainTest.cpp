// A replacement chosen on some pages reaches the fonts of forms drawn by
// other forms and of appearances shared by several annotations without
// changing the pages that chose nothing or chose differently: those keep
// every object of their chain byte for byte.
#include <gtest/gtest.h>

#include "ContentInterpreter.h"
#include "PdfWriter.h"
#include "SaveCommand.h"
#include "SaveMessages.h"
#include "SavedFileChecks.h"
#include "TestSupport.h"

namespace {

enum class TResourcesAt { Page, PageTree };

struct TChainFile {
    TResourcesAt resources = TResourcesAt::Page;
    bool oneAnnotationOnBothPages = false;
    bool thirdPageDrawsTheNestedForm = false;
    bool secondPageDrawsBThroughAPattern = false;  // instead of A
};

// Pages 8 and 9 draw form A (6, /Fm0), which draws form B (7, /Fm1) whose
// /Fx is Courier (4), used nowhere else. Each page has an annotation (10, a
// FreeText note on page 1 through a state dictionary, 11, a square on page 2
// directly) whose normal appearance is the one form 14 showing "(Stamped)"
// in Times-Roman (5), used nowhere else. The pages' own /Fh is Helvetica
// (3). Optionally a third page (16) draws B directly, or page 2 draws B only
// through a tiling pattern (18).
std::string ChainFile(const TChainFile& options) {
    const std::string resources = "/Resources << /Font << /Fh 3 0 R >> /XObject << /Fm0 6 0 R >> >>";
    const bool onTree = options.resources == TResourcesAt::PageTree;
    const std::string pageResources = onTree ? "" : resources;
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    const std::string kids = options.thirdPageDrawsTheNestedForm ? "[8 0 R 9 0 R 16 0 R] /Count 3 " : "[8 0 R 9 0 R] /Count 2 ";
    b.Object(2, "<< /Type /Pages /Kids " + kids + (onTree ? resources : "") + " >>");
    if (options.thirdPageDrawsTheNestedForm) {
        b.Object(16, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 17 0 R "
                     "/Resources << /XObject << /Fm1 7 0 R >> >> >>");
        b.Stream(17, "", "q 1 0 0 1 50 50 cm /Fm1 Do Q");
    }
    b.Object(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    b.Object(4, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding >>");
    b.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding /WinAnsiEncoding >>");
    b.Stream(6, "/Type /XObject /Subtype /Form /BBox [0 0 300 100] /Resources << /XObject << /Fm1 7 0 R >> >>",
             "q 1 0 0 1 10 10 cm /Fm1 Do Q");
    b.Stream(7, "/Type /XObject /Subtype /Form /BBox [0 0 300 100] /Resources << /Font << /Fx 4 0 R >> >>",
             "BT /Fx 10 Tf 0 0 Td (Nested) Tj ET");
    const std::string page = "/Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] " + pageResources;
    const std::string secondAnnots = options.oneAnnotationOnBothPages ? "[10 0 R]" : "[11 0 R]";
    b.Object(8, "<< " + page + " /Contents 12 0 R /Annots [10 0 R] >>");
    if (options.secondPageDrawsBThroughAPattern) {
        b.Object(9, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Pattern << /P0 18 0 R >> >> "
                    "/Contents 13 0 R /Annots " + secondAnnots + " >>");
        b.Stream(18, "/Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 300 100] /XStep 300 "
                     "/YStep 100 /Resources << /XObject << /Fm1 7 0 R >> >>",
                 "/Fm1 Do");
    } else {
        b.Object(9, "<< " + page + " /Contents 13 0 R /Annots " + secondAnnots + " >>");
    }
    b.Object(10, "<< /Type /Annot /Subtype /FreeText /Rect [300 100 400 150] /Contents (Note) /DA (/FT 10 Tf 0 g) "
                 "/AP << /N << /On 14 0 R >> >> /AS /On >>");
    b.Object(11, "<< /Type /Annot /Subtype /Square /Rect [300 100 400 150] /AP << /N 14 0 R >> >>");
    b.Stream(12, "", "BT /Fh 12 Tf 72 700 Td (Page one) Tj ET q 1 0 0 1 100 500 cm /Fm0 Do Q");
    b.Stream(13, "", options.secondPageDrawsBThroughAPattern
                         ? "/Pattern cs /P0 scn 0 0 300 100 re f"
                         : "BT /Fh 12 Tf 72 700 Td (Page two) Tj ET q 1 0 0 1 100 500 cm /Fm0 Do Q");
    b.Stream(14, "/Type /XObject /Subtype /Form /BBox [0 0 100 50] /Resources << /Font << /FT 5 0 R >> >>",
             "BT /FT 10 Tf 2 5 Td (Stamped) Tj ET");
    b.Trailer("/Root 1 0 R");
    return b.Build();
}

std::string PdffontsOfPage(const std::string& path, int page) {
    return RunTool("pdffonts -f " + std::to_string(page) + " -l " + std::to_string(page) + " " + Quoted(path)).output;
}

std::string TextOfPage(const std::string& path, int page) {
    return RunTool("pdftotext -f " + std::to_string(page) + " -l " + std::to_string(page) + " " + Quoted(path) +
                   " -")
        .output;
}

// The object as qpdf shows it, dictionary and raw stream bytes.
std::string ObjectBytes(const std::string& path, int32_t num) {
    const std::string object = "--show-object=" + std::to_string(num) + " " + Quoted(path);
    const TToolResult dict = RunTool("qpdf " + object);
    const TToolResult data = RunTool("qpdf --raw-stream-data " + object);
    return dict.output + "\n--\n" + (data.status == 0 ? data.output : "");
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// pdffonts of the page without the added fonts (named "...Neu" here),
// which the writer offers in the font resources of every page.
std::string OldFontsOfPage(const std::string& path, int page) {
    const std::string all = PdffontsOfPage(path, page);
    std::string kept;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        end = end == std::string::npos ? all.size() : end + 1;
        const std::string line = all.substr(start, end - start);
        if (!Has(line, "Neu ")) kept += line;
        start = end;
    }
    return kept;
}

class FormChain : public ::testing::TestWithParam<TResourcesAt> {
protected:
    void Open(const TChainFile& options) {
        dir = ScratchDir("form-chain");
        in = dir + "/in.pdf";
        WriteFileBytes(in, ChainFile(options));
        h.doc.openfilenow(in);
        ASSERT_EQ(h.doc.LastOpen().outcome, TOpenResult::Opened) << h.AllMessages();
    }
    void SetUp() override { Open({GetParam(), false}); }

    void AddPlainFont(const std::string& resName) {
        TFontRecord* font = h.doc.fontList.Append();
        font->hidden = 1;
        font->resName = resName;
        font->baseFontName = resName + "Neu";
        font->fontDictExtra = "/FirstChar 32 /LastChar 32 /Widths [250 ] ";
    }

    // Chooses `added` for the page's record of `baseFont` used as `use`.
    void Choose(int32_t pageIndex, const std::string& baseFont, TFontUse use, const std::string& added) {
        ASSERT_EQ(ChooseReplacement(h.doc, pageIndex, baseFont, use, added), 1) << baseFont;
    }

    // Saves and reads the written file back into the document.
    std::string Save() {
        const std::string out = dir + "/out.pdf";
        h.ui.saveFileName = out;
        TellUndecodablePages(h.doc);
        EXPECT_TRUE(SavePDFNew(h.doc, &report)) << h.AllMessages();
        const TQpdfCheck check = QpdfCheck(out);
        EXPECT_EQ(check.status, 0) << check.output;
        return out;
    }

    // The number of the form the (re-read) page names /Fm0.
    int32_t FormOnPage(int32_t pageIndex) {
        for (const auto& [name, pos] : h.doc.pageList[static_cast<size_t>(pageIndex)].xobjectPositions)
            if (name == "/Fm0")
                if (const TFormRecord* form = h.doc.formCatalog.FormAt(pos)) return form->objNum;
        return 0;
    }

    // The fonts the (re-read) page lists as used by forms.
    std::string FormFonts(int32_t pageIndex) {
        std::string names;
        for (const TFontRecord& font : h.doc.fontList)
            if (!font.hidden && font.pageIndex == pageIndex && font.use == TFontUse::Form) names += font.baseFont + " ";
        return names;
    }

    // Page 2 (number 2) shows exactly what it showed before, and the
    // objects it reaches are the old ones, byte for byte.
    void ExpectPageTwoUnchanged(const std::string& out, const std::vector<int32_t>& objects) {
        EXPECT_EQ(OldFontsOfPage(out, 2), PdffontsOfPage(in, 2));
        EXPECT_EQ(TextOfPage(out, 2), TextOfPage(in, 2));
        for (int32_t num : objects) EXPECT_EQ(ObjectBytes(out, num), ObjectBytes(in, num)) << "object " << num;
    }

    THeadlessDoc h;
    std::string dir;
    std::string in;
    TWriteReport report;
};

TEST_P(FormChain, ANestedFormFontChosenOnOnePageLeavesTheOtherPagesChainAsItWas) {
    AddPlainFont("/Arial");
    Choose(0, "/Courier", TFontUse::Form, "/Arial");
    const std::string out = Save();
    const std::string fonts1 = PdffontsOfPage(out, 1);
    EXPECT_FALSE(Has(fonts1, "Courier")) << fonts1;
    EXPECT_TRUE(Has(fonts1, "ArialNeu")) << fonts1;
    EXPECT_TRUE(Has(TextOfPage(out, 1), "Nested"));
    ExpectPageTwoUnchanged(out, {6, 7, 4, 11, 14});
    ASSERT_EQ(h.doc.pageList.Count(), 2);
    EXPECT_EQ(FormOnPage(1), 6);
    EXPECT_NE(FormOnPage(0), 6);
    EXPECT_NE(FormOnPage(0), 0);
    EXPECT_TRUE(report.keptFormFonts.empty());
}

TEST_P(FormChain, TwoChoicesForANestedFormGiveEachPageItsOwnChain) {
    AddPlainFont("/Arial");
    AddPlainFont("/Verd");
    Choose(0, "/Courier", TFontUse::Form, "/Arial");
    Choose(1, "/Courier", TFontUse::Form, "/Verd");
    const std::string out = Save();
    const std::string fonts1 = PdffontsOfPage(out, 1), fonts2 = PdffontsOfPage(out, 2);
    EXPECT_FALSE(Has(fonts1, "Courier")) << fonts1;
    EXPECT_FALSE(Has(fonts2, "Courier")) << fonts2;
    for (int page : {1, 2}) EXPECT_TRUE(Has(TextOfPage(out, page), "Nested")) << page;
    ASSERT_EQ(h.doc.pageList.Count(), 2);
    EXPECT_NE(FormOnPage(0), FormOnPage(1));
    EXPECT_NE(FormOnPage(0), 6);
    EXPECT_NE(FormOnPage(1), 6);
    // Every page offers both added fonts; its forms select its own choice.
    EXPECT_EQ(FormFonts(0), "/ArialNeu ");
    EXPECT_EQ(FormFonts(1), "/VerdNeu ");
}

// With one choice everywhere the replacement takes over the old font's
// object; the forms stay as they are.
TEST_P(FormChain, OneChoiceOnEveryPageKeepsTheForms) {
    AddPlainFont("/Arial");
    Choose(0, "/Courier", TFontUse::Form, "/Arial");
    Choose(1, "/Courier", TFontUse::Form, "/Arial");
    const std::string out = Save();
    for (int page : {1, 2}) {
        const std::string fonts = PdffontsOfPage(out, page);
        EXPECT_TRUE(Has(fonts, "ArialNeu") && !Has(fonts, "Courier")) << fonts;
    }
    ASSERT_EQ(h.doc.pageList.Count(), 2);
    EXPECT_EQ(FormOnPage(0), 6);
    EXPECT_EQ(FormOnPage(1), 6);
    EXPECT_EQ(FormFonts(0), "/ArialNeu ");
}

// Pages 1 and 2 agree on the nested form, page 3 draws it without a
// choice: the calling form is rewritten in place to name a copy, and page 3
// keeps the original.
TEST_P(FormChain, ACallingFormThatAllItsPagesAgreeOnNamesTheCopyInPlace) {
    Open({GetParam(), false, true});
    AddPlainFont("/Arial");
    Choose(0, "/Courier", TFontUse::Form, "/Arial");
    Choose(1, "/Courier", TFontUse::Form, "/Arial");
    const std::string out = Save();
    for (int page : {1, 2}) {
        const std::string fonts = PdffontsOfPage(out, page);
        EXPECT_FALSE(Has(fonts, "Courier")) << fonts;
        EXPECT_TRUE(Has(TextOfPage(out, page), "Nested")) << page;
    }
    // Page 3 itself is written anew, like every page; what it draws is not.
    EXPECT_EQ(OldFontsOfPage(out, 3), PdffontsOfPage(in, 3));
    EXPECT_EQ(TextOfPage(out, 3), TextOfPage(in, 3));
    EXPECT_EQ(ObjectBytes(out, 7), ObjectBytes(in, 7));
    ASSERT_EQ(h.doc.pageList.Count(), 3);
    EXPECT_EQ(FormOnPage(0), 6);
    EXPECT_EQ(FormOnPage(1), 6);
    EXPECT_NE(ObjectBytes(out, 6), ObjectBytes(in, 6));
    EXPECT_EQ(FormFonts(0), "/ArialNeu ");
    EXPECT_EQ(FormFonts(2), "/Courier ");
}

TEST_P(FormChain, AnAppearanceSharedWithAnotherPagesAnnotationIsCopiedForTheChoosingOne) {
    AddPlainFont("/Verd");
    Choose(0, "/Times-Roman", TFontUse::Annotation, "/Verd");
    const std::string out = Save();
    const std::string fonts1 = PdffontsOfPage(out, 1);
    EXPECT_FALSE(Has(fonts1, "Times-Roman")) << fonts1;
    EXPECT_TRUE(Has(fonts1, "VerdNeu")) << fonts1;
    EXPECT_TRUE(Has(TextOfPage(out, 1), "Stamped"));
    ExpectPageTwoUnchanged(out, {11, 14, 5, 6, 7});
    // Page 1's annotation names the copy in its state dictionary.
    const std::string annot = ObjectBytes(out, 10);
    EXPECT_TRUE(Has(annot, "/On")) << annot;
    EXPECT_FALSE(Has(annot, "14 0 R")) << annot;
    EXPECT_TRUE(report.keptFormFonts.empty());
}

INSTANTIATE_TEST_SUITE_P(Resources, FormChain, ::testing::Values(TResourcesAt::Page, TResourcesAt::PageTree),
                         [](const auto& param) { return param.param == TResourcesAt::Page ? "OnThePage" : "Inherited"; });

// A pattern is never copied: a form that page 2 draws through one stays as
// it is although page 1 alone, the only other page drawing it, chose.
TEST(FormChainPattern, AFormAlsoDrawnThroughAPatternIsCopiedForTheChoosingPage) {
    const std::string dir = ScratchDir("form-chain-pattern");
    const std::string in = dir + "/in.pdf";
    TChainFile options;
    options.secondPageDrawsBThroughAPattern = true;
    WriteFileBytes(in, ChainFile(options));
    THeadlessDoc h;
    h.doc.openfilenow(in);
    ASSERT_EQ(h.doc.LastOpen().outcome, TOpenResult::Opened) << h.AllMessages();
    ASSERT_TRUE(Has(PdffontsOfPage(in, 2), "Courier"));
    TFontRecord* added = h.doc.fontList.Append();
    added->hidden = 1;
    added->resName = "/Arial";
    added->baseFontName = "/ArialNeu";
    added->fontDictExtra = "/FirstChar 32 /LastChar 32 /Widths [250 ] ";
    int32_t chosen = 0;
    for (TFontRecord& font : h.doc.fontList)
        if (!font.hidden && font.pageIndex == 0 && font.baseFont == "/Courier") {
            font.replacementName = "/Arial";
            ++chosen;
        }
    ASSERT_EQ(chosen, 1);
    const std::string out = dir + "/out.pdf";
    h.ui.saveFileName = out;
    TellUndecodablePages(h.doc);
    TWriteReport report;
    ASSERT_TRUE(SavePDFNew(h.doc, &report)) << h.AllMessages();
    EXPECT_EQ(QpdfCheck(out).status, 0);
    EXPECT_FALSE(Has(PdffontsOfPage(out, 1), "Courier")) << PdffontsOfPage(out, 1);
    EXPECT_EQ(OldFontsOfPage(out, 2), PdffontsOfPage(in, 2));
    for (int32_t num : {7, 18}) EXPECT_EQ(ObjectBytes(out, num), ObjectBytes(in, num)) << num;
    EXPECT_TRUE(report.keptFormFonts.empty());
}

// One annotation object listed by both pages cannot name two appearances:
// it stays as it was, and the save says that the font was kept.
TEST(FormChainKept, AnAnnotationOfTwoPagesKeepsItsAppearanceAndTheSaveSaysSo) {
    std::string dir = ScratchDir("form-chain-kept");
    const std::string in = dir + "/in.pdf", out = dir + "/out.pdf";
    WriteFileBytes(in, ChainFile({TResourcesAt::Page, true}));
    THeadlessDoc h;
    h.doc.openfilenow(in);
    ASSERT_EQ(h.doc.LastOpen().outcome, TOpenResult::Opened) << h.AllMessages();
    TFontRecord* added = h.doc.fontList.Append();
    added->hidden = 1;
    added->resName = "/Verd";
    added->baseFontName = "/VerdNeu";
    added->fontDictExtra = "/FirstChar 32 /LastChar 32 /Widths [250 ] ";
    int32_t chosen = 0;
    for (TFontRecord& font : h.doc.fontList)
        if (!font.hidden && font.pageIndex == 0 && font.use == TFontUse::Annotation) {
            font.replacementName = "/Verd";
            ++chosen;
        }
    ASSERT_EQ(chosen, 1);
    h.ui.saveFileName = out;
    TellUndecodablePages(h.doc);
    TWriteReport report;
    ASSERT_TRUE(SavePDFNew(h.doc, &report)) << h.AllMessages();
    EXPECT_EQ(QpdfCheck(out).status, 0);
    for (int page : {1, 2}) EXPECT_EQ(OldFontsOfPage(out, page), PdffontsOfPage(in, page)) << page;
    EXPECT_EQ(ObjectBytes(out, 10), ObjectBytes(in, 10));
    EXPECT_EQ(ObjectBytes(out, 14), ObjectBytes(in, 14));
    ASSERT_EQ(report.keptFormFonts.size(), 1u);
    EXPECT_EQ(report.keptFormFonts[0].pageIndex, 0);
    EXPECT_EQ(report.keptFormFonts[0].resName, "/FT");
    EXPECT_TRUE(Has(KeptFormFontsLine(report.keptFormFonts), "Die Schrift /FT auf Seite 1 wurde"));
}

}  // namespace
