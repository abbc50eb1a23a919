// The forms and annotation appearances a page may draw, and their fonts.
//
// A page lists every font of the resources it can reach: its own /Font
// dictionary (CollectFonts), and those of each form XObject or tiling
// pattern in its resources, of the forms inside those, and of the normal
// appearance of each annotation. Other readers list the same, whether the
// content draws the form or not. Each /Resources dictionary is listed once
// per page, so a form drawn by another form, or two forms sharing their
// resources, do not give a font twice.
#include <map>
#include <optional>
#include <tuple>
#include <unordered_set>

#include "Charsets.h"
#include "PdfDocument.h"

namespace {

bool IsReference(const std::vector<std::string>& tokens) { return tokens.size() >= 4 && tokens[3] == "R"; }

// A dictionary parsed away from the reader's own state: the cursor, the
// parsed entries and the failure flag stay as they were.
struct TParsedDict {
    TDictEntryList entries{nullptr};
    bool isStream = false;  // "stream" follows the dictionary
    TFilePos endPos = 0;     // behind ">>"
};

TParsedDict DictAt(TPdfDocument& doc, TFilePos pos) {
    const TFilePos savedPos = doc.GetPos();
    const uint8_t savedFailed = doc.parseFailed;
    TDictEntryList saved = doc.TakeDictEntries();
    TParsedDict parsed;
    doc.SetPos(pos);
    doc.ParseDict();
    if (!doc.parseFailed) {
        parsed.endPos = doc.GetPos();
        parsed.isStream = doc.MatchAt("stream");
    }
    parsed.entries = doc.TakeDictEntries();
    doc.dictEntries = std::move(saved);
    doc.parseFailed = savedFailed;
    doc.SetPos(savedPos);
    return parsed;
}

// Where an entry's value stands: in place, or the body of the object it
// refers to; nothing for a reference that cannot be fetched.
std::optional<TFilePos> ValuePos(TPdfDocument& doc, const TDictEntry& entry) {
    if (entry.tokens.size() < 2) return std::nullopt;
    if (!IsReference(entry.tokens)) return entry.valuePos;
    const TFilePos savedPos = doc.GetPos();
    std::optional<TFilePos> pos;
    const auto objNum = TryStrToInt(entry.tokens[1]);
    if (objNum && doc.FetchObject(*objNum)) pos = doc.GetPos();
    doc.SetPos(savedPos);
    return pos;
}

struct TNamedValue {
    std::string name;
    TFilePos pos = 0;
    int32_t objNum = 0;
    int32_t gen = 0;
};

// The entries of the dictionary at `pos` whose values can be found.
std::vector<TNamedValue> NamedValues(TPdfDocument& doc, TFilePos pos) {
    std::vector<TNamedValue> values;
    if (pos < 0) return values;
    const TParsedDict dict = DictAt(doc, pos);
    for (const TDictEntry& entry : dict.entries) {
        const auto at = ValuePos(doc, entry);
        if (!at) continue;
        TNamedValue value{entry.tokens[0], *at, 0, 0};
        if (IsReference(entry.tokens)) {
            value.objNum = TryStrToInt(entry.tokens[1]).value_or(0);
            value.gen = TryStrToInt(entry.tokens[2]).value_or(0);
        }
        values.push_back(std::move(value));
    }
    return values;
}

// "[ n1 ... nN ]" written in place; nothing when short or not numbers.
template <size_t N>
std::optional<std::array<double, N>> NumberArray(const std::vector<std::string>& tokens) {
    if (tokens.size() < N + 3 || tokens[1] != "[") return std::nullopt;
    std::array<double, N> values{};
    for (size_t i = 0; i < N; ++i) {
        const auto value = TryStrToFloat(FixDecimalPoint(tokens[i + 2]));
        if (!value) return std::nullopt;
        values[i] = *value;
    }
    return values;
}

std::optional<TFilePos> NumberValue(TPdfDocument& doc, const TDictEntry& entry) {
    if (entry.tokens.size() < 2) return std::nullopt;
    if (!IsReference(entry.tokens)) return TryStrToPos(entry.tokens[1]);
    const TFilePos savedPos = doc.GetPos();
    std::optional<TFilePos> value;
    const auto objNum = TryStrToInt(entry.tokens[1]);
    if (objNum && doc.FetchObject(*objNum)) value = TryStrToPos(doc.ReadToken());
    doc.SetPos(savedPos);
    return value;
}

}  // namespace

