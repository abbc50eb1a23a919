// The tab "Schriftarten": the page field and the zoom, the simplified page
// drawing (or Poppler's preview) with the mouse tools, and the font table
// of the current page with its commands. The tab shows a document and keeps
// its own view state; the commands that change the document (replace, keep,
// embed) are the window's, which connects to the buttons.
#pragma once

#include <QWidget>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QStackedWidget;
class QToolButton;
class QTreeWidget;
class TPdfDocument;
class TFlowLayout;
class TPageView;
class TPreviewPane;

class TFontsTab : public QWidget {
    Q_OBJECT
public:
    // The table's last column names the replacement.
    static constexpr int kReplacementColumn = 5;

    explicit TFontsTab(TPdfDocument& doc, QWidget* parent = nullptr);

    // Shows another document (the window swaps in a freshly read one).
    void SetDocument(TPdfDocument& doc);
    // A freshly shown document starts at its first page, fitted to the width.
    void ShowFirstPage();
    // With a document (pages to show) the page commands work; without one
    // they are disabled and the page area says how to open a file.
    void SetDocumentShown(bool shown);
    bool DocumentShown() const;
    // Empties "Gewählte Schriftart:" and takes the pointer's marks back.
    void ClearHover();
    // The page the tab shows (1-based).
    int CurrentPage() const;
    // One step of the zoom ladder in or out.
    void StepZoom(bool in);
    // The current page's replacements changed: the table's last column, the
    // preview and the selected row follow.
    void ReplacementsChanged();
    // Refills the font table for page p.
    void RefreshFontTable(int page);
    // The selected row of the table, or -1.
    int SelectedFontRow() const;
    // Turns to a page, kept within the document's pages.
    void ShowPage(int page);
    // The zoom at which the current page fills the page area's width.
    int FitWidthZoom() const;
    // The preview follows page and zoom while it is shown.
    void ShowPreviewPage();
    void PreviewBtnClick(bool on);
    void DiffBtnClick(bool on);

    QToolButton* PointerBtn = nullptr;
    QToolButton* LupeBtn = nullptr;
    QToolButton* HandBtn = nullptr;
    QSpinBox* ZoomEd = nullptr;
    QSpinBox* PageEd = nullptr;
    QLabel* Label6 = nullptr;  // "von " + page count
    QLineEdit* FontNameEd = nullptr;
    QScrollArea* ScrollBox1 = nullptr;
    TPageView* PageView = nullptr;
    QToolButton* PreviewBtn = nullptr;
    QToolButton* DiffBtn = nullptr;
    QStackedWidget* PageStack = nullptr;  // ScrollBox1 or PreviewPane
    TPreviewPane* PreviewPane = nullptr;
    QPushButton* ChangeBtn = nullptr;
    QPushButton* OldFontBtn = nullptr;
    QPushButton* EmbedFontsBtn = nullptr;
    QTreeWidget* FontListView = nullptr;
    // The fields and tools above the page, wrapping when narrow.
    TFlowLayout* FieldsRow = nullptr;
    QLabel* NoDocumentNote = nullptr;

signals:
    // Text for the first panel of the window's status bar.
    void statusTextChanged(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QToolButton* MakeTool(const QString& text, const QString& hint);
    QWidget* CreateFieldsRow();
    void CreatePageArea();
    void CreateTablePart();
    void PageEdChange();
    void ZoomEdChange();
    bool PreviewShown() const;
    // The pointer is over text of this font: its row is selected and the
    // field shows its name.
    void FontHovered(const QString& resName, int32_t fontIndex);
    void FitTableMinimum();
    void SetTabOrder();
    void ShowPageFocus(bool focused);

    TPdfDocument* doc_;
    bool documentShown_ = false;
    QButtonGroup* tools_ = nullptr;
    // The table with its commands, below the page.
    QWidget* tablePart_ = nullptr;
};
