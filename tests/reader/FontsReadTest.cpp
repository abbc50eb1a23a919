// Font records: collection per page, widths, encodings, /Differences, /CharSet.
#include <gtest/gtest.h>

#include <algorithm>

#include "Charsets.h"
#include "TestSupport.h"

namespace {

// One page whose /Font dictionary has /F1 = object 10 with the given entries;
// objects 11.. may be added by the caller.
std::unique_ptr<THeadlessDoc> OpenWithFont(const std::string& name, const std::string& fontEntries,
                                           const std::vector<std::pair<int32_t, std::string>>& extra = {}) {
    TPdfBuilder builder;
    builder.Object(1, "<< /Type /Catalog /Pages 2 0 R >>")
        .Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
        .Object(3, "<< /Type /Page /Resources << /Font << /F1 10 0 R >> >> >>")
        .Object(10, "<< /Type /Font " + fontEntries + " >>")
        .Trailer("/Root 1 0 R");
    for (const auto& [num, body] : extra) builder.Object(num, body);
    return OpenHeadless(builder.WriteTo(name));
}

std::vector<int32_t> SetCodes(const std::array<uint8_t, 256>& set, const std::array<uint8_t, 256>& values) {
    std::vector<int32_t> out;
    for (size_t code = 0; code < 256; ++code)
        if (set[code]) {
            out.push_back(static_cast<int32_t>(code));
            out.push_back(values[code]);
        }
    return out;
}

struct TDifferencesCase {
    const char* name;
    std::string differences;
    std::vector<int32_t> codeValuePairs;
};

class DifferencesTest : public ::testing::TestWithParam<TDifferencesCase> {};

TEST_P(DifferencesTest, CodesGetWinAnsiCodesOfTheGlyphs) {
    const auto& c = GetParam();
    auto h = OpenWithFont(std::string("diff-") + c.name + ".pdf", "/Encoding 11 0 R",
                          {{11, "<< /Type /Encoding /BaseEncoding /MacRomanEncoding /Differences " + c.differences +
                                    " >>"}});
    ASSERT_EQ(h->doc.fontList.Count(), 1) << h->AllMessages();
    const TFontRecord& font = h->doc.fontList[0];
    EXPECT_TRUE(font.hasEncodingDict);
    EXPECT_EQ(font.encoding, kMacRomanEncoding);  // the codes /Differences leaves are the base's
    EXPECT_EQ(SetCodes(font.Codes().differenceSet, font.Codes().differences), c.codeValuePairs);
    EXPECT_TRUE(h->OpenErrors().empty()) << h->AllMessages();
}

INSTANTIATE_TEST_SUITE_P(
    Lists, DifferencesTest,
    ::testing::Values(
        TDifferencesCase{"ascii", "[32 /space /exclam 65 /A /B]", {32, 32, 33, 33, 65, 65, 66, 66}},
        // "fi" has no WinAnsi code: 129 stays unset.
        TDifferencesCase{"euro_fi", "[128 /Euro /fi]", {128, 128}},
        TDifferencesCase{"unknown_glyph_counts", "[40 /g123 /Adieresis]", {41, 196}},
        TDifferencesCase{"out_of_range_and_negative", "[255 /A /B -1 /C /D 1e3 /E]", {0, 68, 1, 69, 255, 65}},
        TDifferencesCase{"counter_near_int_limit", "[2147483647 /A /B]", {}}),
    [](const ::testing::TestParamInfo<TDifferencesCase>& param) { return std::string(param.param.name); });

TEST(FontReadTest, CharSetCodesInListedOrder) {
    auto h = OpenWithFont("charset.pdf", "/FontDescriptor 11 0 R",
                          {{11, "<< /Type /FontDescriptor /CharSet (/A/B/fi) /FontBBox [0 0 1 1] >>"}});
    ASSERT_EQ(h->doc.fontList.Count(), 1);
    const TFontRecord& font = h->doc.fontList[0];
    EXPECT_TRUE(font.hasDescriptor && font.hasCharSet);
    EXPECT_EQ(font.charSet, "(/A/B/fi)");
    EXPECT_EQ(font.Codes().charSetCodes[0], 65);
    EXPECT_EQ(font.Codes().charSetCodes[1], 66);
    EXPECT_EQ(font.Codes().charSetCodes[2], 32);
    EXPECT_EQ(font.Codes().charSetCodes[3], 0);
    // The descriptor's /FontBBox does not count.
    EXPECT_EQ(font.bboxWidth, 1.0);
    EXPECT_EQ(font.bboxHeight, 1.0);
}

TEST(FontReadTest, CharSetStopsAt256Codes) {
    std::string names;
    for (int i = 0; i < 300; ++i) names += "/Z";
    auto h = OpenWithFont("charset-long.pdf", "/FontDescriptor << /CharSet (" + names + ") >>");
    ASSERT_EQ(h->doc.fontList.Count(), 1);
    const TFontRecord& font = h->doc.fontList[0];
    EXPECT_TRUE(font.hasCharSet);
    EXPECT_EQ(font.Codes().charSetCodes[255], 'Z');
}

struct TWidthsCase {
    const char* name;
    std::string entries;
    std::vector<std::pair<int32_t, std::string>> extra;
    int32_t firstChar;
    std::vector<double> widths;  // -1: slot unset
};

class WidthsTest : public ::testing::TestWithParam<TWidthsCase> {};

TEST_P(WidthsTest, SlotsFollowTheArray) {
    const auto& c = GetParam();
    auto h = OpenWithFont(std::string("widths-") + c.name + ".pdf", c.entries, c.extra);
    ASSERT_EQ(h->doc.fontList.Count(), 1) << h->AllMessages();
    const TFontRecord& font = h->doc.fontList[0];
    EXPECT_EQ(font.firstChar, c.firstChar);
    for (size_t slot = 0; slot < 256; ++slot) {
        const double expected = slot < c.widths.size() ? c.widths[slot] : -1;
        if (expected < 0) {
            EXPECT_FALSE(font.Codes().widthSet[slot]) << "slot " << slot;
        } else {
            EXPECT_TRUE(font.Codes().widthSet[slot]) << "slot " << slot;
            EXPECT_DOUBLE_EQ(font.Codes().widths[slot], expected) << "slot " << slot;
        }
    }
}

std::vector<double> ManyWidths(size_t n) { return std::vector<double>(n, 250); }

// An array of n widths of 250.
std::string ManyWidthsArray(size_t n) {
    std::string out = "[";
    for (size_t i = 0; i < n; ++i) out += "250 ";
    return out + "]";
}

INSTANTIATE_TEST_SUITE_P(
    Arrays, WidthsTest,
    ::testing::Values(
        TWidthsCase{"inline_with_bad_entry", "/FirstChar 32 /Widths [500 600.5 x 700]", {}, 32,
                    {500, 600.5, -1, 700}},
        TWidthsCase{"referenced", "/FirstChar 65 /Widths 11 0 R", {{11, "[ 1 2.25 3 ]"}}, 65, {1, 2.25, 3}},
        TWidthsCase{"bad_first_char_left_at_zero", "/FirstChar x /Widths [7]", {}, 0, {7}},
        TWidthsCase{"inline_more_than_256", "/Widths " + ManyWidthsArray(300), {}, 0, ManyWidths(256)},
        TWidthsCase{"referenced_more_than_256", "/Widths 11 0 R", {{11, ManyWidthsArray(300)}}, 0,
                    ManyWidths(256)}),
    [](const ::testing::TestParamInfo<TWidthsCase>& param) { return std::string(param.param.name); });

TEST(FontReadTest, UnterminatedWidthsArrayStopsAfter256Slots) {
    // Without "]" the reading runs on through "endobj" into the xref table;
    // it must stop at the last slot.
    auto h = OpenWithFont("widths-unterminated.pdf", "/Widths 11 0 R", {{11, "[ 5 6"}});
    ASSERT_EQ(h->doc.fontList.Count(), 1);
    const TFontRecord& font = h->doc.fontList[0];
    EXPECT_EQ(font.Codes().widths[0], 5);
    EXPECT_EQ(font.Codes().widths[1], 6);
    EXPECT_FALSE(font.Codes().widthSet[2]);  // "endobj"
}

struct TEncodingCase {
    std::string entry;
    int32_t encoding;
};

TEST(FontReadTest, EncodingNamesAndDefault) {
    const TEncodingCase cases[] = {
        {"/Encoding /StandardEncoding", 0}, {"/Encoding /MacRomanEncoding", 1}, {"/Encoding /WinAnsiEncoding", 2},
        {"/Encoding /PDFDocEncoding", 3},   {"/Encoding /Identity-H", 3},       {"", 3},
    };
    for (const auto& c : cases) {
        auto h = OpenWithFont("encoding.pdf", "/Subtype /Type1 " + c.entry);
        ASSERT_EQ(h->doc.fontList.Count(), 1) << c.entry;
        EXPECT_EQ(h->doc.fontList[0].encoding, c.encoding) << c.entry;
        EXPECT_FALSE(h->doc.fontList[0].hasEncodingDict) << c.entry;
        EXPECT_FALSE(h->doc.fontList[0].isType3) << c.entry;
    }
}

TEST(FontReadTest, EncodingDictionaryWrittenInPlaceIsReadLikeAReferencedOne) {
    const struct {
        const char* entry;
        int32_t encoding;
        const char* name;
    } cases[] = {
        {"/Encoding << /BaseEncoding /WinAnsiEncoding /Differences [ 129 /fi /fl /bullet ] /Type /Encoding >>",
         kWinAnsiEncoding, "/WinAnsiEncoding"},
        // Without a base the font's own encoding stands, as for a referenced one.
        {"/Encoding << /Differences [129 /fi /fl /bullet] >>", kPDFDocEncoding, ""},
    };
    for (const auto& c : cases) {
        auto h = OpenWithFont("direct-encoding.pdf", std::string("/Subtype /Type1 /BaseFont /Helvetica ") + c.entry);
        ASSERT_EQ(h->doc.fontList.Count(), 1) << c.entry;
        const TFontRecord& font = h->doc.fontList[0];
        EXPECT_TRUE(font.hasEncodingDict) << c.entry;
        EXPECT_TRUE(font.hasDifferences) << c.entry;
        EXPECT_EQ(font.encoding, c.encoding) << c.entry;
        EXPECT_EQ(font.encodingName, c.name) << c.entry;
        // "fi" and "fl" have no WinAnsi code; the bullet has 149.
        EXPECT_EQ(SetCodes(font.Codes().differenceSet, font.Codes().differences), (std::vector<int32_t>{131, 149}));
        EXPECT_TRUE(h->ui.messages.empty()) << h->AllMessages();
    }
}

TEST(FontReadTest, Type3WithFontBBox) {
    auto h = OpenWithFont("type3.pdf", "/Subtype /Type3 /FontBBox [-10 -20 990 780] /FontMatrix [0.001 0 0 0.001 0 0]");
    ASSERT_EQ(h->doc.fontList.Count(), 1);
    const TFontRecord& font = h->doc.fontList[0];
    EXPECT_TRUE(font.isType3);
    EXPECT_DOUBLE_EQ(font.bboxWidth, 1000);
    EXPECT_DOUBLE_EQ(font.bboxHeight, 800);
    EXPECT_EQ(font.resName, "/F1");
    EXPECT_EQ(font.replacementName, "");
    EXPECT_EQ(font.hidden, 0);
}

TEST(FontReadTest, SharedFontGivesOneRecordPerPage) {
    auto h = OpenHeadless([] {
        const std::string path = ScratchDir("shared-font") + "/two.pdf";
        WriteFileBytes(path, SimpleDocument({"BT ET", "BT ET"}));
        return path;
    }());
    TPdfDocument& doc = h->doc;
    ASSERT_EQ(doc.fontList.Count(), 2) << h->AllMessages();
    EXPECT_EQ(doc.fontList[0].resName, "/F1");
    EXPECT_EQ(doc.fontList[1].resName, "/F1");
    EXPECT_EQ(doc.fontList[0].pageIndex, 0);
    EXPECT_EQ(doc.fontList[1].pageIndex, 1);
    EXPECT_EQ(doc.fontList[0].fontDictPos, doc.fontList[1].fontDictPos);
    EXPECT_EQ(doc.fontList[0].encoding, 2);
    EXPECT_TRUE(Reported(h->ui, TProgressStep::FontsFound, 2));
    // fontsFirstKeyPos points at "/F1" in the page's /Font dictionary.
    const TPageRecord& page = doc.pageList[0];
    ASSERT_GT(page.fontsFirstKeyPos, 0);
    EXPECT_EQ(std::string(doc.SpanAt(page.fontsFirstKeyPos).View(page.fontsFirstKeyPos, 3)), "/F1");
}

TEST(FontReadTest, EncodingNameInItsOwnObject) {
    TPdfBuilder builder;
    builder.Object(1, "<< /Type /Catalog /Pages 2 0 R >>")
        .Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
        .Object(3, "<< /Type /Page /Resources << /Font << /F1 4 0 R /F2 5 0 R >> >> >>")
        .Object(4, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding 9 0 R >>")
        .Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding 10 0 R >>")
        .Object(9, "/MacRomanEncoding")
        .Object(10, "<< /Differences [65 /B] >>")
        .Trailer("/Root 1 0 R");
    auto h = OpenHeadless(builder.WriteTo("encoding-name-object.pdf"));
    EXPECT_FALSE(h->HasProblem(TOpenProblemKind::Damaged)) << h->AllMessages();
    ASSERT_EQ(h->doc.fontList.Count(), 2);
    EXPECT_EQ(h->doc.fontList[0].encoding, kMacRomanEncoding);
    EXPECT_FALSE(h->doc.fontList[0].hasEncodingDict);
    EXPECT_TRUE(h->doc.fontList[1].hasEncodingDict);
}

// A reference to a missing object is the null object: the font is not
// there, as pdffonts sees it, and the file opens with the fonts it has.
TEST(FontReadTest, ReferenceToAMissingObjectIsNoFontAndTheFileOpens) {
    TPdfBuilder builder;
    builder.Object(1, "<< /Type /Catalog /Pages 2 0 R >>")
        .Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
        .Object(3, "<< /Type /Page /Resources << /Font << /F1 99 0 R /F2 << /Subtype /Type3 >> >> >> >>")
        .Trailer("/Root 1 0 R");
    auto h = OpenHeadless(builder.WriteTo("font-missing.pdf"));
    ASSERT_EQ(h->doc.fontList.Count(), 1);
    EXPECT_EQ(h->doc.fontList[0].resName, "/F2");
    EXPECT_TRUE(h->doc.fontList[0].isType3);
    EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::Opened) << h->AllMessages();
    EXPECT_FALSE(h->HasProblem(TOpenProblemKind::Damaged));
}

}  // namespace
