#include "MissingFonts.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "AddedFonts.h"
#include "CidGlyphs.h"
#include "FontText.h"
#include "PdfText.h"

namespace {

struct TDictFacts {
    bool composite = false;
    bool embedded = false;
    int32_t flags = 0;
};

TDictFacts ReadDictFacts(TPdfDocument& doc, const TFontRecord& record) {
    TDictFacts facts;
    doc.SetPos(record.fontDictPos);
    doc.ParseDict();
    for (const TDictEntry& entry : doc.TakeDictEntries())
        if (entry.tokens.size() >= 2 && entry.tokens[0] == "/Subtype") facts.composite = entry.tokens[1] == "/Type0";
    doc.parseFailed = 0;
    if (!record.hasDescriptor) return facts;
    doc.SetPos(record.descriptorPos);
    doc.ParseDict();
    for (const TDictEntry& entry : doc.TakeDictEntries()) {
        const auto& tokens = entry.tokens;
        if (tokens.size() < 2) continue;
        if (tokens[0] == "/Flags") facts.flags = TryStrToInt(tokens[1]).value_or(0);
        else if (tokens[0] == "/FontFile" || tokens[0] == "/FontFile2" || tokens[0] == "/FontFile3")
            facts.embedded = true;
    }
    doc.parseFailed = 0;
    return facts;
}

void Describe(TPdfDocument& doc, TDocumentFont& font) {
    const TFontRecord& first = doc.fontList[static_cast<size_t>(font.records.front())];
    font.old = ReadOldFont(doc, first);
    const TDictFacts facts = ReadDictFacts(doc, first);
    font.baseFont = font.old.baseFont;
    font.type3 = first.isType3 != 0;
    font.composite = facts.composite;
    font.embedded = facts.embedded;
    font.symbolic = font.old.symbolic;
    font.style = OldFontStyle(WithoutSubsetTag(font.old.baseFont), facts.flags);
    font.fontClass = OldFontClass(font.old.baseFont, facts.flags);
    if (font.composite)
        if (const TFontText* text = FontTextOf(doc, doc.fontList[static_cast<size_t>(font.records.front())]))
            font.ordering = text->ordering;
}

// fontconfig's language of a character collection; empty for the others.
std::string CollectionLanguage(const std::string& ordering) {
    if (ordering == "Japan1") return "ja";
    if (ordering == "GB1") return "zh-cn";
    if (ordering == "CNS1") return "zh-tw";
    if (ordering == "Korea1") return "ko";
    return {};
}

TFontChoice ChooseCompositeStandIn(const TDocumentFont& font, bool allowSubstitutes) {
    TFontChoice choice;
    choice.kind = TChoiceKind::NoGoodMatch;
    if (const std::string language = CollectionLanguage(font.ordering); !language.empty()) {
        // The face fontconfig gives the language, as viewers draw the
        // original with it: the embedded page looks as the page looked.
        choice.face = ProposeFaceForLanguage(language, false, font.style);
        if (choice.face) choice.kind = TChoiceKind::Proposal;
        return choice;
    }
    const auto proposal = ProposeFont(font.baseFont, font.style);
    if (proposal) choice.face = proposal->face;
    if (proposal && proposal->good) {
        choice.kind = TChoiceKind::Proposal;
        choice.metricCompatible = true;
    } else if (proposal && allowSubstitutes) {
        choice.kind = TChoiceKind::Substitute;
    }
    return choice;
}

bool SameFace(const TInstalledFace& a, const TInstalledFace& b) {
    return a.family == b.family && a.style == b.style;
}

}  // namespace

std::vector<TDocumentFont> DocumentFonts(TPdfDocument& doc) {
    std::vector<TDocumentFont> fonts;
    std::map<int64_t, size_t> byDict;
    for (int32_t i = 0; i < doc.fontList.Count(); ++i) {
        const TFontRecord& record = doc.fontList[static_cast<size_t>(i)];
        if (record.hidden) continue;
        // A record whose dictionary was not found stands for itself.
        const int64_t key = record.fontDictPos > 0 ? record.fontDictPos : -int64_t{1} - i;
        auto found = byDict.find(key);
        if (found == byDict.end()) {
            found = byDict.emplace(key, fonts.size()).first;
            fonts.emplace_back();
        }
        fonts[found->second].records.push_back(i);
    }

    TDrawnCodes drawn(doc);
    std::vector<uint8_t> pagesAdded(static_cast<size_t>(std::max(doc.pageList.Count(), 0)), 0);
    for (TDocumentFont& font : fonts) {
        Describe(doc, font);
        for (int32_t index : font.records) {
            const TFontRecord& record = doc.fontList[static_cast<size_t>(index)];
            if (record.use == TFontUse::FormDefaults) font.formDefault = true;
            if (record.pageIndex < 0 || record.pageIndex >= doc.pageList.Count()) continue;
            font.pages.push_back(record.pageIndex + 1);
            if (pagesAdded[static_cast<size_t>(record.pageIndex)]) continue;
            pagesAdded[static_cast<size_t>(record.pageIndex)] = 1;
            drawn.AddPage(record.pageIndex);
        }
        std::sort(font.pages.begin(), font.pages.end());
        font.pages.erase(std::unique(font.pages.begin(), font.pages.end()), font.pages.end());
    }
    // A page drawing a form may give codes to fonts of pages listed before it.
    for (TDocumentFont& font : fonts) {
        for (int32_t index : font.records) {
            font.codes |= drawn.Of(doc.fontList[static_cast<size_t>(index)]);
            if (font.composite) {
                const TWideCodes wide = drawn.WideOf(doc.fontList[static_cast<size_t>(index)]);
                font.wideCodes.insert(wide.begin(), wide.end());
            }
        }
        if (font.formDefault) font.codes |= CharacterCodes(font.old);
    }
    return fonts;
}

