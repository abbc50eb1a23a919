#include "FontsTab.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "FlowLayout.h"
#include "FontNames.h"
#include "FontTable.h"
#include "PageView.h"
#include "PdfDocument.h"
#include "PreviewPane.h"
#include "WindowParts.h"

namespace {

constexpr int kFontColumns = 6;
// The workspace grey behind the page.
const QColor kAppWorkSpace(171, 171, 171);

}  // namespace

TFontsTab::TFontsTab(TPdfDocument& doc, QWidget* parent) : QWidget(parent), doc_(&doc) {
    QWidget* fields = CreateFieldsRow();
    auto* note = new QLabel("Dies ist eine vereinfachte Darstellung der Seite, der Inhalt bleibt aber 100% erhalten!", this);
    QFont bold = note->font();
    bold.setBold(true);
    note->setFont(bold);
    note->setWordWrap(true);
    CreatePageArea();
    CreateTablePart();

    // Page and table share the height 3 : 1 by their stretch alone (their
    // size hints would let the table win on a small screen); neither goes
    // below its minimum, so the commands stay on a small screen.
    for (QWidget* part : {static_cast<QWidget*>(PageStack), tablePart_})
        part->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    FitTableMinimum();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);
    layout->addWidget(MakeHeader("Schriftarten - Sie können hier nun die Schriftarten ersetzen lassen", this));
    layout->addWidget(fields);
    layout->addWidget(note);
    layout->addWidget(PageStack, 3);
    layout->addWidget(tablePart_, 1);

    connect(PageEd, &QSpinBox::valueChanged, this, [this] { PageEdChange(); });
    connect(ZoomEd, &QSpinBox::valueChanged, this, [this] { ZoomEdChange(); });
    connect(PageView, &TPageView::fontHovered, this, &TFontsTab::FontHovered);
    connect(PageView, &TPageView::statusTextChanged, this, &TFontsTab::statusTextChanged);
    SetTabOrder();
    ShowPageFocus(false);
    SetDocumentShown(false);
}

QToolButton* TFontsTab::MakeTool(const QString& text, const QString& hint) {
    auto* button = new QToolButton(this);
    button->setText(text);
    button->setToolTip(hint);
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setMinimumWidth(48);
    return button;
}