TResourceParts ReadResourceParts(TPdfDocument& doc, TFilePos resourcesPos) {
    TResourceParts parts;
    const TParsedDict dict = DictAt(doc, resourcesPos);
    for (const TDictEntry& entry : dict.entries) {
        if (entry.tokens.size() < 2) continue;
        const std::string& key = entry.tokens[0];
        if (key != "/Font" && key != "/XObject" && key != "/Pattern") continue;
        const auto pos = ValuePos(doc, entry);
        if (!pos) continue;
        if (key == "/Font") {
            parts.fontDictPos = *pos;
            continue;
        }
        auto& list = key == "/XObject" ? parts.xobjects : parts.patterns;
        for (TNamedValue& value : NamedValues(doc, *pos)) {
            if (value.objNum > 0) doc.formCatalog.refByDictPos.emplace(value.pos, std::make_pair(value.objNum, value.gen));
            list.emplace_back(std::move(value.name), value.pos);
        }
    }
    return parts;
}

std::vector<std::pair<std::string, TFilePos>> DictValuePositions(TPdfDocument& doc, TFilePos dictPos) {
    std::vector<std::pair<std::string, TFilePos>> positions;
    for (TNamedValue& value : NamedValues(doc, dictPos)) positions.emplace_back(std::move(value.name), value.pos);
    return positions;
}

std::optional<TFormRecord> ReadFormRecord(TPdfDocument& doc, TFilePos dictPos) {
    const TParsedDict dict = DictAt(doc, dictPos);
    if (dict.endPos == 0) return std::nullopt;
    TFormRecord form;
    form.dictPos = dictPos;
    form.streamPos = dict.isStream ? dict.endPos : 0;
    for (const TDictEntry& entry : dict.entries) {
        const auto& tokens = entry.tokens;
        if (tokens.size() < 2) continue;
        const std::string& key = tokens[0];
        if (key == "/Subtype") {
            form.isForm = tokens[1] == "/Form" && dict.isStream;
        } else if (key == "/Matrix") {
            if (const auto matrix = NumberArray<6>(tokens)) form.matrix = *matrix;
        } else if (key == "/BBox") {
            if (const auto box = NumberArray<4>(tokens)) {
                form.bbox = *box;
                form.hasBBox = true;
            }
        } else if (key == "/Resources") {
            if (const auto pos = ValuePos(doc, entry)) form.resourcesPos = *pos;
        } else if (key == "/Length") {
            form.length = NumberValue(doc, entry).value_or(-1);
        } else if (key == "/Filter") {
            form.filters = doc.FilterNames(entry);
        } else if (key == "/DecodeParms") {
            form.predictor = ReadPredictorParms(tokens);
        }
    }
    if (form.resourcesPos >= 0) {
        TResourceParts parts = ReadResourceParts(doc, form.resourcesPos);
        form.fontDictPos = parts.fontDictPos;
        form.xobjects = std::move(parts.xobjects);
        form.patterns = std::move(parts.patterns);
    }
    return form;
}

namespace {

// The form at `dictPos`, read on first use; -1 when no dictionary is there.
int32_t FormIndex(TPdfDocument& doc, TFilePos dictPos, int32_t objNum, int32_t gen) {
    TFormCatalog& catalog = doc.formCatalog;
    if (const auto found = catalog.byDictPos.find(dictPos); found != catalog.byDictPos.end()) {
        if (found->second < 0) return -1;  // looked at before: no dictionary there
        TFormRecord& known = catalog.forms[static_cast<size_t>(found->second)];
        if (known.objNum == 0 && objNum > 0) known.objNum = objNum, known.gen = gen;
        return found->second;
    }
    std::optional<TFormRecord> read = ReadFormRecord(doc, dictPos);
    if (!read) {
        catalog.byDictPos.emplace(dictPos, -1);
        return -1;
    }
    TFormRecord form = std::move(*read);
    form.objNum = objNum;
    form.gen = gen;
    if (const auto ref = catalog.refByDictPos.find(dictPos); objNum <= 0 && ref != catalog.refByDictPos.end())
        std::tie(form.objNum, form.gen) = ref->second;
    const auto index = static_cast<int32_t>(catalog.forms.size());
    catalog.forms.push_back(std::move(form));
    catalog.byDictPos.emplace(dictPos, index);
    return index;
}

// A font a page reaches through a form or an appearance, before it becomes
// a record of that page.
struct TReachedFont {
    std::string resName;
    TFilePos fontDictPos = 0;
    TFilePos scopePos = -1;
    TFontUse use = TFontUse::Form;
    std::string usedBy;
};

class TFontReach {
public:
    TFontReach(TPdfDocument& doc, TFilePos pageResourcesPos) : doc_(doc) {
        if (pageResourcesPos >= 0) visitedResources_.insert(pageResourcesPos);
    }

