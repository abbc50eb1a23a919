// Document information, catalog, page tree, page dictionaries and the page loop.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <optional>
#include <unordered_set>

#include "Lexer.h"
#include "PdfDocument.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Real page trees have a handful of levels. The walk keeps its own stack, so
// depth cannot exhaust the call stack; a tree deeper than this is damaged or
// hostile and is reported as an invalid file instead of being walked on.
constexpr int32_t kMaxTreeDepth = 256;

// Upper bound on the references read from an array object ("[ ... ]") that
// is reached through a reference. A missing "]" would otherwise run through
// the rest of the file (or its filler bytes past the end without end); no
// real page has this many content streams, annotations or kids.
constexpr int32_t kMaxArrayRefs = 200000;

const char* const kIconNames[] = {
    "/Comment", "/Insert", "/Note", "/Paragraph", "/NewParagraph", "/Key", "/Help",
    "/Approved", "/AsIs", "/Confidential", "/Departmental", "/Draft", "/Experimental", "/Expired",
    "/Final", "/ForComment", "/ForPublicRelease", "/NotApproved", "/NotForPublicRelease", "/Sold", "/TopSecret",
};
constexpr int32_t kDefaultIconKind = 2;  // /Note

// Token i of a value, or "" past its end (which then fails to convert).
const std::string& TokenAt(const std::vector<std::string>& tokens, size_t i) {
    static const std::string empty;
    return i < tokens.size() ? tokens[i] : empty;
}

// [llx lly urx ury] from tokens 3 to 6 of an entry. A short array or a
// non-number throws the conversion error that ends the open.
std::array<double, 4> BoxFromTokens(const std::vector<std::string>& tokens) {
    std::array<double, 4> box{};
    for (size_t i = 0; i < 4; ++i) box[i] = StrToFloat(FixDecimalPoint(TokenAt(tokens, i + 2)));
    return box;
}

// The page objects of the table in file order, for a document whose page
// tree root is lost; other readers show those pages too. The cursor and the
// parsed entries are left as found.
std::vector<TPageRef> PagesByScan(TPdfDocument& doc) {
    std::vector<std::pair<int32_t, int32_t>> byOffset;  // offset, number
    for (int32_t num = 0; num < doc.objCount; ++num) {
        const TObjEntry& entry = doc.objTable[static_cast<size_t>(num)];
        if (entry.kind == TObjKind::AtOffset && entry.inUse && !entry.structural) byOffset.emplace_back(entry.offset, num);
    }
    std::sort(byOffset.begin(), byOffset.end());
    const int32_t savedPos = doc.filePos;
    const uint8_t savedFailed = doc.parseFailed;
    TDictEntryList saved = doc.TakeDictEntries();
    std::vector<TPageRef> pages;
    for (const auto& [offset, num] : byOffset) {
        if (!doc.FetchObject(num)) continue;
        doc.ParseDict();
        const bool isPage = std::any_of(doc.dictEntries.begin(), doc.dictEntries.end(), [](const TDictEntry& e) {
            return e.tokens.size() >= 2 && e.tokens[0] == "/Type" && e.tokens[1] == "/Page";
        });
        doc.DiscardEntries();
        if (isPage) pages.push_back({num, doc.objTable[static_cast<size_t>(num)].generation});
    }
    doc.dictEntries = std::move(saved);
    doc.parseFailed = savedFailed;
    doc.filePos = savedPos;
    return pages;
}

bool IsDirectValue(const std::vector<std::string>& tokens) { return tokens.size() < 4 || tokens[3] != "R"; }

