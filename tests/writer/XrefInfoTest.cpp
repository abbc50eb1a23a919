// The cross-reference table, the trailer and the information object.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "InfoObject.h"
#include "TestSupport.h"
#include "XrefTable.h"

namespace {

TXrefList Entries(std::initializer_list<TXrefEntry> entries) {
    TXrefList list;
    for (const TXrefEntry& entry : entries) *list.Append() = entry;
    return list;
}

TEST(XrefTable, SortsFillsGapsAndChainsFreeEntriesAscending) {
    TXrefList list = Entries({{5, 500, 0, 1}, {0, 0, 65535, 0}, {2, 200, 3, 0}, {1, 100, 0, 1}, {7, 700, 1, 1}});
    CompleteXrefTable(list);
    ASSERT_EQ(list.Count(), 8);
    const struct {
        int64_t offset;
        int32_t gen;
        uint8_t inUse;
    } expected[] = {{2, 65535, 0}, {100, 0, 1},   {3, 3, 0},     {4, 65535, 0},
                    {6, 65535, 0}, {500, 0, 1}, {0, 65535, 0}, {700, 1, 1}};
    for (int32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(list[i].objNum, i);
        EXPECT_EQ(list[i].offset, expected[i].offset) << i;
        EXPECT_EQ(list[i].generation, expected[i].gen) << i;
        EXPECT_EQ(list[i].inUse, expected[i].inUse) << i;
    }
}

TEST(XrefTable, DuplicateNumberIsNeverWrittenTwice) {
    TXrefList list = Entries({{0, 0, 65535, 0}, {1, 10, 0, 1}, {1, 20, 0, 1}});
    CompleteXrefTable(list);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list[1].offset, 10);
}

TEST(XrefTable, LinesAreTwentyBytesAndTheTrailerEndsWithCarriageReturns) {
    TXrefList list = Entries({{0, 0, 65535, 0}, {1, 15, 0, 1}, {2, 12345678901, 2, 1}});
    CompleteXrefTable(list);
    EXPECT_EQ(XrefTableText(list),
              "xref\r0 3\r0000000000 65535 f\r\n0000000015 00000 n\r\n12345678901 00002 n\r\n");
    TTrailerRefs refs;
    EXPECT_EQ(TrailerText(1, refs, 77), "trailer\r<<\r/Size 1\r>>\rstartxref\r77\r%%EOF\r");
    refs.hasInfo = true;
    refs.infoObjNum = 4;
    refs.hasRoot = true;
    refs.rootObjNum = 1;
    EXPECT_EQ(TrailerText(5, refs, 9), "trailer\r<<\r/Size 5\r/Info 4 0 R\r/Root 1 0 R\r>>\rstartxref\r9\r%%EOF\r");
    EXPECT_EQ(ZeroPadded(42, 5), "00042");
    EXPECT_EQ(ZeroPadded(1234567, 5), "1234567");
}

TEST(LiteralStrings, EscapesAsWritten) {
    const struct {
        std::string text;
        std::string escaped;
    } cases[] = {
        {"Bericht (2) \\ Anhang", "Bericht \\(2\\) \\\\ Anhang"},
        {"\b\t\n\f\r", "\\b\\t\\n\\f\\r"},
        {std::string("\x01\x00\x1f", 3), "\\001\\000\\037"},
        {"\xe4\xf6\xfc \x7f", "\xe4\xf6\xfc \x7f"},
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeLiteralString(c.text), c.escaped) << c.escaped;
}

