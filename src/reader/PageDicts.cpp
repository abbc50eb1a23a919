// The page dictionaries: their entries, resources and annotations, and the
// page loop that reads every page's content once.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <optional>

#include "Lexer.h"
#include "Pages_p.h"
#include "PdfDocument.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

const char* const kIconNames[] = {
    "/Comment", "/Insert", "/Note", "/Paragraph", "/NewParagraph", "/Key", "/Help",
    "/Approved", "/AsIs", "/Confidential", "/Departmental", "/Draft", "/Experimental", "/Expired",
    "/Final", "/ForComment", "/ForPublicRelease", "/NotApproved", "/NotForPublicRelease", "/Sold", "/TopSecret",
};
constexpr int32_t kDefaultIconKind = 2;  // /Note

}  // namespace

namespace {

// Where an annotation is found: by reference, or (dictPos >= 0) as a
// dictionary written into the array itself.
struct TAnnotPlace {
    TPageRef ref;
    TFilePos dictPos = -1;
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
    const TFilePos savedPos = doc.GetPos();
    if (doc.FetchObject(objNum)) {
        if (doc.ReadToken() == "[") refs = ReadRefArray(doc);
        else refs.push_back({objNum, gen});
    }
    doc.SetPos(savedPos);
    return refs;
}

// The annotations of the /Annots array whose "[" stands at `arrayPos`:
// "n g R" references and dictionaries written into the array, which are
// passed over to their matching ">>". Anything else is skipped; the array
// ends at its "]", at "endobj", or after as many tokens as any real page has.
std::vector<TAnnotPlace> AnnotsArray(const TPdfDocument& doc, TFilePos arrayPos) {
    std::vector<TAnnotPlace> places;
    TLexer lexer = doc.SpanAt(arrayPos).LexerAt(arrayPos);
    if (lexer.Next().kind != TTokenKind::ArrayOpen) return places;
    std::string num, gen;  // the two tokens before the current one
    for (int32_t read = 0; read < kMaxArrayRefs && !lexer.AtEnd(); ++read) {
        const TFilePos tokenPos = lexer.Pos();
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
    const TFilePos savedPos = doc.GetPos();
    if (doc.FetchObject(*objNum)) places = AnnotsArray(doc, doc.GetPos());
    doc.SetPos(savedPos);
    return places;
}

void ReadPageEntry(TPdfDocument& doc, TRefArrayCache& cache, TPageRecord& page, const TDictEntry& entry) {
    const auto& tokens = entry.tokens;
    if (tokens.size() < 2) return;
    const std::string& key = tokens[0];
    if (key == "/MediaBox") {
        if (const auto box = ResolvedBox(doc, tokens)) page.mediaBox = BoxFromTokens(doc, *box);
    } else if (key == "/Resources") {
        if (IsDirectValue(tokens)) {
            page.resourcesDictPos = entry.valuePos;
            page.hasResources = 1;
            page.resourcesForm = TValueForm::Direct;
        } else {
            page.resourcesForm = TValueForm::Indirect;
            const TFilePos savedPos = doc.GetPos();
            const auto objNum = TryStrToInt(tokens[1]);
            if (objNum && doc.FetchObject(*objNum)) {
                page.resourcesDictPos = doc.GetPos();
                page.hasResources = 1;
            }
            doc.SetPos(savedPos);
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
            TFilePos& dictPos = isFont ? page.fontDictPos : page.xobjectDictPos;
            uint8_t& found = isFont ? page.hasFonts : page.hasXObjects;
            (isFont ? page.fontsForm : page.xobjectsForm) = FormOf(tokens);
            if (IsDirectValue(tokens)) {
                dictPos = entry.valuePos;
                found = 1;
            } else {
                const TFilePos savedPos = GetPos();
                const auto objNum = TryStrToInt(tokens[1]);
                if (objNum && FetchObject(*objNum)) {
                    dictPos = GetPos();
                    found = 1;
                }
                SetPos(savedPos);
            }
        }
        DiscardEntries();
    }
}

void TPdfDocument::ReadPageLoop() {
    ui_.Progress({TProgressStep::ReadingPages});
    const int32_t pageCount = pageList.Count();
    for (int32_t i = 0; i < pageCount; ++i) {
        if (CancelRequested()) break;
        ui_.Progress({TProgressStep::ReadingPage, int64_t{i} + 1});
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
                const std::array<double, 4> rect = BoxFromTokens(*this, tokens);
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
