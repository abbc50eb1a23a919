#include "PageView.h"

#include <QGlyphRun>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygon>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>

#include <algorithm>
#include <cmath>
#include <limits>

#include "ContentInterpreter.h"
#include "PdfDocument.h"
#include "PdfRecords.h"
#include "PdfText.h"

namespace {

// Beyond this zoom a high-resolution repaint falls back to scaling up.
constexpr int kMaxDeviceZoom = 1200;

// Without a printer the page area of an invalid page number takes the size
// of an A4 portrait sheet, in points.
constexpr double kSheetWidthPt = 595;
constexpr double kSheetHeightPt = 842;

// Pixel coordinates handed to the painter stay well inside the range that
// the raster engine's fixed-point arithmetic can hold.
constexpr int kMaxCoord = 1 << 22;
// A run whose screen font would be larger than this is drawn at this em
// height: glyphs of that size are already far larger than any view.
constexpr int kMaxEmPixels = 8192;
// RenderPage refuses pages whose bitmap would exceed this many pixels.
constexpr int64_t kMaxRenderPixels = int64_t{1} << 26;
// Zoom field limits (the window's field holds the same).
constexpr int kMinZoom = 10;
constexpr int kMaxZoom = 300;

int ClampCoord(int v) { return std::clamp(v, -kMaxCoord, kMaxCoord); }

// View y of a page-space height already converted to pixels: page y grows
// upwards, view y downwards from the bitmap's top.
int ViewY(int heightPx, int convertedY) {
    return static_cast<int>(std::clamp<int64_t>(int64_t{heightPx} - convertedY, -kMaxCoord, kMaxCoord));
}

QColor ColorFromRef(TColorRef c) {
    const auto u = static_cast<uint32_t>(c);
    return QColor(static_cast<int>(u & 0xFF), static_cast<int>((u >> 8) & 0xFF), static_cast<int>((u >> 16) & 0xFF));
}

QChar CharFromCp1252(uint8_t byte) {
    const char32_t u = Cp1252ToUnicode(byte);
    // The five unassigned codes show as their Latin-1 namesakes.
    return u == 0 || u > 0xFFFF ? QChar(byte) : QChar(static_cast<char16_t>(u));
}

QString TextFromCp1252(const std::string& text) {
    QString s;
    s.reserve(static_cast<qsizetype>(text.size()));
    for (char ch : text) s.append(CharFromCp1252(static_cast<uint8_t>(ch)));
    return s;
}


}  // namespace

// ---- geometry --------------------------------------------------------------

