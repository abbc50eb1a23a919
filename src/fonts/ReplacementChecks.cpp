#include "ReplacementChecks.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>

#include "CidGlyphs.h"
#include "CodeCharacters.h"
#include "FontProgram.h"
#include "ReplacementGlyphs.h"
#include "UsedCodes.h"

namespace {

bool IsComposite(const TFontRecord& font) { return font.subtype == "/Type0"; }

// An added font by the PostScript name it is written with, a font of the
// file by its /BaseFont; the resource name when neither is known.
std::string ShownName(const TFontRecord& font) {
    if (font.hidden) {
        if (const auto info = ReadFontProgramInfo(font.fontFile, font.fontFaceIndex); info && !info->postScriptName.empty())
            return info->postScriptName;
    } else if (font.baseFont.size() > 1 && font.baseFont[0] == '/') {
        return font.baseFont.substr(1);
    }
    return font.resName.size() > 1 ? font.resName.substr(1) : font.resName;
}

// The font a record's replacement names: an added font of that name, else
// the page's own font of that name.
class TChosenFonts {
public:
    explicit TChosenFonts(const TPdfDocument& doc) {
        for (int32_t i = 0; i < doc.fontList.Count(); ++i) {
            const TFontRecord& font = doc.fontList[static_cast<size_t>(i)];
            if (font.hidden) added_.emplace(font.resName, i);
            else pageFonts_.emplace(std::make_pair(font.pageIndex, font.resName), i);
        }
    }
    // -1 for none.
    int32_t Of(const TFontRecord& old, const std::string& newName) const {
        if (const auto found = added_.find(newName); found != added_.end()) return found->second;
        const auto found = pageFonts_.find(std::make_pair(old.pageIndex, newName));
        return found == pageFonts_.end() ? -1 : found->second;
    }

private:
    std::map<std::string, int32_t> added_;
    std::map<std::pair<int32_t, std::string>, int32_t> pageFonts_;  // the first record of each name
};

// One record's refusal, with the codes its page shows that would be lost
// (of unknown character, or drawn otherwise by the chosen font).
struct TRecordRefusal {
    TRefusedReplacement refusal;
    TCodeSet unknown;
    TWideCodes wideUnknown;  // a composite font's
};

// What the check needs, read once per page, form and font dictionary.
class TChecker {
public:
    explicit TChecker(TPdfDocument& doc) : doc_(doc), drawn_(doc) {}

    // The refusal of replacing `oldRecord` by `newRecord`, with the codes
    // of the old one's page; nothing when it may be made.
    std::optional<TRecordRefusal> Check(int32_t oldRecord, int32_t newRecord);

private:
    TCodeSet CodesOf(const TFontRecord& font);
    const TSimpleCodeCharacters& CharactersOf(int32_t record);
    std::optional<TRecordRefusal> CheckPageFont(int32_t oldRecord, int32_t newRecord, TRecordRefusal result);
    std::optional<TRecordRefusal> CheckComposite(int32_t oldRecord, TRecordRefusal result);

