// The codes a page draws, followed through everything that draws for it.
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

#include "PdfDocument.h"
#include "UsedCodes.h"

namespace {

// What one content draws: codes by scoped font name, and the codes it shows
// before selecting a font (with the font its caller selected).
struct TWalk {
    TCodesByScopedName codes;
    TCodeSet inherited;
};

void Merge(TCodesByScopedName& into, const TCodesByScopedName& from) {
    for (const auto& [name, codes] : from) into[name] |= codes;
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
        for (const TFontRecord& record : doc.fontList)
            if (record.isType3 && !record.hidden && record.fontDictPos > 0)
                type3Fonts.emplace(ScopedNameOf(doc, record), record.fontDictPos);
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
        const TContentScan scan = ScanContent(content.data(), content.size());
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
            Merge(walk.codes, called.codes);
            if (font.empty()) walk.inherited |= called.inherited;
            else if (called.inherited.any()) walk.codes[{scope, font}] |= called.inherited;
        }
        // A pattern cell starts with no font of its caller's.
        for (const std::string& name : scan.patterns)
            if (const TFormRecord* pattern = Named(resources.patterns, name); pattern && pattern->streamPos > 0)
                Merge(walk.codes, FormWalk(*pattern, scope, depth + 1).codes);
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
    Merge(impl_->total, impl_->Walk(*content, scope, 0).codes);
    // An appearance without resources looks its names up in the page's.
    const TFormCatalog& catalog = doc.formCatalog;
    if (static_cast<size_t>(pageIndex) < catalog.appearances.size())
        for (const TAnnotAppearance& appearance : catalog.appearances[static_cast<size_t>(pageIndex)])
            if (appearance.formIndex >= 0 && static_cast<size_t>(appearance.formIndex) < catalog.forms.size())
                Merge(impl_->total,
                      impl_->FormWalk(catalog.forms[static_cast<size_t>(appearance.formIndex)], scope, 1).codes);
    doc.SetPos(savedPos);
}

const TCodesByScopedName& TDrawnCodes::Codes() const { return impl_->total; }

TCodeSet TDrawnCodes::Of(const TFontRecord& record) const {
    const auto found = impl_->total.find(ScopedNameOf(impl_->doc, record));
    return found == impl_->total.end() ? TCodeSet{} : found->second;
}
