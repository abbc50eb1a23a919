// Graphics operators: the state stack, colours, path construction and
// painting, the transformation matrix and image placement.
//
// A path segment is appended (zero-filled) before its operands are
// converted and filled point by point, so a number that does not convert
// leaves a partly filled segment and ends the operator; the current point
// then keeps its old value.
#include <cmath>

#include "Interpreter_p.h"

namespace {

// Deeper "q" nesting is no real producer's output; each level costs a
// matrix, and the saved paths are paid for from the page's budget.
constexpr size_t kMaxSaveDepth = 65536;

// Trunc(value × 255), of which only the low 8 bits enter a colour. A value
// too large to truncate into an integer counts as a failed conversion.
std::optional<int32_t> Component(double value) {
    const double scaled = std::trunc(value * 255.0);
    if (!(std::fabs(scaled) < 9.0e18)) return std::nullopt;
    return static_cast<int32_t>(static_cast<int64_t>(scaled) & 0xFF);
}

TColorRef Rgb(int32_t red, int32_t green, int32_t blue) { return red | (green << 8) | (blue << 16); }

}  // namespace

bool TContentInterpreter::Spend(size_t bytes) {
    if (budgetExhausted_) return false;
    if (bytes > budgetBytes_) {
        budgetExhausted_ = true;
        ui_.Notice(TNotice(TNoticeKind::TooManyItems, pageNo_));
        return false;
    }
    budgetBytes_ -= bytes;
    return true;
}

TPathSegment* TContentInterpreter::AppendSegment(bool drawn) {
    if (!Spend(sizeof(TPathSegment))) return nullptr;
    TPathSegment* segment = currentPath_.Append();
    segment->lineWidth = lineWidth_;
    segment->drawn = drawn ? 1 : 0;
    return segment;
}

TDisplayItem* TContentInterpreter::AppendItem() {
    if (!Spend(sizeof(TDisplayItem))) return nullptr;
    TDisplayItem* item = doc_.pageItems.Append();
    item->strokeColor = strokeColor_;
    item->fillColor = fillColor_;
    item->pageNo = pageNo_;
    return item;
}

// ---- "q" and "Q" ------------------------------------------------------------

void TContentInterpreter::SaveState() {
    if (ctmStack_.size() >= kMaxSaveDepth) {
        ++unsavedDepth_;
        return;
    }
    ctmStack_.push_back(ctm_);
    TSavedPath saved;
    saved.lineWidth = lineWidth_;
    saved.savedPath = TSegmentList();
    // The copy is paid for like new segments: a huge path saved over and
    // over would otherwise grow without bound.
    const size_t count = static_cast<size_t>(currentPath_.Count());
    if (count > 0 && Spend(count * sizeof(TPathSegment))) saved.savedPath = currentPath_;
    pathStack_.push_back(std::move(saved));
}

void TContentInterpreter::RestoreState() {
    if (unsavedDepth_ > 0) {
        --unsavedDepth_;
        return;
    }
    if (!ctmStack_.empty()) {
        ctm_ = ctmStack_.back();
        ctmStack_.pop_back();
    }
    if (!pathStack_.empty()) {
        lineWidth_ = pathStack_.back().lineWidth;
        currentPath_ = std::move(pathStack_.back().savedPath);
        pathStack_.pop_back();
    }
}

// ---- colours ----------------------------------------------------------------

void TContentInterpreter::SetGray(TColorRef& color) {
    if (!Has(2)) return;
    const auto gray = Number(2);
    if (!gray) return;
    const auto t = Component(*gray);
    if (!t) return;
    color = Rgb(*t, *t, *t);
}

// Red, green and blue at distances first, first-1, first-2; all three are
// converted before the colour changes.
bool TContentInterpreter::SetRgb(TColorRef& color, size_t first) {
    const auto red = Number(first);
    if (!red) return false;
    const auto green = Number(first - 1);
    if (!green) return false;
    const auto blue = Number(first - 2);
    if (!blue) return false;
    const auto r = Component(*red), g = Component(*green), b = Component(*blue);
    if (!r || !g || !b) return false;
    color = Rgb(*r, *g, *b);
    return true;
}

