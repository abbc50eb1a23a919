// The page area of the tab "Schriftarten": a simplified drawing of the
// current page painted from the display list, and the three mouse tools.
//
// The page number and the zoom live in the window's two spin fields; the
// view reads them afresh on every paint and the magnifier writes the zoom
// field. Painting reads the model and never calls the reader.
#pragma once

#include <QFont>
#include <QImage>
#include <QWidget>

class QLineEdit;
class QScrollArea;
class QSpinBox;
class TPdfDocument;

class TPageView : public QWidget {
    Q_OBJECT
public:
    enum class TTool { Pointer, Magnifier, Hand };

    TPageView(TPdfDocument& doc, QWidget* parent = nullptr);

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

    // PaintBox1Paint: sizes the view for the current page and zoom and
    // repaints it.
    void Refresh();

signals:
    // Text for the first panel of the window's status bar.
    void statusTextChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TPdfDocument& doc_;
    QSpinBox* pageEd_ = nullptr;
    QSpinBox* zoomEd_ = nullptr;
    QLineEdit* fontNameEd_ = nullptr;
    QScrollArea* scrollBox_ = nullptr;
    TTool tool_ = TTool::Pointer;
    QFont displayFont_;
    int dpiOverride_ = 0;
};
