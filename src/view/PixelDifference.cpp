#include "PixelDifference.h"

#include <algorithm>

namespace {

constexpr QRgb kPaper = 0xFFFFFFFF;
constexpr QRgb kMarked = 0xFFFF0000;

// Unchanged pixels are drawn at a quarter of their darkness, so that the
// marks stand out while the page stays recognisable.
QRgb Faded(QRgb pixel) {
    const auto fade = [](QRgb v) { return 255 - (255 - v) / 4; };
    return 0xFF000000 | fade((pixel >> 16) & 0xFF) << 16 | fade((pixel >> 8) & 0xFF) << 8 | fade(pixel & 0xFF);
}

// A row of `image`, or nothing below its last row.
const QRgb* Row(const QImage& image, int y) {
    return y < image.height() ? reinterpret_cast<const QRgb*>(image.constScanLine(y)) : nullptr;
}

}  // namespace

TPixelDifference ComparePages(const QImage& before, const QImage& after) {
    // RGB32 keeps 0xFF in the unused byte, so equal colours compare equal.
    const QImage a = before.convertToFormat(QImage::Format_RGB32);
    const QImage b = after.convertToFormat(QImage::Format_RGB32);
    const int width = std::max(a.width(), b.width());
    const int height = std::max(a.height(), b.height());
    TPixelDifference result;
    result.overlay = QImage(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const QRgb* rowA = Row(a, y);
        const QRgb* rowB = Row(b, y);
        const int widthA = rowA ? a.width() : 0;
        const int widthB = rowB ? b.width() : 0;
        auto* out = reinterpret_cast<QRgb*>(result.overlay.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb pa = x < widthA ? rowA[x] : kPaper;
            const QRgb pb = x < widthB ? rowB[x] : kPaper;
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