QWidget* TFontsTab::CreateFieldsRow() {
    PointerBtn = MakeTool("Zeiger", "Zeigt die Schriftart des Textes unter dem Mauszeiger");
    LupeBtn = MakeTool("Lupe", "Vergrößert (linke Maustaste) oder verkleinert (rechte Maustaste)");
    HandBtn = MakeTool("Hand", "Verschiebt die Seite");
    PointerBtn->setChecked(true);
    tools_ = new QButtonGroup(this);
    tools_->setExclusive(true);
    tools_->addButton(PointerBtn, static_cast<int>(TPageView::TTool::Pointer));
    tools_->addButton(LupeBtn, static_cast<int>(TPageView::TTool::Magnifier));
    tools_->addButton(HandBtn, static_cast<int>(TPageView::TTool::Hand));
    PreviewBtn = MakeTool("Vorschau", "Zeigt die Seite, wie sie in der Datei steht und wie sie gespeichert wird");
    DiffBtn = MakeTool("Unterschied", "Markiert in der Vorschau die Pixel, die sich beim Speichern ändern");
    DiffBtn->setEnabled(false);
    connect(PreviewBtn, &QToolButton::toggled, this, &TFontsTab::PreviewBtnClick);
    connect(DiffBtn, &QToolButton::toggled, this, &TFontsTab::DiffBtnClick);

    ZoomEd = new TSpinEdit(this);
    ZoomEd->setRange(10, 300);
    ZoomEd->setSingleStep(10);
    ZoomEd->setValue(50);
    PageEd = new TSpinEdit(this);
    PageEd->setRange(1, 10000);
    PageEd->setSingleStep(1);
    PageEd->setValue(1);
    for (QSpinBox* field : {ZoomEd, PageEd}) {
        // The wheel neither turns pages nor zooms: only a field that has the
        // focus takes it; over the page area it scrolls.
        field->setFocusPolicy(Qt::StrongFocus);
        field->installEventFilter(this);
    }
    Label6 = new QLabel("von 0", this);
    FontNameEd = new QLineEdit(this);
    FontNameEd->setReadOnly(true);
    // Room for a name such as "/R11 (Helvetica-BoldOblique)"; a longer one
    // can be read in the tooltip.
    FontNameEd->setMinimumWidth(FontNameEd->fontMetrics().horizontalAdvance("/R11 (Helvetica-BoldOblique)") + 12);
    connect(FontNameEd, &QLineEdit::textChanged, FontNameEd, &QLineEdit::setToolTip);

    // The row wraps in groups that belong together when the window is too
    // narrow for one line (2× scaling, a small window): nothing overlaps
    // and the font field keeps a useful width.
    auto* row = new QWidget(this);
    FieldsRow = new TFlowLayout(row, 8);
    auto group = [row](std::initializer_list<QWidget*> widgets, QWidget* stretch = nullptr) {
        auto* box = new QWidget(row);
        auto* layout = new QHBoxLayout(box);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(2);
        for (QWidget* widget : widgets) {
            widget->setParent(box);
            layout->addWidget(widget, widget == stretch ? 1 : 0);
        }
        if (stretch) box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        return box;
    };
    auto* zoomCaption = new QLabel("Zoom:", this);
    auto* pageCaption = new QLabel("Seite:", this);
    auto* fontCaption = new QLabel("Gewählte Schriftart:", this);
    zoomCaption->setBuddy(ZoomEd);
    pageCaption->setBuddy(PageEd);
    fontCaption->setBuddy(FontNameEd);
    FieldsRow->addWidget(group({zoomCaption, ZoomEd}));
    FieldsRow->addWidget(group({pageCaption, PageEd, Label6}));
    FieldsRow->addWidget(group({PointerBtn, LupeBtn, HandBtn}));
    FieldsRow->addWidget(group({PreviewBtn, DiffBtn}));
    FieldsRow->addWidget(group({fontCaption, FontNameEd}, FontNameEd));
    return row;
}

void TFontsTab::CreatePageArea() {
    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setBackgroundRole(QPalette::Dark);
    QPalette workspace = ScrollBox1->palette();
    workspace.setColor(QPalette::Dark, kAppWorkSpace);
    ScrollBox1->setPalette(workspace);
    PageView = new TPageView(*doc_);
    // Focusable, so that the page keys work right after a click on the page.
    PageView->setFocusPolicy(Qt::StrongFocus);
    PageView->installEventFilter(this);
    PageView->AttachControls(PageEd, ZoomEd, FontNameEd, ScrollBox1);
    ScrollBox1->setWidget(PageView);
    PreviewPane = new TPreviewPane(*doc_, this);
    connect(tools_, &QButtonGroup::idClicked, this, [this](int id) {
        PageView->SetTool(static_cast<TPageView::TTool>(id));
        PreviewPane->SetTool(static_cast<TPageView::TTool>(id));
    });
    // In the preview the pointer tool still names the font under the
    // pointer: the renderings have the simplified drawing's geometry.
    connect(PreviewPane, &TPreviewPane::pointerMoved, this, [this](int x, int y) {
        if (PageView->Tool() == TPageView::TTool::Pointer) PageView->HoverAt(x, y);
    });
    connect(PreviewPane, &TPreviewPane::zoomRequested, ZoomEd, &QSpinBox::setValue);
    connect(PreviewPane, &TPreviewPane::statusTextChanged, this, &TFontsTab::statusTextChanged);

    // Without a document the page area says how to get one, instead of
    // showing an empty sheet.
    NoDocumentNote = new QLabel(
        "Keine PDF-Datei geöffnet.\n\nWählen Sie eine Datei auf der Seite „PDF-Datei öffnen“ (Strg+O) oder ziehen "
        "Sie sie auf das Fenster.",
        this);
    NoDocumentNote->setAlignment(Qt::AlignCenter);
    NoDocumentNote->setWordWrap(true);
    NoDocumentNote->setAutoFillBackground(true);
    NoDocumentNote->setBackgroundRole(QPalette::Dark);
    NoDocumentNote->setPalette(workspace);
    NoDocumentNote->setMargin(12);

    PageStack = new QStackedWidget(this);
    PageStack->addWidget(ScrollBox1);
    PageStack->addWidget(PreviewPane);
    PageStack->addWidget(NoDocumentNote);
    // The preview's own minimum (two renderings and their captions) would
    // push the table and its commands off a small screen.
    PageStack->setMinimumHeight(120);
}