    void WalkEntries(const std::vector<std::pair<std::string, TFilePos>>& entries, TFontUse use,
                     const std::string& usedBy, int32_t depth) {
        for (const auto& [name, pos] : entries) {
            if (!visitedForms_.insert(pos).second) continue;
            const int32_t index = FormIndex(doc_, pos, 0, 0);
            if (index >= 0) WalkForm(index, use, use == TFontUse::Form ? name : usedBy, depth);
        }
    }

    void WalkForm(int32_t index, TFontUse use, const std::string& usedBy, int32_t depth) {
        // Copied: reading nested forms may grow the catalog.
        const TFormRecord form = doc_.formCatalog.forms[static_cast<size_t>(index)];
        if (form.resourcesPos < 0 || !visitedResources_.insert(form.resourcesPos).second) return;
        for (const TNamedValue& font : NamedValues(doc_, form.fontDictPos))
            fonts_.push_back({font.name, font.pos, form.resourcesPos, use, usedBy});
        if (depth + 1 >= kMaxFormDepth) return;
        WalkEntries(form.xobjects, use, usedBy, depth + 1);
        WalkEntries(form.patterns, use, usedBy, depth + 1);
    }

    void MarkVisited(TFilePos resourcesPos) { visitedResources_.insert(resourcesPos); }
    std::vector<TReachedFont> Take() { return std::move(fonts_); }

private:
    TPdfDocument& doc_;
    std::unordered_set<TFilePos> visitedResources_;
    std::unordered_set<TFilePos> visitedForms_;
    std::vector<TReachedFont> fonts_;
};

// The normal appearance of the annotation whose dictionary is `annotDict`:
// /AP /N, a form, or a dictionary of states of which /AS names one.
std::optional<TAnnotAppearance> ReadAppearance(TPdfDocument& doc, const TDictEntryList& annotDict) {
    TAnnotAppearance appearance;
    std::optional<TFilePos> apPos;
    std::string state;
    for (const TDictEntry& entry : annotDict) {
        const auto& tokens = entry.tokens;
        if (tokens.size() < 2) continue;
        if (tokens[0] == "/AP") apPos = ValuePos(doc, entry);
        else if (tokens[0] == "/AS") state = tokens[1];
        else if (tokens[0] == "/F") appearance.hidden = (TryStrToInt(tokens[1]).value_or(0) & (2 | 32)) != 0;
        else if (tokens[0] == "/Rect")
            if (const auto rect = NumberArray<4>(tokens)) appearance.rect = *rect;
    }
    if (!apPos) return std::nullopt;
    std::optional<TNamedValue> normal;
    for (TNamedValue& value : NamedValues(doc, *apPos))
        if (value.name == "/N") normal = std::move(value);
    if (!normal) return std::nullopt;
    TParsedDict n = DictAt(doc, normal->pos);
    if (!n.isStream) {
        // A dictionary of states: without /AS, nothing is shown.
        if (state.empty()) return std::nullopt;
        std::optional<TNamedValue> chosen;
        for (TNamedValue& value : NamedValues(doc, normal->pos))
            if (value.name == state) chosen = std::move(value);
        if (!chosen) return std::nullopt;
        normal = std::move(chosen);
    }
    appearance.formIndex = FormIndex(doc, normal->pos, normal->objNum, normal->gen);
    if (appearance.formIndex < 0 || !doc.formCatalog.forms[static_cast<size_t>(appearance.formIndex)].isForm)
        return std::nullopt;
    return appearance;
}

}  // namespace

std::array<double, 6> AppearanceMatrix(const TFormRecord& form, const std::array<double, 4>& rect) {
    const auto& m = form.matrix;
    const auto& b = form.bbox;
    // The corners of the box under the matrix, and their bounds.
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (int corner = 0; corner < 4; ++corner) {
        const double x = b[corner & 1 ? 2 : 0], y = b[corner & 2 ? 3 : 1];
        const double tx = m[0] * x + m[2] * y + m[4], ty = m[1] * x + m[3] * y + m[5];
        if (corner == 0 || tx < minX) minX = tx;
        if (corner == 0 || tx > maxX) maxX = tx;
        if (corner == 0 || ty < minY) minY = ty;
        if (corner == 0 || ty > maxY) maxY = ty;
    }
    const double rectW = rect[2] - rect[0], rectH = rect[3] - rect[1];
    // An empty box gives no scale to fit; the appearance is placed unscaled.
    const double sx = maxX - minX > 0 ? rectW / (maxX - minX) : 1.0;
    const double sy = maxY - minY > 0 ? rectH / (maxY - minY) : 1.0;
    const double ex = rect[0] - minX * sx, ey = rect[1] - minY * sy;
    // matrix × [sx 0 0 sy ex ey]
    return {m[0] * sx, m[1] * sy, m[2] * sx, m[3] * sy, m[4] * sx + ex, m[5] * sy + ey};
}

