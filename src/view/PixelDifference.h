// The difference of two renderings of a page, as the preview shows it.
#pragma once

#include <QImage>

#include <cstdint>

struct TPixelDifference {
    // The second rendering faded, with every changed pixel in full red.
    QImage overlay;
    int64_t changedPixels = 0;
};

// Compares two renderings pixel by pixel over the larger of their two sizes;
// where only one image has pixels, the other counts as white paper. A pixel
// changed when any of its colour channels differs.
TPixelDifference ComparePages(const QImage& before, const QImage& after);