// A box entry with its references resolved: "/MediaBox 9 0 R" (the array in
// object 9) and "[0 0 7 0 R 8 0 R]" (numbers in objects) read like the
// direct "[0 0 612 792]". Nothing when a referenced array cannot be read;
// a direct array is passed on as written, so that a broken one still ends
// the open as it always did. The cursor is kept.
std::optional<std::vector<std::string>> ResolvedBox(TPdfDocument& doc, const std::vector<std::string>& tokens) {
    if (tokens.size() < 2) return std::nullopt;
    constexpr size_t kMaxElements = 16;  // 4 values, each perhaps "n g R"
    const int32_t saved = doc.filePos;
    std::vector<std::string> elements;
    const bool direct = tokens[1] == "[";
    if (direct) {
        for (size_t i = 2; i < tokens.size() && tokens[i] != "]"; ++i) elements.push_back(tokens[i]);
    } else if (!IsDirectValue(tokens) && doc.FetchObject(TryStrToInt(tokens[1]).value_or(-1)) &&
               doc.ReadToken() == "[") {
        for (std::string tok; elements.size() < kMaxElements && (tok = doc.ReadToken()) != "]" && tok != "endobj" &&
                              doc.filePos <= doc.fileSize;)
            elements.push_back(tok);
    }
    std::vector<std::string> box{tokens[0], "["};
    for (size_t i = 0; i < elements.size(); ++i) {
        if (i + 2 < elements.size() && elements[i + 2] == "R") {
            const auto num = TryStrToInt(elements[i]);
            box.push_back(num && doc.FetchObject(*num) ? doc.ReadToken() : std::string());
            i += 2;
        } else {
            box.push_back(elements[i]);
        }
    }
    doc.filePos = saved;
    if (!direct && box.size() < 6) return std::nullopt;
    box.push_back("]");
    return box;
}

bool IsInheritableKey(const std::string& key) {
    return std::find(std::begin(kInheritableKeys), std::end(kInheritableKeys), key) != std::end(kInheritableKeys);
}

std::optional<TPageRef> RefFromTokens(const std::string& num, const std::string& gen) {
    const auto objNum = TryStrToInt(num);
    const auto generation = TryStrToInt(gen);
    if (!objNum || !generation) return std::nullopt;
    return TPageRef{*objNum, *generation};
}

