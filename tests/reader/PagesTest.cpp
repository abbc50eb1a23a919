// Document information, the page tree walk, page dictionaries and annotations.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"

namespace {

// Opens a hand-made file: catalog 1 names page tree root 2; `objects` adds
// the rest (the root included).
std::unique_ptr<THeadlessDoc> OpenBuilt(const std::string& name, TPdfBuilder builder,
                                        const std::string& trailerExtra = "") {
    builder.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    builder.Trailer("/Root 1 0 R " + trailerExtra);
    return OpenHeadless(builder.WriteTo(name));
}

std::string Page(const std::string& extra = "") { return "<< /Type /Page " + extra + " >>"; }

std::vector<int32_t> PageObjNums(const TPdfDocument& doc) {
    std::vector<int32_t> nums;
    for (const TPageRecord& page : doc.pageList) nums.push_back(page.objNum);
    return nums;
}

struct TTreeCase {
    const char* name;
    std::vector<std::pair<int32_t, std::string>> objects;
    std::vector<int32_t> expectedPages;
    bool expectInvalid;
};

class PageTreeTest : public ::testing::TestWithParam<TTreeCase> {};

TEST_P(PageTreeTest, PagesAreTheLeavesInDocumentOrder) {
    const TTreeCase& c = GetParam();
    TPdfBuilder builder;
    for (const auto& [num, body] : c.objects) builder.Object(num, body);
    auto h = OpenBuilt(std::string("tree-") + c.name + ".pdf", builder);
    EXPECT_EQ(PageObjNums(h->doc), c.expectedPages) << h->AllMessages();
    EXPECT_EQ(h->HasProblem(TOpenProblemKind::Damaged), c.expectInvalid) << h->AllMessages();
    EXPECT_TRUE(Reported(h->ui, TProgressStep::PagesFound, static_cast<int64_t>(c.expectedPages.size())));
}

INSTANTIATE_TEST_SUITE_P(
    Trees, PageTreeTest,
    ::testing::Values(
        TTreeCase{"one_level", {{2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>"}, {3, Page()}, {4, Page()}},
                  {3, 4}, false},
        // Root: node 5 (kids 6, 7), then page 4: C, D, B.
        TTreeCase{"two_level",
                  {{2, "<< /Type /Pages /Kids [5 0 R 4 0 R] /Count 3 >>"},
                   {4, Page()},
                   {5, "<< /Type /Pages /Kids [6 0 R 7 0 R] /Count 2 >>"},
                   {6, Page()},
                   {7, Page()}},
                  {6, 7, 4}, false},
        TTreeCase{"kids_reference",
                  {{2, "<< /Type /Pages /Kids 12 0 R /Count 2 >>"}, {3, Page()}, {4, Page()}, {12, "[3 0 R 4 0 R]"}},
                  {3, 4}, false},
        // A node without /Type is still a node; a group without "R" is skipped.
        TTreeCase{"untyped_node_and_bad_group",
                  {{2, "<< /Kids [5 0 R 3 0 X] >>"}, {3, Page()}, {5, "<< /Kids [3 0 R] >>"}},
                  {3}, false},
        // Four levels deep, the deepest leaves first.
        TTreeCase{"four_levels",
                  {{2, "<< /Kids [5 0 R 3 0 R] >>"},
                   {3, Page()},
                   {5, "<< /Kids [6 0 R] >>"},
                   {6, "<< /Kids [7 0 R 8 0 R] >>"},
                   {7, "<< /Kids [9 0 R] >>"},
                   {8, Page()},
                   {9, Page()}},
                  {9, 8, 3}, false},
        // A node that lists itself and a second parent that lists it again:
        // each node's kids are taken once.
        TTreeCase{"kids_cycle",
                  {{2, "<< /Kids [5 0 R 6 0 R] >>"},
                   {3, Page()},
                   {4, Page()},
                   {5, "<< /Kids [3 0 R 5 0 R] >>"},
                   {6, "<< /Kids [4 0 R 5 0 R 2 0 R] >>"}},
                  {3, 4}, false},
        // A kid beyond the object table is counted as a page but makes the
        // file invalid.
        TTreeCase{"unfetchable_kid", {{2, "<< /Kids [3 0 R 99 0 R] >>"}, {3, Page()}}, {3, 99}, true}),
    [](const ::testing::TestParamInfo<TTreeCase>& param) { return std::string(param.param.name); });

TEST(PageTreeTest, AbsurdDepthStopsWithoutCrashing) {
    // A chain of 5000 single-kid nodes ending in a page.
    TPdfBuilder builder;
    const int32_t depth = 5000;
    builder.Object(2, "<< /Kids [10 0 R] >>");
    for (int32_t i = 0; i < depth; ++i)
        builder.Object(10 + i, "<< /Kids [" + std::to_string(11 + i) + " 0 R] >>");
    builder.Object(10 + depth, Page());
    auto h = OpenBuilt("tree-deep.pdf", builder);
    EXPECT_EQ(h->doc.pageList.Count(), 0);
    EXPECT_TRUE(h->HasProblem(TOpenProblemKind::Damaged)) << h->AllMessages();
}

TEST(PageTreeTest, CorpusKidsCycleGivesTwelvePages) {
    auto h = OpenHeadless(CorpusPath("broken-kids-cycle.pdf"));
    EXPECT_EQ(h->doc.pageList.Count(), 12);
    EXPECT_EQ(h->ui.pageCountLabel, "von 12");
}

TEST(PageTreeTest, MissingPagesInCatalogIsInvalid) {
    TPdfBuilder builder;
    builder.Object(1, "<< /Type /Catalog >>").Trailer("/Root 1 0 R");
    auto h = OpenHeadless(builder.WriteTo("no-pages.pdf"));
    EXPECT_EQ(h->doc.pageList.Count(), 0);
    EXPECT_TRUE(h->HasProblem(TOpenProblemKind::Damaged));
}

// A catalog that names no usable page tree: the page objects the table
// holds are the pages, in file order, as other readers show them; a sound
// tree is read as it is.
TEST(PageTreeTest, CatalogWithoutUsableTreeTakesThePageObjects) {
    const struct {
        const char* name;
        std::string catalog;
        bool byScan;
    } cases[] = {
        {"no /Pages", "<< /Type /Catalog >>", true},
        {"/Pages to nothing", "<< /Type /Catalog /Pages 99 0 R >>", true},
        {"/Pages to a font", "<< /Type /Catalog /Pages 9 0 R >>", true},
        {"/Pages to a node without kids", "<< /Type /Catalog /Pages 8 0 R >>", true},
        {"/Pages to a page", "<< /Type /Catalog /Pages 5 0 R >>", true},
        {"sound tree", "<< /Type /Catalog /Pages 2 0 R >>", false},
    };
    for (const auto& c : cases) {
        TPdfBuilder builder;
        builder.Object(1, c.catalog);
        builder.Object(2, "<< /Type /Pages /Kids [5 0 R 3 0 R] /Count 2 >>");
        builder.Object(3, "<< /Type /Page /Parent 2 0 R >>");
        builder.Object(5, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] >>");
        builder.Object(8, "<< /Type /Pages /Kids [] /Count 0 /MediaBox [0 0 1 1] >>");
        builder.Object(9, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
        builder.Trailer("/Root 1 0 R");
        auto h = OpenHeadless(builder.WriteTo("scan-pages.pdf"));
        ASSERT_EQ(h->doc.pageList.Count(), 2) << c.name << h->AllMessages();
        EXPECT_TRUE(h->ui.messages.empty()) << c.name << h->AllMessages();
        EXPECT_EQ(h->doc.pagesFromScan, c.byScan) << c.name;
        // The tree's order, or the file's.
        EXPECT_EQ(h->doc.pageList[0].objNum, c.byScan ? 3 : 5) << c.name;
        // What a useless root says is given to no page: page 3 has the
        // reader's own default box.
        EXPECT_EQ(h->doc.pageList[0].mediaBox[2], c.byScan ? 595 : 9) << c.name;
    }
}

struct TMediaBoxCase {
    const char* name;
    std::string rootExtra;
    std::string pageExtra;
    std::array<double, 4> expected;
};

class MediaBoxTest : public ::testing::TestWithParam<TMediaBoxCase> {};

TEST_P(MediaBoxTest, PageBoxRootBoxOrA4) {
    const auto& c = GetParam();
    TPdfBuilder builder;
    builder.Object(2, "<< /Type /Pages /Kids [3 0 R] " + c.rootExtra + " >>").Object(3, Page(c.pageExtra));
    auto h = OpenBuilt(std::string("mediabox-") + c.name + ".pdf", builder);
    ASSERT_EQ(h->doc.pageList.Count(), 1) << h->AllMessages();
    EXPECT_EQ(h->doc.pageList[0].mediaBox, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, MediaBoxTest,
    ::testing::Values(TMediaBoxCase{"own", "/MediaBox [0 0 612 792]", "/MediaBox [10 20 300.5 400]",
                                    {10, 20, 300.5, 400}},
                      TMediaBoxCase{"inherited", "/MediaBox [0 0 612 792]", "", {0, 0, 612, 792}},
                      TMediaBoxCase{"a4_default", "", "", {0, 0, 595, 842}}),
    [](const ::testing::TestParamInfo<TMediaBoxCase>& param) { return std::string(param.param.name); });

TEST(PageDictTest, ShortMediaBoxEndsTheOpenAsNoNumber) {
    TPdfBuilder builder;
    builder.Object(2, "<< /Kids [3 0 R] >>").Object(3, Page("/MediaBox [0 0 612]"));
    auto h = OpenBuilt("mediabox-short.pdf", builder);
    ASSERT_EQ(h->OpenErrors(), std::vector<TOpenProblemKind>{TOpenProblemKind::NotANumber}) << h->AllMessages();
    EXPECT_EQ(h->doc.LastOpen().problems[0].detail, "]");
    EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::Invalid);
    EXPECT_EQ(h->ui.openFinishedCount, 1);
}

TEST(PageDictTest, ContentsResourcesAndRootEntries) {
    TPdfBuilder builder;
    builder.Object(2, "<< /Kids [3 0 R 4 0 R 5 0 R 12 0 R 13 0 R] /MediaBox [0 0 100 100] /Resources 9 0 R >>")
        .Object(3, Page("/Contents [6 0 R 7 0 R] /Resources << /Font << /F1 8 0 R >> >>"))
        .Object(4, Page("/Contents 10 0 R /Resources 9 0 R"))
        .Object(5, Page("/Contents 6 0 R"))
        .Object(6, "<< /Length 0 >>\nstream\n\nendstream")
        .Object(7, "<< /Length 0 >>\nstream\n\nendstream")
        .Object(8, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
        .Object(9, "<< /Font 11 0 R /XObject << >> >>")
        .Object(10, "[6 0 R 7 0 R]")
        .Object(11, "<< /F2 8 0 R >>")
        // A second page sharing the array object; one whose array lacks "]".
        .Object(12, Page("/Contents 10 0 R"))
        .Object(13, Page("/Contents 14 0 R"))
        .Object(14, "[7 0 R 6 0 R");
    auto h = OpenBuilt("page-dicts.pdf", builder);
    TPdfDocument& doc = h->doc;
    ASSERT_EQ(doc.pageList.Count(), 5) << h->AllMessages();

    auto refs = [](TPageRecord& page) {
        std::vector<int32_t> nums;
        for (const TContentRef& ref : page.contentRefs) nums.push_back(ref.objNum);
        return nums;
    };
    EXPECT_EQ(refs(doc.pageList[0]), (std::vector<int32_t>{6, 7}));
    EXPECT_EQ(refs(doc.pageList[1]), (std::vector<int32_t>{6, 7}));
    EXPECT_EQ(refs(doc.pageList[2]), (std::vector<int32_t>{6}));
    EXPECT_EQ(refs(doc.pageList[3]), (std::vector<int32_t>{6, 7}));
    EXPECT_EQ(refs(doc.pageList[4]), (std::vector<int32_t>{7, 6}));

    EXPECT_TRUE(doc.pageList[0].hasResources && doc.pageList[0].hasFonts);
    EXPECT_FALSE(doc.pageList[0].hasXObjects);
    EXPECT_TRUE(doc.pageList[1].hasFonts && doc.pageList[1].hasXObjects);
    // Pages without their own /Resources use the root's, as PDF has it; the
    // page's entries stay its own, and the root's come beside them.
    EXPECT_TRUE(doc.pageList[2].hasResources && doc.pageList[2].hasFonts && doc.pageList[2].hasXObjects);
    EXPECT_EQ(doc.pageList[2].resourcesForm, TValueForm::Indirect);
    EXPECT_EQ(doc.pageList[2].fontsForm, TValueForm::Indirect);
    EXPECT_EQ(doc.pageList[2].xobjectsForm, TValueForm::Direct);
    std::vector<std::string> keys;
    for (const TDictEntry& entry : doc.pageList[2].pageEntries) keys.push_back(entry.tokens.at(0));
    EXPECT_EQ(keys, (std::vector<std::string>{"/Type", "/Contents"}));
    const TDictEntry* resources = EffectiveEntry(doc.pageList[2], "/Resources");
    ASSERT_NE(resources, nullptr);
    EXPECT_TRUE(IsInheritedEntry(doc.pageList[2], *resources));
    EXPECT_EQ(resources->tokens, (std::vector<std::string>{"/Resources", "9", "0", "R"}));
    EXPECT_FALSE(IsInheritedEntry(doc.pageList[0], *EffectiveEntry(doc.pageList[0], "/Resources")));

    std::vector<std::string> fonts;
    for (const TFontRecord& font : doc.fontList) fonts.push_back(std::to_string(font.pageIndex) + font.resName);
    EXPECT_EQ(fonts, (std::vector<std::string>{"0/F1", "1/F2", "2/F2", "3/F2", "4/F2"}));
}

// ---- document information ---------------------------------------------------

struct TDateCase {
    const char* name;
    std::string value;
    bool applies;
};

class InfoDateTest : public ::testing::TestWithParam<TDateCase> {};

TEST_P(InfoDateTest, CreationDateIsTakenOrIgnored) {
    const auto& c = GetParam();
    TPdfBuilder builder;
    builder.Object(2, "<< /Kids [3 0 R] >>").Object(3, Page());
    builder.Object(4, "<< /CreationDate " + c.value + " /ModDate (D:19991231235959Z) >>");
    auto h = OpenBuilt(std::string("date-") + c.name + ".pdf", builder, "/Info 4 0 R");
    const TPdfDocument& doc = h->doc;
    const TDateTimeValue now = NowLocal();
    if (c.applies) {
        EXPECT_EQ(doc.info.creationDate.year, 2003);
        EXPECT_EQ(doc.info.creationDate.month, 5);
        EXPECT_EQ(doc.info.creationDate.day, 14);
        EXPECT_EQ(doc.info.creationTime.hour, 12);
        EXPECT_EQ(doc.info.creationTime.minute, 0);
        EXPECT_EQ(doc.info.creationTime.second, 0);
    } else {
        // Left at the moment the open began (allow for a day boundary).
        EXPECT_NE(doc.info.creationDate.year, 2003);
        EXPECT_GE(doc.info.creationDate.year, now.year - 1);
    }
    // The other date is read independently of a broken one.
    EXPECT_EQ(doc.info.modDate.year, 1999);
    EXPECT_EQ(doc.info.modDate.month, 12);
    EXPECT_EQ(doc.info.modDate.day, 31);
    EXPECT_EQ(doc.info.modTime.hour, 23);
    EXPECT_EQ(doc.info.modTime.minute, 59);
    EXPECT_EQ(doc.info.modTime.second, 59);
    EXPECT_TRUE(h->OpenErrors().empty()) << h->AllMessages();
}

INSTANTIATE_TEST_SUITE_P(
    Dates, InfoDateTest,
    ::testing::Values(TDateCase{"full", "(D:20030514120000+01'00')", true},
                      TDateCase{"no_zone", "(D:20030514120000)", true},
                      TDateCase{"date_only", "(D:20030514)", false},
                      TDateCase{"no_prefix", "(20030514120000)", false},
                      TDateCase{"month_13", "(D:20031314120000)", false},
                      TDateCase{"february_30", "(D:20030230120000)", false},
                      TDateCase{"hour_24", "(D:20030514240000)", false},
                      TDateCase{"letters", "(D:2003O514120000)", false}),
    [](const ::testing::TestParamInfo<TDateCase>& param) { return std::string(param.param.name); });

TEST(InfoTest, TextFieldsAreUnescapedAndEntriesKept) {
    TPdfBuilder builder;
    builder.Object(2, "<< /Kids [3 0 R] >>").Object(3, Page());
    builder.Object(4,
                   "<< /Producer (Acme \\(Druck\\) 1.0) /Creator (Wr\\374ter) /Author (Anna)\n"
                   "/Title (T) /Subject (S) /Keywords (a, b) /Custom (x) >>");
    auto h = OpenBuilt("info-text.pdf", builder, "/Info 4 0 R");
    const TPdfDocument& doc = h->doc;
    EXPECT_EQ(doc.info.producer, "Acme (Druck) 1.0");
    EXPECT_EQ(doc.info.creator, "Wr\xC3\xBCter");  // Latin-1 in the file, UTF-8 in the model
    EXPECT_EQ(doc.info.author, "Anna");
    EXPECT_EQ(doc.info.title, "T");
    EXPECT_EQ(doc.info.subject, "S");
    EXPECT_EQ(doc.info.keywords, "a, b");
    ASSERT_TRUE(doc.infoEntriesValid);
    ASSERT_EQ(doc.infoEntries.Count(), 7);
    EXPECT_EQ(doc.infoEntries[6].tokens, (std::vector<std::string>{"/Custom", "(x)"}));
    EXPECT_TRUE(doc.dictEntries.IsEmpty());
}

// ---- annotations ---------------------------------------------------------------

struct TAnnotCase {
    const char* name;
    std::string annot;
    int32_t iconKind;
    int32_t annotKind;
    bool isOpen;
    std::string contents;
};

class AnnotationTest : public ::testing::TestWithParam<TAnnotCase> {};

TEST_P(AnnotationTest, FieldsFromTheAnnotationObject) {
    const auto& c = GetParam();
    TPdfBuilder builder;
    builder.Object(2, "<< /Kids [3 0 R] /MediaBox [0 0 595 842] >>")
        .Object(3, Page("/Annots [10 0 R]"))
        .Object(10, c.annot);
    auto h = OpenBuilt(std::string("annot-") + c.name + ".pdf", builder);
    ASSERT_EQ(h->doc.pageList.Count(), 1);
    const auto& annots = h->doc.pageList[0].annotations;
    ASSERT_EQ(annots.Count(), 1);
    const TAnnotation& a = annots[0];
    EXPECT_TRUE(a.present && a.isRef);
    EXPECT_EQ(a.objNum, 10);
    EXPECT_EQ(a.iconKind, c.iconKind);
    EXPECT_EQ(a.annotKind, c.annotKind);
    EXPECT_EQ(a.isFreeText, c.annotKind == 2);
    EXPECT_EQ(a.isOpen, c.isOpen);
    EXPECT_EQ(a.contents, c.contents);
}

INSTANTIATE_TEST_SUITE_P(
    Annots, AnnotationTest,
    ::testing::Values(
        TAnnotCase{"top_secret_stamp", "<< /Subtype /Stamp /Name /TopSecret >>", 20, 3, false, ""},
        TAnnotCase{"unknown_name", "<< /Subtype /Text /Name /Whatever /Open true >>", 2, 1, true, ""},
        TAnnotCase{"comment_open_upper", "<< /Subtype /Text /Name /Comment /Open TRUE >>", 0, 1, true, ""},
        TAnnotCase{"free_text", "<< /Subtype /FreeText /Open false /Contents (Zeile\\nzwei \\(x\\)) >>", 2, 2,
                   false, "Zeile\nzwei (x)"},
        TAnnotCase{"link", "<< /Subtype /Link /Contents (\\101\\102c) >>", 2, 0, false, "ABc"}),
    [](const ::testing::TestParamInfo<TAnnotCase>& param) { return std::string(param.param.name); });

TEST(AnnotationTest, RectSwappedCornersInInchesFromTheTop) {
    TPdfBuilder builder;
    builder.Object(2, "<< /Kids [3 0 R] >>")
        .Object(3, Page("/MediaBox [0 0 595 842] /Annots 11 0 R"))
        .Object(10, "<< /Subtype /Text /Rect [100 700 50 650] /T (Autor) >>")
        .Object(11, "[10 0 R 12 0 X]");
    auto h = OpenBuilt("annot-rect.pdf", builder);
    ASSERT_EQ(h->doc.pageList.Count(), 1);
    const auto& annots = h->doc.pageList[0].annotations;
    // The group without "R" in the referenced array is skipped.
    ASSERT_EQ(annots.Count(), 1);
    const TAnnotation& a = annots[0];
    EXPECT_DOUBLE_EQ(a.x1, 50.0 / 72);
    EXPECT_DOUBLE_EQ(a.x2, 100.0 / 72);
    EXPECT_DOUBLE_EQ(a.y1, 142.0 / 72);
    EXPECT_DOUBLE_EQ(a.y2, 192.0 / 72);
    EXPECT_EQ(a.title, "Autor");
}

// Some producers write annotation dictionaries straight into /Annots, with
// nested dictionaries and arrays of their own, beside references.
TEST(AnnotationTest, DictionariesWrittenIntoTheArrayReadLikeReferencedOnes) {
    const std::string items =
        "<< /Type /Annot /Subtype /Text /Rect [100 700 120 720] /Contents (direkt) /AP << /N << >> >> >>"
        " 10 0 R <</Subtype/Stamp/Name/Draft/Rect[0 0 72 72]>>";
    for (const bool indirectArray : {false, true}) {
        SCOPED_TRACE(indirectArray ? "array object" : "array in the page");
        TPdfBuilder builder;
        builder.Object(2, "<< /Kids [3 0 R] /MediaBox [0 0 595 842] >>")
            .Object(3, Page("/Annots " + (indirectArray ? std::string("11 0 R") : "[" + items + "]")))
            .Object(10, "<< /Subtype /FreeText /Contents (Verweis) >>")
            .Object(11, "[" + items + "]");
        auto h = OpenBuilt(std::string("annot-direct-") + (indirectArray ? "object" : "inline") + ".pdf", builder);
        ASSERT_EQ(h->doc.pageList.Count(), 1) << h->AllMessages();
        const auto& annots = h->doc.pageList[0].annotations;
        ASSERT_EQ(annots.Count(), 3);
        EXPECT_FALSE(annots[0].isRef);
        EXPECT_EQ(annots[0].annotKind, 1);
        EXPECT_EQ(annots[0].contents, "direkt");
        EXPECT_DOUBLE_EQ(annots[0].x1, 100.0 / 72);
        EXPECT_DOUBLE_EQ(annots[0].y1, 122.0 / 72);
        EXPECT_TRUE(annots[1].isRef);
        EXPECT_EQ(annots[1].objNum, 10);
        EXPECT_EQ(annots[1].annotKind, 2);
        EXPECT_EQ(annots[1].contents, "Verweis");
        EXPECT_FALSE(annots[2].isRef);
        EXPECT_EQ(annots[2].annotKind, 3);
        EXPECT_EQ(annots[2].iconKind, 11);  // /Draft
        EXPECT_DOUBLE_EQ(annots[2].y2, (842.0 - 0) / 72);
    }
}

TEST(PageLoopTest, CancelBeforeTheLoopLeavesPagesWithoutContentButFontsRead) {
    THeadlessDoc h;
    const std::string path = ScratchDir("cancel") + "/two.pdf";
    WriteFileBytes(path, SimpleDocument({"BT ET", "BT ET"}));
    std::atomic<bool> cancel{false};
    h.ui.onPump = [&cancel]() { cancel = true; };
    TOpenOptions options;
    options.cancel = &cancel;
    h.doc.openfilenow(path, options);
    EXPECT_EQ(h.doc.LastOpen().outcome, TOpenResult::Cancelled);
    EXPECT_EQ(h.doc.pageList.Count(), 2);
    EXPECT_EQ(h.doc.fontList.Count(), 2);
    // The first page's pump sets the flag; the second page is not read.
    ASSERT_FALSE(h.ui.progress.empty());
    EXPECT_EQ(h.ui.progress.back().step, TProgressStep::ReadingPage);
    EXPECT_EQ(h.ui.progress.back().count, 1);
    EXPECT_FALSE(h.doc.pageList[1].hasContent);
    EXPECT_EQ(h.ui.progressPercent, 0);
}

}  // namespace