namespace PageGeometry {

int TruncToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (v <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

int Conv(double pt, int zoomPercent, int dpi) { return TruncToInt(zoomPercent * (pt * dpi / 72.0) / 100.0); }

int RunEmPixels(double fontSizePt, int zoomPercent, int dpi) {
    // The screen font's height is given as a negative em height; a result
    // that is not negative (tiny or negative sizes) becomes a 1-pixel em.
    const int height = TruncToInt(zoomPercent * (-fontSizePt * dpi / 72.0) / 100.0);
    if (height >= 0) return 1;
    return height < -kMaxEmPixels ? kMaxEmPixels : -height;
}

int AnnotPointSize(int zoomPercent) {
    return static_cast<int>(std::max<int64_t>(1, RoundHalfEven(zoomPercent * 11.0 / 100.0)));
}

int HoverPointSize(double fontSizePt, int zoomPercent) {
    const double pt = zoomPercent * fontSizePt / 100.0;
    if (!(pt < kMaxEmPixels)) return kMaxEmPixels;
    return static_cast<int>(std::max<int64_t>(1, RoundHalfEven(pt)));
}

QRect AnnotRect(const TAnnotation& annot, double llx, double lly, int zoomPercent, int dpi) {
    auto px = [&](double inches, double originPt) {
        return ClampCoord(TruncToInt(zoomPercent * ((inches - originPt / 72.0) * dpi) / 100.0));
    };
    const int left = px(annot.x1, llx), top = px(annot.y1, lly);
    const int right = px(annot.x2, llx), bottom = px(annot.y2, lly);
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

int MagnifiedZoom(int zoomPercent, bool zoomIn) {
    const double z = zoomIn ? zoomPercent * 1.5 : zoomPercent / 1.5;
    return static_cast<int>(std::clamp<int64_t>(RoundHalfEven(z), kMinZoom, kMaxZoom));
}

int ClampScroll(int pos, int extent) {
    if (pos > extent - 1) pos = extent - 1;
    return pos < 0 ? 0 : pos;
}

int MagnifierScroll(int clickPos, int oldZoom, int newZoom, int viewportExtent, int pageExtent) {
    const int pagePos = oldZoom != 0 ? clickPos / oldZoom : 0;
    const int64_t target = int64_t{newZoom} * pagePos - viewportExtent / 2;
    const int clipped = static_cast<int>(std::clamp<int64_t>(target, 0, std::numeric_limits<int>::max()));
    return ClampScroll(clipped, pageExtent);
}

bool BoxContains(int left, int top, int width, int height, int x, int y) {
    return int64_t{left} <= x && x <= int64_t{left} + width && int64_t{top} <= y && y <= int64_t{top} + height;
}

int32_t ScaleDenomFor(int32_t imageWidth, int32_t imageHeight, int targetWidth, int targetHeight) {
    if (imageWidth <= 0 || imageHeight <= 0) return 1;
    int32_t denom = 1;
    for (int32_t next = 2; next <= 8; next *= 2) {
        if ((imageWidth + next - 1) / next < targetWidth || (imageHeight + next - 1) / next < targetHeight) break;
        denom = next;
    }
    return denom;
}

}  // namespace PageGeometry

using namespace PageGeometry;

// ---- pictures --------------------------------------------------------------

QImage DibToImage(const TDib& dib, int64_t maxPixels) {
    const int bpp = dib.bitsPerPixel;
    if (dib.width <= 0 || dib.height <= 0 || !dib.bits()) return {};
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return {};
    const int64_t minRowBytes = (int64_t{dib.width} * bpp + 7) / 8;
    if (dib.rowBytes < minRowBytes) return {};
    if (static_cast<int64_t>(dib.pixels.size()) < int64_t{dib.rowBytes} * dib.height) return {};
    if (int64_t{dib.width} * dib.height > kMaxDibPixels) return {};

    // Huge pictures are sampled down for the screen; the view never shows
    // more pixels of one picture than this anyway.
    int outW = dib.width, outH = dib.height;
    const int64_t area = int64_t{outW} * outH;
    if (maxPixels > 0 && area > maxPixels) {
        const double f = std::sqrt(static_cast<double>(maxPixels) / static_cast<double>(area));
        outW = std::max(1, static_cast<int>(outW * f));
        outH = std::max(1, static_cast<int>(outH * f));
    }
    QImage image(outW, outH, QImage::Format_RGB32);
    if (image.isNull()) return {};

    std::vector<int> srcX(static_cast<size_t>(outW));
    for (int x = 0; x < outW; ++x) srcX[static_cast<size_t>(x)] = static_cast<int>(int64_t{x} * dib.width / outW);
    auto palette = [&](uint32_t index) -> QRgb {
        // An index beyond the colour table shows black.
        if (index >= dib.colorTable.size()) return qRgb(0, 0, 0);
        return 0xFF000000u | (dib.colorTable[index] & 0xFFFFFFu);
    };
    for (int y = 0; y < outH; ++y) {
        const int srcTopRow = static_cast<int>(int64_t{y} * dib.height / outH);
        // Rows are stored bottom-up.
        const uint8_t* row = dib.Row(dib.height - 1 - srcTopRow);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < outW; ++x) {
            const int sx = srcX[static_cast<size_t>(x)];
            switch (bpp) {
                case 1:
                    out[x] = palette((row[sx >> 3] >> (7 - (sx & 7))) & 1u);
                    break;
                case 4:
                    out[x] = palette((sx & 1) ? (row[sx >> 1] & 0x0Fu) : (row[sx >> 1] >> 4));
                    break;
                case 8:
                    out[x] = palette(row[sx]);
                    break;
                case 24: {
                    const uint8_t* p = row + static_cast<ptrdiff_t>(sx) * 3;
                    out[x] = qRgb(p[2], p[1], p[0]);
                    break;
                }
                default: {
                    const uint8_t* p = row + static_cast<ptrdiff_t>(sx) * 4;
                    out[x] = qRgb(p[2], p[1], p[0]);
                    break;
                }
            }
        }
    }
    return image;
}

// ---- the view ----------------------------------------------------------------

TPageView::TPageView(TPdfDocument& doc, QWidget* parent) : QWidget(parent), doc_(&doc) {
    displayFont_ = QFont(QStringLiteral("Arial"));
    displayFont_.setPixelSize(15);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(PageAreaSize(CurrentPage(), CurrentZoom()));
}

bool TPageView::IsMarked(int32_t pos) const {
    // Positions kept from before pages gave their items up mean other items.
    if (marksDrops_ != doc_->displayListDrops) return false;
    return std::find(markedItems_.begin(), markedItems_.end(), pos) != markedItems_.end();
}

void TPageView::ClearMarks() {
    if (markedItems_.empty()) return;
    markedItems_.clear();
    update();
}

void TPageView::SetDocument(TPdfDocument& doc) {
    doc_ = &doc;
    markedItems_.clear();
    InvalidateImageCache();
    panning_ = false;
    Refresh();
}

void TPageView::AttachControls(QSpinBox* pageEd, QSpinBox* zoomEd, QLineEdit* fontNameEd, QScrollArea* scrollBox) {
    pageEd_ = pageEd;
    zoomEd_ = zoomEd;
    fontNameEd_ = fontNameEd;
    scrollBox_ = scrollBox;
    Refresh();
}

void TPageView::SetTool(TTool tool) {
    tool_ = tool;
    update();
}

void TPageView::SetDisplayFont(const QFont& font) {
    displayFont_ = font;
    rawFonts_.clear();
    metrics_.clear();
    update();
}

int TPageView::Dpi() const { return dpiOverride_ > 0 ? dpiOverride_ : logicalDpiX(); }

int TPageView::CurrentPage() const { return pageEd_ ? pageEd_->value() : 1; }

int TPageView::CurrentZoom() const { return zoomEd_ ? zoomEd_->value() : 50; }

bool TPageView::PageValid(int page) const { return page >= 1 && page <= doc_->pageList.Count(); }

QSize TPageView::PageAreaSize(int page, int zoomPercent) const {
    const int dpi = Dpi();
    double widthPt = kSheetWidthPt, heightPt = kSheetHeightPt;
    if (PageValid(page)) {
        const auto& box = doc_->pageList[static_cast<size_t>(page - 1)].mediaBox;
        widthPt = box[2] - box[0];
        heightPt = box[3] - box[1];
    }
    // An inverted media box gives an empty area rather than a negative one;
    // the widget cannot be larger than QWIDGETSIZE_MAX.
    const int w = std::clamp(Conv(widthPt, zoomPercent, dpi), 0, QWIDGETSIZE_MAX);
    const int h = std::clamp(Conv(heightPt, zoomPercent, dpi), 0, QWIDGETSIZE_MAX);
    return QSize(w, h);
}

std::vector<int32_t> TPageView::PageItems(int page) const {
    EnsurePageItems(*doc_, page);
    std::vector<int32_t> items;
    const int32_t count = doc_->displayList.Count();
    if (page >= 0 && static_cast<size_t>(page) < doc_->pageItemIndex.size()) {
        const auto& index = doc_->pageItemIndex[static_cast<size_t>(page)];
        items.reserve(index.size());
        for (int32_t pos : index)
            if (pos >= 0 && pos < count && doc_->displayList[static_cast<size_t>(pos)].pageNo == page)
                items.push_back(pos);
        return items;
    }
    // Lists filled without the index (older interpreter runs, tests) are
    // walked in full.
    for (int32_t i = 0; i < count; ++i)
        if (doc_->displayList[static_cast<size_t>(i)].pageNo == page) items.push_back(i);
    return items;
}

QImage TPageView::RenderPage(int page, int zoomPercent) const {
    const QSize size = PageAreaSize(page, zoomPercent);
    if (size.isEmpty() || int64_t{size.width()} * size.height() > kMaxRenderPixels) return {};
    return RenderPageRegion(page, zoomPercent, QRect(QPoint(0, 0), size));
}

QImage TPageView::RenderPageRegion(int page, int zoomPercent, const QRect& region) const {
    const QSize size = PageAreaSize(page, zoomPercent);
    const QRect part = region.intersected(QRect(QPoint(0, 0), size));
    if (part.isEmpty() || int64_t{part.width()} * part.height() > kMaxRenderPixels) return {};
    QImage image(part.size(), QImage::Format_RGB32);
    if (image.isNull()) return {};
    image.fill(Qt::white);
    if (PageValid(page)) {
        QPainter painter(&image);
        painter.translate(-part.topLeft());
        DrawPage(painter, page, zoomPercent, Dpi(), size.height(), part);
    }
    return image;
}

void TPageView::Refresh() {
    if (paintingPaused_) return;
    const QSize size = PageAreaSize(CurrentPage(), CurrentZoom());
    if (this->size() != size) resize(size);
    update();
}

void TPageView::paintEvent(QPaintEvent* event) {
    if (paintingPaused_) return;
    const int page = CurrentPage();
    const int zoom = CurrentZoom();
    const QSize size = PageAreaSize(page, zoom);
    if (this->size() != size) {
        // Resizing from inside a paint would re-enter it; the resize runs
        // right after, and its paint draws.
        QMetaObject::invokeMethod(this, &TPageView::Refresh, Qt::QueuedConnection);
        return;
    }
    // Only the exposed part is drawn: at zoom 300 a large page would need
    // a bitmap of gigabytes, and the pointer's repaints stay cheap.
    const QRect exposed = event->rect().intersected(rect());
    if (exposed.isEmpty()) return;
    if (PageValid(page)) {
        doc_->pageList.Select(page - 1);
        emit statusTextChanged(QString());
    }
    // On a high-resolution screen the page is drawn at the screen's own
    // pixels (a larger zoom), so text stays sharp instead of being scaled up.
    const qreal ratio = devicePixelRatioF();
    QImage image;
    const int deviceZoom = static_cast<int>(std::lround(zoom * ratio));
    if (ratio > 1.0 && deviceZoom <= kMaxDeviceZoom) {
        const QRect deviceRect(QPoint(static_cast<int>(exposed.left() * ratio), static_cast<int>(exposed.top() * ratio)),
                               QSize(static_cast<int>(std::ceil(exposed.width() * ratio)),
                                     static_cast<int>(std::ceil(exposed.height() * ratio))));
        image = RenderPageRegion(page, deviceZoom, deviceRect);
        image.setDevicePixelRatio(ratio);
    } else {
        image = RenderPageRegion(page, zoom, exposed);
    }
    QPainter painter(this);
    if (image.isNull())
        painter.fillRect(exposed, Qt::white);
    else
        painter.drawImage(exposed.topLeft(), image);
}

void TPageView::DrawPage(QPainter& painter, int page, int zoomPercent, int dpi, int heightPx, const QRect& clip) const {
    const auto& box = doc_->pageList[static_cast<size_t>(page - 1)].mediaBox;
    const double llx = box[0], lly = box[1];
    painter.setBrush(Qt::NoBrush);
    painter.setBackgroundMode(Qt::TransparentMode);
    for (int32_t pos : PageItems(page)) {
        const TDisplayItem& item = doc_->displayList[static_cast<size_t>(pos)];
        if (item.isPath)
            DrawPath(painter, item, llx, lly, zoomPercent, dpi, heightPx);
        else if (item.isImage)
            DrawImage(painter, item, llx, lly, zoomPercent, dpi, heightPx);
        else
            DrawRun(painter, item, IsMarked(pos), llx, lly, zoomPercent, dpi, heightPx, clip);
    }
    DrawAnnotations(painter, page, zoomPercent, dpi);
}

void TPageView::DrawPath(QPainter& painter, const TDisplayItem& item, double llx, double lly, int zoomPercent,
                         int dpi, int heightPx) const {
    auto toView = [&](double px, double py) {
        const double x = px * item.scaleX + item.x;
        const double y = py * item.scaleY + item.y;
        return QPoint(ClampCoord(Conv(x - llx, zoomPercent, dpi)), ViewY(heightPx, Conv(y - lly, zoomPercent, dpi)));
    };
    QPolygon polygon;
    const QColor strokeColor = ColorFromRef(item.strokeColor);
    for (const TPathSegment& seg : item.segments) {
        if (!seg.drawn) continue;
        const QPoint p1 = toView(seg.p1x, seg.p1y);
        const QPoint p2 = toView(seg.p2x, seg.p2y);
        const QPoint p3 = toView(seg.p3x, seg.p3y);
        if (item.filled) polygon << p1 << p2 << p3;
        if (item.stroked) {
            // Width 0 is the cosmetic one-pixel pen, the thinnest line; wide
            // pens have round ends and joins like a solid screen pen.
            const int width = std::clamp(Conv(seg.lineWidth, zoomPercent, dpi), 0, kMaxCoord);
            painter.setPen(QPen(strokeColor, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            const QPoint line[3] = {p1, p2, p3};
            painter.drawPolyline(line, 3);
        }
    }
    if (item.filled && !polygon.isEmpty()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(ColorFromRef(item.fillColor));
        painter.drawPolygon(polygon, Qt::OddEvenFill);
        painter.setBrush(Qt::NoBrush);
    }
}

void TPageView::DrawImage(QPainter& painter, const TDisplayItem& item, double llx, double lly, int zoomPercent,
                          int dpi, int heightPx) const {
    if (item.imageIndex < 0 || item.imageIndex >= doc_->imageList.Count()) return;
    const int left = ClampCoord(Conv(item.x - llx, zoomPercent, dpi));
    const int top = ViewY(heightPx, Conv(item.y + item.scaleY - lly, zoomPercent, dpi));
    const int width = ClampCoord(Conv(item.scaleX, zoomPercent, dpi));
    const int height = ClampCoord(Conv(item.scaleY, zoomPercent, dpi));
    if (width == 0 || height == 0) return;
    // Decoded no finer than the rectangle shows it (the device pixel ratio
    // counted in, so a sharp screen gets sharp pictures).
    const TImageRecord& record = doc_->imageList[static_cast<size_t>(item.imageIndex)];
    const double ratio = std::max(1.0, painter.device() ? painter.device()->devicePixelRatioF() : 1.0);
    const int32_t denom =
        ScaleDenomFor(record.width, record.height, static_cast<int>(std::ceil(std::abs(width) * ratio)),
                      static_cast<int>(std::ceil(std::abs(height) * ratio)));
    const QImage image = CachedImage(item.imageIndex, denom);
    if (image.isNull()) return;
    // A negative extent mirrors the picture, as a stretch onto a reversed
    // rectangle does.
    painter.save();
    painter.translate(left + (width < 0 ? 1 : 0), top + (height < 0 ? 1 : 0));
    painter.scale(width < 0 ? -1 : 1, height < 0 ? -1 : 1);
    painter.drawImage(QRect(0, 0, std::abs(width), std::abs(height)), image);
    painter.restore();
}

void TPageView::DrawRun(QPainter& painter, const TDisplayItem& item, bool marked, double llx, double lly, int zoomPercent,
                        int dpi, int heightPx, const QRect& clip) const {
    if (item.text.empty()) return;
    const int em = RunEmPixels(item.fontSize, zoomPercent, dpi);
    const int64_t top64 = heightPx - int64_t{Conv(item.y - lly, zoomPercent, dpi)};
    // The glyphs hang below the top-left corner by about one em; a run
    // wholly above or below the exposed part is skipped.
    if (top64 > clip.bottom() + 1 || top64 + 2 * int64_t{em} < clip.top()) return;
    const int top = static_cast<int>(top64);
    const QRawFont& raw = RawFontForEm(em);
    const QString text = QString::fromUtf8(item.text);
    const QColor color = marked ? QColor(255, 0, 0) : ColorFromRef(item.fillColor);
    painter.setPen(color);

    // Each character sits at its own position from the run's advances (one
    // per character, a character outside the 16-bit range being two units
    // of the string); the screen font's widths play no part.
    QList<QPointF> positions;
    positions.reserve(text.size());
    double d = 0;
    const qreal baseline = top + (raw.isValid() ? raw.ascent() : em * 0.8);
    size_t k = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        positions.append(QPointF(ClampCoord(Conv(d + item.x - llx, zoomPercent, dpi)), baseline));
        if (text[i].isHighSurrogate()) continue;
        d += (k < item.advances.size() ? item.advances[k] : 0.0) + (k < item.spacings.size() ? item.spacings[k] : 0.0);
        ++k;
    }
    if (raw.isValid()) {
        const QList<quint32> glyphs = raw.glyphIndexesForString(text);
        // Characters the display font lacks (CJK, for one) are left to Qt's
        // font fallback below.
        const bool complete = std::none_of(glyphs.begin(), glyphs.end(), [](quint32 glyph) { return glyph == 0; });
        if (glyphs.size() == positions.size() && complete) {
            QGlyphRun run;
            run.setRawFont(raw);
            run.setGlyphIndexes(glyphs);
            run.setPositions(positions);
            painter.drawGlyphRun(QPointF(0, 0), run);
            return;
        }
    }
    QFont font = displayFont_;
    font.setPixelSize(em);
    painter.setFont(font);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isLowSurrogate()) continue;
        const qsizetype units = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        painter.drawText(positions[i], text.mid(i, units));
    }
}

