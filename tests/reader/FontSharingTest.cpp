// The open reads each font dictionary once and copies what it says to every
// page's record: the records must be those that reading every page's
// dictionary on its own gives.
#include <gtest/gtest.h>

#include <set>

#include "TestSupport.h"

namespace {

void ExpectSameRecord(const TFontRecord& a, const TFontRecord& b) {
    EXPECT_EQ(a.resName, b.resName);
    EXPECT_EQ(a.pageIndex, b.pageIndex);
    EXPECT_EQ(a.fontDictPos, b.fontDictPos);
    EXPECT_EQ(a.baseFont, b.baseFont);
    EXPECT_EQ(a.subtype, b.subtype);
    EXPECT_EQ(a.encodingName, b.encodingName);
    EXPECT_EQ(a.encoding, b.encoding);
    EXPECT_EQ(a.firstChar, b.firstChar);
    EXPECT_EQ(a.isType3, b.isType3);
    EXPECT_EQ(a.embedded, b.embedded);
    EXPECT_EQ(a.hasDescriptor, b.hasDescriptor);
    EXPECT_EQ(a.descriptorPos, b.descriptorPos);
    EXPECT_EQ(a.hasEncodingDict, b.hasEncodingDict);
    EXPECT_EQ(a.hasDifferences, b.hasDifferences);
    EXPECT_EQ(a.hasCharSet, b.hasCharSet);
    EXPECT_EQ(a.charSet, b.charSet);
    EXPECT_EQ(a.bboxWidth, b.bboxWidth);
    EXPECT_EQ(a.bboxHeight, b.bboxHeight);
    EXPECT_EQ(a.Codes().widths, b.Codes().widths);
    EXPECT_EQ(a.Codes().widthSet, b.Codes().widthSet);
    EXPECT_EQ(a.Codes().differences, b.Codes().differences);
    EXPECT_EQ(a.Codes().differenceSet, b.Codes().differenceSet);
    EXPECT_EQ(a.Codes().charSetCodes, b.Codes().charSetCodes);
}

TEST(FontSharing, RecordsEqualThoseReadPageByPageOnEveryCorpusFile) {
    int filesWithSharing = 0;
    for (const TManifestRow& row : LoadManifest()) {
        SCOPED_TRACE(row.file);
        auto opened = OpenHeadless(CorpusPath(row.file));
        TPdfDocument& doc = opened->doc;
        if (doc.pageList.IsEmpty()) continue;
        std::vector<TFontRecord> atOpen(doc.fontList.begin(), doc.fontList.end());
        std::set<int32_t> dicts;
        for (const TFontRecord& font : atOpen) dicts.insert(font.fontDictPos);
        if (dicts.size() < atOpen.size()) ++filesWithSharing;

        // Every page's dictionary read on its own, as the reader does it.
        doc.fontList.Clear();
        doc.CollectFonts();
        doc.CollectFormFonts();
        doc.ReadFontDicts();
        doc.ReadDescriptors();
        doc.ReadEncodingDicts();
        ASSERT_EQ(static_cast<size_t>(doc.fontList.Count()), atOpen.size());
        for (size_t i = 0; i < atOpen.size(); ++i) {
            SCOPED_TRACE(i);
            ExpectSameRecord(atOpen[i], doc.fontList[i]);
        }
    }
    // The corpus has files whose pages share their fonts, so the sharing
    // was put to the test.
    EXPECT_GE(filesWithSharing, 3);
}

}  // namespace
