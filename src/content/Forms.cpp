// "Do", form XObjects and annotation appearances.
//
// A form runs its content in place of "Do" as if between "q" and "Q", with
// its /Matrix applied and its own resources (its caller's when it has
// none). What it draws joins the page's items; the items of a form span the
// "Do" that drew it on the page, so that marking them marks the call.
#include <algorithm>

#include "Interpreter_p.h"

namespace {

// The text and graphics state a form may change and "Q" after it restores.
struct TFormFrame {
    std::vector<std::string> operands;
    std::vector<int32_t> tokenPositions;
    size_t saveDepth = 0;
    int64_t unsavedDepth = 0;
    bool inTextObject = false;
    TMatrix textMatrix;
    double lineAdvance = 0, columnAdvance = 0, textFontSize = 1.0, leading = 0, charSpacing = 0, wordSpacing = 0;
    std::string fontResName;
    TFilePos fontScope = -1;
    const std::vector<std::pair<std::string, TFilePos>>* xobjects = nullptr;
};

}  // namespace

// The page's own /XObject entry names the picture (scans often call every
// page's picture "/Im0"); without one, the first record with the name wins,
// whichever page it belongs to. Inside a form only the form's own entry
// counts: the image list knows the pages' pictures only.
int32_t TContentInterpreter::ImagePosition(const std::string& name, TFilePos objectPos) {
    int32_t firstByName = -1;
    for (int32_t i = 0; i < doc_.imageList.Count(); ++i) {
        const TImageRecord& image = doc_.imageList[static_cast<size_t>(i)];
        if (image.resName != name) continue;
        if (image.objectPos == objectPos) return i;
        if (firstByName < 0) firstByName = i;
    }
    return formXObjects_ ? -1 : firstByName;
}

void TContentInterpreter::InvokeXObject() {
    if (!Has(2)) return;
    const std::string& name = Operand(2);
    TFilePos objectPos = -1;
    if (formXObjects_) {
        for (const auto& [entryName, pos] : *formXObjects_)
            if (entryName == name) objectPos = pos;
        if (const TFormRecord* form = doc_.formCatalog.FormAt(objectPos); form && form->isForm) {
            DrawForm(*form, form->matrix);
            return;
        }
        const int32_t position = ImagePosition(name, objectPos);
        if (position >= 0) PlaceImage(position);
        return;
    }
    // Page level: the answer for a name is cached; forms as -2 - index.
    auto found = imageIndex_.find(name);
    if (found == imageIndex_.end()) {
        if (pageNo_ >= 1 && pageNo_ <= doc_.pageList.Count()) {
            for (const auto& [entryName, pos] : doc_.pageList[static_cast<size_t>(pageNo_ - 1)].xobjectPositions) {
                if (entryName == name) {
                    objectPos = pos;
                    break;
                }
            }
        }
        int32_t answer = -1;
        const auto form = doc_.formCatalog.byDictPos.find(objectPos);
        if (objectPos >= 0 && form != doc_.formCatalog.byDictPos.end() && form->second >= 0 &&
            doc_.formCatalog.forms[static_cast<size_t>(form->second)].isForm)
            answer = -2 - form->second;
        else
            answer = ImagePosition(name, objectPos);
        found = imageIndex_.emplace(name, answer).first;
    }
    const int32_t answer = found->second;
    if (answer <= -2) {
        const TFormRecord& form = doc_.formCatalog.forms[static_cast<size_t>(-2 - answer)];
        DrawForm(form, form.matrix);
    } else if (answer >= 0 && answer < doc_.imageList.Count()) {
        PlaceImage(answer);
    }
}

// A form's decoded content, read once per page; null when it cannot be read.
const std::vector<uint8_t>* TContentInterpreter::FormContent(const TFormRecord& form) {
    if (const auto found = formContents_.find(form.dictPos); found != formContents_.end()) return &found->second;
    std::optional<std::vector<uint8_t>> data = ReadFormContent(doc_, form);
    if (!data) {
        ui_.Notice(TNotice(TNoticeKind::FormUnreadable, pageNo_));
        data.emplace();
    }
    return &formContents_.emplace(form.dictPos, std::move(*data)).first->second;
}

