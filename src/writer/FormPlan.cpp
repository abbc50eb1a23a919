// Which forms a save writes anew, under which numbers, and which links of
// each page's chain name the copies (see FormRewrite.h).
#include <set>
#include <tuple>
#include <unordered_map>

#include "FormRewrite.h"
#include "WriterParts_p.h"

namespace {

using TChoice = std::map<std::string, std::string>;  // sorted, so that equal choices compare equal

// What a form becomes for one page: the page's replacements for the form's
// own fonts and the variants (non-zero) of the forms it calls, by name.
// Variant 0 of every form is the form as it stands.
struct TVariant {
    int32_t formIndex = -1;
    TChoice choice;
    std::vector<std::pair<std::string, int32_t>> calls;
    auto Key() const { return std::tie(formIndex, choice, calls); }
    bool operator<(const TVariant& other) const { return Key() < other.Key(); }
};

// The forms a page draws directly: by the names of its /XObject entries,
// behind its /Pattern entries (patterns are never copied: what they reach
// stays as it is), and as the appearances of its annotations.
struct TPageRoots {
    std::vector<std::pair<std::string, int32_t>> named;  // name, form index
    std::vector<int32_t> patterns;
    std::vector<TAnnotAppearance> appearances;
};

class TFormPlanner {
public:
    explicit TFormPlanner(TPdfDocument& doc) : doc_(doc), forms_(doc.formCatalog.forms) {
        variants_.emplace_back();  // 0: unchanged
        CollectChoices();
    }

    TFormPlan Plan() {
        if (choices_.empty()) return {};
        const int32_t pageCount = doc_.pageList.Count();
        roots_.resize(static_cast<size_t>(pageCount));
        variantsByPage_.resize(static_cast<size_t>(pageCount));
        for (int32_t page = 0; page < pageCount; ++page) WalkPage(page);
        NumberVariants();
        TFormPlan plan;
        for (size_t id = 1; id < variants_.size(); ++id) plan.forms.push_back(Rewrite(static_cast<int32_t>(id)));
        const std::set<int32_t> blocked = AnnotationsThatCannotChoose();
        for (int32_t page = 0; page < pageCount; ++page)
            if (!variantsByPage_[static_cast<size_t>(page)].empty()) RedirectPage(page, blocked, plan);
        return plan;
    }

private:
    void CollectChoices() {
        const std::unordered_map<int32_t, std::string> names = ReplacementNames(doc_);
        for (int32_t i = 0; i < doc_.fontList.Count(); ++i) {
            const TFontRecord& font = doc_.fontList[static_cast<size_t>(i)];
            if (font.hidden || font.scopePos < 0) continue;
            const auto name = names.find(i);
            if (name == names.end() || name->second == EscapeContentText(font.resName)) continue;
            choices_[font.pageIndex][font.scopePos].emplace(font.resName, name->second);
        }
    }

    TPageRoots RootsOf(int32_t page) {
        const TPageRecord& record = doc_.pageList[static_cast<size_t>(page)];
        TPageRoots roots;
        for (const auto& [name, pos] : record.xobjectPositions)
            if (const int32_t index = FormIndexAt(pos); index >= 0) roots.named.emplace_back(name, index);
        if (record.hasResources) {
            for (const TDictEntry& entry : EntriesAt(doc_, record.resourcesDictPos)) {
                if (entry.tokens.empty() || entry.tokens[0] != "/Pattern") continue;
                const TFilePos patternsPos = DictValuePos(doc_, entry);
                if (patternsPos < 0) continue;
                for (const TDictEntry& pattern : EntriesAt(doc_, patternsPos))
                    if (const int32_t index = FormIndexAt(DictValuePos(doc_, pattern)); index >= 0)
                        roots.patterns.push_back(index);
            }
        }
        const auto& appearances = doc_.formCatalog.appearances;
        if (static_cast<size_t>(page) < appearances.size()) roots.appearances = appearances[static_cast<size_t>(page)];
        return roots;
    }

    // Every form the page reaches is recorded with the variant it needs
    // there; a page that chose nothing needs the originals.
    void WalkPage(int32_t page) {
        TPageRoots& roots = roots_[static_cast<size_t>(page)] = RootsOf(page);
        std::set<int32_t> seen;
        for (int32_t index : roots.patterns) MarkReached(index, page, 0, seen);
        if (!choices_.count(page)) {
            for (const auto& [name, index] : roots.named) MarkReached(index, page, 0, seen);
            for (const TAnnotAppearance& appearance : roots.appearances) MarkReached(appearance.formIndex, page, 0, seen);
            return;
        }
        std::map<int32_t, int32_t>& memo = variantsByPage_[static_cast<size_t>(page)];
        for (const auto& [name, index] : roots.named) VariantOf(index, page, 0, memo);
        for (const TAnnotAppearance& appearance : roots.appearances) VariantOf(appearance.formIndex, page, 0, memo);
    }

