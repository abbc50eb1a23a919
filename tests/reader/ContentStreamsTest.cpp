#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "Filters.h"
#include "StreamTestDoc.h"

namespace {

std::string Text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// Objects 1 and 2 make a catalog and an empty page tree; the caller adds
// the content objects from 3 on.
TPdfBuilder ContentFile() {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    b.Trailer("/Root 1 0 R");
    return b;
}

struct TContentResult {
    bool readable = false;
    std::string joined;
    bool parseFailed = false;
    std::vector<TNotice> notices;
    bool damaged = false;
};

TContentResult ReadContent(const std::string& pdf, const std::vector<int32_t>& contentObjs, int32_t pageIndex = 0) {
    auto d = TStreamDoc::FromBytes(pdf);
    for (int32_t i = 0; i < pageIndex; ++i) d->doc.pageList.Append();
    TPageRecord& page = d->AddPageWithContents(contentObjs);
    std::vector<uint8_t> joined;
    TContentResult result;
    result.readable = d->doc.ReadPageContent(page, pageIndex, joined);
    result.joined = Text(joined);
    result.parseFailed = d->doc.parseFailed != 0;
    result.notices = d->ui.notices;
    result.damaged = page.contentDamaged != 0;
    return result;
}

TEST(ContentStreams, TwoStreamsAreJoinedEachWithALineFeed) {
    TPdfBuilder b = ContentFile();
    b.Stream(3, "", "0 0 m 10 10 l S");
    b.Stream(4, "/Filter /FlateDecode", Deflate("BT /F1 12 Tf (Hi) Tj ET"));
    const auto r = ReadContent(b.Build(), {3, 4});
    EXPECT_TRUE(r.readable);
    EXPECT_FALSE(r.parseFailed);
    EXPECT_EQ(r.joined, "0 0 m 10 10 l S\nBT /F1 12 Tf (Hi) Tj ET\n");
}

TEST(ContentStreams, UnsupportedFilterMakesThePageUnreadable) {
    TPdfBuilder b = ContentFile();
    b.Stream(3, "", "q");
    b.Stream(4, "/Filter /RunLengthDecode", std::string("\x02q Q\x80", 5));
    const auto r = ReadContent(b.Build(), {3, 4}, 2);
    EXPECT_FALSE(r.readable);
    ASSERT_EQ(r.notices.size(), 1u);
    EXPECT_EQ(r.notices[0].kind, TNoticeKind::PageFilterUnsupported);
    EXPECT_EQ(r.notices[0].page, 3);
    EXPECT_EQ(r.notices[0].name, "/RunLengthDecode");
}

TEST(ContentStreams, UnsupportedFilterNameIsShownAsUtf8) {
    TPdfBuilder b = ContentFile();
    b.Stream(3, "/Filter [/FlateDecode /M\xE4rchen]", Deflate("q Q"));
    const auto r = ReadContent(b.Build(), {3});
    EXPECT_FALSE(r.readable);
    ASSERT_EQ(r.notices.size(), 1u);
    EXPECT_EQ(r.notices[0].name, "/M\xC3\xA4rchen");
}

TEST(ContentStreams, MissingLengthEndsAtEndstreamAndMissingKeywordSkipsTheStream) {
    TPdfBuilder noLength = ContentFile();
    noLength.Object(3, "<< >>\nstream\nxyz\nendstream");
    noLength.Stream(4, "", "Q");
    auto r = ReadContent(noLength.Build(), {3, 4});
    EXPECT_FALSE(r.parseFailed);
    EXPECT_EQ(r.joined, "xyz\nQ\n");

    TPdfBuilder noKeyword = ContentFile();
    noKeyword.Object(3, "<< /Length 3 >>\nstraem\nxyz\nendstream");
    noKeyword.Stream(4, "", "Q");
    r = ReadContent(noKeyword.Build(), {3, 4});
    EXPECT_FALSE(r.parseFailed);
    EXPECT_EQ(r.joined, "Q\n");

    // A reference the page did not store, and an object beyond the table,
    // are skipped without complaint.
    TPdfBuilder other = ContentFile();
    other.Stream(3, "", "q");
    auto d = TStreamDoc::FromBytes(other.Build());
    TPageRecord& page = d->AddPageWithContents({3, 99});
    page.contentRefs[0].valid = 0;
    std::vector<uint8_t> joined;
    EXPECT_TRUE(d->doc.ReadPageContent(page, 0, joined));
    EXPECT_TRUE(joined.empty());
    EXPECT_FALSE(d->doc.parseFailed);
}

TEST(ContentStreams, IndirectLengthAndLengthBeyondTheFile) {
    TPdfBuilder b = ContentFile();
    b.Object(3, "<< /Length 4 0 R >>\nstream\n1 0 0 1 5 5 cm\nendstream");
    b.Object(4, "14");
    auto r = ReadContent(b.Build(), {3});
    EXPECT_EQ(r.joined, "1 0 0 1 5 5 cm\n");

    // A length that "endstream" does not confirm is replaced by the
    // distance to it, whether too long, beyond the file or negative.
    const char* const wrongLengths[] = {"2000000000", "-20", "1", "9"};
    for (const char* length : wrongLengths) {
        TPdfBuilder wrong = ContentFile();
        wrong.Object(3, std::string("<< /Length ") + length + " >>\nstream\nq Q\nendstream");
        r = ReadContent(wrong.Build(), {3});
        EXPECT_TRUE(r.readable);
        EXPECT_EQ(r.joined, "q Q\n") << length;
    }

    // Without "endstream" the bytes that are there, and no more.
    TPdfBuilder beyond = ContentFile();
    beyond.Object(3, "<< /Length 2000000000 >>\nstream\nq Q");
    const std::string pdf = beyond.Build();
    r = ReadContent(pdf, {3});
    const size_t dataPos = pdf.find("q Q");
    EXPECT_EQ(r.joined, pdf.substr(dataPos) + "\n");
}

TEST(ContentStreams, DataThatBeginWithBlanksKeepThemWhenLengthFits) {
    // The line end after "stream" is not data, the following blank is.
    TPdfBuilder exact = ContentFile();
    exact.Object(3, "<< /Length 6 >>\nstream\r\n 0 0 m\nendstream");
    EXPECT_EQ(ReadContent(exact.Build(), {3}).joined, " 0 0 m\n");

    // A writer that put an empty line after "stream" and did not count it.
    TPdfBuilder extraLine = ContentFile();
    extraLine.Object(3, "<< /Length 5 >>\nstream\n\n0 0 m\nendstream");
    EXPECT_EQ(ReadContent(extraLine.Build(), {3}).joined, "0 0 m\n");
}

TEST(ContentStreams, CorruptFlateContentCostsOnlyThePage) {
    TPdfBuilder b = ContentFile();
    b.Stream(3, "/Filter /FlateDecode", "xx this is no zlib data");
    const auto r = ReadContent(b.Build(), {3});
    EXPECT_FALSE(r.readable);
    EXPECT_FALSE(r.parseFailed);
    ASSERT_EQ(r.notices.size(), 1u);
    EXPECT_EQ(r.notices[0].kind, TNoticeKind::PageContentDamaged);
    EXPECT_EQ(r.notices[0].page, 1);
    EXPECT_FALSE(r.notices[0].partly);
}

// A wrong /Length, or a writer that stopped early, leaves the stream's data
// short inside their last block: the start is read, and the page is
// damaged, so that saving does not pass the start off as the whole.
TEST(ContentStreams, FlateContentThatStopsInsideItsDataIsReadAndDamaged) {
    std::string lines;
    for (int i = 0; i < 200; ++i) lines += std::to_string(i) + " 0 m " + std::to_string(i) + " 9 l S\n";
    const std::string coded = Deflate(lines);
    for (const size_t missing : {size_t{4}, size_t{12}}) {
        TPdfBuilder b = ContentFile();
        b.Stream(3, "/Filter /FlateDecode", coded.substr(0, coded.size() - missing));
        const auto r = ReadContent(b.Build(), {3});
        EXPECT_TRUE(r.readable) << missing;
        const bool cutInside = missing > 4;
        EXPECT_EQ(r.damaged, cutInside) << missing;
        // Each stream is followed by a line feed where streams join.
        ASSERT_FALSE(r.joined.empty());
        const std::string read = r.joined.substr(0, r.joined.size() - 1);
        if (cutInside) {
            EXPECT_LT(read.size(), lines.size());
            EXPECT_EQ(read, lines.substr(0, read.size()));
            ASSERT_EQ(r.notices.size(), 1u);
            EXPECT_EQ(r.notices[0].kind, TNoticeKind::PageContentCutShort);
            EXPECT_EQ(r.notices[0].page, 1);
        } else {
            EXPECT_EQ(read, lines);
            EXPECT_TRUE(r.notices.empty());
        }
    }
}

TEST(ContentStreams, FlateContentWithAWrongChecksumIsReadAndNamedDamaged) {
    TPdfBuilder b = ContentFile();
    std::string coded = Deflate("0 0 m 5 5 l S");
    coded.back() = static_cast<char>(coded.back() ^ 0x10);
    b.Stream(3, "/Filter /FlateDecode", coded);
    const auto r = ReadContent(b.Build(), {3});
    EXPECT_TRUE(r.readable);
    EXPECT_EQ(r.joined, "0 0 m 5 5 l S\n");
    ASSERT_EQ(r.notices.size(), 1u);
    EXPECT_EQ(r.notices[0].kind, TNoticeKind::PageContentDamaged);
    EXPECT_TRUE(r.notices[0].partly);
    EXPECT_EQ(r.notices[0].decode, TDecodeFailure::Corrupt);
    EXPECT_EQ(r.notices[0].detail, "zlib: incorrect data check");
}

// Real content: ReportLab's [/ASCII85Decode /FlateDecode] streams and
// LZW-coded streams, against qpdf's decoding.
TEST(ContentStreams, CorpusFilterChainsMatchQpdf) {
    struct TCase {
        const char* file;
        int32_t objNum;
        const char* expected;
    } const cases[] = {
        {"reportlab-a85-flate-annots-v14.pdf", 26, "streams/reportlab-a85-flate-obj26.txt"},
        {"reportlab-a85-flate-annots-v14.pdf", 27, "streams/reportlab-a85-flate-obj27.txt"},
        {"reportlab-a85-flate-annots-v14.pdf", 28, "streams/reportlab-a85-flate-obj28.txt"},
        {"lzw-content-v12.pdf", 7, "streams/lzw-content-v12-obj7.txt"},
        {"lzw-content-v12.pdf", 11, "streams/lzw-content-v12-obj11.txt"},
    };
    for (const auto& c : cases) {
        const auto bytes = ReadFileBytes(CorpusPath(c.file));
        const auto r = ReadContent(std::string(bytes.begin(), bytes.end()), {c.objNum});
        EXPECT_TRUE(r.readable) << c.file << " " << c.objNum;
        EXPECT_FALSE(r.parseFailed);
        EXPECT_EQ(r.joined, ReadFileText(DataPath(c.expected)) + "\n") << c.file << " " << c.objNum;
    }
}

// The whole open, then every page asked for: page 3's content is refused
// at the open with its status line and is never interpreted; pages 1 and 2
// are.
TEST(ContentStreams, OpenReportsUnsupportedCompressionOfPage3) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>");
    for (int32_t page = 3; page <= 5; ++page)
        b.Object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents " + std::to_string(page + 3) +
                           " 0 R >>");
    b.Stream(6, "", "0 0 m 5 5 l S");
    b.Stream(7, "/Filter /FlateDecode", Deflate("1 1 m 6 6 l S"));
    b.Stream(8, "/Filter /RunLengthDecode", std::string("\x02q Q\x80", 5));
    b.Trailer("/Root 1 0 R");
    const std::string path = b.WriteTo("runlength-page3.pdf");

    THeadlessDoc h;
    std::vector<std::pair<int32_t, std::string>> interpreted;
    h.doc.openfilenow(path);
    for (int32_t i = 0; i < h.doc.pageList.Count(); ++i) {
        const std::vector<uint8_t> content = h.doc.PageContent(i);
        if (!content.empty()) interpreted.emplace_back(i + 1, std::string(content.begin(), content.end()));
    }
    EXPECT_TRUE(h.OpenErrors().empty()) << h.AllMessages();
    EXPECT_TRUE(Told(h.ui, TNoticeKind::PageFilterUnsupported, 3));
    const std::vector<std::pair<int32_t, std::string>> expected = {{1, "0 0 m 5 5 l S\n"}, {2, "1 1 m 6 6 l S\n"}};
    EXPECT_EQ(interpreted, expected);
}