// Each call runs the whole form again: a page that draws a large form
// thousands of times, or forms that call each other in a tree, would
// otherwise take any time the file asks for. The bytes run are paid for
// from a budget per page, like the items.
void TContentInterpreter::DrawForm(const TFormRecord& form, const std::array<double, 6>& matrix) {
    if (static_cast<int32_t>(formStack_.size()) >= kMaxFormDepth ||
        std::find(formStack_.begin(), formStack_.end(), form.dictPos) != formStack_.end())
        return;
    const std::vector<uint8_t>* content = FormContent(form);
    if (!content || content->empty()) return;
    if (content->size() > formBytesLeft_) {
        if (!formLimitTold_)
            ui_.Notice(TNotice(TNoticeKind::TooManyFormCalls, pageNo_));
        formLimitTold_ = true;
        return;
    }
    formBytesLeft_ -= content->size();

    const bool outermost = formStack_.empty();
    const int32_t callStart = outermost && tokenPositions_.size() >= 2 ? tokenPositions_[tokenPositions_.size() - 2] : 0;
    const int32_t callEnd = outermost && !tokenPositions_.empty() ? tokenPositions_.back() + 1 : 0;
    const int32_t firstItem = doc_.pageItems.Count();

    TFormFrame frame;
    frame.operands = std::move(operands_);
    frame.tokenPositions = std::move(tokenPositions_);
    frame.unsavedDepth = unsavedDepth_;
    frame.inTextObject = inTextObject_;
    frame.textMatrix = textMatrix_;
    frame.lineAdvance = lineAdvance_;
    frame.columnAdvance = columnAdvance_;
    frame.textFontSize = textFontSize_;
    frame.leading = leading_;
    frame.charSpacing = charSpacing_;
    frame.wordSpacing = wordSpacing_;
    frame.fontResName = fontResName_;
    frame.fontScope = fontScope_;
    frame.xobjects = formXObjects_;
    // The selected font's tables, as "Q" restores the font.
    const TFontCodes* codes = codes_;
    const int32_t firstChar = firstChar_, selected = selectedFont_;
    const uint8_t isType3 = isType3_;
    const double bboxHeight = bboxHeight_;
    const auto* encodingMap = encodingMap_;
    const TFontText* fontText = fontText_;

    SaveState();
    frame.saveDepth = ctmStack_.size();
    unsavedDepth_ = 0;
    MultiplyCtm(matrix);
    const std::optional<TClipBox> callerClip = formClip_;
    if (form.hasBBox) ClipToBox(form.bbox);
    operands_.clear();
    tokenPositions_.clear();
    inTextObject_ = false;
    if (form.resourcesPos >= 0) {
        fontScope_ = form.resourcesPos;
        formXObjects_ = &form.xobjects;
    }
    formStack_.push_back(form.dictPos);
    RunTokens(content->data(), static_cast<int32_t>(content->size()), false);
    formStack_.pop_back();
    if (formClip_) DropItemsOutsideClip(firstItem);
    formClip_ = callerClip;

    // A form that leaves "q"s open does not leave them to its caller.
    while (ctmStack_.size() > frame.saveDepth) RestoreState();
    unsavedDepth_ = 0;
    RestoreState();
    unsavedDepth_ = frame.unsavedDepth;
    operands_ = std::move(frame.operands);
    tokenPositions_ = std::move(frame.tokenPositions);
    inTextObject_ = frame.inTextObject;
    textMatrix_ = frame.textMatrix;
    lineAdvance_ = frame.lineAdvance;
    columnAdvance_ = frame.columnAdvance;
    textFontSize_ = frame.textFontSize;
    leading_ = frame.leading;
    charSpacing_ = frame.charSpacing;
    wordSpacing_ = frame.wordSpacing;
    fontResName_ = std::move(frame.fontResName);
    fontScope_ = frame.fontScope;
    formXObjects_ = frame.xobjects;
    codes_ = codes;
    firstChar_ = firstChar;
    selectedFont_ = selected;
    isType3_ = isType3;
    bboxHeight_ = bboxHeight;
    encodingMap_ = encodingMap;
    fontText_ = fontText;

    if (!outermost) return;
    for (int32_t i = firstItem; i < doc_.pageItems.Count(); ++i) {
        doc_.pageItems[static_cast<size_t>(i)].startPos = callStart;
        doc_.pageItems[static_cast<size_t>(i)].endPos = callEnd;
    }
}

namespace {

struct TBounds {
    double left = 0, bottom = 0, right = 0, top = 0;
    bool empty = true;
    void Add(double x, double y) {
        if (empty) {
            *this = {x, y, x, y, false};
            return;
        }
        left = std::min(left, x);
        right = std::max(right, x);
        bottom = std::min(bottom, y);
        top = std::max(top, y);
    }
};

// Where an item can leave marks on the page: a run from its baseline area
// up to its top-left corner and across its width, a path through its
// points, a picture over its rectangle.
TBounds BoundsOf(const TDisplayItem& item) {
    TBounds bounds;
    if (item.isPath) {
        for (const TPathSegment& seg : item.segments) {
            if (!seg.drawn) continue;
            bounds.Add(seg.p1x * item.scaleX + item.x, seg.p1y * item.scaleY + item.y);
            bounds.Add(seg.p2x * item.scaleX + item.x, seg.p2y * item.scaleY + item.y);
            bounds.Add(seg.p3x * item.scaleX + item.x, seg.p3y * item.scaleY + item.y);
        }
        return bounds;
    }
    if (item.isImage) {
        bounds.Add(item.x, item.y);
        bounds.Add(item.x + item.scaleX, item.y + item.scaleY);
        return bounds;
    }
    bounds.Add(item.x, item.y);
    bounds.Add(item.x + item.runWidth, item.y - item.textHeight);
    return bounds;
}

}  // namespace

