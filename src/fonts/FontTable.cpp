#include "FontTable.h"

#include <set>

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

// The record the dialog's choice `name` stands for on page p: an added font,
// or the page's own record of that name.
const TFontRecord* ChosenRecord(const TPdfDocument& doc, int32_t page, const std::string& name) {
    for (const auto& font : doc.fontList)
        if (OfferedOnPage(font, page) && font.resName == name) return &font;
    return nullptr;
}

bool SameDictionary(const TFontRecord& a, const TFontRecord& b) {
    return &a == &b || (a.fontDictPos > 0 && a.fontDictPos == b.fontDictPos);
}

// The name under which the chosen font (a font of some page) can be
// selected where `record` is: a record of the same page and the same
// resources read from the chosen font's dictionary.
const std::string* NameOnPageOf(const TPdfDocument& doc, const TFontRecord& chosen, const TFontRecord& record) {
    for (const auto& font : doc.fontList) {
        if (font.hidden || font.pageIndex != record.pageIndex || font.scopePos != chosen.scopePos) continue;
        if (SameDictionary(font, chosen)) return &font.resName;
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

TEverywhereOutcome SetReplacementEverywhere(TPdfDocument& doc, int32_t page, int32_t row, const std::string& name) {
    TEverywhereOutcome outcome;
    const TFontRecord* replaced = RowRecord(doc, page, row);
    const TFontRecord* chosen = ChosenRecord(doc, page, name);
    if (!replaced || !chosen) return outcome;
    std::set<int32_t> done, without;
    std::vector<std::pair<TFontRecord*, std::string>> changes;
    for (auto& font : doc.fontList) {
        if (font.hidden || !SameDictionary(font, *replaced)) continue;
        const std::string* newName = nullptr;
        if (chosen->hidden) newName = &chosen->resName;
        // Kept as it is wherever it is used: each record names itself.
        else if (SameDictionary(*chosen, *replaced)) newName = &font.resName;
        else newName = NameOnPageOf(doc, *chosen, font);
        // The form's default fonts (no page) follow an added font; a font
        // of a page has no name there.
        const bool onPage = font.pageIndex >= 0;
        if (!newName) {
            if (onPage) without.insert(font.pageIndex + 1);
            continue;
        }
        changes.emplace_back(&font, *newName);
        if (onPage) done.insert(font.pageIndex + 1);
    }
    for (auto& [font, newName] : changes) font->replacementName = newName;
    // A page where one use of the old font got the new one and another use
    // could not counts as replaced.
    for (int32_t p : done) without.erase(p);
    outcome.pagesReplaced.assign(done.begin(), done.end());
    outcome.pagesWithout.assign(without.begin(), without.end());
    return outcome;
}
