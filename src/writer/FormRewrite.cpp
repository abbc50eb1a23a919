#include "FormRewrite.h"

#include <zlib.h>

#include <algorithm>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_map>

#include "WriterParts_p.h"

namespace {

using TChoice = std::map<std::string, std::string>;  // sorted, so that equal choices compare equal

// The entries of the dictionary at `pos`, the reader's own parse left as
// it was.
TDictEntryList EntriesAt(TPdfDocument& doc, int32_t pos) {
    const uint8_t savedFailed = doc.parseFailed;
    TDictEntryList saved = doc.TakeDictEntries();
    doc.SetPos(pos);
    doc.ParseDict();
    TDictEntryList entries = doc.TakeDictEntries();
    doc.dictEntries = std::move(saved);
    doc.parseFailed = savedFailed;
    return entries;
}

bool IsReferenceAt(const std::vector<std::string>& tokens, size_t at) {
    return at + 2 < tokens.size() && tokens[at + 2] == "R";
}

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

class TFormPlanner {
public:
    explicit TFormPlanner(TPdfDocument& doc) : doc_(doc), forms_(doc.formCatalog.forms) {
        variants_.emplace_back();  // 0: unchanged
        CollectChoices();
    }

    TFormPlan Plan() {
        if (choices_.empty()) return {};
        const int32_t pageCount = doc_.pageList.Count();
        std::vector<std::map<int32_t, int32_t>> variantsByPage(static_cast<size_t>(pageCount));
        for (int32_t page = 0; page < pageCount; ++page) {
            if (!choices_.count(page)) continue;  // a page that chose nothing needs the originals
            std::map<int32_t, int32_t>& memo = variantsByPage[static_cast<size_t>(page)];
            for (const auto& [name, pos] : doc_.pageList[static_cast<size_t>(page)].xobjectPositions)
                VariantOf(FormIndexAt(pos), page, 0, memo);
            for (const TAnnotAppearance& appearance : Appearances(page))
                VariantOf(appearance.formIndex, page, 0, memo);
        }
        // Pages that chose nothing reach forms too: they keep the originals.
        for (int32_t page = 0; page < pageCount; ++page) {
            if (choices_.count(page)) continue;
            std::set<int32_t> seen;
            for (const auto& [name, pos] : doc_.pageList[static_cast<size_t>(page)].xobjectPositions)
                MarkReached(FormIndexAt(pos), page, 0, seen);
            for (const TAnnotAppearance& appearance : Appearances(page))
                MarkReached(appearance.formIndex, page, 0, seen);
        }
        NumberVariants();

        TFormPlan plan;
        for (size_t id = 1; id < variants_.size(); ++id) plan.forms.push_back(Rewrite(static_cast<int32_t>(id)));
        std::map<int32_t, std::set<int32_t>> annotTargets;  // annotation -> numbers its pages need
        for (int32_t page = 0; page < pageCount; ++page) {
            const std::map<int32_t, int32_t>& memo = variantsByPage[static_cast<size_t>(page)];
            for (const TAnnotAppearance& appearance : Appearances(page)) {
                const auto found = memo.find(appearance.formIndex);
                const int32_t id = found == memo.end() ? 0 : found->second;
                annotTargets[appearance.annotObjNum].insert(Target(appearance.formIndex, id));
            }
        }
        std::set<int32_t> blockedAnnots;
        for (const auto& [annotObjNum, targets] : annotTargets) {
            if (targets.size() > 1 || !AnnotationOf(annotObjNum)) blockedAnnots.insert(annotObjNum);
        }
        for (int32_t page = 0; page < pageCount; ++page) {
            const std::map<int32_t, int32_t>& memo = variantsByPage[static_cast<size_t>(page)];
            if (memo.empty()) continue;
            std::set<int32_t> applied;  // variants the written page draws
            for (const auto& [name, pos] : doc_.pageList[static_cast<size_t>(page)].xobjectPositions) {
                const int32_t index = FormIndexAt(pos);
                const auto found = memo.find(index);
                if (found == memo.end() || found->second == 0) continue;
                const int32_t target = Target(index, found->second);
                if (target != FormAt(index).objNum) plan.pageRedirects[page][name] = target;
                MarkApplied(found->second, applied);
            }
            for (const TAnnotAppearance& appearance : Appearances(page)) {
                const auto found = memo.find(appearance.formIndex);
                if (found == memo.end() || found->second == 0) continue;
                const int32_t target = Target(appearance.formIndex, found->second);
                const int32_t original = FormAt(appearance.formIndex).objNum;
                if (target != original) {
                    if (blockedAnnots.count(appearance.annotObjNum)) continue;
                    if (redirectedAnnots_.insert(appearance.annotObjNum).second)
                        plan.appearances.push_back(
                            {appearance.annotObjNum, AnnotationOf(appearance.annotObjNum)->gen, original, target});
                }
                MarkApplied(found->second, applied);
            }
            ReportKept(page, applied, plan.keptFonts);
        }
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

    const std::vector<TAnnotAppearance>& Appearances(int32_t page) const {
        static const std::vector<TAnnotAppearance> none;
        const auto& all = doc_.formCatalog.appearances;
        return static_cast<size_t>(page) < all.size() ? all[static_cast<size_t>(page)] : none;
    }

    const TAnnotation* AnnotationOf(int32_t objNum) {
        if (annotations_.empty())
            for (const TPageRecord& page : doc_.pageList)
                for (const TAnnotation& annot : page.annotations)
                    if (annot.isRef) annotations_.emplace(annot.objNum, &annot);
        const auto found = annotations_.find(objNum);
        return found == annotations_.end() ? nullptr : found->second;
    }

    int32_t FormIndexAt(int32_t dictPos) const {
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
            const int32_t savedPos = doc_.GetPos();
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

    void MarkReached(int32_t index, int32_t page, int32_t depth, std::set<int32_t>& seen) {
        if (index < 0 || depth >= kMaxFormDepth || !seen.insert(index).second) return;
        pagesByVariant_[index][0].insert(page);
        for (const auto& [name, pos] : FormAt(index).xobjects) MarkReached(FormIndexAt(pos), page, depth + 1, seen);
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
            const auto& byVariant = pagesByVariant_[index];
            const bool inPlace = byVariant.size() == 1;
            targets_[id] = inPlace ? FormAt(index).objNum : --placeholder;
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

    void MarkApplied(int32_t id, std::set<int32_t>& applied) const {
        if (id == 0 || !applied.insert(id).second) return;
        for (const auto& [name, called] : variants_[static_cast<size_t>(id)].calls) MarkApplied(called, applied);
    }

    // Every font the page chose in a form or appearance that none of the
    // variants it draws replaces.
    void ReportKept(int32_t page, const std::set<int32_t>& applied, std::vector<TKeptFormFont>& kept) const {
        const auto scopes = choices_.find(page);
        if (scopes == choices_.end()) return;
        std::set<std::pair<int32_t, std::string>> replaced;
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
    std::map<int32_t, std::map<int32_t, TChoice>> choices_;  // page -> scope -> choice
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

namespace {

// "<<", the written tokens of the entries of the object `objNumText`, ">>".
std::vector<std::string> InlinedDictionary(TPdfDocument& doc, const std::string& objNumText) {
    std::vector<std::string> tokens{"<<"};
    const auto objNum = TryStrToInt(objNumText);
    if (objNum && doc.FetchObject(*objNum)) {
        for (const TDictEntry& entry : EntriesAt(doc, doc.filePos)) {
            const std::vector<std::string> written = WrittenTokens(doc, entry);
            tokens.insert(tokens.end(), written.begin(), written.end());
        }
    }
    tokens.push_back(">>");
    return tokens;
}

// The entry written with its value, when that is a reference to a
// dictionary, written in place instead.
std::vector<std::string> InlinedEntry(TPdfDocument& doc, const TDictEntry& entry) {
    std::vector<std::string> tokens = WrittenTokens(doc, entry);
    if (!IsReferenceAt(tokens, 1)) return tokens;
    std::vector<std::string> inlined = InlinedDictionary(doc, tokens[1]);
    inlined.insert(inlined.begin(), tokens[0]);
    return inlined;
}

// Where the dictionary an entry names stands: in place, or the body of the
// object it refers to; -1 when it cannot be fetched.
int32_t DictValuePos(TPdfDocument& doc, const TDictEntry& entry) {
    if (!IsReferenceAt(entry.tokens, 1)) return entry.valuePos;
    const auto objNum = TryStrToInt(entry.tokens[1]);
    return objNum && doc.FetchObject(*objNum) ? doc.filePos : -1;
}

// Inside the dictionary that starts at tokens[open] ("<<"), the
// "/Name N G R" entries of its own level named in `redirects` name their
// new numbers.
void RedirectEntries(std::vector<std::string>& tokens, size_t open, const std::map<std::string, int32_t>& redirects) {
    int32_t depth = 0;
    for (size_t k = open; k < tokens.size(); ++k) {
        if (tokens[k] == "<<") ++depth;
        else if (tokens[k] == ">>" && --depth == 0) break;
        const auto redirect = redirects.find(tokens[k]);
        if (depth == 1 && redirect != redirects.end() && IsReferenceAt(tokens, k + 1)) {
            tokens[k + 1] = std::to_string(redirect->second);
            tokens[k + 2] = "0";
        }
    }
}

// The form's stream as it is to be written: the rewritten content packed
// anew, or the bytes as they stand with their filters.
struct TWrittenStream {
    std::vector<uint8_t> bytes;
    bool packedAnew = false;
};

std::optional<TWrittenStream> FormStream(TPdfDocument& doc, const TFormRewrite& rewrite) {
    const TFormRecord& form = doc.formCatalog.forms[static_cast<size_t>(rewrite.formIndex)];
    TWrittenStream stream;
    if (rewrite.replacements.empty()) {
        if (form.streamPos <= 0) return std::nullopt;
        const int32_t savedPos = doc.GetPos();
        doc.SetPos(form.streamPos);
        const bool read = doc.ReadStreamBytes(form.length, stream.bytes);
        doc.SetPos(savedPos);
        if (!read) return std::nullopt;
        return stream;
    }
    const auto content = ReadFormContent(doc, form);
    if (!content) return std::nullopt;
    const std::vector<uint8_t> rewritten = RewriteContent(content->data(), content->size(), rewrite.replacements);
    uLongf packedSize = compressBound(static_cast<uLong>(rewritten.size()));
    stream.bytes.resize(packedSize);
    if (compress2(stream.bytes.data(), &packedSize, rewritten.data(), static_cast<uLong>(rewritten.size()), 9) != Z_OK)
        return std::nullopt;
    stream.bytes.resize(packedSize);
    stream.packedAnew = true;
    return stream;
}

// The entries of `fontRefList` ("/Name N G R ...") for the added fonts the
// rewritten content selects: a copy drawn by one page lists no other
// page's choice.
std::string SelectedFontRefs(const std::string& fontRefList, const TFontReplacements& replacements) {
    std::vector<std::string> tokens;
    for (size_t start = 0; start < fontRefList.size();) {
        const size_t end = std::min(fontRefList.find(' ', start), fontRefList.size());
        if (end > start) tokens.push_back(fontRefList.substr(start, end - start));
        start = end + 1;
    }
    std::set<std::string> selected;
    for (const auto& [oldName, newName] : replacements) selected.insert(newName);
    std::string refs;
    for (size_t k = 0; k + 3 < tokens.size(); k += 4)
        if (selected.count(EscapeContentText(tokens[k])))
            refs += tokens[k] + " " + tokens[k + 1] + " " + tokens[k + 2] + " " + tokens[k + 3] + " ";
    return refs;
}

}  // namespace

std::string RewrittenFormObject(TPdfDocument& doc, const TFormRewrite& rewrite, const std::string& fontRefList) {
    const TFormRecord& form = doc.formCatalog.forms[static_cast<size_t>(rewrite.formIndex)];
    const std::optional<TWrittenStream> stream = FormStream(doc, rewrite);
    if (!stream) return "";

    std::string fonts;
    // The fonts the rewritten content no longer selects are left out, so
    // that the form no longer lists them; not where a form it calls has no
    // resources of its own and still selects them from these.
    bool callsFormsWithoutResources = false;
    for (const auto& [name, pos] : form.xobjects)
        if (const TFormRecord* called = doc.formCatalog.FormAt(pos); called && called->resourcesPos < 0)
            callsFormsWithoutResources = true;
    for (const TDictEntry& entry : EntriesAt(doc, form.fontDictPos))
        if (!entry.tokens.empty() && (callsFormsWithoutResources || !rewrite.replacements.count(entry.tokens[0])))
            fonts += JoinTokens(WrittenTokens(doc, entry)) + " ";
    std::string resources;
    for (const TDictEntry& entry : EntriesAt(doc, form.resourcesPos)) {
        if (entry.tokens.empty()) continue;
        const std::string& key = entry.tokens[0];
        if (key == "/Font" && !rewrite.replacements.empty()) {
            resources += "/Font << " + fonts + SelectedFontRefs(fontRefList, rewrite.replacements) + ">> ";
        } else if (key == "/XObject" && !rewrite.xobjectRedirects.empty()) {
            std::vector<std::string> tokens = InlinedEntry(doc, entry);
            if (tokens.size() > 1 && tokens[1] == "<<") RedirectEntries(tokens, 1, rewrite.xobjectRedirects);
            resources += JoinTokens(tokens) + " ";
        } else {
            resources += JoinTokens(WrittenTokens(doc, entry)) + " ";
        }
    }
    std::string dict;
    for (const TDictEntry& entry : EntriesAt(doc, form.dictPos)) {
        if (entry.tokens.empty()) continue;
        const std::string& key = entry.tokens[0];
        if (key == "/Length") continue;
        if (stream->packedAnew && (key == "/Filter" || key == "/DecodeParms")) continue;
        // A /Filter or /DecodeParms written as a reference still names the
        // old object, which is copied: the raw bytes stay valid.
        if (key == "/Resources") dict += "/Resources << " + resources + ">>\r";
        else dict += JoinTokens(WrittenTokens(doc, entry)) + "\r";
    }
    const size_t size = stream->bytes.size();
    std::string text = std::to_string(rewrite.objNum) + " " + std::to_string(rewrite.gen) + " obj\r<<\r" + dict;
    // The length counts the line feed after the data as well, as for pages.
    text += "/Length " + std::to_string(size + 1) + (stream->packedAnew ? " /Filter /FlateDecode" : "") +
            "\r>>\rstream\n";
    text.append(reinterpret_cast<const char*>(stream->bytes.data()), size);
    text += "\nendstream\rendobj\r";
    return text;
}

std::string RedirectedAnnotationObject(TPdfDocument& doc, const TAppearanceRedirect& redirect) {
    if (!doc.FetchObject(redirect.annotObjNum)) return "";
    const TDictEntryList entries = EntriesAt(doc, doc.filePos);
    if (entries.IsEmpty()) return "";
    const std::string original = std::to_string(redirect.originalObjNum);
    std::string dict;
    for (const TDictEntry& entry : entries) {
        if (entry.tokens.empty()) continue;
        if (entry.tokens[0] != "/AP") {
            dict += JoinTokens(WrittenTokens(doc, entry)) + "\r";
            continue;
        }
        // /AP << ... /N (the form, or << /State form ... >>) ... >>, the
        // normal appearance's references to the original naming the copy.
        std::string ap = "/AP << ";
        const int32_t apPos = DictValuePos(doc, entry);
        if (apPos >= 0) {
            for (const TDictEntry& kind : EntriesAt(doc, apPos)) {
                if (kind.tokens.empty()) continue;
                std::vector<std::string> tokens = InlinedEntry(doc, kind);
                if (kind.tokens[0] == "/N") {
                    for (size_t k = 1; k < tokens.size(); ++k)
                        if (tokens[k] == original && IsReferenceAt(tokens, k)) {
                            tokens[k] = std::to_string(redirect.appearanceObjNum);
                            tokens[k + 1] = "0";
                        }
                }
                ap += JoinTokens(tokens) + " ";
            }
        }
        dict += ap + ">>\r";
    }
    return std::to_string(redirect.annotObjNum) + " " + std::to_string(redirect.annotGen) + " obj\r<<\r" + dict +
           ">>\rendobj\r";
}

std::vector<std::string> RedirectedResourcesTokens(TPdfDocument& doc, const TDictEntry& entry,
                                                   const std::map<std::string, int32_t>& redirects) {
    std::vector<std::string> tokens = InlinedEntry(doc, entry);
    int32_t depth = 0;
    for (size_t i = 1; i < tokens.size(); ++i) {
        if (tokens[i] == "<<") ++depth;
        else if (tokens[i] == ">>") --depth;
        if (depth != 1 || tokens[i] != "/XObject") continue;
        if (IsReferenceAt(tokens, i + 1)) {
            std::vector<std::string> inlined = InlinedDictionary(doc, tokens[i + 1]);
            tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(i + 1), tokens.begin() + static_cast<std::ptrdiff_t>(i + 4));
            tokens.insert(tokens.begin() + static_cast<std::ptrdiff_t>(i + 1), inlined.begin(), inlined.end());
        }
        if (i + 1 < tokens.size() && tokens[i + 1] == "<<") RedirectEntries(tokens, i + 1, redirects);
        break;
    }
    return tokens;
}

std::string KeptFormFontsLine(const std::vector<TKeptFormFont>& kept) {
    std::map<std::string, std::set<int32_t>> pagesByFont;
    for (const TKeptFormFont& font : kept) pagesByFont[font.resName].insert(font.pageIndex + 1);
    std::string line;
    for (const auto& [name, pages] : pagesByFont) {
        std::string list;
        for (int32_t page : pages) list += (list.empty() ? "" : ", ") + std::to_string(page);
        if (!line.empty()) line += " ";
        line += "Die Schrift " + name + (pages.size() == 1 ? " auf Seite " : " auf den Seiten ") + list +
                " wurde in einem Formular oder einer Anmerkung nicht ersetzt, weil sonst auch Seiten ohne diese "
                "Ersetzung verändert würden oder der Inhalt nicht lesbar ist.";
    }
    return line;
}
