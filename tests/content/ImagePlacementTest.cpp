// "Do" finds the picture that the page's own /XObject entry names, also when
// other pages use the same name for other pictures.
#include <gtest/gtest.h>

#include "ContentInterpreter.h"
#include "TestSupport.h"

namespace {

TEST(ImagePlacement, EachPageShowsItsOwnPictureOfASharedName) {
    THeadlessDoc h;
    h.doc.openfilenow(CorpusPath("img2pdf-jpeg-rgb-gray-v13.pdf"));
    ASSERT_TRUE(h.ui.messages.empty() && h.OpenErrors().empty()) << h.AllMessages();
    InterpretAllPages(h.doc);
    ASSERT_EQ(h.doc.imageList.Count(), 2);
    std::vector<std::pair<int32_t, int32_t>> placements;  // page, image index
    for (const TDisplayItem& item : h.doc.displayList)
        if (item.isImage) placements.emplace_back(item.pageNo, item.imageIndex);
    EXPECT_EQ(placements, (std::vector<std::pair<int32_t, int32_t>>{{1, 0}, {2, 1}}));
    EXPECT_EQ(h.doc.ImageBitmap(1)->width, 300);
}

}  // namespace
