// The codes a page draws, followed through everything that draws for it.
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

#include "FontText.h"
#include "PdfDocument.h"
#include "UsedCodes.h"

namespace {

// What one content draws: codes by scoped font name, and the codes it shows
// before selecting a font (with the font its caller selected).
struct TWalk {
    TCodesByScopedName codes;
    TCodeSet inherited;
    std::map<TScopedName, TWideCodes> wide;  // composite fonts only
};

void Merge(TCodesByScopedName& into, const TCodesByScopedName& from) {
    for (const auto& [name, codes] : from) into[name] |= codes;
}

void MergeWide(std::map<TScopedName, TWideCodes>& into, const std::map<TScopedName, TWideCodes>& from) {
    for (const auto& [name, codes] : from) into[name].insert(codes.begin(), codes.end());
}

void Merge(TWalk& into, const TWalk& from) {
    Merge(into.codes, from.codes);
    MergeWide(into.wide, from.wide);
}

// Splits shown strings into codes as the encoding does.
void SplitCodes(const TCMap& encoding, const std::vector<std::string>& strings, TWideCodes& codes) {
    for (const std::string& shown : strings) {
        std::string_view rest(shown);
        while (!rest.empty()) {
            const TCMap::TCode code = encoding.NextCode(rest);
            if (code.length == 0) break;
            codes.emplace(code.value, static_cast<uint8_t>(code.length));
            rest.remove_prefix(std::min<size_t>(code.length, rest.size()));
        }
    }
}

}  // namespace

TScopedName ScopedNameOf(const TPdfDocument& doc, const TFontRecord& record) {
    if (record.scopePos >= 0) return {record.scopePos, record.resName};
    if (record.pageIndex < 0 || record.pageIndex >= doc.pageList.Count()) return {-1, record.resName};
    const TPageRecord& page = doc.pageList[static_cast<size_t>(record.pageIndex)];
    return {page.hasResources ? page.resourcesDictPos : -1, record.resName};
}

struct TDrawnCodes::TImpl {
    explicit TImpl(TPdfDocument& document) : doc(document) {
        for (int32_t i = 0; i < doc.fontList.Count(); ++i) {
            const TFontRecord& record = doc.fontList[static_cast<size_t>(i)];
            if (record.hidden) continue;
            if (record.isType3 && record.fontDictPos > 0)
                type3Fonts.emplace(ScopedNameOf(doc, record), record.fontDictPos);
            if (record.subtype == "/Type0") {
                const TScopedName name = ScopedNameOf(doc, record);
                compositeNames[name.first].insert(name.second);
                compositeRecords.emplace(name, i);
            }
        }
    }

    const std::set<std::string>* CompositeNamesIn(TFilePos scope) const {
        const auto found = compositeNames.find(scope);
        return found == compositeNames.end() ? nullptr : &found->second;
    }

    void AddWide(TWalk& walk, TFilePos scope, const std::map<std::string, std::vector<std::string>>& strings) {
        for (const auto& [name, shown] : strings) {
            const TScopedName key{scope, name};
            const auto record = compositeRecords.find(key);
            if (record == compositeRecords.end()) continue;
            const TFontText* text = FontTextOf(doc, doc.fontList[static_cast<size_t>(record->second)]);
            if (text && text->composite) SplitCodes(text->encoding, shown, walk.wide[key]);
        }
    }

    const TResourceParts& Parts(TFilePos scope) {
        static const TResourceParts kNone;
        if (scope < 0) return kNone;
        auto found = parts.find(scope);
        if (found == parts.end()) found = parts.emplace(scope, ReadResourceParts(doc, scope)).first;
        return found->second;
    }

    // The stream whose dictionary stands at `dictPos`: the reader's record
    // of a form, or one read here (patterns, glyph procedures). The catalog
    // does not grow while codes are collected, so its records stay put.
    const TFormRecord* StreamAt(TFilePos dictPos) {
        if (const TFormRecord* form = doc.formCatalog.FormAt(dictPos)) return form;
        auto found = streams.find(dictPos);
        if (found == streams.end()) found = streams.emplace(dictPos, ReadFormRecord(doc, dictPos)).first;
        return found->second ? &*found->second : nullptr;
    }

    const TFormRecord* Named(const std::vector<std::pair<std::string, TFilePos>>& entries, const std::string& name) {
        for (const auto& [entryName, pos] : entries)
            if (entryName == name) return StreamAt(pos);
        return nullptr;
    }

    TWalk Walk(const std::vector<uint8_t>& content, TFilePos scope, int32_t depth) {
        TWalk walk;
        const TContentScan scan = ScanContent(content.data(), content.size(), CompositeNamesIn(scope));
        AddWide(walk, scope, scan.strings);
        for (const auto& [name, codes] : scan.codes) {
            if (name.empty()) {
                walk.inherited |= codes;
                continue;
            }
            const TScopedName key{scope, name};
            walk.codes[key] |= codes;
            if (const auto type3 = type3Fonts.find(key); type3 != type3Fonts.end() && depth + 1 < kMaxFormDepth)
                Merge(walk.codes, Type3Walk(type3->second, scope, depth + 1));
        }
        if (depth + 1 >= kMaxFormDepth) return walk;
        const TResourceParts& resources = Parts(scope);
        for (const auto& [name, font] : scan.xobjects) {
            const TFormRecord* form = Named(resources.xobjects, name);
            if (!form || !form->isForm) continue;
            const TWalk& called = FormWalk(*form, scope, depth + 1);
            Merge(walk, called);
            if (font.empty()) walk.inherited |= called.inherited;
            else if (called.inherited.any()) walk.codes[{scope, font}] |= called.inherited;
        }
        // A pattern cell starts with no font of its caller's.
        for (const std::string& name : scan.patterns)
            if (const TFormRecord* pattern = Named(resources.patterns, name); pattern && pattern->streamPos > 0)
                Merge(walk, FormWalk(*pattern, scope, depth + 1));
        return walk;
    }