class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        if (const char* old = std::getenv("TZ")) saved_ = old, had_ = true;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneGuard() {
        if (had_) setenv("TZ", saved_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    std::string saved_;
    bool had_ = false;
};

TEST(InfoDates, LocalTimeCarriesItsRealOffsetFromUtc) {
    const TDateTimeValue winterDay{2005, 3, 7, 0, 0, 0}, summerDay{2005, 7, 1, 0, 0, 0};
    const TDateTimeValue time{2000, 1, 1, 9, 5, 3};
    {
        ZoneGuard zone("Europe/Berlin");
        EXPECT_EQ(PdfDateText(winterDay, time), "D:20050307090503+01'00'");
        EXPECT_EQ(PdfDateText(summerDay, time), "D:20050701090503+02'00'");
    }
    {
        ZoneGuard zone("America/St_Johns");
        EXPECT_EQ(PdfDateText(winterDay, time), "D:20050307090503-03'30'");
    }
    {
        ZoneGuard zone("UTC");
        EXPECT_EQ(PdfDateText(winterDay, time), "D:20050307090503Z");
    }
}

TEST(InfoObject, KeptEntriesFirstThenTheTextsGivenAndTheDatesSet) {
    ZoneGuard zone("UTC");
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    b.Object(3, "<< /Producer (old) /Trapped /True /Custom (a\\)b \\(c\\)) /Title (x) /ModDate (D:2001) >>");
    b.Trailer("/Root 1 0 R /Info 3 0 R");
    auto h = OpenHeadless(b.WriteTo("info.pdf"));
    TPdfDocument& doc = h->doc;
    TInfoEdits edits = UneditedInfo(doc.info);
    ASSERT_TRUE(WillWriteInfoObject(doc, edits));
    edits.producer = "Glyphwell";
    edits.title = "Bericht (2) \\ Anhang";
    edits.creation = TInfoDateTime{{2005, 3, 7, 0, 0, 0}, {2000, 1, 1, 9, 5, 3}};
    edits.modification = TInfoDateTime{{2006, 12, 31, 0, 0, 0}, {2000, 1, 1, 23, 59, 59}};
    EXPECT_EQ(InfoObjectText(doc, edits, 3, 0),
              "3 0 obj\r<<\r/Trapped /True\r/Custom (a\\)b \\(c\\))\r/Producer (Glyphwell)\r"
              "/Title (Bericht \\(2\\) \\\\ Anhang)\r"
              "/CreationDate (D:20050307090503Z)\r/ModDate (D:20061231235959Z)\r>>\rendobj\r");
}

// The entries of the information dictionary between "<<\r" and the
// modification date, which is the only one that changes on every save.
std::string EntriesBeforeModDate(const std::string& object) {
    const size_t start = object.find("<<\r") + 3;
    return object.substr(start, object.find("/ModDate") - start);
}

TEST(InfoObject, UnchangedEntriesKeepTheirBytesChangedOnesAreEncodedEmptyOnesLeftOut) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    b.Object(3,
             "<< /Title <FEFF03A903B1> /Author (M\\374ller) /Subject (\\101bc) /Keywords () "
             "/CreationDate (D:20010203040506+01'00') /ModDate (D:2001) >>");
    b.Trailer("/Root 1 0 R /Info 3 0 R");
    auto h = OpenHeadless(b.WriteTo("info-kept.pdf"));
    TPdfDocument& doc = h->doc;
    ASSERT_EQ(doc.info.title, "Ωα");
    ASSERT_EQ(doc.info.author, "Müller");
    TInfoEdits edits = UneditedInfo(doc.info);
    EXPECT_EQ(EntriesBeforeModDate(InfoObjectText(doc, edits, 3, 0)),
              "/Author (M\\374ller)\r/Title <FEFF03A903B1>\r/Subject (\\101bc)\r/Keywords ()\r"
              "/CreationDate (D:20010203040506+01'00')\r");

    struct TCase {
        const char* what;
        std::string title;
        std::string written;
    };
    const TCase cases[] = {
        {"PDFDocEncoding", "Bericht – 5 €", "/Title (Bericht \x85 5 \xA0)\r"},
        {"UTF-16 for Greek", "–€α", "/Title <FEFF201320AC03B1>\r"},
        {"emptied", "", ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        edits.title = c.title;
        EXPECT_EQ(EntriesBeforeModDate(InfoObjectText(doc, edits, 3, 0)),
                  "/Author (M\\374ller)\r" + c.written + "/Subject (\\101bc)\r/Keywords ()\r"
                  "/CreationDate (D:20010203040506+01'00')\r");
    }
}

TEST(InfoObject, ModificationIsTheTimeOfSavingAndAMissingCreationStaysMissing) {
    ZoneGuard zone("Europe/Berlin");
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    b.Object(3, "<< /Producer (p) /ModDate (D:1999) >>");
    b.Trailer("/Root 1 0 R /Info 3 0 R");
    auto h = OpenHeadless(b.WriteTo("info-dates.pdf"));
    const std::time_t before = std::time(nullptr);
    const std::string text = InfoObjectText(h->doc, UneditedInfo(h->doc.info), 3, 0);
    EXPECT_EQ(text.find("/CreationDate"), std::string::npos);
    const size_t at = text.find("/ModDate (D:");
    ASSERT_NE(at, std::string::npos) << text;
    // "D:YYYYMMDDHHmmSS+01'00'" or "+02'00'", within a few seconds of now.
    const std::string date = text.substr(at + 12, 14);
    std::tm local{};
    localtime_r(&before, &local);
    char expected[16];
    std::strftime(expected, sizeof expected, "%Y%m%d%H", &local);
    EXPECT_EQ(date.substr(0, 10), expected);
    const std::string offset = text.substr(at + 12 + 14, 7);
    EXPECT_TRUE(offset == "+01'00'" || offset == "+02'00'") << offset;
}

TEST(InfoObject, WrittenForAFileWithoutOneOnlyWhenTheUserGaveSomething) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    b.Trailer("/Root 1 0 R");
    auto h = OpenHeadless(b.WriteTo("info-none.pdf"));
    TPdfDocument& doc = h->doc;
    TInfoEdits edits = UneditedInfo(doc.info);
    EXPECT_FALSE(WillWriteInfoObject(doc, edits));
    edits.author = "Anna";
    EXPECT_TRUE(WillWriteInfoObject(doc, edits));
    edits.author.clear();
    edits.creation = TInfoDateTime{};
    EXPECT_TRUE(WillWriteInfoObject(doc, edits));
}

}  // namespace
