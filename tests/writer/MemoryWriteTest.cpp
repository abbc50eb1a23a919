// Writing the file into memory for the preview: the bytes are those that
// saving writes, and the document is left as it was, so that a replacement
// taken back is gone from the next preview.
#include <gtest/gtest.h>

#include <algorithm>

#include "ContentRewrite.h"
#include "FontTable.h"
#include "PdfWriter.h"
#include "TestSupport.h"

namespace {

struct TContentSnapshot {
    std::vector<std::vector<uint8_t>> contents;
    std::vector<int32_t> lengths;
    std::vector<uint8_t> hasContent;
    bool operator==(const TContentSnapshot&) const = default;
};

TContentSnapshot Snapshot(TPdfDocument& doc) {
    TContentSnapshot s;
    for (int32_t i = 0; i < doc.pageList.Count(); ++i) {
        const TPageRecord& page = doc.pageList[static_cast<size_t>(i)];
        s.contents.push_back(doc.PageContent(i));
        s.lengths.push_back(page.contentLength);
        s.hasContent.push_back(page.hasContent);
    }
    return s;
}

// What "PDF speichern unter..." writes, on a second copy of the document.
std::string SavedBytes(const std::string& path, int32_t page, int32_t row, const std::string& replacement) {
    auto opened = OpenHeadless(path);
    if (!replacement.empty()) SetReplacement(opened->doc, page, row, replacement);
    TellUndecodablePages(opened->doc);
    TStringSink sink;
    WritePdf(opened->doc, sink, 2);
    return sink.bytes;
}

// The bytes with the modification date, the time of writing, blanked out:
// two writes may fall on either side of a second.
std::string Undated(std::string bytes) {
    const size_t key = bytes.find("/ModDate");
    const size_t open = bytes.find('(', key);
    const size_t close = bytes.find(')', open);
    if (key != std::string::npos && open != std::string::npos && close != std::string::npos)
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(open) + 1, bytes.begin() + static_cast<std::ptrdiff_t>(close),
                  '0');
    return bytes;
}

TEST(MemoryWrite, GivesTheSavedBytesAndLeavesTheDocumentAsItWas) {
    const std::string path = CorpusPath("gs-std14-v12.pdf");
    auto opened = OpenHeadless(path);
    TPdfDocument& doc = opened->doc;
    ASSERT_GE(doc.pageList.Count(), 1);
    const std::vector<std::string> choices = ReplacementChoices(doc, 1);
    ASSERT_GE(choices.size(), 2u);
    const std::vector<int32_t> rows = FontTableRows(doc, 1);
    const std::string oldName = doc.fontList[static_cast<size_t>(rows[0])].resName;
    const std::string newName = choices[0] == oldName ? choices[1] : choices[0];
    const TContentSnapshot before = Snapshot(doc);

    const std::string plain = Undated(WritePdfToMemory(doc, 2));
    EXPECT_EQ(plain, Undated(SavedBytes(path, 1, 0, "")));
    EXPECT_EQ(Snapshot(doc), before);

    ASSERT_TRUE(SetReplacement(doc, 1, 0, newName));
    const std::string replaced = Undated(WritePdfToMemory(doc, 2));
    EXPECT_EQ(replaced, Undated(SavedBytes(path, 1, 0, newName)));
    EXPECT_NE(replaced, plain);
    EXPECT_EQ(Snapshot(doc), before) << "the document's own contents must not be rewritten";

    ASSERT_TRUE(ClearReplacement(doc, 1, 0));
    EXPECT_EQ(Undated(WritePdfToMemory(doc, 2)), plain) << "a replacement taken back must be gone";
    EXPECT_EQ(Snapshot(doc), before);
}

// A page whose content could not be decoded is written with its old
// content, and the preview shows no message box for it.
TEST(MemoryWrite, PageWithoutDecodedContentStaysSilent) {
    const std::string path = ScratchDir("memory-undecodable") + "/in.pdf";
    TPdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>");
    b.Stream(4, "/Filter /FlateDecode", "this is not deflate data");
    b.Trailer("/Root 1 0 R");
    WriteFileBytes(path, b.Build());
    auto opened = OpenHeadless(path);
    ASSERT_EQ(opened->doc.pageList.Count(), 1);
    ASSERT_FALSE(opened->doc.pageList[0].hasContent);
    const size_t messagesBefore = opened->ui.messages.size();
    const size_t noticesBefore = opened->ui.notices.size();
    const std::string bytes = WritePdfToMemory(opened->doc, 2);
    EXPECT_EQ(opened->ui.messages.size(), messagesBefore);
    EXPECT_EQ(opened->ui.notices.size(), noticesBefore);
    EXPECT_NE(bytes.find("this is not deflate data"), std::string::npos);
    EXPECT_NE(bytes.find("%%EOF"), std::string::npos);
}

}  // namespace