// The box is in the form's space, which the CTM now maps to the page.
void TContentInterpreter::ClipToBox(const std::array<double, 4>& box) {
    TBounds corners;
    for (int corner = 0; corner < 4; ++corner) {
        const double x = box[corner & 1 ? 2 : 0], y = box[corner & 2 ? 3 : 1];
        corners.Add(ctm_.a * x + ctm_.c * y + ctm_.e, ctm_.b * x + ctm_.d * y + ctm_.f);
    }
    TClipBox bounds{corners.left, corners.bottom, corners.right, corners.top};
    if (formClip_) {
        bounds.left = std::max(bounds.left, formClip_->left);
        bounds.right = std::min(bounds.right, formClip_->right);
        bounds.bottom = std::max(bounds.bottom, formClip_->bottom);
        bounds.top = std::min(bounds.top, formClip_->top);
    }
    formClip_ = bounds;
}

// Items wholly outside the clip would be neither visible nor findable in
// another reader; an item that reaches into the box stays whole, and one
// that marks nothing is left as it is.
void TContentInterpreter::DropItemsOutsideClip(int32_t firstItem) {
    // A hundredth of a point forgives rounding at the box's edge.
    constexpr double kSlack = 0.01;
    const TClipBox& clip = *formClip_;
    auto& items = doc_.pageItems;
    int32_t kept = firstItem;
    for (int32_t i = firstItem; i < items.Count(); ++i) {
        const TBounds bounds = BoundsOf(items[static_cast<size_t>(i)]);
        const bool outside = !bounds.empty && (bounds.right < clip.left - kSlack || bounds.left > clip.right + kSlack ||
                             bounds.top < clip.bottom - kSlack || bounds.bottom > clip.top + kSlack);
        if (outside) continue;
        if (kept != i) items.Swap(kept, i);
        ++kept;
    }
    while (items.Count() > kept) items.Delete(items.Count() - 1);
}

// Each annotation's normal appearance, at its rectangle, over the page.
void TContentInterpreter::DrawAppearances() {
    const auto& byPage = doc_.formCatalog.appearances;
    if (pageNo_ < 1 || static_cast<size_t>(pageNo_) > byPage.size()) return;
    const auto& appearances = byPage[static_cast<size_t>(pageNo_ - 1)];
    if (appearances.empty()) return;
    // The page's content may end inside a text object or with "q"s open.
    while (!ctmStack_.empty()) RestoreState();
    unsavedDepth_ = 0;
    ClearOperands();
    inTextObject_ = false;
    fontScope_ = -1;
    formXObjects_ = nullptr;
    for (const TAnnotAppearance& appearance : appearances) {
        if (appearance.hidden || appearance.formIndex < 0) continue;
        const TFormRecord& form = doc_.formCatalog.forms[static_cast<size_t>(appearance.formIndex)];
        ctm_ = TMatrix{};
        DrawForm(form, AppearanceMatrix(form, appearance.rect));
    }
    ctm_ = TMatrix{};
}

// Inside a form, its own resources first, then the page's; at page level
// the font list holds the records of all pages and the first page-content
// record with the name wins.
int32_t TContentInterpreter::FontPosition(const std::string& resName) {
    // Scoped keys begin with a digit, names with "/": they cannot meet.
    const std::string key = fontScope_ < 0 ? resName : std::to_string(fontScope_) + resName;
    if (const auto found = fontIndex_.find(key); found != fontIndex_.end()) return found->second;
    int32_t position = -1;
    const auto& fonts = doc_.fontList;
    if (fontScope_ >= 0) {
        for (int32_t i = 0; i < fonts.Count() && position < 0; ++i) {
            const TFontRecord& font = fonts[static_cast<size_t>(i)];
            if (font.scopePos == fontScope_ && font.pageIndex == pageNo_ - 1 && font.resName == resName) position = i;
        }
    }
    for (int32_t i = 0; i < fonts.Count() && position < 0; ++i) {
        const TFontRecord& font = fonts[static_cast<size_t>(i)];
        if (font.scopePos < 0 && font.resName == resName) position = i;
    }
    fontIndex_.emplace(key, position);
    return position;
}
