// Page-to-pixel conversion, the mouse tools' arithmetic and pictures turned
// into images: plain functions of values, checked without a window.
#pragma once

#include <QImage>
#include <QRect>

#include <algorithm>
#include <cstdint>

struct TAnnotation;
struct TDib;

// Page-to-pixel conversion and the mouse tools' arithmetic as plain
// functions of values, so that they can be checked without a window.
namespace PageGeometry {
// A run whose screen font would be larger than this is drawn at this em
// height: glyphs of that size are already far larger than any view.
constexpr int kMaxEmPixels = 8192;
// Pixel coordinates handed to the painter stay well inside the range that
// the raster engine's fixed-point arithmetic can hold.
constexpr int kMaxCoord = 1 << 22;
inline int ClampCoord(int v) { return std::clamp(v, -kMaxCoord, kMaxCoord); }
// Real to int, truncated toward zero; values beyond the int range (a page
// of absurd size, a run far outside its page) stop at the range's ends and
// NaN gives 0, so no conversion is undefined.
int TruncToInt(double v);
// Pixels for a length in points: Trunc(zoom * (v * dpi / 72) / 100).
int Conv(double pt, int zoomPercent, int dpi);
// Em height in pixels of a text run's screen font (at least 1).
int RunEmPixels(double fontSizePt, int zoomPercent, int dpi);
// Point size of the annotation texts: zoom * 11 / 100 rounded, at least 1.
int AnnotPointSize(int zoomPercent);
// Point size of the font with which the pointer measures a run.
int HoverPointSize(double fontSizePt, int zoomPercent);
// Pixel rectangle of an annotation (its rectangle is held in inches, y down
// from the top of the media box).
QRect AnnotRect(const TAnnotation& annot, double llx, double lly, int zoomPercent, int dpi);
// The zoom after one magnifier click: times or divided by 1.5, rounded
// (halves to even) and kept within 10..300.
int MagnifiedZoom(int zoomPercent, bool zoomIn);
// Keeps a scroll position within 0..extent - 1 (extent: the page area's
// size in that direction).
int ClampScroll(int pos, int extent);
// Scroll position that brings a clicked point near the centre after a
// magnifier click: trunc(newZoom * trunc(click / oldZoom)) - viewport / 2,
// clamped as ClampScroll does.
int MagnifierScroll(int clickPos, int oldZoom, int newZoom, int viewportExtent, int pageExtent);
// Whether a point lies in a run's text box, all four bounds included.
bool BoxContains(int left, int top, int width, int height, int x, int y);
// The largest reduction (1, 2, 4 or 8) at which a picture of imageWidth x
// imageHeight pixels still has at least one pixel per view pixel of its
// rectangle; 1 when the picture's size is not known.
int32_t ScaleDenomFor(int32_t imageWidth, int32_t imageHeight, int targetWidth, int targetHeight);
}  // namespace PageGeometry

// A picture of the model turned into a QImage for drawing: rows top-down,
// 32 bits per pixel. Blocks without a valid bitmap give a null image;
// pictures larger than maxPixels are sampled down to fit.
QImage DibToImage(const TDib& dib, int64_t maxPixels = int64_t{1} << 24);