std::optional<std::vector<uint8_t>> ReadFormContent(TPdfDocument& doc, const TFormRecord& form) {
    if (form.streamPos <= 0) return std::nullopt;
    std::vector<uint8_t> data;
    const TFilePos savedPos = doc.GetPos();
    doc.SetPos(form.streamPos);
    const bool read = doc.ReadStreamBytes(form.length, data);
    doc.SetPos(savedPos);
    if (!read) return std::nullopt;
    if (form.filters.empty() || data.empty()) return data;
    try {
        if (DecodeFilters(form.filters, form.predictor, data).unsupported) return std::nullopt;
    } catch (const TDecodeError&) {
        return std::nullopt;
    }
    return data;
}

void TPdfDocument::CollectFormFonts() {
    formCatalog.appearances.assign(static_cast<size_t>(pageList.Count()), {});
    // Pages that share their resources reach the same forms: walked once.
    std::map<TFilePos, std::vector<TReachedFont>> reachedByResources;
    int32_t added = 0;
    for (int32_t i = 0; i < pageList.Count(); ++i) {
        if (CancelRequested()) break;
        ReleaseWhileWalking(i, kObjectsPerRelease);
        TPageRecord& page = pageList[static_cast<size_t>(i)];
        const TFilePos resourcesPos = page.hasResources ? page.resourcesDictPos : -1;
        std::vector<TReachedFont> reached;
        if (resourcesPos >= 0) {
            auto found = reachedByResources.find(resourcesPos);
            if (found == reachedByResources.end()) {
                TFontReach reach(*this, resourcesPos);
                const TResourceParts parts = ReadResourceParts(*this, resourcesPos);
                reach.WalkEntries(parts.xobjects, TFontUse::Form, "", 0);
                reach.WalkEntries(parts.patterns, TFontUse::Form, "", 0);
                found = reachedByResources.emplace(resourcesPos, reach.Take()).first;
            }
            reached = found->second;
        }
        TFontReach annotReach(*this, resourcesPos);
        for (const TReachedFont& font : reached) annotReach.MarkVisited(font.scopePos);
        auto& appearances = formCatalog.appearances[static_cast<size_t>(i)];
        for (const TAnnotation& annot : page.annotations) {
            if (!annot.isRef || !FetchObject(annot.objNum)) continue;
            const TParsedDict dict = DictAt(*this, GetPos());
            auto appearance = ReadAppearance(*this, dict.entries);
            if (!appearance) continue;
            appearance->annotObjNum = annot.objNum;
            appearances.push_back(*appearance);
            annotReach.WalkForm(appearance->formIndex, TFontUse::Annotation, std::to_string(annot.objNum), 0);
        }
        for (const std::vector<TReachedFont>& list : {reached, annotReach.Take()}) {
            for (const TReachedFont& reachedFont : list) {
                TFontRecord& font = *fontList.Append();
                font.pageIndex = i;
                font.encoding = kPDFDocEncoding;
                font.bboxWidth = font.bboxHeight = 1.0;
                font.resName = reachedFont.resName;
                font.fontDictPos = reachedFont.fontDictPos;
                font.scopePos = reachedFont.scopePos;
                font.use = reachedFont.use;
                font.usedBy = reachedFont.usedBy;
                ++added;
            }
        }
    }
    if (added > 0) ui_.Progress({TProgressStep::FormFontsFound, added});
    CollectFormDefaultFonts();
}

void TPdfDocument::CollectFormDefaultFonts() {
    if (!rootFound || CancelRequested()) return;
    const TFilePos savedPos = GetPos();
    std::optional<TFilePos> defaultsPos;
    if (FetchObject(rootObjNum)) {
        for (const auto& [key, acroFormPos] : DictValuePositions(*this, GetPos())) {
            if (key != "/AcroForm") continue;
            for (const auto& [formKey, pos] : DictValuePositions(*this, acroFormPos))
                if (formKey == "/DR") defaultsPos = pos;
        }
    }
    SetPos(savedPos);
    if (!defaultsPos) return;
    const TFilePos fontDictPos = ReadResourceParts(*this, *defaultsPos).fontDictPos;
    for (const auto& [name, pos] : DictValuePositions(*this, fontDictPos)) {
        TFontRecord& font = *fontList.Append();
        font.pageIndex = -1;
        font.encoding = kPDFDocEncoding;
        font.bboxWidth = font.bboxHeight = 1.0;
        font.resName = name;
        font.fontDictPos = pos;
        font.scopePos = *defaultsPos;
        font.use = TFontUse::FormDefaults;
    }
}