void TPageView::DrawAnnotations(QPainter& painter, int page, int zoomPercent, int dpi) const {
    const TPageRecord& rec = doc_->pageList[static_cast<size_t>(page - 1)];
    if (rec.annotations.IsEmpty()) return;
    QFont font = displayFont_;
    // Points at the view's resolution, as the point size of a screen font
    // becomes pixels.
    font.setPixelSize(std::max<int>(1, static_cast<int>(RoundHalfEven(AnnotPointSize(zoomPercent) * dpi / 72.0))));
    painter.setFont(font);
    for (const TAnnotation& annot : rec.annotations) {
        if (annot.annotKind == 0) continue;
        const QRect r = AnnotRect(annot, rec.mediaBox[0], rec.mediaBox[1], zoomPercent, dpi).normalized();
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(QColor(255, 255, 0));
        // The outline covers left..right-1 like a rectangle's frame drawn
        // from the corner points.
        painter.drawRect(QRect(r.left(), r.top(), std::max(0, r.width() - 2), std::max(0, r.height() - 2)));
        painter.setBrush(Qt::NoBrush);
        const QRect textRect = r.adjusted(3, 3, -3, -3);
        if (annot.contents.empty() || !textRect.isValid()) continue;
        painter.save();
        painter.setClipRect(textRect, Qt::IntersectClip);
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, TextFromCp1252(annot.contents));
        painter.restore();
    }
}