// Cyan, magenta, yellow and black at distances first .. first-3, each
// component 255 × (1 − colour) × (1 − black), truncated.
bool TContentInterpreter::SetCmyk(TColorRef& color, size_t first) {
    std::optional<double> v[4];
    for (size_t i = 0; i < 4; ++i) {
        v[i] = Number(first - i);
        if (!v[i]) return false;
    }
    const double black = 1.0 - *v[3];
    const auto r = Component((1.0 - *v[0]) * black), g = Component((1.0 - *v[1]) * black),
               b = Component((1.0 - *v[2]) * black);
    if (!r || !g || !b) return false;
    color = Rgb(*r, *g, *b);
    return true;
}

// "sc", "scn", "SC", "SCN" do not know their colour space: they try three
// components, then four. Whatever the first step set stays when the second
// fails.
void TContentInterpreter::SetColorFamily(TColorRef& color) {
    if (!Has(4)) return;
    if (!SetRgb(color, 4)) return;
    if (Has(5)) SetCmyk(color, 5);
}

// ---- paths ------------------------------------------------------------------

void TContentInterpreter::ClearPath() { currentPath_.Clear(); }

void TContentInterpreter::SetLineWidth() {
    if (!Has(2)) return;
    if (const auto width = Number(2)) lineWidth_ = *width;
}

void TContentInterpreter::MoveOrLine(bool drawn) {
    if (!Has(3)) return;
    TPathSegment* segment = AppendSegment(drawn);
    if (!segment) return;
    segment->p1x = segment->p2x = currentX_;
    segment->p1y = segment->p2y = currentY_;
    const auto x = Number(3);
    if (!x) return;
    segment->p3x = *x;
    const auto y = Number(2);
    if (!y) return;
    segment->p3y = *y;
    currentX_ = *x;
    currentY_ = *y;
}

// A curve is kept as its control polygon: segment A from the current point
// to the first control point, segment B through the second control point to
// the end point.
void TContentInterpreter::Curve(char kind) {
    if (!Has(kind == 'c' ? 7 : 5)) return;
    TPathSegment* a = AppendSegment(true);
    if (!a) return;
    a->p1x = a->p2x = currentX_;
    a->p1y = a->p2y = currentY_;
    double x1 = currentX_, y1 = currentY_;
    if (kind != 'v') {
        const size_t at = kind == 'c' ? 7 : 5;
        const auto nx = Number(at);
        if (!nx) return;
        a->p3x = x1 = *nx;
        const auto ny = Number(at - 1);
        if (!ny) return;
        a->p3y = y1 = *ny;
    } else {
        a->p3x = x1;
        a->p3y = y1;
    }

    TPathSegment* b = AppendSegment(true);
    if (!b) return;
    b->p1x = x1;
    b->p1y = y1;
    // "c" and "v" give the second control point at the 5th and 4th entries;
    // for "y" it is the end point.
    const size_t second = kind == 'y' ? 3 : 5;
    const auto x2 = Number(second);
    if (!x2) return;
    b->p2x = *x2;
    const auto y2 = Number(second - 1);
    if (!y2) return;
    b->p2y = *y2;
    const auto x3 = Number(3);
    if (!x3) return;
    b->p3x = *x3;
    const auto y3 = Number(2);
    if (!y3) return;
    b->p3y = *y3;
    currentX_ = *x3;
    currentY_ = *y3;
}