bool IsLeapYear(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// "D:YYYYMMDDHHmmSS..." into the date and the time picker; false (and
// nothing changed) when the text is too short, does not convert or names a
// date or time that does not exist. The time zone behind the seconds is
// ignored.
bool ParsePdfDate(const std::string& token, TDateTimeValue& datePicker, TDateTimeValue& timePicker) {
    std::string s = StripParens(token);
    if (s.size() < 3 || s.compare(0, 2, "D:") != 0) return false;
    s.erase(0, 2);
    static const size_t kWidths[6] = {4, 2, 2, 2, 2, 2};
    int32_t values[6];
    size_t at = 0;
    for (size_t field = 0; field < 6; ++field) {
        if (s.size() - at < kWidths[field]) return false;
        const auto value = TryStrToInt(s.substr(at, kWidths[field]));
        if (!value) return false;
        values[field] = *value;
        at += kWidths[field];
    }
    const int32_t year = values[0], month = values[1], day = values[2];
    const int32_t hour = values[3], minute = values[4], second = values[5];
    static const int32_t kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    const int32_t days = kDaysInMonth[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
    if (day > days || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return false;
    datePicker.year = year;
    datePicker.month = month;
    datePicker.day = day;
    timePicker.hour = hour;
    timePicker.minute = minute;
    timePicker.second = second;
    return true;
}

// Appends one reference per group of three tokens (number, generation and an
// unchecked third token) of an inline array "[ a b R c d R ]" whose first
// reference starts at token 3; the count follows the token count the way
// "/Key [ ... ]" spreads over an entry.
template <typename Add>
void ForEachInlineRef(const std::vector<std::string>& tokens, Add add) {
    const size_t groups = (tokens.size() - 4) / 3 + 1;
    for (size_t g = 0; g < groups; ++g) {
        const size_t at = 2 + 3 * g;
        if (at + 1 >= tokens.size()) break;
        if (auto ref = RefFromTokens(tokens[at], tokens[at + 1])) add(*ref);
    }
}

// Reads "a b R c d R ... ]" behind an opening "[" at the cursor: a group of
// three tokens per reference, up to "]". Also ends at "endobj", where the
// object ends whatever its brackets say.
std::vector<TPageRef> ReadRefArray(TPdfDocument& doc) {
    std::vector<TPageRef> refs;
    for (int32_t read = 0; read < kMaxArrayRefs && doc.filePos < doc.fileSize; ++read) {
        const std::string num = doc.ReadToken();
        if (num == "]" || num == "endobj") break;
        const std::string gen = doc.ReadToken();
        if (gen == "]" || gen == "endobj") break;
        const std::string third = doc.ReadToken();
        if (third == "]" || third == "endobj") break;
        if (auto ref = RefFromTokens(num, gen)) refs.push_back(*ref);
    }
    return refs;
}

}  // namespace

void TPdfDocument::ReadDocumentInfo() {
    infoEntries = TDictEntryList(&curDictEntry);
    infoEntriesValid = false;
    if (!FetchObject(infoObjNum)) return;
    ParseDict();
    for (const TDictEntry& entry : dictEntries) {
        const auto& tokens = entry.tokens;
        if (tokens.size() < 2) continue;
        const std::string& key = tokens[0];
        std::string* field = nullptr;
        if (key == "/Producer") field = &Edit1;
        else if (key == "/Creator") field = &Edit2;
        else if (key == "/Author") field = &Edit3;
        else if (key == "/Title") field = &Edit4;
        else if (key == "/Subject") field = &Edit5;
        else if (key == "/Keywords") field = &Edit6;
        if (field) {
            *field = TextStringToUtf8(StringTokenBytes(tokens[1]));
        } else if (key == "/CreationDate") {
            ParsePdfDate(tokens[1], DateTimePicker1, DateTimePicker2);
        } else if (key == "/ModDate") {
            ParsePdfDate(tokens[1], DateTimePicker3, DateTimePicker4);
        }
    }
    infoEntries = TakeDictEntries();
    infoEntriesValid = true;
    ui_.InfoFieldsChanged();
}

bool TPdfDocument::ReadCatalog() {
    if (!FetchObject(rootObjNum)) return false;
    ParseDict();
    for (const TDictEntry& entry : dictEntries) {
        const auto& tokens = entry.tokens;
        if (tokens.size() >= 4 && tokens[0] == "/Pages" && tokens[3] == "R") {
            pagesObjNum = StrToInt(tokens[1]);
            pagesGen = StrToInt(tokens[2]);
            pagesFound = 1;
            break;
        }
    }
    DiscardEntries();
    // No /Pages, or a reference to nothing: ReadPageTree takes the pages the
    // table holds.
    if (!pagesFound || !FetchObject(pagesObjNum)) return true;
    ParseDict();
    for (const TDictEntry& entry : dictEntries) {
        if (entry.tokens.empty() || entry.tokens[0] != "/MediaBox") continue;
        if (const auto box = ResolvedBox(*this, entry.tokens)) {
            rootMediaBox = BoxFromTokens(*box);
            rootHasMediaBox = 1;
        }
    }
    DiscardEntries();
    return true;
}

bool TPdfDocument::CollectKids(std::vector<TPageRef>& kids, std::vector<TDictEntry>* inheritable) {
    const size_t before = kids.size();
    ParseDict();
    for (const TDictEntry& entry : dictEntries) {
        const auto& tokens = entry.tokens;
        if (tokens.size() < 3 || tokens[0] != "/Kids") continue;
        if (tokens[1] == "[") {
            const size_t groups = (tokens.size() - 3) / 3;
            for (size_t g = 0; g < groups; ++g) {
                const size_t at = 2 + 3 * g;
                if (tokens[at + 2] != "R") continue;
                if (auto ref = RefFromTokens(tokens[at], tokens[at + 1])) kids.push_back(*ref);
            }
            continue;
        }
        // /Kids as a reference to an array object.
        const int32_t savedPos = filePos;
        const auto arrayObj = TryStrToInt(tokens[1]);
        if (arrayObj && FetchObject(*arrayObj) && ReadToken() == "[") {
            const std::vector<TPageRef> refs = ReadRefArray(*this);
            kids.insert(kids.end(), refs.begin(), refs.end());
        }
        filePos = savedPos;
    }
    const bool hasKids = kids.size() > before;
    if (inheritable && hasKids)
        for (TDictEntry& entry : dictEntries)
            if (!entry.tokens.empty() && IsInheritableKey(entry.tokens[0])) inheritable->push_back(std::move(entry));
    DiscardEntries();
    return hasKids;
}

namespace {

// The attributes a node passes to its kids: its own inheritable entries,
// and for the keys it lacks those it got from above. A node without any
// passes its parent's set on unchanged, so the pages share one set.
TInheritedEntries NodeAttributes(const std::vector<TDictEntry>& own, const TInheritedEntries& fromAbove) {
    if (own.empty()) return fromAbove;
    std::vector<TDictEntry> merged;
    for (const std::string_view key : kInheritableKeys) {
        auto byKey = [key](const TDictEntry& entry) { return entry.tokens[0] == key; };
        if (auto found = std::find_if(own.begin(), own.end(), byKey); found != own.end()) {
            merged.push_back(*found);
        } else if (fromAbove) {
            auto above = std::find_if(fromAbove->begin(), fromAbove->end(), byKey);
            if (above != fromAbove->end()) merged.push_back(*above);
        }
    }
    return std::make_shared<const std::vector<TDictEntry>>(std::move(merged));
}

}  // namespace

const TDictEntry* EffectiveEntry(const TPageRecord& page, std::string_view key) {
    for (const TDictEntry& entry : page.pageEntries)
        if (!entry.tokens.empty() && entry.tokens[0] == key) return &entry;
    if (page.inherited)
        for (const TDictEntry& entry : *page.inherited)
            if (entry.tokens[0] == key) return &entry;
    return nullptr;
}

bool IsInheritedEntry(const TPageRecord& page, const TDictEntry& entry) {
    return page.inherited && &entry >= page.inherited->data() && &entry < page.inherited->data() + page.inherited->size();
}

namespace {

// Walks the page tree from `kids` (the root's, or the pages a scan found)
// and appends every page it reaches to the document's pageRefs, with what it
// inherits to `pageInherited`. `entered` holds the nodes already walked.
struct TPageTreeWalk {
    TPdfDocument& doc;
    std::unordered_set<int32_t>& entered;
    std::vector<TInheritedEntries>& pageInherited;

    void Run(const std::vector<TPageRef>& startKids, const TInheritedEntries& startAttributes) {
        struct TPending {
            TPageRef ref;
            int32_t depth;
            TInheritedEntries inherited;
        };
        std::vector<TPending> stack;
        for (auto kid = startKids.rbegin(); kid != startKids.rend(); ++kid) stack.push_back({*kid, 1, startAttributes});
        std::vector<TPageRef> kids;
        std::vector<TDictEntry> nodeEntries;
        while (!stack.empty()) {
            TPending pending = std::move(stack.back());
            stack.pop_back();
            if (entered.count(pending.ref.objNum)) continue;
            if (!doc.FetchObject(pending.ref.objNum)) {
                doc.parseFailed = 1;
                AddPage(pending.ref, pending.inherited);
                continue;
            }
            kids.clear();
            nodeEntries.clear();
            if (!doc.CollectKids(kids, &nodeEntries)) {
                AddPage(pending.ref, pending.inherited);
                continue;
            }
            entered.insert(pending.ref.objNum);
            if (pending.depth >= kMaxTreeDepth) {
                doc.parseFailed = 1;
                continue;
            }
            const TInheritedEntries passed = NodeAttributes(nodeEntries, pending.inherited);
            for (auto kid = kids.rbegin(); kid != kids.rend(); ++kid) stack.push_back({*kid, pending.depth + 1, passed});
        }
    }

    void AddPage(const TPageRef& ref, const TInheritedEntries& inherited) {
        *doc.pageRefs.Append() = ref;
        pageInherited.push_back(inherited);
    }
};

}  // namespace

void TPdfDocument::ReadPageTree() {
    // Nodes already entered: a /Kids entry that leads back to one of them
    // (a node listing itself, or a second parent listing it again) is not
    // followed, so each node's kids are taken once.
    std::unordered_set<int32_t> entered{pagesObjNum};
    pageRefs.Clear();
    pagesFromScan = false;
    // What each found page inherits, in the order of pageRefs.
    std::vector<TInheritedEntries> pageInherited;
    TPageTreeWalk walk{*this, entered, pageInherited};
    if (pagesFound && FetchObject(pagesObjNum)) {
        std::vector<TPageRef> kids;
        std::vector<TDictEntry> nodeEntries;
        CollectKids(kids, &nodeEntries);
        walk.Run(kids, NodeAttributes(nodeEntries, nullptr));
    }
    // A catalog without a usable tree (no /Pages, a reference to nothing or
    // to a node without kids): the page objects the table holds, as other
    // readers show them. The written file gets a tree of its own for them.
    // A tree that failed (too deep) stays a failure.
    if (pageRefs.IsEmpty() && !parseFailed) {
        const std::vector<TPageRef> scanned = PagesByScan(*this);
        if (!scanned.empty()) {
            pagesFromScan = true;
            pagesFound = 1;
            // Nothing the pages inherit comes from the object the catalog named.
            rootHasMediaBox = 0;
            // The catalog's /Pages may name one of the pages itself.
            entered.clear();
            walk.Run(scanned, nullptr);
        }
    }
    // Neither a tree nor a page: the file holds no document.
    if (!pagesFound) parseFailed = 1;

    for (int32_t i = 0; i < pageRefs.Count(); ++i) {
        const TPageRef& ref = pageRefs[static_cast<size_t>(i)];
        TPageRecord* page = pageList.Append();
        page->annotations = TDynaArray<TAnnotation>(&curAnnot);
        page->contentRefs = TDynaArray<TContentRef>(&curContentRef);
        page->pageEntries = TDynaArray<TDictEntry>(&curDictEntry);
        page->inherited = pageInherited[static_cast<size_t>(i)];
        page->mediaBox = rootHasMediaBox ? rootMediaBox : std::array<double, 4>{0, 0, 595, 842};
        page->objNum = ref.objNum;
        page->gen = ref.gen;
        page->resourcesFirstKeyPos = page->fontsFirstKeyPos = page->xobjectsFirstKeyPos = -1;
    }
    ui_.AddStatusLine(std::to_string(pageList.Count()) + " Seiten gefunden...");
}

namespace {

// Where an annotation is found: by reference, or (dictPos >= 0) as a
// dictionary written into the array itself.
struct TAnnotPlace {
    TPageRef ref;
    int32_t dictPos = -1;
};

// Referenced /Contents and /Annots arrays by object number, read once per
// open: pages that share one array object do not read it again.
struct TRefArrayCache {
    std::map<int32_t, std::vector<TPageRef>> contents;
    std::map<int32_t, std::vector<TAnnotPlace>> annots;
};

// The references of the /Contents array object `objNum`, or the object
// itself when it is not an array; empty when it cannot be fetched.
const std::vector<TPageRef>& ReferencedContents(TPdfDocument& doc, TRefArrayCache& cache, int32_t objNum, int32_t gen) {
    if (auto found = cache.contents.find(objNum); found != cache.contents.end()) return found->second;
    std::vector<TPageRef>& refs = cache.contents[objNum];
    const int32_t savedPos = doc.filePos;
    if (doc.FetchObject(objNum)) {
        if (doc.ReadToken() == "[") refs = ReadRefArray(doc);
        else refs.push_back({objNum, gen});
    }
    doc.filePos = savedPos;
    return refs;
}

// The annotations of the /Annots array whose "[" stands at `arrayPos`:
// "n g R" references and dictionaries written into the array, which are
// passed over to their matching ">>". Anything else is skipped; the array
// ends at its "]", at "endobj", or after as many tokens as any real page has.
std::vector<TAnnotPlace> AnnotsArray(const TPdfDocument& doc, int32_t arrayPos) {
    std::vector<TAnnotPlace> places;
    TLexer lexer(doc.fileData, doc.fileSize, arrayPos);
    if (lexer.Next().kind != TTokenKind::ArrayOpen) return places;
    std::string num, gen;  // the two tokens before the current one
    for (int32_t read = 0; read < kMaxArrayRefs && !lexer.AtEnd(); ++read) {
        const int32_t tokenPos = lexer.Pos();
        const TToken token = lexer.Next();
        if (token.kind == TTokenKind::ArrayClose || token.kind == TTokenKind::Error || token.text == "endobj") break;
        if (token.kind == TTokenKind::DictOpen) {
            places.push_back({{}, tokenPos});
            for (int32_t depth = 1; depth > 0 && read < kMaxArrayRefs && !lexer.AtEnd(); ++read) {
                const TTokenKind kind = lexer.Next().kind;
                if (kind == TTokenKind::DictOpen) ++depth;
                else if (kind == TTokenKind::DictClose) --depth;
            }
        } else if (token.text == "R") {
            if (auto ref = RefFromTokens(num, gen)) places.push_back({*ref, -1});
        }
        num = std::move(gen);
        gen = token.kind == TTokenKind::Integer ? std::string(token.text) : std::string();
    }
    return places;
}

// The annotations of a page's /Annots entry: an array in the page, or a
// reference to an array object.
std::vector<TAnnotPlace> AnnotsOfEntry(TPdfDocument& doc, TRefArrayCache& cache, const TDictEntry& entry) {
    const auto& tokens = entry.tokens;
    if (tokens[1] == "[") return AnnotsArray(doc, entry.valuePos);
    if (tokens.size() < 4 || tokens[3] != "R") return {};
    const auto objNum = TryStrToInt(tokens[1]);
    if (!objNum) return {};
    if (auto found = cache.annots.find(*objNum); found != cache.annots.end()) return found->second;
    std::vector<TAnnotPlace>& places = cache.annots[*objNum];
    const int32_t savedPos = doc.filePos;
    if (doc.FetchObject(*objNum)) places = AnnotsArray(doc, doc.filePos);
    doc.filePos = savedPos;
    return places;
}

void ReadPageEntry(TPdfDocument& doc, TRefArrayCache& cache, TPageRecord& page, const TDictEntry& entry) {
    const auto& tokens = entry.tokens;
    if (tokens.size() < 2) return;
    const std::string& key = tokens[0];
    if (key == "/MediaBox") {
        if (const auto box = ResolvedBox(doc, tokens)) page.mediaBox = BoxFromTokens(*box);
    } else if (key == "/Resources") {
        if (IsDirectValue(tokens)) {
            page.resourcesDictPos = entry.valuePos;
            page.hasResources = 1;
            page.resourcesForm = TValueForm::Direct;
        } else {
            page.resourcesForm = TValueForm::Indirect;
            const int32_t savedPos = doc.filePos;
            const auto objNum = TryStrToInt(tokens[1]);
            if (objNum && doc.FetchObject(*objNum)) {
                page.resourcesDictPos = doc.filePos;
                page.hasResources = 1;
            }
            doc.filePos = savedPos;
        }
    } else if (key == "/Contents" && tokens.size() >= 4) {
        auto addContent = [&page](const TPageRef& ref) {
            TContentRef* content = page.contentRefs.Append();
            content->objNum = ref.objNum;
            content->gen = ref.gen;
            content->valid = 1;
        };
        if (tokens[1] == "[") {
            ForEachInlineRef(tokens, addContent);
        } else if (tokens[3] == "R") {
            if (auto ref = RefFromTokens(tokens[1], tokens[2]))
                for (const TPageRef& content : ReferencedContents(doc, cache, ref->objNum, ref->gen)) addContent(content);
        }
    } else if (key == "/Annots") {
        for (const TAnnotPlace& place : AnnotsOfEntry(doc, cache, entry)) {
            TAnnotation* annot = page.annotations.Append();
            annot->present = 1;
            annot->objNum = place.ref.objNum;
            annot->gen = place.ref.gen;
            annot->isRef = place.dictPos < 0;
            annot->dictPos = place.dictPos;
            annot->iconKind = kDefaultIconKind;
        }
    }
}

}  // namespace

void TPdfDocument::ReadPageDicts() {
    TRefArrayCache refArrays;
    for (int32_t i = 0; i < pageList.Count(); ++i) {
        TPageRecord& page = *pageList.Select(i);
        if (!FetchObject(page.objNum)) {
            parseFailed = 1;
            continue;
        }
        ParseDict();
        for (const TDictEntry& entry : dictEntries) ReadPageEntry(*this, refArrays, page, entry);
        page.pageEntries = TakeDictEntries();
        if (!page.inherited) continue;
        for (const TDictEntry& entry : *page.inherited)
            if (EffectiveEntry(page, entry.tokens[0]) == &entry) ReadPageEntry(*this, refArrays, page, entry);
    }
}

namespace {

// A /Font or /XObject key counts as present even when its reference cannot
// be fetched: the writer must not give the dictionary a second such key.
TValueForm FormOf(const std::vector<std::string>& tokens) {
    return IsDirectValue(tokens) ? TValueForm::Direct : TValueForm::Indirect;
}

}  // namespace

void TPdfDocument::ReadResources() {
    for (int32_t i = 0; i < pageList.Count(); ++i) {
        TPageRecord& page = *pageList.Select(i);
        if (!page.hasResources) continue;
        SetPos(page.resourcesDictPos);
        ParseDict();
        page.resourcesFirstKeyPos = page.fontsFirstKeyPos = page.xobjectsFirstKeyPos = -1;
        if (!dictEntries.IsEmpty()) page.resourcesFirstKeyPos = dictEntries[0].keyPos;
        for (const TDictEntry& entry : dictEntries) {
            const auto& tokens = entry.tokens;
            if (tokens.size() < 2) continue;
            const bool isFont = tokens[0] == "/Font";
            if (!isFont && tokens[0] != "/XObject") continue;
            int32_t& dictPos = isFont ? page.fontDictPos : page.xobjectDictPos;
            uint8_t& found = isFont ? page.hasFonts : page.hasXObjects;
            (isFont ? page.fontsForm : page.xobjectsForm) = FormOf(tokens);
            if (IsDirectValue(tokens)) {
                dictPos = entry.valuePos;
                found = 1;
            } else {
                const int32_t savedPos = filePos;
                const auto objNum = TryStrToInt(tokens[1]);
                if (objNum && FetchObject(*objNum)) {
                    dictPos = filePos;
                    found = 1;
                }
                filePos = savedPos;
            }
        }
        DiscardEntries();
    }
}

void TPdfDocument::ReadPageLoop() {
    ui_.AddStatusLine("Lese Seiten...");
    const int32_t pageCount = pageList.Count();
    for (int32_t i = 0; i < pageCount; ++i) {
        if (cancelRequested) break;
        ui_.SetStatusLabel("Lese Seite " + std::to_string(i + 1) + "...");
        ui_.PumpMessages();
        ui_.SetProStatus(static_cast<int32_t>(static_cast<int64_t>(i + 1) * 100 / pageCount));

        ReadAnnotations(*pageList.Select(i));

        std::vector<uint8_t> joined;
        auto start = Clock::now();
        const bool readable = ReadPageContent(pageList[static_cast<size_t>(i)], i, joined);
        timings.contentDecode += SecondsSince(start);
        // A page without content may still show its annotations' appearances.
        const bool hasAppearances = static_cast<size_t>(i) < formCatalog.appearances.size() &&
                                    !formCatalog.appearances[static_cast<size_t>(i)].empty();
        if (!readable || (joined.empty() && !hasAppearances)) continue;

        // Read once here to say what cannot be read, and again when the page
        // is shown, its text is needed or it is saved: holding every page's
        // content would cost memory in proportion to the document.
        TPageRecord& page = pageList[static_cast<size_t>(i)];
        page.contentLength = static_cast<int32_t>(joined.size());
        page.hasContent = 1;
    }
    ui_.SetProStatus(0);
}

void TPdfDocument::ReadAnnotations(TPageRecord& page) {
    const double pageTop = page.mediaBox[3];
    page.annotations.Rewind();
    while (page.annotations.Next()) {
        TAnnotation& annot = *page.annotations.current;
        annot.annotKind = 0;
        annot.contents.clear();
        annot.isOpen = 0;
        annot.isFreeText = 0;
        annot.iconKind = kDefaultIconKind;
        if (annot.isRef) {
            if (!FetchObject(annot.objNum)) continue;
        } else {
            SetPos(annot.dictPos);
        }
        ParseDict();
        for (const TDictEntry& entry : dictEntries) {
            const auto& tokens = entry.tokens;
            if (tokens.size() < 2) continue;
            const std::string& key = tokens[0];
            const std::string& value = tokens[1];
            if (key == "/Name") {
                const auto* found = std::find(std::begin(kIconNames), std::end(kIconNames), value);
                if (found != std::end(kIconNames)) annot.iconKind = static_cast<int32_t>(found - std::begin(kIconNames));
            } else if (key == "/Subtype") {
                if (value == "/Text") {
                    annot.annotKind = 1;
                } else if (value == "/FreeText") {
                    annot.annotKind = 2;
                    annot.isFreeText = 1;
                } else if (value == "/Stamp") {
                    annot.annotKind = 3;
                }
            } else if (key == "/Open") {
                std::string upper = value;
                for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
                annot.isOpen = upper == "TRUE";
            } else if (key == "/Contents") {
                annot.contents = StripParens(Unescape(value));
            } else if (key == "/T") {
                annot.title = StripParens(Unescape(value));
            } else if (key == "/Rect" && value == "[") {
                const std::array<double, 4> rect = BoxFromTokens(tokens);
                annot.x1 = rect[0] / 72;
                annot.y1 = (pageTop - rect[1]) / 72;
                annot.x2 = rect[2] / 72;
                annot.y2 = (pageTop - rect[3]) / 72;
                if (annot.y1 > annot.y2) std::swap(annot.y1, annot.y2);
                if (annot.x1 > annot.x2) std::swap(annot.x1, annot.x2);
            }
        }
        DiscardEntries();
    }
}