    int32_t FormIndexAt(TFilePos dictPos) const {
        const auto found = doc_.formCatalog.byDictPos.find(dictPos);
        if (found == doc_.formCatalog.byDictPos.end() || found->second < 0 ||
            static_cast<size_t>(found->second) >= forms_.size())
            return -1;
        return found->second;
    }
    const TFormRecord& FormAt(int32_t index) const { return forms_[static_cast<size_t>(index)]; }

    // Whether a copy of the form can be written: its stream read as it
    // stands, and decoded when its own fonts are to be replaced.
    bool Readable(int32_t index, bool decoded) {
        auto& known = decoded ? decodable_ : rawReadable_;
        const auto found = known.find(index);
        if (found != known.end()) return found->second;
        const TFormRecord& form = FormAt(index);
        bool readable = false;
        if (decoded) {
            readable = ReadFormContent(doc_, form).has_value();
        } else if (form.streamPos > 0) {
            std::vector<uint8_t> data;
            const TFilePos savedPos = doc_.GetPos();
            doc_.SetPos(form.streamPos);
            readable = doc_.ReadStreamBytes(form.length, data);
            doc_.SetPos(savedPos);
        }
        known.emplace(index, readable);
        return readable;
    }

    // The variant the page needs of the form, remembered per page in `memo`;
    // 0 where nothing changes or the form cannot be written anew. A form met
    // again on its own call chain (a cycle) is left as it stands there.
    int32_t VariantOf(int32_t index, int32_t page, int32_t depth, std::map<int32_t, int32_t>& memo) {
        if (index < 0) return 0;
        if (const auto known = memo.find(index); known != memo.end()) return known->second;
        if (depth >= kMaxFormDepth || !onChain_.insert(index).second) return 0;
        const TFormRecord& form = FormAt(index);
        TVariant variant;
        variant.formIndex = index;
        const auto& scopes = choices_[page];
        if (const auto chosen = scopes.find(form.resourcesPos); form.resourcesPos >= 0 && chosen != scopes.end())
            variant.choice = chosen->second;
        for (const auto& [name, pos] : form.xobjects)
            if (const int32_t called = VariantOf(FormIndexAt(pos), page, depth + 1, memo))
                variant.calls.emplace_back(name, called);
        std::set<int32_t> seen;
        for (const auto& [name, pos] : form.patterns) MarkReached(FormIndexAt(pos), page, depth + 1, seen);
        onChain_.erase(index);
        int32_t id = 0;
        if (!variant.choice.empty() || !variant.calls.empty()) {
            const bool writable = form.isForm && form.objNum > 0 && Readable(index, false);
            if (!variant.choice.empty() && (!writable || !Readable(index, true))) variant.choice.clear();
            if (writable && (!variant.choice.empty() || !variant.calls.empty())) id = Intern(std::move(variant));
        }
        memo[index] = id;
        pagesByVariant_[index][id].insert(page);
        return id;
    }

    // The page draws the form and what it calls as they stand.
    void MarkReached(int32_t index, int32_t page, int32_t depth, std::set<int32_t>& seen) {
        if (index < 0 || depth >= kMaxFormDepth || !seen.insert(index).second) return;
        pagesByVariant_[index][0].insert(page);
        const TFormRecord& form = FormAt(index);
        for (const auto& [name, pos] : form.xobjects) MarkReached(FormIndexAt(pos), page, depth + 1, seen);
        for (const auto& [name, pos] : form.patterns) MarkReached(FormIndexAt(pos), page, depth + 1, seen);
    }

    int32_t Intern(TVariant variant) {
        const auto [found, added] = variantIds_.emplace(variant, static_cast<int32_t>(variants_.size()));
        if (added) variants_.push_back(std::move(variant));
        return found->second;
    }

    // A form whose pages all need one variant is rewritten where it stands;
    // otherwise each variant is a copy, numbered -1, -2, ... for now.
    void NumberVariants() {
        targets_.assign(variants_.size(), 0);
        int32_t placeholder = 0;
        for (size_t id = 1; id < variants_.size(); ++id) {
            const int32_t index = variants_[id].formIndex;
            targets_[id] = pagesByVariant_[index].size() == 1 ? FormAt(index).objNum : --placeholder;
        }
    }

    int32_t Target(int32_t index, int32_t id) const {
        return id == 0 ? FormAt(index).objNum : targets_[static_cast<size_t>(id)];
    }

    TFormRewrite Rewrite(int32_t id) const {
        const TVariant& variant = variants_[static_cast<size_t>(id)];
        const TFormRecord& form = FormAt(variant.formIndex);
        TFormRewrite rewrite;
        rewrite.formIndex = variant.formIndex;
        rewrite.replacements.insert(variant.choice.begin(), variant.choice.end());
        for (const auto& [name, called] : variant.calls) {
            const int32_t target = targets_[static_cast<size_t>(called)];
            if (target != FormAt(variants_[static_cast<size_t>(called)].formIndex).objNum)
                rewrite.xobjectRedirects[name] = target;
        }
        rewrite.objNum = targets_[static_cast<size_t>(id)];
        rewrite.inPlace = rewrite.objNum == form.objNum;
        rewrite.gen = rewrite.inPlace ? form.gen : 0;
        return rewrite;
    }