    TPdfDocument& doc_;
    TDrawnCodes drawn_;
    std::set<int32_t> pagesAdded_;
    std::unordered_map<int64_t, TSimpleCodeCharacters> byDict_;
};

// What the font's page draws with it, through forms, patterns and
// appearances too.
TCodeSet TChecker::CodesOf(const TFontRecord& font) {
    if (font.pageIndex < 0 || font.pageIndex >= doc_.pageList.Count()) return {};
    if (pagesAdded_.insert(font.pageIndex).second) drawn_.AddPage(font.pageIndex);
    return drawn_.Of(font);
}

const TSimpleCodeCharacters& TChecker::CharactersOf(int32_t record) {
    TFontRecord& font = doc_.fontList[static_cast<size_t>(record)];
    const int64_t key = font.fontDictPos > 0 ? font.fontDictPos : -int64_t{1} - record;
    auto found = byDict_.find(key);
    if (found == byDict_.end()) {
        const TOldFont old = ReadOldFont(doc_, font);
        found = byDict_.emplace(key, SimpleCodeCharacters(doc_, font, old)).first;
    }
    return found->second;
}

// A font of the page draws the codes through its own encoding, as the user
// chose; where it is known to draw another character, or nothing, for a
// code whose character the old font is known to draw, that text would go.
// A code whose character either font keeps to itself is the user's call.
std::optional<TRecordRefusal> TChecker::CheckPageFont(int32_t oldRecord, int32_t newRecord, TRecordRefusal result) {
    const TSimpleCodeCharacters& before = CharactersOf(oldRecord);
    const TSimpleCodeCharacters& after = CharactersOf(newRecord);
    TCodeSet differing;
    for (size_t code = 0; code < 256; ++code) {
        if (!before[code].Known()) continue;
        const bool drawsNothing = after[code].source == TCharacterSource::NoGlyph;
        if (drawsNothing || (after[code].Known() && after[code].text != before[code].text)) differing.set(code);
    }
    if (differing.none()) return std::nullopt;
    result.unknown = differing & CodesOf(doc_.fontList[static_cast<size_t>(oldRecord)]);
    if (result.unknown.none()) return std::nullopt;
    result.refusal.reason = TRefusalReason::OtherCharacters;
    result.refusal.otherCharacters = static_cast<int32_t>(result.unknown.count());
    return result;
}

std::optional<TRecordRefusal> TChecker::Check(int32_t oldRecord, int32_t newRecord) {
    const TFontRecord& old = doc_.fontList[static_cast<size_t>(oldRecord)];
    const TFontRecord& chosen = doc_.fontList[static_cast<size_t>(newRecord)];
    TRecordRefusal result;
    TRefusedReplacement& refusal = result.refusal;
    refusal.records.push_back(oldRecord);
    refusal.pages.push_back(old.pageIndex + 1);
    // An installed face is written as a composite font of its own, which
    // keeps the old codes.
    if (IsComposite(old) && chosen.hidden) return CheckComposite(oldRecord, std::move(result));
    if (IsComposite(old) != IsComposite(chosen)) {
        refusal.reason = TRefusalReason::CodeWidths;
        refusal.oldComposite = IsComposite(old);
        return result;
    }
    if (IsComposite(old)) return std::nullopt;
    if (!chosen.hidden) return CheckPageFont(oldRecord, newRecord, std::move(result));
    // Most fonts name every code they can draw: their pages need not be read.
    const TSimpleCodeCharacters& characters = CharactersOf(oldRecord);
    TCodeSet all;
    all.set();
    if (CountUnknown(characters, all) == 0) return std::nullopt;
    const TCodeSet codes = CodesOf(old);
    for (size_t code = 0; code < 256; ++code)
        if (codes.test(code) && characters[code].Unknown()) result.unknown.set(code);
    if (result.unknown.none()) return std::nullopt;
    // A face that has the old font's glyph names draws those codes by name.
    const TOldFont oldFont = ReadOldFont(doc_, doc_.fontList[static_cast<size_t>(oldRecord)]);
    if (const auto glyphs = MapReplacementGlyphs(oldFont, characters, result.unknown, chosen.fontFile,
                                                 chosen.fontFaceIndex, true))
        result.unknown = glyphs->unknown;
    if (result.unknown.none()) return std::nullopt;
    refusal.reason = TRefusalReason::UnknownCharacters;
    refusal.unknownCharacters = static_cast<int32_t>(result.unknown.count());
    return result;
}

// A composite font's codes whose characters nothing names cannot be drawn
// by another face.
std::optional<TRecordRefusal> TChecker::CheckComposite(int32_t oldRecord, TRecordRefusal result) {
    TFontRecord& old = doc_.fontList[static_cast<size_t>(oldRecord)];
    if (old.pageIndex < 0 || old.pageIndex >= doc_.pageList.Count()) return std::nullopt;
    if (pagesAdded_.insert(old.pageIndex).second) drawn_.AddPage(old.pageIndex);
    const TFontText* text = FontTextOf(doc_, old);
    for (const auto& [code, length] : drawn_.WideOf(old))
        if (!text || CompositeCodeText(*text, code).empty()) result.wideUnknown.emplace(code, length);
    if (result.wideUnknown.empty()) return std::nullopt;
    result.refusal.reason = TRefusalReason::UnknownCharacters;
    result.refusal.unknownCharacters = static_cast<int32_t>(result.wideUnknown.size());
    return result;
}

// The names the user knows the two fonts by; read only for a refusal, as
// an added font's name takes opening its file.
void NameFonts(const TFontRecord& old, const TFontRecord& chosen, TRefusedReplacement& refusal) {
    refusal.oldFont = ShownName(old);
    refusal.newFont = ShownName(chosen);
}

// Per old font dictionary, chosen font and reason, with the unknown codes
// of all its pages together.
class TGrouped {
public:
    void Add(const TPdfDocument& doc, int32_t chosen, const std::string& newName, TRecordRefusal one) {
        const int32_t record = one.refusal.records.front();
        const TFontRecord& old = doc.fontList[static_cast<size_t>(record)];
        const auto key = std::make_tuple(old.fontDictPos > 0 ? old.fontDictPos : -int64_t{1} - record, newName,
                                         one.refusal.reason);
        auto found = index_.find(key);
        if (found == index_.end()) {
            index_.emplace(key, groups_.size());
            NameFonts(old, doc.fontList[static_cast<size_t>(chosen)], one.refusal);
            groups_.push_back(std::move(one.refusal));
            unknown_.push_back(one.unknown);
            wideUnknown_.push_back(std::move(one.wideUnknown));
            return;
        }
        TRefusedReplacement& group = groups_[found->second];
        group.records.push_back(record);
        group.pages.push_back(one.refusal.pages.front());
        unknown_[found->second] |= one.unknown;
        wideUnknown_[found->second].insert(one.wideUnknown.begin(), one.wideUnknown.end());
    }
    std::vector<TRefusedReplacement> Take() {
        for (size_t k = 0; k < groups_.size(); ++k) {
            std::vector<int32_t>& pages = groups_[k].pages;
            std::sort(pages.begin(), pages.end());
            pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
            if (groups_[k].reason == TRefusalReason::UnknownCharacters)
                groups_[k].unknownCharacters = static_cast<int32_t>(unknown_[k].count() + wideUnknown_[k].size());
            else if (groups_[k].reason == TRefusalReason::OtherCharacters)
                groups_[k].otherCharacters = static_cast<int32_t>(unknown_[k].count());
        }
        return std::move(groups_);
    }

private:
    std::map<std::tuple<int64_t, std::string, TRefusalReason>, size_t> index_;
    std::vector<TRefusedReplacement> groups_;
    std::vector<TCodeSet> unknown_;
    std::vector<TWideCodes> wideUnknown_;
};

}  // namespace

