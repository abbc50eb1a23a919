// Rewriting font selections in page contents: the escaped text, the split,
// the exchange and the way back.
#include <gtest/gtest.h>

#include <iterator>
#include <random>

#include "ContentRewrite.h"
#include "TestSupport.h"

namespace {

std::string Rewrite(const std::string& content, const TFontReplacements& replacements) {
    const auto bytes = RewriteContent(reinterpret_cast<const uint8_t*>(content.data()), content.size(), replacements);
    return std::string(bytes.begin(), bytes.end());
}

TFontReplacements Map(std::initializer_list<std::pair<const char*, const char*>> pairs) {
    TFontReplacements map;
    for (const auto& [from, to] : pairs) map.emplace(from, EscapeContentText(to));
    return map;
}

TEST(ContentEscape, ControlBytesAndHashAreEscapedOthersStay) {
    const struct {
        std::string bytes;
        std::string escaped;
    } cases[] = {
        {std::string(1, '\0'), "#000"},
        {"\t", "#011"},
        {"\x1f", "#037"},
        {"#", "##"},
        {"a\r\nb c", "a\r\nb c"},
        {"\xff\x80", "\xff\x80"},
        {"/F#201", "/F##201"},
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeContentText(c.bytes), c.escaped) << c.escaped;
}

TEST(ContentEscape, EveryByteComesBackUnchangedWithoutExchange) {
    std::string all;
    for (int rep = 0; rep < 2; ++rep)
        for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string contents[] = {all, "\nBT /F1 12 Tf (A#B\x01) Tj ET\r\n", "  \r\r\n", "", "##\t#"};
    for (const std::string& content : contents) {
        EXPECT_EQ(Rewrite(content, {}), content);
        EXPECT_EQ(Rewrite(content, Map({{"/F9", "/F2"}})), content);
    }
}

TEST(ContentSplit, SeparatorRunsFollowTheirWordAndALeadingBreakGivesAnEmptyWord) {
    const TSplitContent split = SplitContentText("\nBT  /F1\r\n12 Tf");
    ASSERT_EQ(split.words.size(), split.separators.size());
    EXPECT_EQ(split.words, (std::vector<std::string>{"", "BT", "/F1", "12", "Tf"}));
    EXPECT_EQ(split.separators, (std::vector<std::string>{"\n", "  ", "\r\n", " ", ""}));
    EXPECT_EQ(JoinContentText(split), "\nBT  /F1\r\n12 Tf");
}

TEST(FontExchange, OperandTwoWordsBeforeTfIsExchangedAndLayoutKept) {
    const struct {
        const char* content;
        const char* expected;
    } cases[] = {
        {"BT /F1 12 Tf (A) Tj ET", "BT /F5 12 Tf (A) Tj ET"},
        {"BT\r\n/F1   12\nTf (A) Tj ET", "BT\r\n/F5   12\nTf (A) Tj ET"},
        // A tab joins name and size into one word: nothing is exchanged.
        {"BT /F1\t12 Tf ET", "BT /F1\t12 Tf ET"},
        // "Tf" as first or second word has no operand two places before it.
        {"Tf /F1 Tf", "Tf /F1 Tf"},
        {"/F1 Tf", "/F1 Tf"},
        // Only the word two places before counts, not the size.
        {"/F1 /F1 Tf", "/F5 /F1 Tf"},
        {"/F1 12 Tfx /F1 12 TF", "/F1 12 Tfx /F1 12 TF"},
    };
    for (const auto& c : cases) EXPECT_EQ(Rewrite(c.content, Map({{"/F1", "/F5"}})), c.expected) << c.content;
}

TEST(FontExchange, SwapsAndChainsAreEachLookedUpOnce) {
    EXPECT_EQ(Rewrite("/F1 9 Tf /F2 9 Tf", Map({{"/F1", "/F2"}, {"/F2", "/F1"}})), "/F2 9 Tf /F1 9 Tf");
    EXPECT_EQ(Rewrite("/F1 9 Tf /F2 9 Tf", Map({{"/F1", "/F2"}, {"/F2", "/F3"}})), "/F2 9 Tf /F3 9 Tf");
}

TEST(FontExchange, HashInNamesOldNeverMatchesNewComesOutAsChosen) {
    // "#" is doubled in the escaped text, so a resource name with "#" is
    // never found there.
    EXPECT_EQ(Rewrite("/A#20B 9 Tf", Map({{"/A#20B", "/F2"}})), "/A#20B 9 Tf");
    EXPECT_EQ(Rewrite("/F1 9 Tf", Map({{"/F1", "/My#20Font"}})), "/My#20Font 9 Tf");
    EXPECT_EQ(Rewrite("/F1 9 Tf", Map({{"/F1", "/My\\#Font"}})), "/My\\#Font 9 Tf");
}

// The rewrite takes one pass over the bytes; the word-wise steps say what it
// must give. Contents drawn from the bytes that matter to those steps: the
// separators, control bytes, "#" and the pieces of font selections.
TEST(FontExchange, OnePassGivesWhatTheWordWiseStepsGive) {
    const std::string pieces[] = {" ", "\n", "\r", "\t", "#", std::string(1, '\0'), "Tf", "T", "f",
                                  "/F1", "/F2", "/A#B", "/A\x01", "12", "(x)", "Tj",
                                  "/F1 12 Tf", "/F2 9 Tf", "/A#B 1 Tf", "/A\x01 7 Tf"};
    TFontReplacements replacements = Map({{"/F1", "/F2"}, {"/F2", "/F#1"}});
    replacements.emplace(EscapeContentText("/A#B"), EscapeContentText("/G"));
    replacements.emplace(EscapeContentText("/A\x01"), EscapeContentText("/H\x02"));
    std::mt19937 random(19);
    int32_t exchangedTotal = 0;
    for (int round = 0; round < 2000; ++round) {
        std::string content;
        const size_t length = random() % 24;
        for (size_t i = 0; i < length; ++i) content += pieces[random() % std::size(pieces)];
        TSplitContent split = SplitContentText(EscapeContentText(content));
        exchangedTotal += ExchangeFontOperands(split.words, replacements);
        std::vector<uint8_t> expected;
        UnescapeContentText(JoinContentText(split), expected);
        ASSERT_EQ(Rewrite(content, replacements), std::string(expected.begin(), expected.end())) << content;
    }
    // The drawn contents did exchange selections.
    EXPECT_GT(exchangedTotal, 100);
}

TEST(ContentUnescape, MalformedEscapesFollowTheDigitRules) {
    std::vector<uint8_t> out;
    UnescapeContentText("#1x2#", out);
    // "x" takes a digit place without changing the value: 1 * 8 + 2; the
    // lone "#" at the end produces nothing.
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], 10);
    out.clear();
    UnescapeContentText("#777", out);
    EXPECT_EQ(out, std::vector<uint8_t>{0xff});
}