void TFontsTab::CreateTablePart() {
    ChangeBtn = new QPushButton("Schriftart ersetzen...", this);
    OldFontBtn = new QPushButton("Alte Schriftart verwenden", this);
    EmbedFontsBtn = new QPushButton("Fehlende Schriften einbetten…", this);
    // One line under the buttons: wrapped beside them it grew to three lines
    // and pushed the buttons off a small screen. A narrow window shortens
    // it; the whole text is then in its tooltip.
    auto* warning = new TElidedLabel(this);
    warning->SetText(
        "Achtung: Die Ersetzung schlägt bei fehl, wenn die neue Schriftart eine andere Zeichencodierung als die "
        "Alte benutzt!");

    FontListView = new QTreeWidget(this);
    FontListView->setColumnCount(kFontColumns);
    FontListView->setHeaderLabels({"Alte Schriftart", "Schriftname", "Typ", "Eingebettet", "Kodierung", "Neue Schriftart"});
    // Narrow enough for a window 800 wide (2× scaling) without a scroll bar
    // that would hide a row; the replacement takes the rest.
    const int widths[] = {90, 180, 80, 80, 150};
    for (int column = 0; column < static_cast<int>(std::size(widths)); ++column)
        FontListView->setColumnWidth(column, widths[column]);
    FontListView->header()->setStretchLastSection(true);
    FontListView->header()->setMinimumSectionSize(60);
    FontListView->setRootIsDecorated(false);
    FontListView->setItemsExpandable(false);
    FontListView->setSelectionMode(QAbstractItemView::SingleSelection);
    FontListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    FontListView->setAllColumnsShowFocus(true);
    // The selection stays visible when the table loses the focus.
    QPalette tablePalette = FontListView->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        tablePalette.setColor(QPalette::Inactive, role, tablePalette.color(QPalette::Active, role));
    FontListView->setPalette(tablePalette);
    connect(FontListView, &QTreeWidget::itemDoubleClicked, this, [this] { ChangeBtn->click(); });

    auto* commands = new QHBoxLayout;
    commands->setContentsMargins(0, 0, 0, 0);
    commands->addWidget(ChangeBtn);
    commands->addWidget(OldFontBtn);
    commands->addWidget(EmbedFontsBtn);
    commands->addStretch(1);
    tablePart_ = new QWidget(this);
    auto* table = new QVBoxLayout(tablePart_);
    table->setContentsMargins(0, 0, 0, 0);
    table->setSpacing(3);
    table->addWidget(FontListView, 1);
    table->addLayout(commands);
    table->addWidget(warning);
}

void TFontsTab::FitTableMinimum() {
    // The header and three rows, the commands and the warning: set by hand,
    // as the share by stretch alone ignores the part's own minimum.
    FontListView->setMinimumHeight(FontListView->fontMetrics().height() * 5 + 2 * FontListView->frameWidth());
    tablePart_->setMinimumHeight(tablePart_->layout()->minimumSize().height());
}

void TFontsTab::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) FitTableMinimum();
    QWidget::changeEvent(event);
}