TEST(ContentStreams, FileWithACorruptFlatePageOpensAndNamesThePage) {
    const std::string path = TPdfBuilder()
                                 .Object(1, "<< /Type /Catalog /Pages 2 0 R >>")
                                 .Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
                                 .Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] /Contents 4 0 R >>")
                                 .Stream(4, "/Filter /FlateDecode", "no zlib here")
                                 .Trailer("/Root 1 0 R")
                                 .WriteTo("corrupt-flate.pdf");
    auto h = OpenHeadless(path);
    EXPECT_TRUE(h->OpenErrors().empty()) << h->AllMessages();
    EXPECT_EQ(h->doc.LastOpen().outcome, TOpenResult::Opened);
    EXPECT_EQ(h->doc.pageList.Count(), 1);
    EXPECT_TRUE(Told(h->ui, TNoticeKind::PageContentDamaged, 1));
    EXPECT_EQ(h->ui.openFinishedCount, 1);
}

// The open decodes every page once to say what cannot be read, and the
// pages keep only the length: each later reading decodes the same bytes
// again, silently, without moving the cursor.
TEST(ContentStreams, PagesAreReadAgainOnDemandAsTheOpenReadThem) {
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R] /Count 4 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /Contents [7 0 R 8 0 R] >>");
    b.Object(4, "<< /Type /Page /Parent 2 0 R /Contents 9 0 R >>");
    b.Object(5, "<< /Type /Page /Parent 2 0 R /Contents 8 0 R >>");
    b.Object(6, "<< /Type /Page /Parent 2 0 R >>");
    b.Stream(7, "", "0 0 m 10 10 l S");
    b.Stream(8, "/Filter /FlateDecode", Deflate("BT /F1 12 Tf (Hi) Tj ET"));
    b.Stream(9, "/Filter /FlateDecode", "not flate data");
    b.Trailer("/Root 1 0 R");
    const std::string path = ScratchDir("content-on-demand") + "/in.pdf";
    WriteFileBytes(path, b.Build());
    auto h = OpenHeadless(path);
    TPdfDocument& doc = h->doc;
    ASSERT_EQ(doc.pageList.Count(), 4) << h->AllMessages();
    const size_t noticesAfterOpen = h->ui.notices.size();
    const std::string expected[] = {"0 0 m 10 10 l S\nBT /F1 12 Tf (Hi) Tj ET\n", "", "BT /F1 12 Tf (Hi) Tj ET\n", ""};
    for (int round = 0; round < 2; ++round) {
        for (int32_t i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            doc.SetPos(17);
            EXPECT_EQ(Text(doc.PageContent(i)), expected[i]);
            EXPECT_EQ(doc.GetPos(), 17);
            EXPECT_EQ(doc.pageList[static_cast<size_t>(i)].contentLength, static_cast<int32_t>(expected[i].size()));
        }
    }
    EXPECT_EQ(doc.pageList[1].hasContent, 0);
    EXPECT_EQ(h->ui.notices.size(), noticesAfterOpen) << "only the open says what cannot be read";
    EXPECT_TRUE(doc.PageContent(4).empty());
    EXPECT_TRUE(doc.PageContent(-1).empty());
}

}  // namespace
