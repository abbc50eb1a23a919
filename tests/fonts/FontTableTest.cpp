#include <gtest/gtest.h>

#include <algorithm>

#include "AddedFonts.h"
#include "FontTable.h"
#include "TestSupport.h"

namespace {

using TNames = std::vector<std::string>;

// Two pages: /F1 and /F2 on page 1, /F3 on page 2.
std::unique_ptr<THeadlessDoc> TwoPageDocument() {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
                "/Resources << /Font << /F1 7 0 R /F2 8 0 R >> >> /Contents 5 0 R >>");
    b.Object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
                "/Resources << /Font << /F3 7 0 R >> >> /Contents 6 0 R >>");
    b.Stream(5, "", "BT /F1 12 Tf 72 700 Td (one) Tj /F2 12 Tf (two) Tj ET");
    b.Stream(6, "", "BT /F3 12 Tf 72 700 Td (three) Tj ET");
    b.Object(7, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    b.Object(8, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding >>");
    b.Trailer("/Root 1 0 R");
    auto opened = OpenHeadless(b.WriteTo("fonttable-two-pages.pdf"));
    EXPECT_EQ(opened->doc.pageList.Count(), 2) << opened->AllMessages();
    return opened;
}

// An added font as the dialog appends it (no installed font needed here).
void AppendAddedFont(TPdfDocument& doc, const std::string& resName) {
    TFontRecord& font = *doc.fontList.Append();
    font.hidden = 1;
    font.resName = resName;
}

TNames RowNames(const TPdfDocument& doc, int32_t page) {
    TNames names;
    for (int32_t index : FontTableRows(doc, page)) names.push_back(doc.fontList[static_cast<size_t>(index)].resName);
    return names;
}

TEST(FontTable, RowsFollowThePageAndNeverShowAddedFonts) {
    auto opened = TwoPageDocument();
    TPdfDocument& doc = opened->doc;
    AppendAddedFont(doc, "/LiberationSans");
    EXPECT_EQ(RowNames(doc, 1), (TNames{"/F1", "/F2"}));
    EXPECT_EQ(RowNames(doc, 2), (TNames{"/F3"}));
    for (int32_t invalid : {0, -1, 3}) EXPECT_TRUE(FontTableRows(doc, invalid).empty()) << invalid;
}

TEST(FontTable, ChoicesAreThePageFontsThenTheAddedOnes) {
    auto opened = TwoPageDocument();
    TPdfDocument& doc = opened->doc;
    AppendAddedFont(doc, "/LiberationSans");
    EXPECT_EQ(ReplacementChoices(doc, 1), (TNames{"/F1", "/F2", "/LiberationSans"}));
    EXPECT_EQ(ReplacementChoices(doc, 2), (TNames{"/F3", "/LiberationSans"}));
    EXPECT_TRUE(ReplacementChoices(doc, 3).empty());
    EXPECT_TRUE(ReplacementChoices(doc, 0).empty());
}

TEST(FontTable, ReplaceAndKeepByRow) {
    auto opened = TwoPageDocument();
    TPdfDocument& doc = opened->doc;
    AppendAddedFont(doc, "/LiberationSans");
    const auto& fonts = doc.fontList;

    ASSERT_TRUE(SetReplacement(doc, 1, 0, "/F2"));
    ASSERT_TRUE(SetReplacement(doc, 1, 1, "/LiberationSans"));
    ASSERT_TRUE(SetReplacement(doc, 2, 0, "/LiberationSans"));
    EXPECT_EQ(fonts[0].replacementName, "/F2");
    EXPECT_EQ(fonts[1].replacementName, "/LiberationSans");
    EXPECT_EQ(fonts[2].replacementName, "/LiberationSans");
    EXPECT_EQ(fonts[3].replacementName, "") << "the added font itself is never replaced";

    // Replacing by itself keeps the name (nothing visible changes on save).
    ASSERT_TRUE(SetReplacement(doc, 1, 1, "/F2"));
    EXPECT_EQ(fonts[1].replacementName, "/F2");

    ASSERT_TRUE(ClearReplacement(doc, 1, 0));
    EXPECT_EQ(fonts[0].replacementName, "");
    EXPECT_EQ(fonts[1].replacementName, "/F2");
    EXPECT_EQ(fonts[2].replacementName, "/LiberationSans");
}

TEST(FontTable, RowsOutsideTheTableChangeNothing) {
    auto opened = TwoPageDocument();
    TPdfDocument& doc = opened->doc;
    AppendAddedFont(doc, "/LiberationSans");
    // Row 1 of page 2 would be the added font in the dialog's count; it is
    // not a row of the table.
    const struct {
        int32_t page, row;
    } cases[] = {{2, 1}, {1, 2}, {1, -1}, {0, 0}, {3, 0}};
    for (const auto& c : cases) {
        EXPECT_FALSE(SetReplacement(doc, c.page, c.row, "/X")) << c.page << "/" << c.row;
        EXPECT_FALSE(ClearReplacement(doc, c.page, c.row)) << c.page << "/" << c.row;
    }
    for (const auto& font : doc.fontList) EXPECT_EQ(font.replacementName, "") << font.resName;
}

TEST(FontTable, NoDocumentHasNoRows) {
    THeadlessUi ui;
    TPdfDocument doc{ui};
    EXPECT_TRUE(FontTableRows(doc, 1).empty());
    EXPECT_TRUE(ReplacementChoices(doc, 1).empty());
    EXPECT_FALSE(SetReplacement(doc, 1, 0, "/F1"));
}

TEST(FontTable, CorpusPagesListTheFontsTheyUse) {
    // Every corpus file that opens: the table of each page shows the names
    // of the /Font dictionary the page uses, its own or inherited, as the
    // manifest lists them, and then the fonts of the forms and annotation
    // appearances the page can draw.
    int checked = 0, ofForms = 0;
    for (const auto& row : LoadManifest()) {
        if (row.expected != "open" || row.pages <= 0 || row.fonts.empty()) continue;
        auto opened = OpenHeadless(CorpusPath(row.file), false);
        const TPdfDocument& doc = opened->doc;
        for (int32_t page = 1; page <= doc.pageList.Count() && page <= static_cast<int32_t>(row.fonts.size());
             ++page) {
            TNames names;
            for (int32_t index : FontTableRows(doc, page)) {
                const TFontRecord& font = doc.fontList[static_cast<size_t>(index)];
                if (font.use == TFontUse::PageContent) names.push_back(font.resName);
                else ++ofForms;
            }
            std::sort(names.begin(), names.end());
            EXPECT_EQ(names, row.fonts[static_cast<size_t>(page - 1)]) << row.file << " page " << page;
            ++checked;
        }
    }
    EXPECT_GT(checked, 0);
    EXPECT_GT(ofForms, 0);  // the pdfTeX book draws figures as forms
}

}  // namespace
