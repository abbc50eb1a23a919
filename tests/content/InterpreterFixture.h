// A document with the interpreter attached, font and image records made by
// hand, and a measurer whose numbers the tests can predict.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ContentInterpreter.h"
#include "PdfDocument.h"

// Every character is em pixels wide and every text em pixels high, on a
// 96 dpi surface; the calls are counted.
class TCountingMeasurer : public TTextMeasurer {
public:
    int32_t Dpi() override { return 96; }
    int32_t CharWidth(uint8_t, int32_t emHeightPx) override {
        ++charWidthCalls;
        emHeights.push_back(emHeightPx);
        return emHeightPx;
    }
    void TextExtent(const std::string& text, int32_t emHeightPx, int32_t& widthPx, int32_t& heightPx) override {
        ++extentCalls;
        emHeights.push_back(emHeightPx);
        widthPx = static_cast<int32_t>(text.size()) * emHeightPx;
        heightPx = emHeightPx;
    }
    void SetFont(const std::string&, bool, bool) override {}
    std::string FaceName() override { return "Arial"; }

    int32_t charWidthCalls = 0;
    int32_t extentCalls = 0;
    std::vector<int32_t> emHeights;
};

class InterpreterTest : public ::testing::Test {
protected:
    void Run(const std::string& content, int32_t pageNo = 1, bool pump = false) {
        InterpretPage(doc, reinterpret_cast<const uint8_t*>(content.data()), static_cast<int32_t>(content.size()),
                          pump, pageNo);
    }

    // A font record whose widths are `width` for every code from firstChar.
    TFontRecord& AddFont(const std::string& resName, double width = 500, int32_t firstChar = 0,
                         int32_t encoding = 2) {
        TFontRecord& font = *doc.fontList.Append();
        font.resName = resName;
        font.firstChar = firstChar;
        font.encoding = encoding;
        font.bboxHeight = 1.0;
        font.bboxWidth = 1.0;
        font.EditCodes().widths.fill(width);
        font.EditCodes().widthSet.fill(1);
        return font;
    }

    TImageRecord& AddImage(const std::string& resName) {
        TImageRecord& image = *doc.imageList.Append();
        image.resName = resName;
        return image;
    }

    std::vector<const TDisplayItem*> ItemsOf(int32_t pageNo) const {
        std::vector<const TDisplayItem*> items;
        for (const TDisplayItem& item : doc.displayList)
            if (item.pageNo == pageNo) items.push_back(&item);
        return items;
    }

    // The only item of page 1; fails the test when there is not exactly one.
    const TDisplayItem& Only() {
        auto items = ItemsOf(1);
        EXPECT_EQ(items.size(), 1u);
        static const TDisplayItem none;
        return items.empty() ? none : *items.front();
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const TDisplayItem& item : doc.displayList)
            if (!item.isPath && !item.isImage) texts.push_back(item.text);
        return texts;
    }

    TCountingMeasurer measurer;
    THeadlessUi ui{&measurer};
    TPdfDocument doc{ui};
};