TCodeSet CharacterCodes(const TOldFont& old) {
    TCodeSet codes;
    for (size_t code = 0; code < 256; ++code)
        if (!old.glyphNames[code].empty() && GlyphNameToUnicode(old.glyphNames[code]).value_or(0) >= 0x20)
            codes.set(code);
    return codes;
}

TFontChoice ChooseReplacement(const TDocumentFont& font, const std::vector<TReplacementRule>& rules,
                              bool allowSubstitutes) {
    TFontChoice choice;
    // Type 3 glyphs are drawings of the file's own.
    if (font.type3) return choice;
    if (const TReplacementRule* rule = FindRule(rules, font.baseFont, font.style)) {
        choice.rule = FormatRule(*rule);
        choice.face = FindInstalledFace(rule->family, rule->newStyle.value_or(font.style));
        choice.kind = choice.face ? TChoiceKind::Rule : TChoiceKind::MissingFace;
        if (const auto proposal = choice.face ? ProposeFont(font.baseFont, font.style) : std::nullopt)
            choice.metricCompatible = proposal->good && proposal->face.path == choice.face->path;
        return choice;
    }
    if (font.embedded) return choice;
    if (font.composite) return ChooseCompositeStandIn(font, allowSubstitutes);
    // A base-35 font's URW clone has its glyphs, symbols included.
    if (const TReplacementRule* clone = FindRule(StandardCloneRules(), font.baseFont, font.style)) {
        if (auto face = FindInstalledFace(clone->family, clone->newStyle.value_or(font.style))) {
            choice.face = std::move(face);
            choice.kind = TChoiceKind::Proposal;
            choice.metricCompatible = true;
            return choice;
        }
    }
    const auto proposal = ProposeFont(font.baseFont, font.style);
    if (proposal) choice.face = proposal->face;
    if (proposal && proposal->good && !font.symbolic) {
        choice.kind = TChoiceKind::Proposal;
        choice.metricCompatible = true;
        return choice;
    }
    // A text font for a symbol font would change every character.
    choice.kind = TChoiceKind::NoGoodMatch;
    if (!allowSubstitutes || font.symbolic) return choice;
    if (auto similar = SimilarFace(font.old, font.codes, font.fontClass, font.style, choice.face)) {
        choice.face = std::move(similar);
        choice.kind = TChoiceKind::Substitute;
    }
    return choice;
}

std::optional<TChoiceCheck> CheckChoice(TPdfDocument& doc, const TDocumentFont& font, const TInstalledFace& face) {
    const TFilePos savedPos = doc.GetPos();
    TFontRecord& record = doc.fontList[static_cast<size_t>(font.records.front())];
    if (font.composite) {
        const TFontText* text = FontTextOf(doc, record);
        doc.SetPos(savedPos);
        if (!text || !text->composite) return std::nullopt;
        const auto glyphs = MapCompositeGlyphs(*text, font.wideCodes, face.path, face.faceIndex, true);
        if (!glyphs) return std::nullopt;
        TChoiceCheck check;
        check.missing = glyphs->missing;
        check.unknownCharacters = glyphs->unknownCharacters;
        return check;
    }
    const TOldFont old = ReadOldFont(doc, record);
    const TSimpleCodeCharacters characters = SimpleCodeCharacters(doc, record, old);
    doc.SetPos(savedPos);
    const auto glyphs = MapReplacementGlyphs(old, characters, font.codes, face.path, face.faceIndex, true);
    if (!glyphs) return std::nullopt;
    TChoiceCheck check;
    check.missing = glyphs->missing;
    check.unknownCharacters = static_cast<int32_t>(glyphs->unknown.count());
    for (size_t code = 0; code < 256; ++code)
        if (font.codes.test(code) && !old.hasWidth.test(code)) check.keepsWidths = false;
    return check;
}

std::vector<std::string> ApplyChoices(TPdfDocument& doc, const std::vector<TDocumentFont>& fonts,
                                      const std::vector<TFontChoice>& choices) {
    std::vector<std::string> names(fonts.size());
    std::vector<std::pair<TInstalledFace, std::string>> added;
    for (size_t k = 0; k < fonts.size() && k < choices.size(); ++k) {
        if (!choices[k].Replaces()) continue;
        const TInstalledFace& face = *choices[k].face;
        auto known = std::find_if(added.begin(), added.end(), [&](const auto& entry) { return SameFace(entry.first, face); });
        if (known == added.end()) {
            const auto resName =
                AddInstalledFont(doc, Utf8ToCp1252(face.family), face.style.bold, face.style.italic);
            if (!resName) continue;
            TFontRecord& record = doc.fontList[static_cast<size_t>(doc.fontList.Count() - 1)];
            record.embed = 1;
            record.keepWidths = 1;
            known = added.emplace(added.end(), face, *resName);
        }
        names[k] = known->second;
        for (int32_t index : fonts[k].records) doc.fontList[static_cast<size_t>(index)].replacementName = known->second;
    }
    return names;
}
