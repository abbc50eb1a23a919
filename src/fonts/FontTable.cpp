#include "FontTable.h"

namespace {

bool ValidPage(const TPdfDocument& doc, int32_t page) { return page >= 1 && page <= doc.pageList.Count(); }

// The records the dialog offers and the replace and keep commands count:
// the page's own fonts and every added font, in list order.
bool OfferedOnPage(const TFontRecord& font, int32_t page) { return font.pageIndex == page - 1 || font.hidden == 1; }

// The record behind table row `row`, found the way the commands count: the
// row-th record offered on the page. Added fonts always follow the fonts
// read from the file, so for a real row this lands on the row's own record.
TFontRecord* RowRecord(TPdfDocument& doc, int32_t page, int32_t row) {
    if (!ValidPage(doc, page) || row < 0) return nullptr;
    if (static_cast<size_t>(row) >= FontTableRows(doc, page).size()) return nullptr;
    int32_t count = 0;
    for (auto& font : doc.fontList) {
        if (!OfferedOnPage(font, page)) continue;
        if (count == row) return &font;
        ++count;
    }
    return nullptr;
}

}  // namespace

std::vector<int32_t> FontTableRows(const TPdfDocument& doc, int32_t page) {
    std::vector<int32_t> rows;
    if (!ValidPage(doc, page)) return rows;
    for (int32_t i = 0; i < doc.fontList.Count(); ++i) {
        const auto& font = doc.fontList[static_cast<size_t>(i)];
        if (font.hidden == 0 && font.pageIndex == page - 1) rows.push_back(i);
    }
    return rows;
}

std::vector<std::string> ReplacementChoices(const TPdfDocument& doc, int32_t page) {
    std::vector<std::string> choices;
    if (!ValidPage(doc, page)) return choices;
    for (const auto& font : doc.fontList)
        if (OfferedOnPage(font, page)) choices.push_back(font.resName);
    return choices;
}

bool SetReplacement(TPdfDocument& doc, int32_t page, int32_t row, const std::string& name) {
    TFontRecord* font = RowRecord(doc, page, row);
    if (!font) return false;
    font->replacementName = name;
    return true;
}

bool ClearReplacement(TPdfDocument& doc, int32_t page, int32_t row) {
    TFontRecord* font = RowRecord(doc, page, row);
    if (!font) return false;
    font->replacementName.clear();
    return true;
}