void TContentInterpreter::Rectangle() {
    if (!Has(5)) return;
    TPathSegment* s = AppendSegment(true);
    if (!s) return;
    const auto x = Number(5);
    if (!x) return;
    s->p1x = *x;
    const auto y = Number(4);
    if (!y) return;
    s->p1y = *y;
    s->p2x = *x;
    s->p2y = *y;
    const auto w = Number(3);
    if (!w) return;
    const double right = *x + *w;
    s->p3x = right;
    s->p3y = *y;

    s = AppendSegment(true);
    if (!s) return;
    s->p1x = s->p2x = right;
    s->p1y = s->p2y = *y;
    s->p3x = right;
    const auto h = Number(2);
    if (!h) return;
    const double top = *y + *h;
    s->p3y = top;

    const double corners[2][4] = {{right, top, *x, top}, {*x, top, *x, *y}};
    for (int i = 0; i < 2; ++i) {
        s = AppendSegment(true);
        if (!s) return;
        s->p1x = s->p2x = corners[i][0];
        s->p1y = s->p2y = corners[i][1];
        s->p3x = corners[i][2];
        s->p3y = corners[i][3];
    }
    currentX_ = *x;
    currentY_ = *y;
}

// Closes towards the start of the first subpath of the whole path: the
// path keeps no record of where later subpaths began.
void TContentInterpreter::CloseSubpath() {
    double targetX = currentX_, targetY = currentY_;
    if (!currentPath_.IsEmpty()) {
        const TPathSegment& first = currentPath_[0];
        targetX = first.drawn ? first.p1x : first.p3x;
        targetY = first.drawn ? first.p1y : first.p3y;
    }
    if (TPathSegment* s = AppendSegment(true)) {
        s->p1x = s->p2x = currentX_;
        s->p1y = s->p2y = currentY_;
        s->p3x = targetX;
        s->p3y = targetY;
    }
    currentX_ = targetX;
    currentY_ = targetY;
}

void TContentInterpreter::PaintPath(bool close, bool stroked, bool filled) {
    if (close) CloseSubpath();
    TDisplayItem* item = AppendItem();
    if (!item) {
        currentPath_.Clear();
        return;
    }
    item->stroked = stroked ? 1 : 0;
    item->filled = filled ? 1 : 0;
    item->isPath = 1;
    item->x = ctm_.e;
    item->y = ctm_.f;
    item->scaleX = ctm_.a + ctm_.c;
    item->scaleY = ctm_.b + ctm_.d;
    item->segments = std::move(currentPath_);
    currentPath_ = TSegmentList();
}

// ---- "cm" and images ------------------------------------------------------------

void TContentInterpreter::Concat() {
    if (!Has(7)) return;
    std::array<double, 6> m;
    for (size_t i = 0; i < 6; ++i) {
        const auto v = Number(7 - i);
        if (!v) return;
        m[i] = *v;
    }
    MultiplyCtm(m);
}

// ctm = m × ctm
void TContentInterpreter::MultiplyCtm(const std::array<double, 6>& m) {
    const TMatrix old = ctm_;
    ctm_.a = m[0] * old.a + m[1] * old.c;
    ctm_.b = m[0] * old.b + m[1] * old.d;
    ctm_.c = m[2] * old.a + m[3] * old.c;
    ctm_.d = m[2] * old.b + m[3] * old.d;
    ctm_.e = m[4] * old.a + m[5] * old.c + old.e;
    ctm_.f = m[4] * old.b + m[5] * old.d + old.f;
}

// An image of the image list, placed by the current matrix; the item spans
// the name and "Do".
void TContentInterpreter::PlaceImage(int32_t position) {
    doc_.imageList.Select(position);
    TDisplayItem* item = AppendItem();
    if (!item) return;
    item->isImage = 1;
    item->imageIndex = position;
    item->x = ctm_.e;
    item->y = ctm_.f;
    item->scaleX = ctm_.a + ctm_.c;
    item->scaleY = ctm_.b + ctm_.d;
    item->startPos = tokenPositions_[tokenPositions_.size() - 2];
    item->endPos = tokenPositions_.back() + 1;
}