QImage TPageView::CachedImage(int32_t imageIndex, int32_t scaleDenom) const {
    const int64_t key = int64_t{imageIndex} << 8 | scaleDenom;
    auto entry = std::find_if(imageCache_.begin(), imageCache_.end(),
                              [key](const TCachedImage& cached) { return cached.key == key; });
    // The document may have dropped its bitmap since (the converted image is
    // still good) or hold another one for the record (then it is converted
    // afresh).
    const TImageBitmaps::TBitmap kept = doc_->imageBitmaps.Find(imageIndex, scaleDenom);
    if (entry != imageCache_.end() && (!kept || entry->source.lock() == kept)) {
        imageCache_.splice(imageCache_.begin(), imageCache_, entry);
        return entry->image;
    }
    if (entry != imageCache_.end()) {
        imageCacheBytes_ -= static_cast<size_t>(entry->image.sizeInBytes());
        imageCache_.erase(entry);
    }
    const TImageBitmaps::TBitmap bitmap = kept ? kept : doc_->ImageBitmap(imageIndex, scaleDenom);
    TCachedImage fresh{key, bitmap, bitmap ? DibToImage(*bitmap) : QImage()};
    imageCacheBytes_ += static_cast<size_t>(fresh.image.sizeInBytes());
    imageCache_.push_front(std::move(fresh));
    while (imageCacheBytes_ > kImageCacheBudget && imageCache_.size() > 1) {
        imageCacheBytes_ -= static_cast<size_t>(imageCache_.back().image.sizeInBytes());
        imageCache_.pop_back();
    }
    return imageCache_.front().image;
}

