// Writing the forms, annotations and page resources a form plan asks for.
#include "FormRewrite.h"

#include <zlib.h>

#include <algorithm>
#include <optional>
#include <set>

#include "WriterParts_p.h"

TDictEntryList EntriesAt(TPdfDocument& doc, TFilePos pos) {
    TKeptParseState kept(doc);
    doc.SetPos(pos);
    doc.ParseDict();
    return doc.TakeDictEntries();
}

TFilePos DictValuePos(TPdfDocument& doc, const TDictEntry& entry) {
    const auto& tokens = entry.tokens;
    if (tokens.size() < 4 || tokens[3] != "R") return entry.valuePos;
    const auto objNum = TryStrToInt(tokens[1]);
    return objNum && doc.FetchObject(*objNum) ? doc.GetPos() : -1;
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
        for (const TDictEntry& entry : EntriesAt(doc, doc.GetPos())) {
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
        const TFilePos savedPos = doc.GetPos();
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
    const TDictEntryList entries = EntriesAt(doc, doc.GetPos());
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
        const TFilePos apPos = DictValuePos(doc, entry);
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

