#include "PixelDifference.h"

#include <algorithm>

namespace {

constexpr QRgb kPaper = 0xFFFFFFFF;
constexpr QRgb kMarked = 0xFFFF0000;

QRgb PixelOr(const QImage& image, int x, int y) {
    if (x >= image.width() || y >= image.height()) return kPaper;
    return reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
}

// Unchanged pixels are drawn at a quarter of their darkness, so that the
// marks stand out while the page stays recognisable.
QRgb Faded(QRgb pixel) {
    const auto fade = [](int v) { return 255 - (255 - v) / 4; };
    return qRgb(fade(qRed(pixel)), fade(qGreen(pixel)), fade(qBlue(pixel)));
}

}  // namespace

TPixelDifference ComparePages(const QImage& before, const QImage& after) {
    const QImage a = before.convertToFormat(QImage::Format_RGB32);
    const QImage b = after.convertToFormat(QImage::Format_RGB32);
    const int width = std::max(a.width(), b.width());
    const int height = std::max(a.height(), b.height());
    TPixelDifference result;
    result.overlay = QImage(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(result.overlay.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb pa = PixelOr(a, x, y);
            const QRgb pb = PixelOr(b, x, y);
            // RGB32 keeps 0xFF in the unused byte, so equal colours compare equal.
            if (pa == pb) {
                out[x] = Faded(pb);
            } else {
                out[x] = kMarked;
                ++result.changedPixels;
            }
        }
    }
    return result;
}