void TPageView::InvalidateImageCache() {
    imageCache_.clear();
    imageCacheBytes_ = 0;
}


const QRawFont& TPageView::RawFontForEm(int emPx) const {
    auto it = rawFonts_.find(emPx);
    if (it == rawFonts_.end()) {
        QFont font = displayFont_;
        font.setPixelSize(emPx);
        it = rawFonts_.emplace(emPx, QRawFont::fromFont(font)).first;
    }
    return it->second;
}

const QFontMetrics& TPageView::MetricsForPixels(int px) const {
    auto it = metrics_.find(px);
    if (it == metrics_.end()) {
        QFont font = displayFont_;
        font.setPixelSize(px);
        it = metrics_.emplace(px, QFontMetrics(font)).first;
    }
    return it->second;
}

// ---- mouse tools ---------------------------------------------------------------

QCursor TPageView::LupeCursor() {
    // A lens with its handle to the lower right; the hot spot is the
    // picture's top-left corner.
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 4));
    p.drawEllipse(QPointF(10, 10), 7, 7);
    p.drawLine(QPointF(15.5, 15.5), QPointF(26, 26));
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(QColor(200, 230, 255, 160));
    p.drawEllipse(QPointF(10, 10), 7, 7);
    p.setPen(QPen(Qt::black, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(15.5, 15.5), QPointF(25, 25));
    p.end();
    return QCursor(pm, 0, 0);
}