    // A form (or pattern, or glyph procedure) drawn where names are looked
    // up in `callerScope`; its own resources, when it has them, take over.
    // A form met again on its own call chain draws nothing there.
    const TWalk& FormWalk(const TFormRecord& form, TFilePos callerScope, int32_t depth) {
        static const TWalk kNothing;
        const TFilePos scope = form.resourcesPos >= 0 ? form.resourcesPos : callerScope;
        const std::pair<TFilePos, TFilePos> key{form.dictPos, scope};
        if (const auto found = formWalks.find(key); found != formWalks.end()) return found->second;
        if (!onChain.insert(form.dictPos).second) return kNothing;
        TWalk walk;
        if (const auto content = ReadFormContent(doc, form)) walk = Walk(*content, scope, depth);
        onChain.erase(form.dictPos);
        return formWalks.emplace(key, std::move(walk)).first->second;
    }

    // Every glyph procedure of a Type 3 font: the glyphs may draw with
    // fonts of their own resources, or (without) of the resources the font
    // is used from.
    const TCodesByScopedName& Type3Walk(TFilePos fontDictPos, TFilePos scope, int32_t depth) {
        static const TCodesByScopedName kNothing;
        const std::pair<TFilePos, TFilePos> key{fontDictPos, scope};
        if (const auto found = type3Walks.find(key); found != type3Walks.end()) return found->second;
        if (!onChain.insert(fontDictPos).second) return kNothing;
        TFilePos charProcsPos = -1, resourcesPos = -1;
        for (const auto& [name, pos] : DictValuePositions(doc, fontDictPos)) {
            if (name == "/CharProcs") charProcsPos = pos;
            else if (name == "/Resources") resourcesPos = pos;
        }
        const TFilePos glyphScope = resourcesPos >= 0 ? resourcesPos : scope;
        TCodesByScopedName codes;
        if (charProcsPos >= 0)
            for (const auto& [glyph, pos] : DictValuePositions(doc, charProcsPos))
                if (const TFormRecord* procedure = StreamAt(pos); procedure && procedure->streamPos > 0)
                    Merge(codes, FormWalk(*procedure, glyphScope, depth).codes);
        onChain.erase(fontDictPos);
        return type3Walks.emplace(key, std::move(codes)).first->second;
    }

    TPdfDocument& doc;
    TCodesByScopedName total;
    std::map<TScopedName, TWideCodes> wideTotal;
    std::map<TFilePos, std::set<std::string>> compositeNames;  // by scope
    std::map<TScopedName, int32_t> compositeRecords;  // -> the first record of the name
    std::map<TScopedName, TFilePos> type3Fonts;  // -> the font dictionary's position
    std::unordered_map<TFilePos, TResourceParts> parts;  // by the resources' position
    std::unordered_map<TFilePos, std::optional<TFormRecord>> streams;  // by the dictionary's position
    std::map<std::pair<TFilePos, TFilePos>, TWalk> formWalks;  // (dictionary, scope)
    std::map<std::pair<TFilePos, TFilePos>, TCodesByScopedName> type3Walks;  // (font dictionary, scope)
    std::set<TFilePos> onChain;
};

TDrawnCodes::TDrawnCodes(TPdfDocument& doc) : impl_(std::make_unique<TImpl>(doc)) {}
TDrawnCodes::~TDrawnCodes() = default;

void TDrawnCodes::AddPage(int32_t pageIndex, const std::vector<uint8_t>* content) {
    TPdfDocument& doc = impl_->doc;
    if (pageIndex < 0 || pageIndex >= doc.pageList.Count()) return;
    const TPageRecord& page = doc.pageList[static_cast<size_t>(pageIndex)];
    const TFilePos scope = page.hasResources ? page.resourcesDictPos : -1;
    const TFilePos savedPos = doc.GetPos();
    std::vector<uint8_t> read;
    if (!content) {
        read = doc.PageContent(pageIndex);
        content = &read;
    }
    {
        const TWalk walk = impl_->Walk(*content, scope, 0);
        Merge(impl_->total, walk.codes);
        MergeWide(impl_->wideTotal, walk.wide);
    }
    // An appearance without resources looks its names up in the page's.
    const TFormCatalog& catalog = doc.formCatalog;
    if (static_cast<size_t>(pageIndex) < catalog.appearances.size())
        for (const TAnnotAppearance& appearance : catalog.appearances[static_cast<size_t>(pageIndex)])
            if (appearance.formIndex >= 0 && static_cast<size_t>(appearance.formIndex) < catalog.forms.size())
            {
                const TWalk& walk = impl_->FormWalk(catalog.forms[static_cast<size_t>(appearance.formIndex)], scope, 1);
                Merge(impl_->total, walk.codes);
                MergeWide(impl_->wideTotal, walk.wide);
            }
    doc.SetPos(savedPos);
}

const TCodesByScopedName& TDrawnCodes::Codes() const { return impl_->total; }

TCodeSet TDrawnCodes::Of(const TFontRecord& record) const {
    const auto found = impl_->total.find(ScopedNameOf(impl_->doc, record));
    return found == impl_->total.end() ? TCodeSet{} : found->second;
}

TWideCodes TDrawnCodes::WideOf(const TFontRecord& record) const {
    const auto found = impl_->wideTotal.find(ScopedNameOf(impl_->doc, record));
    return found == impl_->wideTotal.end() ? TWideCodes{} : found->second;
}
