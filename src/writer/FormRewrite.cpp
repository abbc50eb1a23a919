#include "FormRewrite.h"

#include <zlib.h>

#include <set>

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

// The name a page's /XObject dictionary gives the form at `dictPos`.
const std::string* PageLevelName(const TPageRecord& page, int32_t dictPos) {
    for (const auto& [name, pos] : page.xobjectPositions)
        if (pos == dictPos) return &name;
    return nullptr;
}

}  // namespace

std::vector<TFormRewrite> FormRewritesWithoutNumbers(TPdfDocument& doc) {
    const std::unordered_map<int32_t, std::string> names = ReplacementNames(doc);
    std::map<int32_t, std::map<int32_t, TChoice>> choices;  // scope -> page -> choice
    std::map<int32_t, std::set<int32_t>> pagesOfScope;
    for (int32_t i = 0; i < doc.fontList.Count(); ++i) {
        const TFontRecord& font = doc.fontList[static_cast<size_t>(i)];
        if (font.hidden || font.scopePos < 0) continue;
        pagesOfScope[font.scopePos].insert(font.pageIndex);
        const auto name = names.find(i);
        if (name == names.end() || name->second == EscapeContentText(font.resName)) continue;
        choices[font.scopePos][font.pageIndex].emplace(font.resName, name->second);
    }
    std::vector<TFormRewrite> rewrites;
    const auto& forms = doc.formCatalog.forms;
    for (int32_t f = 0; f < static_cast<int32_t>(forms.size()); ++f) {
        const TFormRecord& form = forms[static_cast<size_t>(f)];
        const auto scope = choices.find(form.resourcesPos);
        if (!form.isForm || form.objNum <= 0 || scope == choices.end() || !ReadFormContent(doc, form)) continue;
        std::map<TChoice, std::vector<int32_t>> pagesByChoice;
        for (int32_t page : pagesOfScope[form.resourcesPos]) {
            const auto chosen = scope->second.find(page);
            pagesByChoice[chosen == scope->second.end() ? TChoice{} : chosen->second].push_back(page);
        }
        bool pageLevel = pagesByChoice.size() > 1;
        for (const auto& [choice, pages] : pagesByChoice)
            for (int32_t page : pages)
                if (!PageLevelName(doc.pageList[static_cast<size_t>(page)], form.dictPos)) pageLevel = false;
        for (const auto& [choice, pages] : pagesByChoice) {
            if (choice.empty()) continue;
            TFormRewrite rewrite;
            rewrite.formIndex = f;
            rewrite.replacements.insert(choice.begin(), choice.end());
            if (pageLevel) {
                rewrite.pages = pages;
                rewrite.resName = *PageLevelName(doc.pageList[static_cast<size_t>(pages.front())], form.dictPos);
            } else {
                // One choice for all its pages, or a form inside another
                // form: rewritten where it stands, with the first choice.
                rewrite.objNum = form.objNum;
                rewrite.gen = form.gen;
            }
            rewrites.push_back(std::move(rewrite));
            if (!pageLevel) break;
        }
    }
    return rewrites;
}

std::string RewrittenFormObject(TPdfDocument& doc, const TFormRewrite& rewrite, const std::string& fontRefList) {
    const TFormRecord& form = doc.formCatalog.forms[static_cast<size_t>(rewrite.formIndex)];
    const auto content = ReadFormContent(doc, form);
    if (!content) return "";
    const std::vector<uint8_t> rewritten = RewriteContent(content->data(), content->size(), rewrite.replacements);
    uLongf packedSize = compressBound(static_cast<uLong>(rewritten.size()));
    std::vector<Bytef> packed(packedSize);
    if (compress2(packed.data(), &packedSize, rewritten.data(), static_cast<uLong>(rewritten.size()), 9) != Z_OK)
        return "";

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
        if (entry.tokens[0] == "/Font") resources += "/Font << " + fonts + fontRefList + " >> ";
        else resources += JoinTokens(WrittenTokens(doc, entry)) + " ";
    }
    std::string dict;
    for (const TDictEntry& entry : EntriesAt(doc, form.dictPos)) {
        if (entry.tokens.empty()) continue;
        const std::string& key = entry.tokens[0];
        if (key == "/Length" || key == "/Filter" || key == "/DecodeParms") continue;
        if (key == "/Resources") dict += "/Resources << " + resources + ">>\r";
        else dict += JoinTokens(WrittenTokens(doc, entry)) + "\r";
    }
    std::string text = std::to_string(rewrite.objNum) + " " + std::to_string(rewrite.gen) + " obj\r<<\r" + dict;
    // The length counts the line feed after the data as well, as for pages.
    text += "/Length " + std::to_string(packedSize + 1) + " /Filter /FlateDecode\r>>\rstream\n";
    text.append(reinterpret_cast<const char*>(packed.data()), packedSize);
    text += "\nendstream\rendobj\r";
    return text;
}

std::map<int32_t, std::map<std::string, int32_t>> RedirectedXObjects(const std::vector<TFormRewrite>& rewrites) {
    std::map<int32_t, std::map<std::string, int32_t>> byPage;
    for (const TFormRewrite& rewrite : rewrites)
        for (int32_t page : rewrite.pages) byPage[page][rewrite.resName] = rewrite.objNum;
    return byPage;
}

namespace {

bool IsReferenceAt(const std::vector<std::string>& tokens, size_t at) {
    return at + 2 < tokens.size() && tokens[at + 2] == "R";
}

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

}  // namespace

std::vector<std::string> RedirectedResourcesTokens(TPdfDocument& doc, const TDictEntry& entry,
                                                   const std::map<std::string, int32_t>& redirects) {
    std::vector<std::string> tokens = WrittenTokens(doc, entry);
    if (IsReferenceAt(tokens, 1)) {
        std::vector<std::string> inlined = InlinedDictionary(doc, tokens[1]);
        tokens.assign(1, "/Resources");
        tokens.insert(tokens.end(), inlined.begin(), inlined.end());
    }
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
        // Inside the /XObject dictionary: "/Name N G R" entries.
        int32_t inner = 0;
        for (size_t k = i + 1; k < tokens.size(); ++k) {
            if (tokens[k] == "<<") ++inner;
            else if (tokens[k] == ">>" && --inner == 0) break;
            const auto redirect = redirects.find(tokens[k]);
            if (inner == 1 && redirect != redirects.end() && IsReferenceAt(tokens, k + 1)) {
                tokens[k + 1] = std::to_string(redirect->second);
                tokens[k + 2] = "0";
            }
        }
        break;
    }
    return tokens;
}