void TFontsTab::SetTabOrder() {
    // The eye's order: the row of fields and tools, the page, then the
    // table and the commands on its rows.
    QWidget* const order[] = {ZoomEd,     PageEd,   PointerBtn,   LupeBtn,   HandBtn,    PreviewBtn,   DiffBtn,
                              FontNameEd, PageView, FontListView, ChangeBtn, OldFontBtn, EmbedFontsBtn};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

bool TFontsTab::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel && (watched == PageEd || watched == ZoomEd)) {
        if (!static_cast<QWidget*>(watched)->hasFocus()) return true;
    }
    if (watched == PageView && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        ShowPageFocus(event->type() == QEvent::FocusIn);
    return QWidget::eventFilter(watched, event);
}

void TFontsTab::ShowPageFocus(bool focused) {
    // The page has no frame of its own: the scroll box's frame shows the
    // focus in the highlight colour, and is workspace grey without it.
    const QColor line = focused ? palette().color(QPalette::Active, QPalette::Highlight) : kAppWorkSpace;
    ScrollBox1->setStyleSheet(QString("QScrollArea { border: 2px solid %1; }").arg(line.name()));
}

void TFontsTab::SetDocument(TPdfDocument& doc) {
    doc_ = &doc;
    // What the pointer named belongs to the previous document.
    ClearHover();
    PageView->SetDocument(doc);
    PreviewPane->SetDocument(doc);
    SetDocumentShown(doc.pageList.Count() > 0);
}

void TFontsTab::SetDocumentShown(bool shown) {
    documentShown_ = shown;
    // Without pages the page commands have nothing to work on.
    for (QWidget* command : std::initializer_list<QWidget*>{PageEd, ZoomEd, PointerBtn, LupeBtn, HandBtn, PreviewBtn,
                                                            FontNameEd, FontListView, ChangeBtn, OldFontBtn,
                                                            EmbedFontsBtn})
        command->setEnabled(shown);
    DiffBtn->setEnabled(shown && PreviewBtn->isChecked());
    if (!shown)
        PageStack->setCurrentWidget(NoDocumentNote);
    else
        PageStack->setCurrentWidget(PreviewBtn->isChecked() ? static_cast<QWidget*>(PreviewPane) : ScrollBox1);
}

void TFontsTab::ClearHover() {
    FontNameEd->clear();
    PageView->ClearMarks();
}

void TFontsTab::ShowFirstPage() {
    Label6->setText("von " + QString::number(doc_->pageList.Count()));
    PageEd->setValue(1);
    ZoomEd->setValue(FitWidthZoom());
    // Setting the field to the value it already shows raises no change, but
    // the table must show the new document's fonts all the same.
    RefreshFontTable(PageEd->value());
    PageView->InvalidateImageCache();
    PageView->Refresh();
    ShowPreviewPage();
}

int TFontsTab::CurrentPage() const {
    return PageEd->value();
}

void TFontsTab::StepZoom(bool in) {
    ZoomEd->setValue(PageGeometry::MagnifiedZoom(ZoomEd->value(), in));
}

void TFontsTab::ReplacementsChanged() {
    const int row = SelectedFontRow();
    RefreshFontTable(PageEd->value());
    if (QTreeWidgetItem* item = FontListView->topLevelItem(row)) FontListView->setCurrentItem(item);
    PreviewPane->ReplacementsChanged();
    ShowPreviewPage();
}

void TFontsTab::ShowPage(int page) {
    if (doc_->pageList.Count() < 1) return;
    PageEd->setValue(std::clamp(page, 1, static_cast<int>(doc_->pageList.Count())));
}

int TFontsTab::FitWidthZoom() const {
    const int page = PageEd->value();
    if (page < 1 || page > doc_->pageList.Count()) return ZoomEd->value();
    const auto& box = doc_->pageList[static_cast<size_t>(page - 1)].mediaBox;
    const double widthPt = box[2] - box[0];
    // The room left of the vertical scroll bar, with a small margin.
    const int room = ScrollBox1->viewport()->width() - ScrollBox1->verticalScrollBar()->sizeHint().width() - 4;
    if (widthPt <= 0 || room <= 0) return ZoomEd->value();
    const double zoom = room * 72.0 * 100.0 / (widthPt * PageView->Dpi());
    return std::clamp(static_cast<int>(zoom), ZoomEd->minimum(), ZoomEd->maximum());
}

