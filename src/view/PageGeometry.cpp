#include "PageGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Dib.h"
#include "PdfRecords.h"
#include "PdfText.h"

namespace {

// Zoom field limits (the window's field holds the same).
constexpr int kMinZoom = 10;
constexpr int kMaxZoom = 300;

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