QCursor TPageView::DragCursor() {
    // A closed, grabbing hand seen from the back: four bent fingers above
    // the palm, the thumb at the left.
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(9, 13, 15, 11), 4, 4);  // palm
    for (int i = 0; i < 4; ++i) p.drawRoundedRect(QRectF(9.5 + i * 3.6, 9.5, 3.6, 6), 1.8, 1.8);  // knuckles
    p.drawRoundedRect(QRectF(6, 15, 5, 5), 2, 2);  // thumb
    p.end();
    return QCursor(pm, 15, 16);
}

void TPageView::SetDragCursor() {
    TCursorShape shape = TCursorShape::Arrow;
    if (tool_ == TTool::Magnifier)
        shape = TCursorShape::Lupe;
    else if (tool_ == TTool::Hand)
        shape = TCursorShape::Hand;
    if (shape == cursorShape_) return;
    cursorShape_ = shape;
    switch (shape) {
        case TCursorShape::Arrow:
            setCursor(Qt::ArrowCursor);
            break;
        case TCursorShape::Lupe: {
            static const QCursor lupe = LupeCursor();
            setCursor(lupe);
            break;
        }
        case TCursorShape::Hand: {
            static const QCursor drag = DragCursor();
            setCursor(drag);
            break;
        }
    }
}