void TFontsTab::PageEdChange() {
    const int pageCount = doc_->pageList.Count();
    // The nested change event of the corrected value does the same work;
    // the outer run repeats it for the field's value, which is then final.
    if (PageEd->value() > pageCount) PageEd->setValue(pageCount);
    // The field named a font of the page the pointer was over.
    ClearHover();
    RefreshFontTable(PageEd->value());
    PageView->Refresh();
    // A new page starts at its top, not where the last one was scrolled to.
    ScrollBox1->verticalScrollBar()->setValue(0);
    ShowPreviewPage();
}

void TFontsTab::ZoomEdChange() {
    PageView->Refresh();
    ShowPreviewPage();
}

bool TFontsTab::PreviewShown() const {
    return PageStack->currentWidget() == PreviewPane;
}

bool TFontsTab::DocumentShown() const {
    return documentShown_;
}

void TFontsTab::ShowPreviewPage() {
    if (PreviewShown()) PreviewPane->ShowPage(PageEd->value(), ZoomEd->value());
}

void TFontsTab::PreviewBtnClick(bool on) {
    if (documentShown_) PageStack->setCurrentWidget(on ? static_cast<QWidget*>(PreviewPane) : ScrollBox1);
    DiffBtn->setEnabled(on && documentShown_);
    if (!on) {
        DiffBtn->setChecked(false);
        emit statusTextChanged(QString());
    }
    PreviewPane->SetDpi(PageView->Dpi());
    ShowPreviewPage();
}

void TFontsTab::DiffBtnClick(bool on) {
    PreviewPane->SetDifferenceShown(on);
}

void TFontsTab::RefreshFontTable(int page) {
    FontListView->setUpdatesEnabled(false);
    FontListView->clear();
    for (const int32_t index : FontTableRows(*doc_, page)) {
        const TFontRecord& font = doc_->fontList[static_cast<size_t>(index)];
        const std::string& shown = font.replacementName.empty() ? font.resName : font.replacementName;
        auto* item = new QTreeWidgetItem({FromCp1252(font.resName), FontName(font), FontTypeText(font),
                                          FontEmbeddedText(font), FontEncodingText(font), FromCp1252(shown)});
        // A cell too narrow for its text ("WinAnsiEncoding + Differences")
        // shows the whole text as its tooltip.
        for (int column = 0; column < kFontColumns; ++column) item->setToolTip(column, item->text(column));
        FontListView->addTopLevelItem(item);
    }
    FontListView->setUpdatesEnabled(true);
}

void TFontsTab::FontHovered(const QString& resName, int32_t fontIndex) {
    if (resName.isEmpty()) return;
    const std::vector<int32_t> rows = FontTableRows(*doc_, PageEd->value());
    const int count = std::min(FontListView->topLevelItemCount(), static_cast<int>(rows.size()));
    // The run's own record first; by name only when the run has none.
    int found = -1;
    for (int row = 0; row < count && found < 0; ++row)
        if (rows[static_cast<size_t>(row)] == fontIndex) found = row;
    for (int row = 0; row < count && found < 0; ++row)
        if (FromCp1252(doc_->fontList[static_cast<size_t>(rows[static_cast<size_t>(row)])].resName) == resName)
            found = row;
    if (found < 0) return;
    FontListView->setCurrentItem(FontListView->topLevelItem(found));
    FontNameEd->setText(FontCaption(doc_->fontList[static_cast<size_t>(rows[static_cast<size_t>(found)])]));
}

int TFontsTab::SelectedFontRow() const {
    const QList<QTreeWidgetItem*> selected = FontListView->selectedItems();
    if (selected.isEmpty()) return -1;
    return FontListView->indexOfTopLevelItem(selected.first());
}
