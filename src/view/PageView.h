// The page area of the tab "Schriftarten": a simplified drawing of the
// current page painted from the display list, and the three mouse tools.
//
// The page number and the zoom live in the window's two spin fields; the
// view reads them afresh on every paint and the magnifier writes the zoom
// field. Painting reads the model; pictures are decoded by the document
// when they are first drawn at a size.
#pragma once

#include <QCursor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QRawFont>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <vector>

class QLineEdit;
class QScrollArea;
class QSpinBox;
class TPdfDocument;
struct TAnnotation;
struct TDisplayItem;
class QPainter;
struct TDib;

// Page-to-pixel conversion and the mouse tools' arithmetic as plain
// functions of values, so that they can be checked without a window.
namespace PageGeometry {
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

class TPageView : public QWidget {
    Q_OBJECT
public:
    enum class TTool { Pointer, Magnifier, Hand };

    TPageView(TPdfDocument& doc, QWidget* parent = nullptr);

    // Shows another document (the window swaps in a freshly read one); the
    // marks and pictures of the previous one are dropped.
    void SetDocument(TPdfDocument& doc);

    // The controls the view works with: the page field ("Seite:"), the zoom
    // field ("Zoom:"), the field "Gewählte Schriftart:" and the scroll box
    // that holds the view.
    void AttachControls(QSpinBox* pageEd, QSpinBox* zoomEd, QLineEdit* fontNameEd, QScrollArea* scrollBox);

    void SetTool(TTool tool);
    TTool Tool() const { return tool_; }

    // The display font ("Schriftart auswählen:"); Arial at start.
    void SetDisplayFont(const QFont& font);
    QFont DisplayFont() const { return displayFont_; }

    // Horizontal resolution used for the page geometry (the screen's; tests
    // may fix it).
    int Dpi() const;
    void SetDpi(int dpi) { dpiOverride_ = dpi; }

    // Size of the page area for a page and zoom (the printer page's size when
    // the page number is not valid).
    QSize PageAreaSize(int page, int zoomPercent) const;
    // Draws a page at a zoom into an image of PageAreaSize, as the view shows
    // it. Used by paintEvent, the tests and the benchmark.
    QImage RenderPage(int page, int zoomPercent) const;
    // The part `region` (view pixels) of that image, as a repaint of an
    // exposed area draws it.
    QImage RenderPageRegion(int page, int zoomPercent, const QRect& region) const;

    // PaintBox1Paint: sizes the view for the current page and zoom and
    // repaints it.
    void Refresh();

    // The pointer tool's work for one mouse position: marks the runs of the
    // current page under it (and only those), shows the font of the last one in the field
    // "Gewählte Schriftart:" and repaints. Returns that font name (UTF-8
    // of the resource name, empty over paper); nothing happens and an empty
    // text is returned when the page number is not valid.
    QString HoverAt(int x, int y);
    // Whether the last pointer movement marked the run at this position of
    // the display list.
    bool IsMarked(int32_t pos) const;
    // Takes the pointer's marks back (another page, another document).
    void ClearMarks();
    // The magnifier's click: zoom in or out about a page-area point.
    void MagnifyAt(int x, int y, bool zoomIn);
    // Pictures are converted when first drawn and kept within a budget; the
    // window calls this after a file was read (a bitmap the document
    // replaced is also noticed on its own).
    void InvalidateImageCache();

    // The current page and zoom as the two fields hold them (page 1 and
    // zoom 50 before the fields are attached).
    int CurrentPage() const;
    int CurrentZoom() const;

    // The cursors of the magnifier and of the hand.
    static QCursor LupeCursor();
    static QCursor DragCursor();

signals:
    // Text for the first panel of the window's status bar.
    void statusTextChanged(const QString& text);
    // The pointer is over text of this font (resource name), or over paper
    // (empty).
    // `fontIndex` is the fontList position of the run's font, -1 when its
    // name led to no record: a form may reuse a name the page gives another
    // font.
    void fontHovered(const QString& resName, int32_t fontIndex);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum class TCursorShape { Arrow, Lupe, Hand };
    // A picture converted for the screen, for the document's bitmap it was
    // made from.
    struct TCachedImage {
        int64_t key = 0;  // image index << 8 | reduction
        std::weak_ptr<const TDib> source;
        QImage image;
    };
    static constexpr size_t kImageCacheBudget = size_t{12} << 20;

    bool PageValid(int page) const;
    // Positions in displayList of the items of a page, in list order.
    std::vector<int32_t> PageItems(int page) const;
    void DrawPage(QPainter& painter, int page, int zoomPercent, int dpi, int heightPx,
                  const QRect& clip) const;
    void DrawPath(QPainter& painter, const TDisplayItem& item, double llx, double lly,
                  int zoomPercent, int dpi, int heightPx) const;
    void DrawImage(QPainter& painter, const TDisplayItem& item, double llx, double lly,
                   int zoomPercent, int dpi, int heightPx) const;
    void DrawRun(QPainter& painter, const TDisplayItem& item, bool marked, double llx, double lly,
                 int zoomPercent, int dpi, int heightPx, const QRect& clip) const;
    void DrawAnnotations(QPainter& painter, int page, int zoomPercent, int dpi) const;
    // The picture at 1/scaleDenom of its size, decoded by the document when
    // neither keeps it.
    QImage CachedImage(int32_t imageIndex, int32_t scaleDenom) const;
    const QRawFont& RawFontForEm(int emPx) const;
    const QFontMetrics& MetricsForPixels(int px) const;
    void SetDragCursor();

    TPdfDocument* doc_;
    QSpinBox* pageEd_ = nullptr;
    QSpinBox* zoomEd_ = nullptr;
    QLineEdit* fontNameEd_ = nullptr;
    QScrollArea* scrollBox_ = nullptr;
    TTool tool_ = TTool::Pointer;
    QFont displayFont_;
    int dpiOverride_ = 0;
    TCursorShape cursorShape_ = TCursorShape::Arrow;
    bool paintingPaused_ = false;
    // The hand tool: where the drag started, in view pixels.
    bool panning_ = false;
    QPoint panStart_;
    // Positions in the display list of the runs the last pointer movement
    // marked (drawn red): the view's own state, the document is not touched.
    std::vector<int32_t> markedItems_;
    uint32_t marksDrops_ = 0;  // the document's displayListDrops when they were marked
    mutable std::list<TCachedImage> imageCache_;  // most recently used first
    mutable size_t imageCacheBytes_ = 0;
    mutable std::map<int, QRawFont> rawFonts_;
    mutable std::map<int, QFontMetrics> metrics_;
};