TFontRecord Font(const char* resName, int32_t page, const char* replacement, bool hidden = false) {
    TFontRecord font;
    font.resName = resName;
    font.pageIndex = page;
    font.replacementName = replacement;
    font.hidden = hidden;
    return font;
}

TEST(PageReplacements, OwnRecordsAndAddedFontsInListOrderFirstOneDecides) {
    THeadlessUi ui;
    TPdfDocument doc(ui);
    doc.pageList.Append();
    doc.pageList.Append();
    *doc.fontList.Append() = Font("/F1", 0, "/F2");
    *doc.fontList.Append() = Font("/F1", 1, "/F9");
    *doc.fontList.Append() = Font("/F2", 1, "");
    *doc.fontList.Append() = Font("/Arial", 0, "", true);
    *doc.fontList.Append() = Font("/F1", 0, "/Arial", true);
    const auto byPage = ReplacementsByPage(doc);
    ASSERT_EQ(byPage.size(), 2u);
    EXPECT_EQ(byPage[0].at("/F1"), "/F2");
    EXPECT_EQ(byPage[1].at("/F1"), "/F9");
    EXPECT_EQ(byPage[1].count("/F2"), 0u);
}

TEST(RewritePages, DecodedPagesAreRewrittenAndUndecodableContentMakesOneMessage) {
    THeadlessUi ui;
    TPdfDocument doc(ui);
    TPageRecord* decoded = doc.pageList.Append();
    decoded->contentLength = 22;
    decoded->hasContent = 1;
    // Many undecodable pages still make one message, not one each.
    for (int i = 0; i < 50; ++i) doc.pageList.Append()->contentRefs.Append()->objNum = 7 + i;
    doc.pageList.Append();  // no content stream at all

    TellUndecodablePages(doc);
    EXPECT_TRUE(PageContentIsRewritten(doc.pageList[0]));
    EXPECT_FALSE(PageContentIsRewritten(doc.pageList[1]));
    EXPECT_FALSE(PageContentIsRewritten(doc.pageList[51]));
    ASSERT_EQ(ui.notices.size(), 1u);
    EXPECT_EQ(ui.notices[0].kind, TNoticeKind::ContentNotDecodable);
}

std::unique_ptr<THeadlessDoc> OpenPages(const std::string& name, const std::vector<std::string>& contents) {
    const std::string path = ScratchDir(name) + "/in.pdf";
    WriteFileBytes(path, SimpleDocument(contents));
    return OpenHeadless(path);
}

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The rewritten bytes come from the file each time: the page never holds
// them, so rewriting twice cannot swap two fonts back.
TEST(RewritePages, RewritesFromTheFileEveryTime) {
    auto h = OpenPages("rewrite-twice", {"BT /F1 12 Tf (a) Tj /F2 12 Tf (b) Tj ET", "BT /F1 9 Tf (c) Tj ET"});
    TPdfDocument& doc = h->doc;
    ASSERT_EQ(doc.pageList.Count(), 2) << h->AllMessages();
    *doc.fontList.Append() = Font("/F1", 0, "/F2");
    *doc.fontList.Append() = Font("/F2", 0, "/F1");
    const std::vector<TFontReplacements> replacements = ReplacementsByPage(doc);
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(Text(RewrittenPageContent(doc, 0, replacements[0])), "BT /F2 12 Tf (a) Tj /F1 12 Tf (b) Tj ET\n")
            << "attempt " << attempt;
        // Page 2's /F1 is another record, without a replacement.
        EXPECT_EQ(Text(RewrittenPageContent(doc, 1, replacements[1])), "BT /F1 9 Tf (c) Tj ET\n");
    }
    EXPECT_EQ(Text(doc.PageContent(0)), "BT /F1 12 Tf (a) Tj /F2 12 Tf (b) Tj ET\n");
}

}  // namespace