    int32_t VariantOnPage(int32_t page, int32_t index) const {
        const std::map<int32_t, int32_t>& memo = variantsByPage_[static_cast<size_t>(page)];
        const auto found = memo.find(index);
        return found == memo.end() ? 0 : found->second;
    }

    // An annotation has one /AP: when its pages (a broken file may list it
    // on several) need different appearances, or it has no number of its
    // own to be written under, it stays as it is.
    std::set<int32_t> AnnotationsThatCannotChoose() {
        std::map<int32_t, std::set<int32_t>> targets;  // annotation -> numbers its pages need
        for (size_t page = 0; page < roots_.size(); ++page)
            for (const TAnnotAppearance& appearance : roots_[page].appearances)
                targets[appearance.annotObjNum].insert(
                    Target(appearance.formIndex, VariantOnPage(static_cast<int32_t>(page), appearance.formIndex)));
        std::set<int32_t> blocked;
        for (const auto& [annotObjNum, numbers] : targets)
            if (numbers.size() > 1 || !AnnotationOf(annotObjNum)) blocked.insert(annotObjNum);
        return blocked;
    }

    const TAnnotation* AnnotationOf(int32_t objNum) {
        if (annotations_.empty())
            for (const TPageRecord& page : doc_.pageList)
                for (const TAnnotation& annot : page.annotations)
                    if (annot.isRef) annotations_.emplace(annot.objNum, &annot);
        const auto found = annotations_.find(objNum);
        return found == annotations_.end() ? nullptr : found->second;
    }

    // The page's /XObject entries and its annotations name the variants it
    // needs; the fonts it chose that none of them replaces are reported.
    void RedirectPage(int32_t page, const std::set<int32_t>& blocked, TFormPlan& plan) {
        const TPageRoots& roots = roots_[static_cast<size_t>(page)];
        std::set<int32_t> applied;  // variants the written page draws
        for (const auto& [name, index] : roots.named) {
            const int32_t id = VariantOnPage(page, index);
            if (id == 0) continue;
            if (const int32_t target = Target(index, id); target != FormAt(index).objNum)
                plan.pageRedirects[page][name] = target;
            MarkApplied(id, applied);
        }
        for (const TAnnotAppearance& appearance : roots.appearances) {
            const int32_t id = VariantOnPage(page, appearance.formIndex);
            if (id == 0) continue;
            const int32_t target = Target(appearance.formIndex, id);
            const int32_t original = FormAt(appearance.formIndex).objNum;
            if (target != original) {
                if (blocked.count(appearance.annotObjNum)) continue;
                if (redirectedAnnots_.insert(appearance.annotObjNum).second)
                    plan.appearances.push_back(
                        {appearance.annotObjNum, AnnotationOf(appearance.annotObjNum)->gen, original, target});
            }
            MarkApplied(id, applied);
        }
        ReportKept(page, applied, plan.keptFonts);
    }

    void MarkApplied(int32_t id, std::set<int32_t>& applied) const {
        if (id == 0 || !applied.insert(id).second) return;
        for (const auto& [name, called] : variants_[static_cast<size_t>(id)].calls) MarkApplied(called, applied);
    }

    void ReportKept(int32_t page, const std::set<int32_t>& applied, std::vector<TKeptFormFont>& kept) const {
        const auto scopes = choices_.find(page);
        if (scopes == choices_.end()) return;
        std::set<std::pair<TFilePos, std::string>> replaced;
        for (int32_t id : applied) {
            const TVariant& variant = variants_[static_cast<size_t>(id)];
            for (const auto& [name, newName] : variant.choice)
                replaced.emplace(FormAt(variant.formIndex).resourcesPos, name);
        }
        for (const auto& [scope, choice] : scopes->second)
            for (const auto& [name, newName] : choice)
                if (!replaced.count({scope, name})) kept.push_back({page, name});
    }

    TPdfDocument& doc_;
    const std::vector<TFormRecord>& forms_;
    std::map<int32_t, std::map<TFilePos, TChoice>> choices_;  // page -> scope -> choice
    std::vector<TPageRoots> roots_;                          // by page
    std::vector<std::map<int32_t, int32_t>> variantsByPage_;  // page -> form -> variant
    std::vector<TVariant> variants_;
    std::map<TVariant, int32_t> variantIds_;
    std::map<int32_t, std::map<int32_t, std::set<int32_t>>> pagesByVariant_;  // form -> variant -> pages
    std::vector<int32_t> targets_;  // by variant: the number it is written under
    std::set<int32_t> onChain_;
    std::set<int32_t> redirectedAnnots_;
    std::unordered_map<int32_t, const TAnnotation*> annotations_;  // by object number
    std::map<int32_t, bool> rawReadable_;
    std::map<int32_t, bool> decodable_;
};

}  // namespace

TFormPlan FormPlanWithPlaceholders(TPdfDocument& doc) { return TFormPlanner(doc).Plan(); }
