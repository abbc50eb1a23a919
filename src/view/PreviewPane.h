// The view mode "Vorschau" of the tab "Schriftarten": the current page
// rendered by Poppler twice, side by side: on the left as it is in the
// file, on the right as it will be saved (the document written into memory
// with the current replacements and information). Both are drawn at the
// same zoom and scroll together. Instead of the right rendering, a
// difference view can show it faded with every changed pixel marked.
#pragma once

#include <QImage>
#include <QDir>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdint>
#include <optional>

#include "PageView.h"
#include "PixelDifference.h"
#include "PreviewRenderer.h"

class QLabel;
class QScrollArea;
class TPdfDocument;
class TPreviewSheet;

class TPreviewPane : public QWidget {
    Q_OBJECT
public:
    explicit TPreviewPane(TPdfDocument& doc, QWidget* parent = nullptr);

    // Screen resolution the zoom refers to (the screen's; tests may fix it).
    int Dpi() const;
    void SetDpi(int dpi) { dpiOverride_ = dpi; }
    // Device pixels per logical pixel of the screen (tests may fix it).
    double PixelRatio() const;
    void SetPixelRatio(double ratio) { pixelRatioOverride_ = ratio; }

    // The tab's mouse tool: the pointer names fonts (pointerMoved), the
    // magnifier asks for another zoom about the clicked point, the hand
    // drags both pages.
    void SetTool(TPageView::TTool tool);
    // The sheets' mouse events.
    void SheetPressed(const QPoint& at, Qt::MouseButton button);
    bool SheetDragged(const QPoint& at);  // true while the hand drags
    void SheetReleased();

    // A file was read (or reading failed): the next ShowPage gives the left
    // side the file's bytes and writes the right side anew.
    void DocumentOpened();
    // Another document is shown from now on; as after DocumentOpened.
    void SetDocument(TPdfDocument& doc);
    // Gives up the renderings and both versions of the document (while
    // another file is read); the next ShowPage makes them again.
    void Release();
    // A replacement was set or taken back: the next ShowPage writes the
    // right side anew. (Writing costs time on large files, so a pane that
    // is not shown does not write.)
    void ReplacementsChanged();
    // Shows page `page` (1-based) at `zoomPercent`; the renderings follow
    // as they are made.
    void ShowPage(int page, int zoomPercent);

    void SetDifferenceShown(bool shown);
    bool DifferenceShown() const { return differenceShown_; }

    // The renderings of the current page, null until they are there.
    QImage BeforeImage() const { return before_; }
    QImage AfterImage() const { return after_; }
    bool PageReady() const { return !before_.isNull() && !after_.isNull(); }
    // Pixels of the current page that saving changes, once both renderings
    // are there.
    std::optional<int64_t> ChangedPixels();

    // The file the right side is rendered from: the document as it would
    // be saved now (empty until the preview was shown).
    const QString& ResultFile() const { return shownResult_; }

    QScrollArea* BeforeArea() const { return beforeArea_; }
    QScrollArea* AfterArea() const { return afterArea_; }

signals:
    // The text for the window's status line.
    void statusTextChanged(const QString& text);
    // The mouse moved over either page, at (x, y) of the page area.
    void pointerMoved(int x, int y);
    // The magnifier was clicked: the page is wanted at this zoom (the pane
    // shows it when ShowPage follows, and keeps the clicked point in view).
    void zoomRequested(int zoomPercent);

private:
    double RenderDpi() const;
    void ReadFile();
    void WriteResult();
    void Fetch();
    const TPixelDifference* Difference();
    void UpdateSheets();
    void UpdateStatus();

    TPdfDocument* doc_;
    TPreviewRenderer renderer_;
    TPreviewSheet* beforeSheet_ = nullptr;
    TPreviewSheet* afterSheet_ = nullptr;
    QScrollArea* beforeArea_ = nullptr;
    QScrollArea* afterArea_ = nullptr;
    int dpiOverride_ = 0;
    double pixelRatioOverride_ = 0;
    TPageView::TTool tool_ = TPageView::TTool::Pointer;
    bool panning_ = false;
    QPoint panStart_;
    int page_ = 1;
    int zoom_ = 100;
    bool fileStale_ = true;
    bool resultStale_ = true;
    bool differenceShown_ = false;
    QImage before_;
    QImage after_;
    // The difference of the renderings with these cache keys.
    TPixelDifference difference_;
    qint64 differenceOf_[2] = {0, 0};
    bool differenceValid_ = false;
    QString status_;
    // The files the right side is written to, one after the other; the one
    // shown now.
    QTemporaryDir scratch_{QDir::tempPath() + "/glyphwell-vorschau-XXXXXX"};
    int written_ = 0;
    QString shownResult_;
};