QString TPageView::HoverAt(int x, int y) {
    const int page = CurrentPage();
    if (!PageValid(page)) return QString();
    const int zoom = CurrentZoom();
    const int dpi = Dpi();
    const auto& box = doc_->pageList[static_cast<size_t>(page - 1)].mediaBox;
    const int heightPx = PageAreaSize(page, zoom).height();
    // Marks left by the previous movement (possibly on another page). Asking
    // for this page's items may make older pages give theirs up, which
    // shifts the positions of the items kept.
    const std::vector<int32_t> items = PageItems(page);
    markedItems_.clear();
    marksDrops_ = doc_->displayListDrops;

    std::string hovered;
    int32_t hoveredFont = -1;
    for (int32_t pos : items) {
        const TDisplayItem& item = doc_->displayList[static_cast<size_t>(pos)];
        if (item.isPath || item.isImage) continue;
        const int pointSize = HoverPointSize(item.fontSize, zoom);
        const int pixels = std::clamp<int>(static_cast<int>(RoundHalfEven(pointSize * dpi / 72.0)), 1, kMaxEmPixels);
        const QFontMetrics& fm = MetricsForPixels(pixels);
        const int left = Conv(item.x - box[0], zoom, dpi);
        const int64_t top = heightPx - int64_t{Conv(item.y - box[1], zoom, dpi)};
        // Most runs are not on the pointer's line; only those are measured.
        if (y < top || y > top + fm.height() || x < left) continue;
        const int width = fm.horizontalAdvance(QString::fromUtf8(item.text));
        if (BoxContains(left, static_cast<int>(top), width, fm.height(), x, y)) {
            hovered = doc_->FontNameOf(item);
            hoveredFont = item.fontIndex;
            markedItems_.push_back(pos);
        }
    }
    const QString name = QString::fromStdString(Cp1252ToUtf8(hovered));
    if (fontNameEd_) fontNameEd_->setText(name);
    update();
    emit fontHovered(name, hoveredFont);
    return name;
}

