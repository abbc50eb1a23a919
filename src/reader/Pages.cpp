// Document information, catalog and page tree (the page dictionaries are
// read in PageDicts.cpp).
#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <unordered_set>

#include "Lexer.h"
#include "PdfDocument.h"
#include "Pages_p.h"

namespace {

// Real page trees have a handful of levels. The walk keeps its own stack, so
// depth cannot exhaust the call stack; a tree deeper than this is damaged or
// hostile and is reported as an invalid file instead of being walked on.
constexpr int32_t kMaxTreeDepth = 256;

// The page objects of the table in file order, for a document whose page
// tree root is lost; other readers show those pages too. The cursor and the
// parsed entries are left as found.
std::vector<TPageRef> PagesByScan(TPdfDocument& doc) {
    std::vector<std::pair<TFilePos, int32_t>> byOffset;  // offset, number
    for (int32_t num = 0; num < doc.ObjCount(); ++num) {
        const TObjEntry& entry = doc.Table()[static_cast<size_t>(num)];
        if (entry.kind == TObjKind::AtOffset && entry.inUse && !entry.structural) byOffset.emplace_back(entry.offset, num);
    }
    std::sort(byOffset.begin(), byOffset.end());
    const TFilePos savedPos = doc.GetPos();
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
        if (isPage) pages.push_back({num, doc.Table()[static_cast<size_t>(num)].generation});
    }
    doc.dictEntries = std::move(saved);
    doc.parseFailed = savedFailed;
    doc.SetPos(savedPos);
    return pages;
}

bool IsInheritableKey(const std::string& key) {
    return std::find(std::begin(kInheritableKeys), std::end(kInheritableKeys), key) != std::end(kInheritableKeys);
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

}  // namespace

// Token i of a value, or "" past its end (which then fails to convert).
const std::string& TokenAt(const std::vector<std::string>& tokens, size_t i) {
    static const std::string empty;
    return i < tokens.size() ? tokens[i] : empty;
}

// [llx lly urx ury] from tokens 3 to 6 of an entry. A short array or a
// non-number is noted with the file, which ends the open as invalid.
std::array<double, 4> BoxFromTokens(TPdfFile& file, const std::vector<std::string>& tokens) {
    std::array<double, 4> box{};
    for (size_t i = 0; i < 4; ++i) {
        const std::string& token = TokenAt(tokens, i + 2);
        if (const auto value = TryStrToFloat(FixDecimalPoint(token))) box[i] = *value;
        else file.NoteBadNumber(TOpenProblemKind::NotANumber, token);
    }
    return box;
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
    const TFilePos saved = doc.GetPos();
    std::vector<std::string> elements;
    const bool direct = tokens[1] == "[";
    if (direct) {
        for (size_t i = 2; i < tokens.size() && tokens[i] != "]"; ++i) elements.push_back(tokens[i]);
    } else if (!IsDirectValue(tokens) && doc.FetchObject(TryStrToInt(tokens[1]).value_or(-1)) &&
               doc.ReadToken() == "[") {
        for (std::string tok; elements.size() < kMaxElements && (tok = doc.ReadToken()) != "]" && tok != "endobj" &&
                              doc.GetPos() <= doc.End();)
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
    doc.SetPos(saved);
    if (!direct && box.size() < 6) return std::nullopt;
    box.push_back("]");
    return box;
}

std::optional<TPageRef> RefFromTokens(const std::string& num, const std::string& gen) {
    const auto objNum = TryStrToInt(num);
    const auto generation = TryStrToInt(gen);
    if (!objNum || !generation) return std::nullopt;
    return TPageRef{*objNum, *generation};
}

// Reads "a b R c d R ... ]" behind an opening "[" at the cursor: a group of
// three tokens per reference, up to "]". Also ends at "endobj", where the
// object ends whatever its brackets say.
std::vector<TPageRef> ReadRefArray(TPdfDocument& doc) {
    std::vector<TPageRef> refs;
    for (int32_t read = 0; read < kMaxArrayRefs && doc.GetPos() < doc.End(); ++read) {
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



std::optional<TInfoDate> FileInfoDate(const TPdfDocument& doc, const std::string& key) {
    if (!doc.infoEntriesValid) return std::nullopt;
    for (const TDictEntry& entry : doc.infoEntries) {
        if (entry.tokens.size() < 2 || entry.tokens[0] != key) continue;
        TInfoDate found;
        found.token = entry.tokens[1];
        found.readable = ParsePdfDate(found.token, found.date, found.time);
        return found;
    }
    return std::nullopt;
}

void TPdfDocument::ReadDocumentInfo() {
    infoEntries = TDictEntryList();
    infoEntriesValid = false;
    if (!FetchObject(infoObjNum)) return;
    ParseDict();
    for (const TDictEntry& entry : dictEntries) {
        const auto& tokens = entry.tokens;
        if (tokens.size() < 2) continue;
        const std::string& key = tokens[0];
        std::string* field = nullptr;
        if (key == "/Producer") field = &info.producer;
        else if (key == "/Creator") field = &info.creator;
        else if (key == "/Author") field = &info.author;
        else if (key == "/Title") field = &info.title;
        else if (key == "/Subject") field = &info.subject;
        else if (key == "/Keywords") field = &info.keywords;
        if (field) {
            *field = TextStringToUtf8(StringTokenBytes(tokens[1]));
        } else if (key == "/CreationDate") {
            info.creationDateRead = ParsePdfDate(tokens[1], info.creationDate, info.creationTime);
        } else if (key == "/ModDate") {
            info.modDateRead = ParsePdfDate(tokens[1], info.modDate, info.modTime);
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
            const auto num = TryStrToInt(tokens[1]);
            const auto gen = TryStrToInt(tokens[2]);
            if (!num || !gen) {
                NoteBadNumber(TOpenProblemKind::NotAnInteger, num ? tokens[2] : tokens[1]);
                break;
            }
            pagesObjNum = *num;
            pagesGen = *gen;
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
            rootMediaBox = BoxFromTokens(*this, *box);
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
        const TFilePos savedPos = GetPos();
        const auto arrayObj = TryStrToInt(tokens[1]);
        if (arrayObj && FetchObject(*arrayObj) && ReadToken() == "[") {
            const std::vector<TPageRef> refs = ReadRefArray(*this);
            kids.insert(kids.end(), refs.begin(), refs.end());
        }
        SetPos(savedPos);
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
        page->annotations = TDynaArray<TAnnotation>();
        page->contentRefs = TDynaArray<TContentRef>();
        page->pageEntries = TDynaArray<TDictEntry>();
        page->inherited = pageInherited[static_cast<size_t>(i)];
        page->mediaBox = rootHasMediaBox ? rootMediaBox : std::array<double, 4>{0, 0, 595, 842};
        page->objNum = ref.objNum;
        page->gen = ref.gen;
        page->resourcesFirstKeyPos = page->fontsFirstKeyPos = page->xobjectsFirstKeyPos = -1;
    }
    ui_.Progress({TProgressStep::PagesFound, pageList.Count()});
}