std::vector<TRefusedReplacement> RefusedReplacements(TPdfDocument& doc) {
    const TFilePos savedPos = doc.GetPos();
    TChecker checker(doc);
    const TChosenFonts chosenFonts(doc);
    TGrouped grouped;
    for (int32_t i = 0; i < doc.fontList.Count(); ++i) {
        const TFontRecord& old = doc.fontList[static_cast<size_t>(i)];
        if (old.hidden || old.replacementName.empty() || old.replacementName == old.resName) continue;
        const int32_t chosen = chosenFonts.Of(old, old.replacementName);
        if (chosen < 0) continue;
        if (auto refusal = checker.Check(i, chosen)) grouped.Add(doc, chosen, old.replacementName, std::move(*refusal));
    }
    doc.SetPos(savedPos);
    return grouped.Take();
}

std::optional<TRefusedReplacement> RefusedReplacement(TPdfDocument& doc, int32_t oldRecord, const std::string& newName) {
    if (oldRecord < 0 || oldRecord >= doc.fontList.Count()) return std::nullopt;
    const TFontRecord& old = doc.fontList[static_cast<size_t>(oldRecord)];
    if (newName.empty() || newName == old.resName) return std::nullopt;
    const int32_t chosen = TChosenFonts(doc).Of(old, newName);
    if (chosen < 0) return std::nullopt;
    const TFilePos savedPos = doc.GetPos();
    auto refusal = TChecker(doc).Check(oldRecord, chosen);
    doc.SetPos(savedPos);
    if (!refusal) return std::nullopt;
    NameFonts(old, doc.fontList[static_cast<size_t>(chosen)], refusal->refusal);
    return std::move(refusal->refusal);
}

void WithdrawReplacements(TPdfDocument& doc, const std::vector<TRefusedReplacement>& refused) {
    for (const TRefusedReplacement& refusal : refused)
        for (int32_t record : refusal.records)
            if (record >= 0 && record < doc.fontList.Count()) doc.fontList[static_cast<size_t>(record)].replacementName.clear();
}