void TPageView::MagnifyAt(int x, int y, bool zoomIn) {
    const int oldZoom = CurrentZoom();
    const int newZoom = MagnifiedZoom(oldZoom, zoomIn);
    if (zoomEd_) zoomEd_->setValue(newZoom);
    const int zoomNow = CurrentZoom();

    // Painting pauses while the area is resized and scrolled, so that no
    // half-scrolled state is drawn.
    paintingPaused_ = true;
    const QSize size = PageAreaSize(CurrentPage(), zoomNow);
    if (this->size() != size) resize(size);
    if (scrollBox_) {
        const int sx = MagnifierScroll(x, oldZoom, zoomNow, scrollBox_->viewport()->width(), size.width());
        const int sy = MagnifierScroll(y, oldZoom, zoomNow, scrollBox_->viewport()->height(), size.height());
        scrollBox_->horizontalScrollBar()->setValue(sx);
        scrollBox_->verticalScrollBar()->setValue(sy);
    }
    paintingPaused_ = false;
    Refresh();
}

void TPageView::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        switch (tool_) {
            case TTool::Pointer:
                SetDragCursor();
                break;
            case TTool::Hand:
                panning_ = true;
                panStart_ = pos;
                break;
            case TTool::Magnifier:
                MagnifyAt(pos.x(), pos.y(), true);
                break;
        }
    } else if (tool_ == TTool::Magnifier) {
        MagnifyAt(pos.x(), pos.y(), false);
    }
}

void TPageView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (panning_) {
        if (!scrollBox_) return;
        QScrollBar* hbar = scrollBox_->horizontalScrollBar();
        QScrollBar* vbar = scrollBox_->verticalScrollBar();
        const int h = ClampScroll(hbar->value() + (panStart_.x() - pos.x()), width());
        const int v = ClampScroll(vbar->value() + (panStart_.y() - pos.y()), height());
        hbar->setValue(h);
        vbar->setValue(v);
        return;
    }
    SetDragCursor();
    if (tool_ == TTool::Pointer) HoverAt(pos.x(), pos.y());
}

void TPageView::mouseReleaseEvent(QMouseEvent* /*event*/) { panning_ = false; }
