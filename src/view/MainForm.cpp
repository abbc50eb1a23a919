#include "MainForm.h"

#include <algorithm>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QVBoxLayout>

#include "AboutBox.h"
#include "ChangeFontForm.h"
#include "EmbedFontsForm.h"
#include "ContentInterpreter.h"
#include "ContentRewrite.h"
#include "FileBrowser.h"
#include "FontNames.h"
#include "FontTable.h"
#include "ImageBtn.h"
#include "OpenOutcome.h"
#include "OpenPDFForm.h"
#include "PageView.h"
#include "PdfWriter.h"
#include "PreviewPane.h"

namespace {

const char* const kAppTitle = "PDF Glyphwell";
constexpr int kFontColumns = 6;
// The font table's last column names the replacement.
constexpr int kReplacementColumn = 5;
const QColor kHeaderColor(240, 202, 166);
const QColor kSidePanelColor(192, 220, 192);
const QColor kMaroon(128, 0, 0);
// The workspace grey behind the page.
const QColor kAppWorkSpace(171, 171, 171);
// Pumping events costs more than the interpretation of a token; a few
// milliseconds between pumps keep the cancel button responsive.
constexpr qint64 kPumpIntervalMs = 8;

QString FromCp1252(const std::string& s) {
    return QString::fromStdString(Cp1252ToUtf8(s));
}

std::string ToCp1252(const QString& s) {
    return Utf8ToCp1252(s.toStdString());
}

// A spin field whose text, when it is not a number (an emptied field), reads
// as the field's minimum, so that emptying the page field shows page 1.
class TSpinEdit : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

protected:
    QValidator::State validate(QString& text, int& pos) const override {
        if (text.trimmed().isEmpty()) return QValidator::Acceptable;
        return QSpinBox::validate(text, pos);
    }
    int valueFromText(const QString& text) const override {
        bool ok = false;
        const int value = text.trimmed().toInt(&ok);
        return ok ? value : minimum();
    }
};

// ---- pictures, drawn here so that the program ships no image files -------

QPixmap NewPixmap(int width, int height) {
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QIcon FolderIcon() {
    QPixmap pixmap = NewPixmap(16, 16);
    QPainter p(&pixmap);
    p.setPen(QColor(120, 90, 10));
    p.setBrush(QColor(240, 200, 80));
    p.drawRect(1, 4, 14, 10);
    p.drawRect(1, 2, 6, 2);
    return QIcon(pixmap);
}

QIcon LetterIcon() {
    QPixmap pixmap = NewPixmap(16, 16);
    QPainter p(&pixmap);
    QFont font("DejaVu Serif");
    font.setPixelSize(15);
    font.setBold(true);
    p.setFont(font);
    p.setPen(kMaroon);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, "A");
    return QIcon(pixmap);
}

QIcon InfoIcon() {
    QPixmap pixmap = NewPixmap(16, 16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 160));
    p.drawEllipse(1, 1, 14, 14);
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(1, 1, 14, 14), Qt::AlignCenter, "i");
    return QIcon(pixmap);
}

QIcon DiskIcon() {
    QPixmap pixmap = NewPixmap(16, 16);
    QPainter p(&pixmap);
    p.setPen(QColor(20, 20, 60));
    p.setBrush(QColor(60, 60, 140));
    p.drawRect(1, 1, 13, 13);
    p.setBrush(Qt::white);
    p.drawRect(4, 1, 7, 5);
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(3, 9, 9, 5);
    return QIcon(pixmap);
}

// The bottom bar's round buttons: a symbol on a disc; pressed, the disc is
// darker and the symbol moves down by one pixel.
QPixmap RoundButtonPicture(bool pressed, const QColor& disc, const std::function<void(QPainter&)>& symbol) {
    QPixmap pixmap = NewPixmap(32, 32);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(pressed ? disc.darker(140) : disc);
    p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
    if (pressed) p.translate(1, 1);
    symbol(p);
    return pixmap;
}

void DrawInfoSymbol(QPainter& p) {
    QFont font("DejaVu Serif");
    font.setPixelSize(22);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, "i");
}

void DrawExitSymbol(QPainter& p) {
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(11, 11, 21, 21);
    p.drawLine(21, 11, 11, 21);
}

// The decorative pictures of the side panels.
QPixmap SheetPicture() {
    QPixmap pixmap = NewPixmap(96, 120);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(Qt::white);
    p.drawRect(8, 4, 80, 108);
    p.setPen(QPen(QColor(150, 150, 150), 3));
    for (int y = 48; y <= 100; y += 12) p.drawLine(18, y, 78, y);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 160));
    p.drawEllipse(34, 12, 28, 28);
    QFont font("DejaVu Serif");
    font.setPixelSize(22);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(34, 12, 28, 28), Qt::AlignCenter, "i");
    return pixmap;
}

QPixmap DiskPicture() {
    QPixmap pixmap = NewPixmap(96, 96);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 20, 60), 2));
    p.setBrush(QColor(60, 60, 140));
    QPainterPath body;
    body.moveTo(6, 6);
    body.lineTo(76, 6);
    body.lineTo(90, 20);
    body.lineTo(90, 90);
    body.lineTo(6, 90);
    body.closeSubpath();
    p.drawPath(body);
    p.setBrush(QColor(210, 210, 210));
    p.drawRect(22, 6, 48, 28);
    p.setBrush(QColor(60, 60, 140));
    p.drawRect(54, 10, 10, 20);
    p.setBrush(Qt::white);
    p.drawRect(16, 50, 64, 40);
    return pixmap;
}

QLabel* MakeHeader(const QString& text, QWidget* parent) {
    auto* header = new QLabel(text, parent);
    header->setFrameStyle(QFrame::Panel | QFrame::Raised);
    header->setAutoFillBackground(true);
    QPalette palette = header->palette();
    palette.setColor(QPalette::Window, kHeaderColor);
    palette.setColor(QPalette::WindowText, Qt::black);
    header->setPalette(palette);
    QFont font = header->font();
    font.setBold(true);
    header->setFont(font);
    header->setContentsMargins(6, 3, 6, 3);
    return header;
}

QFrame* MakeSidePanel(const QString& title, const QPixmap& picture, QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, kSidePanelColor);
    palette.setColor(QPalette::WindowText, kMaroon);
    panel->setPalette(palette);
    panel->setFixedWidth(184);
    auto* caption = new QLabel(title, panel);
    QFont font("Arial Black");
    font.setPixelSize(19);
    font.setWeight(QFont::Black);
    caption->setFont(font);
    caption->setWordWrap(true);
    caption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    auto* image = new QLabel(panel);
    image->setPixmap(picture);
    image->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    auto* layout = new QVBoxLayout(panel);
    layout->addWidget(caption);
    layout->addWidget(image);
    layout->addStretch(1);
    return panel;
}

TDateTimeValue WithDate(TDateTimeValue value, const QDate& date) {
    value.year = date.year();
    value.month = date.month();
    value.day = date.day();
    return value;
}

TDateTimeValue WithTime(TDateTimeValue value, const QTime& time) {
    value.hour = time.hour();
    value.minute = time.minute();
    value.second = time.second();
    return value;
}

}  // namespace

// ---- status bar panel --------------------------------------------------------

TProgressPanel::TProgressPanel(QWidget* parent) : QWidget(parent) {
    setFixedWidth(50);
}

void TProgressPanel::SetPercent(int32_t percent) {
    percent_ = std::clamp(percent, 0, 100);
    update();
}

void TProgressPanel::paintEvent(QPaintEvent*) {
    progressPanelRect = rect();
    QPainter painter(this);
    const int barWidth = progressPanelRect.width() * percent_ / 100;
    if (barWidth > 0) painter.fillRect(QRect(0, 0, barWidth, height()), QColor(0, 0, 128));
}

// ---- construction ------------------------------------------------------------

TMainForm::TMainForm(const QString& programDir, QWidget* parent)
    : QMainWindow(parent), programDir_(programDir) {
    if (!programDir_.endsWith('/')) programDir_ += '/';
    doc_ = NewDocument();

    UpdateTitle();
    setWindowIcon(LetterIcon());
    resize(622, 489);
    QFont windowFont("Sans Serif");
    windowFont.setPointSize(8);
    setFont(windowFont);

    PageControl1 = new QTabWidget(this);
    PageControl1->addTab(CreateOpenTab(), FolderIcon(), "PDF-Datei öffnen");
    PageControl1->addTab(CreateFontsTab(), LetterIcon(), "Schriftarten");
    PageControl1->addTab(CreateInfoTab(), InfoIcon(), "Informationen");
    PageControl1->addTab(CreateSaveTab(), DiskIcon(), "PDF-Datei speichern");
    PageControl1->setCurrentIndex(0);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(PageControl1, 1);
    layout->addWidget(CreateBottomBar());
    setCentralWidget(central);
    CreateStatusBar();

    OpenPDFForm = new TOpenPDFForm(this);
    connect(OpenPDFForm, &TOpenPDFForm::cancelClicked, this, [this] {
        if (reading_) reading_->cancelRequested = 1;
    });
    ChangeFontForm = new TChangeFontForm(*doc_, this);

    measurer_.SetDpi(PageView->Dpi());
    screenFont_ = QFont("Arial");
    screenFont_.setPixelSize(15);
    ApplyScreenFont();
    InfoFieldsChanged();
    ConnectInfoFields();
    UpdateSaveAvailability();
    CreateShortcuts();
    setAcceptDrops(true);
}

void TMainForm::CreateShortcuts() {
    auto add = [this](QWidget* scope, const QKeySequence& keys, auto handler) {
        auto* shortcut = new QShortcut(keys, scope);
        shortcut->setContext(scope == this ? Qt::WindowShortcut : Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, handler);
    };
    add(this, Qt::CTRL | Qt::Key_O, [this] {
        PageControl1->setCurrentIndex(0);
        FileBrowser->FileList()->setFocus();
    });
    add(this, Qt::CTRL | Qt::Key_S, [this] { SaveBtnClick(); });
    add(this, Qt::CTRL | Qt::Key_Q, [this] { close(); });
    add(this, Qt::Key_F1, [this] { wwwBtnClick(); });
    // Page keys turn pages only on the tab with the page, so that the file
    // list keeps them for scrolling.
    QWidget* pageTab = PageControl1->widget(1);
    add(pageTab, Qt::Key_PageDown, [this] { ShowPage(PageEd->value() + 1); });
    add(pageTab, Qt::Key_PageUp, [this] { ShowPage(PageEd->value() - 1); });
    add(pageTab, Qt::CTRL | Qt::Key_Home, [this] { ShowPage(1); });
    add(pageTab, Qt::CTRL | Qt::Key_End, [this] { ShowPage(doc_->pageList.Count()); });
    add(pageTab, QKeySequence::ZoomIn, [this] { ZoomEd->setValue(PageGeometry::MagnifiedZoom(ZoomEd->value(), true)); });
    add(pageTab, QKeySequence::ZoomOut, [this] { ZoomEd->setValue(PageGeometry::MagnifiedZoom(ZoomEd->value(), false)); });
    add(pageTab, Qt::CTRL | Qt::Key_Equal, [this] { ZoomEd->setValue(PageGeometry::MagnifiedZoom(ZoomEd->value(), true)); });
}

void TMainForm::ShowPage(int page) {
    if (doc_->pageList.Count() < 1) return;
    PageEd->setValue(std::clamp(page, 1, static_cast<int>(doc_->pageList.Count())));
}

void TMainForm::RestoreWindowState() {
    const QSettings settings;
    if (!restoreGeometry(settings.value("window/geometry").toByteArray())) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect available = screen->availableGeometry();
            resize(std::max(622, available.width() * 4 / 5), std::max(489, available.height() * 4 / 5));
            move(available.center() - QPoint(width() / 2, height() / 2));
        }
    }
    PageControl1->setCurrentIndex(std::clamp(settings.value("window/tab", 0).toInt(), 0, PageControl1->count() - 1));
    ZoomEd->setValue(settings.value("view/zoom", 50).toInt());
}

void TMainForm::SaveWindowState() const {
    QSettings settings;
    settings.setValue("window/geometry", saveGeometry());
    settings.setValue("window/tab", PageControl1->currentIndex());
    settings.setValue("view/zoom", ZoomEd->value());
}

int TMainForm::FitWidthZoom() const {
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

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile() && url.toLocalFile().endsWith(".pdf", Qt::CaseInsensitive)) {
            event->acceptProposedAction();
            return;
        }
    }
}

void TMainForm::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile() && url.toLocalFile().endsWith(".pdf", Qt::CaseInsensitive)) {
            event->acceptProposedAction();
            // After the drop has returned: the open runs its own event loop.
            const QString path = url.toLocalFile();
            QTimer::singleShot(0, this, [this, path] { openfilenow(path); });
            return;
        }
    }
}

std::unique_ptr<TPdfDocument> TMainForm::NewDocument() {
    auto doc = std::make_unique<TPdfDocument>(*this);
    doc->programDir = QFile::encodeName(programDir_).toStdString();
    doc->readPics = !ReadPicsCheck || ReadPicsCheck->isChecked();
    AttachInterpreter(*doc);
    return doc;
}

TMainForm::~TMainForm() {
    // The widgets refer to the document and their signals reach this
    // window's handlers: remove them while the document still exists.
    testHooks = TDialogHooks{};
    delete OpenPDFForm;
    delete ChangeFontForm;
    delete takeCentralWidget();
}

QWidget* TMainForm::CreateOpenTab() {
    auto* tab = new QWidget;
    FileBrowser = new TFileBrowser(programDir_, tab);
    FileBrowser->SetFolder(programDir_);
    connect(FileBrowser, &TFileBrowser::openRequested, this, [this](const QString& path) { openfilenow(path); });

    ChooseFontBtn = new QPushButton("Schriftart auswählen:", tab);
    connect(ChooseFontBtn, &QPushButton::clicked, this, &TMainForm::ChooseFontBtnClick);
    FontLabel = new QLabel("Optimieren auf:", tab);
    ReadPicsCheck = new QCheckBox("Bilder einlesen", tab);
    ReadPicsCheck->setChecked(true);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ChooseFontBtn);
    bottom->addWidget(FontLabel, 1);
    bottom->addWidget(ReadPicsCheck);
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(MakeHeader("PDF-Datei öffnen - Wählen Sie die zu öffnende PDF-Datei aus", tab));
    layout->addWidget(FileBrowser, 1);
    layout->addLayout(bottom);
    return tab;
}

QWidget* TMainForm::CreateFontsTab() {
    auto* tab = new QWidget;

    auto makeTool = [tab](const QString& text, const QString& hint) {
        auto* button = new QToolButton(tab);
        button->setText(text);
        button->setToolTip(hint);
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setFixedWidth(48);
        return button;
    };
    PointerBtn = makeTool("Zeiger", "Zeigt die Schriftart des Textes unter dem Mauszeiger");
    LupeBtn = makeTool("Lupe", "Vergrößert (linke Maustaste) oder verkleinert (rechte Maustaste)");
    HandBtn = makeTool("Hand", "Verschiebt die Seite");
    PointerBtn->setChecked(true);
    auto* tools = new QButtonGroup(tab);
    tools->setExclusive(true);
    tools->addButton(PointerBtn, static_cast<int>(TPageView::TTool::Pointer));
    tools->addButton(LupeBtn, static_cast<int>(TPageView::TTool::Magnifier));
    tools->addButton(HandBtn, static_cast<int>(TPageView::TTool::Hand));
    PreviewBtn = makeTool("Vorschau", "Zeigt die Seite, wie sie in der Datei steht und wie sie gespeichert wird");
    DiffBtn = makeTool("Unter-\nschied", "Markiert in der Vorschau die Pixel, die sich beim Speichern ändern");
    DiffBtn->setEnabled(false);
    connect(PreviewBtn, &QToolButton::toggled, this, &TMainForm::PreviewBtnClick);
    connect(DiffBtn, &QToolButton::toggled, this, &TMainForm::DiffBtnClick);
    auto* toolBar = new QVBoxLayout;
    toolBar->setSpacing(2);
    toolBar->addWidget(PointerBtn);
    toolBar->addWidget(LupeBtn);
    toolBar->addWidget(HandBtn);
    toolBar->addSpacing(8);
    toolBar->addWidget(PreviewBtn);
    toolBar->addWidget(DiffBtn);
    toolBar->addStretch(1);

    ZoomEd = new TSpinEdit(tab);
    ZoomEd->setRange(10, 300);
    ZoomEd->setSingleStep(10);
    ZoomEd->setValue(50);
    PageEd = new TSpinEdit(tab);
    PageEd->setRange(1, 10000);
    PageEd->setSingleStep(1);
    PageEd->setValue(1);
    for (QSpinBox* field : {ZoomEd, PageEd}) {
        // The wheel neither turns pages nor zooms: only a field that has the
        // focus takes it; over the page area it scrolls.
        field->setFocusPolicy(Qt::StrongFocus);
        field->installEventFilter(this);
    }
    Label6 = new QLabel("von 0", tab);
    FontNameEd = new QLineEdit(tab);
    FontNameEd->setReadOnly(true);
    auto* fields = new QHBoxLayout;
    fields->addWidget(new QLabel("Zoom:", tab));
    fields->addWidget(ZoomEd);
    fields->addSpacing(8);
    fields->addWidget(new QLabel("Seite:", tab));
    fields->addWidget(PageEd);
    fields->addWidget(Label6);
    fields->addSpacing(8);
    fields->addWidget(new QLabel("Gewählte Schriftart:", tab));
    fields->addWidget(FontNameEd, 1);

    auto* note = new QLabel("Dies ist eine vereinfachte Darstellung der Seite, der Inhalt bleibt aber 100% erhalten!", tab);
    QFont bold = note->font();
    bold.setBold(true);
    note->setFont(bold);

    ScrollBox1 = new QScrollArea(tab);
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setBackgroundRole(QPalette::Dark);
    QPalette workspace = ScrollBox1->palette();
    workspace.setColor(QPalette::Dark, kAppWorkSpace);
    ScrollBox1->setPalette(workspace);
    PageView = new TPageView(*doc_);
    // Focusable, so that the page keys work right after a click on the page.
    PageView->setFocusPolicy(Qt::StrongFocus);
    PageView->AttachControls(PageEd, ZoomEd, FontNameEd, ScrollBox1);
    ScrollBox1->setWidget(PageView);
    connect(tools, &QButtonGroup::idClicked, this,
            [this](int id) { PageView->SetTool(static_cast<TPageView::TTool>(id)); });
    PreviewPane = new TPreviewPane(*doc_, tab);
    // In the preview the pointer tool still names the font under the
    // pointer: the renderings have the simplified drawing's geometry.
    connect(PreviewPane, &TPreviewPane::pointerMoved, this, [this](int x, int y) {
        if (PageView->Tool() == TPageView::TTool::Pointer) PageView->HoverAt(x, y);
    });
    connect(PreviewPane, &TPreviewPane::statusTextChanged, this, [this](const QString& text) {
        if (StatusPanel0) StatusPanel0->setText(text);
    });
    PageStack = new QStackedWidget(tab);
    PageStack->addWidget(ScrollBox1);
    PageStack->addWidget(PreviewPane);

    ChangeBtn = new QPushButton("Schriftart ersetzen...", tab);
    OldFontBtn = new QPushButton("Alte Schriftart verwenden", tab);
    connect(ChangeBtn, &QPushButton::clicked, this, &TMainForm::ChangeBtnClick);
    connect(OldFontBtn, &QPushButton::clicked, this, &TMainForm::OldFontBtnClick);
    EmbedFontsBtn = new QPushButton("Fehlende Schriften einbetten…", tab);
    connect(EmbedFontsBtn, &QPushButton::clicked, this, &TMainForm::EmbedFontsBtnClick);
    auto* warning = new QLabel(
        "Achtung: Die Ersetzung schlägt bei fehl, wenn die neue Schriftart eine andere Zeichencodierung als die "
        "Alte benutzt!",
        tab);
    warning->setWordWrap(true);

    FontListView = new QTreeWidget(tab);
    FontListView->setColumnCount(kFontColumns);
    FontListView->setHeaderLabels({"Alte Schriftart", "Schriftname", "Typ", "Eingebettet", "Kodierung", "Neue Schriftart"});
    for (int column : {0, 2, 3}) FontListView->setColumnWidth(column, 90);
    for (int column : {1, 4, kReplacementColumn}) FontListView->setColumnWidth(column, 180);
    FontListView->setRootIsDecorated(false);
    FontListView->setItemsExpandable(false);
    FontListView->setSelectionMode(QAbstractItemView::SingleSelection);
    FontListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    FontListView->setAllColumnsShowFocus(true);
    FontListView->setMinimumHeight(104);
    // The selection stays visible when the table loses the focus.
    QPalette tablePalette = FontListView->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        tablePalette.setColor(QPalette::Inactive, role, tablePalette.color(QPalette::Active, role));
    FontListView->setPalette(tablePalette);
    connect(FontListView, &QTreeWidget::itemDoubleClicked, this, [this] { ChangeBtnClick(); });

    auto* commands = new QVBoxLayout;
    commands->addWidget(ChangeBtn);
    commands->addWidget(OldFontBtn);
    commands->addWidget(EmbedFontsBtn);
    commands->addWidget(warning);
    commands->addStretch(1);
    auto* table = new QHBoxLayout;
    table->addLayout(commands);
    table->addWidget(FontListView, 1);

    auto* pageArea = new QHBoxLayout;
    pageArea->addLayout(toolBar);
    pageArea->addWidget(PageStack, 1);

    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);
    layout->addWidget(MakeHeader("Schriftarten - Sie können hier nun die Schriftarten ersetzen lassen", tab));
    layout->addLayout(fields);
    layout->addWidget(note);
    // The page gets most of the height; what a large window has to spare
    // goes partly to the font table.
    layout->addLayout(pageArea, 3);
    layout->addLayout(table, 1);

    connect(PageEd, &QSpinBox::valueChanged, this, [this] { PageEdChange(); });
    connect(ZoomEd, &QSpinBox::valueChanged, this, [this] { ZoomEdChange(); });
    connect(PageView, &TPageView::fontHovered, this, &TMainForm::FontHovered);
    connect(PageView, &TPageView::statusTextChanged, this, [this](const QString& text) {
        if (StatusPanel0) StatusPanel0->setText(text);
    });
    return tab;
}

QWidget* TMainForm::CreateInfoTab() {
    auto* tab = new QWidget;
    Edit1 = new QLineEdit(tab);
    Edit2 = new QLineEdit(tab);
    Edit3 = new QLineEdit(tab);
    Edit4 = new QLineEdit(tab);
    Edit5 = new QLineEdit(tab);
    Edit6 = new QLineEdit(tab);
    DateTimePicker1 = new QDateEdit(tab);
    DateTimePicker2 = new QTimeEdit(tab);
    DateTimePicker3 = new QDateEdit(tab);
    DateTimePicker4 = new QTimeEdit(tab);
    for (QDateEdit* date : {DateTimePicker1, DateTimePicker3}) {
        date->setDisplayFormat("dd.MM.yyyy");
        date->setCalendarPopup(true);
    }
    for (QTimeEdit* time : {DateTimePicker2, DateTimePicker4}) time->setDisplayFormat("HH:mm:ss");
    NowBtn = new QPushButton("Auf jetzt setzen", tab);
    connect(NowBtn, &QPushButton::clicked, this, &TMainForm::NowBtnClick);

    auto* form = new QGridLayout;
    const std::pair<const char*, QLineEdit*> texts[] = {
        {"Producer (Acrobat...):", Edit1}, {"Creator (Word...):", Edit2}, {"Autor:", Edit3},
        {"Titel:", Edit4},                 {"Betreff:", Edit5},           {"Stichworte:", Edit6}};
    int row = 0;
    for (const auto& [caption, edit] : texts) {
        form->addWidget(new QLabel(caption, tab), row, 0);
        form->addWidget(edit, row, 1, 1, 3);
        ++row;
    }
    form->addWidget(new QLabel("Erstellt:", tab), row, 0);
    form->addWidget(DateTimePicker1, row, 1);
    form->addWidget(DateTimePicker2, row, 2);
    ++row;
    form->addWidget(new QLabel("Geändert:", tab), row, 0);
    form->addWidget(DateTimePicker3, row, 1);
    form->addWidget(DateTimePicker4, row, 2);
    form->addWidget(NowBtn, row, 3, Qt::AlignLeft);
    form->setColumnStretch(3, 1);
    form->setRowStretch(row + 1, 1);

    auto* body = new QHBoxLayout;
    body->addWidget(MakeSidePanel("Dokument Informationen", SheetPicture(), tab));
    body->addLayout(form, 1);
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(MakeHeader("Dokumenten Informationen - Hier können Sie einige Informationen zum Dokument", tab));
    layout->addLayout(body, 1);
    return tab;
}

QWidget* TMainForm::CreateSaveTab() {
    auto* tab = new QWidget;
    SaveBtn = new QPushButton("PDF speichern unter...", tab);
    connect(SaveBtn, &QPushButton::clicked, this, &TMainForm::SaveBtnClick);
    ShowPDFCheck = new QCheckBox("PDF Datei nach dem Speichern anzeigen", tab);
    ShowPDFCheck->setChecked(true);
    PDFVersionBox = new QComboBox(tab);
    PDFVersionBox->addItems({"1.2 (Acrobat 3 and later)", "1.3 (Acrobat 4 and later)", "1.4 (Acrobat 5 and later)"});
    PDFVersionBox->setCurrentIndex(1);
    auto* note = new QLabel(
        "Achtung: Die Datei wird nach dem Speichern unmittelbar wieder neu im Programm geöffnet, so dass die jetzt "
        "neuen Schriftarten als \"alte Schriftarten\" erscheinen!",
        tab);
    note->setWordWrap(true);

    auto* version = new QHBoxLayout;
    version->addWidget(new QLabel("PDF Version:", tab));
    version->addWidget(PDFVersionBox);
    version->addStretch(1);
    auto* controls = new QVBoxLayout;
    controls->addWidget(SaveBtn, 0, Qt::AlignLeft);
    controls->addWidget(ShowPDFCheck);
    controls->addLayout(version);
    controls->addSpacing(12);
    controls->addWidget(note);
    controls->addStretch(1);

    auto* body = new QHBoxLayout;
    body->addWidget(MakeSidePanel("PDF-Datei speichern", DiskPicture(), tab));
    body->addLayout(controls, 1);
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(MakeHeader("Text ausgeben - Sie können nun den Text ansehen und speichern", tab));
    layout->addLayout(body, 1);
    return tab;
}

QWidget* TMainForm::CreateBottomBar() {
    auto* bar = new QWidget(this);
    bar->setFixedHeight(41);
    WwwBtn = new QPushButton("Hinweise zum Programm", bar);
    WwwBtn->setFlat(true);
    WwwBtn->setCursor(Qt::PointingHandCursor);
    connect(WwwBtn, &QPushButton::clicked, this, &TMainForm::wwwBtnClick);

    UeberBtn = new TImageBtn(bar);
    UeberBtn->SetPicture(RoundButtonPicture(false, QColor(0, 0, 160), DrawInfoSymbol));
    UeberBtn->SetPicture2(RoundButtonPicture(true, QColor(0, 0, 160), DrawInfoSymbol));
    UeberBtn->setToolTip("Informationen über das Programm");
    connect(UeberBtn, &TImageBtn::clicked, this, &TMainForm::ueberbtnClick);
    EndeBtn = new TImageBtn(bar);
    EndeBtn->SetPicture(RoundButtonPicture(false, QColor(176, 0, 0), DrawExitSymbol));
    EndeBtn->SetPicture2(RoundButtonPicture(true, QColor(176, 0, 0), DrawExitSymbol));
    EndeBtn->setToolTip("Hiermit verlassen Sie das Programm");
    connect(EndeBtn, &TImageBtn::clicked, this, &TMainForm::EndeBtnClick);

    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addWidget(WwwBtn);
    layout->addStretch(1);
    layout->addWidget(UeberBtn);
    layout->addWidget(EndeBtn);
    return bar;
}

void TMainForm::CreateStatusBar() {
    StatusPanel0 = new QLabel(this);
    StatusPanel0->setFixedWidth(350);
    StatusPanel0->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusPanel1 = new TProgressPanel(this);
    statusBar()->addWidget(StatusPanel0);
    statusBar()->addWidget(StatusPanel1);
}

void TMainForm::ConnectInfoFields() {
    for (QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6})
        connect(edit, &QLineEdit::textChanged, this, [this] { InfoFieldEdited(); });
    // A date the user touched is written as set; the others keep the
    // file's creation date and get the time of saving as modification.
    auto dateEdited = [this](bool creation) {
        if (fillingInfo_) return;
        (creation ? doc_->creationDateEdited : doc_->modDateEdited) = true;
        InfoFieldEdited();
    };
    connect(DateTimePicker1, &QDateEdit::dateChanged, this, [dateEdited] { dateEdited(true); });
    connect(DateTimePicker2, &QTimeEdit::timeChanged, this, [dateEdited] { dateEdited(true); });
    connect(DateTimePicker3, &QDateEdit::dateChanged, this, [dateEdited] { dateEdited(false); });
    connect(DateTimePicker4, &QTimeEdit::timeChanged, this, [dateEdited] { dateEdited(false); });
}

// ---- start and end -------------------------------------------------------------

std::optional<QString> TMainForm::CommandLinePath(const QString& argument, const QString& programDir,
                                                  const QString& workingDir) {
    if (!argument.toUpper().endsWith(".PDF")) return std::nullopt;
    if (argument.contains('/')) return argument;
    QString folder = programDir;
    if (!folder.endsWith('/')) folder += '/';
    const QString inProgramDir = folder + argument;
    if (QFileInfo::exists(inProgramDir)) return inProgramDir;
    // Started from a shell, a bare name usually means the working directory;
    // the program's folder still wins when it holds the file.
    const QString inWorkingDir = QDir(workingDir).filePath(argument);
    if (QFileInfo::exists(inWorkingDir)) return inWorkingDir;
    return inProgramDir;
}

void TMainForm::FormShow(const QStringList& arguments) {
    if (arguments.isEmpty()) return;
    if (const auto path = CommandLinePath(arguments.first(), programDir_, QDir::currentPath())) openfilenow(*path);
}

bool TMainForm::FormCloseQuery() {
    if (!modified_) return true;
    return Ask(QMessageBox::Information, "Programm beenden",
               "Hiermit beenden Sie das Programm! Alle nicht gespeicherten Daten gehen verloren!",
               QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (closeConfirmed_) {
        event->accept();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    if (reading_) {
        // The reader is on the stack below this handler: let it stop after
        // the current page and close once it has returned.
        reading_->cancelRequested = 1;
        closeAfterOpen_ = true;
        event->ignore();
        return;
    }
    closeConfirmed_ = true;
    SaveWindowState();
    event->accept();
}

void TMainForm::EndeBtnClick() {
    close();
}

void TMainForm::ueberbtnClick() {
    TAboutBox box(LinkTarget(), this);
    box.exec();
}

QString TMainForm::LinkTarget() const {
    QDir dir(programDir_);
    // Installed, the README lies beside the program; in a build tree it is
    // a few folders up, in the source tree.
    for (int level = 0; level < 5; ++level) {
        const QString candidate = dir.filePath("README.md");
        if (QFileInfo::exists(candidate)) return QFileInfo(candidate).absoluteFilePath();
        if (!dir.cdUp()) break;
    }
    return {};
}

void TMainForm::wwwBtnClick() {
    const QString target = LinkTarget();
    if (!target.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(target));
}

// ---- opening --------------------------------------------------------------------

bool TMainForm::openfilenow(const QString& path) {
    if (reading_) return false;
    if (!ConfirmDiscardChanges("PDF-Datei öffnen")) return false;
    return ReadIntoFreshDocument(path);
}

bool TMainForm::ConfirmDiscardChanges(const QString& caption) {
    if (!modified_) return true;
    const QString text = "Die Änderungen an \"" + QFileInfo(documentPath_).fileName() +
                         "\" sind noch nicht gespeichert und gehen verloren. Trotzdem fortfahren?";
    return Ask(QMessageBox::Warning, caption, text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

bool TMainForm::ReadIntoFreshDocument(const QString& path) {
    std::unique_ptr<TPdfDocument> fresh = NewDocument();
    reading_ = fresh.get();
    readingVersionItem_ = -1;
    errorsWhileReading_ = 0;
    OpenPDFForm->StatusMemo->clear();
    OpenPDFForm->ProgressBar1->setValue(0);
    OpenPDFForm->SetReading(true);
    UpdateSaveAvailability();
    fresh->openfilenow(QFile::encodeName(path).toStdString());
    OpenPDFForm->SetReading(false);
    reading_ = nullptr;

    const QString name = QFileInfo(path).fileName();
    bool shown = false;
    switch (OpenOutcome(*fresh, errorsWhileReading_)) {
        case TOpenOutcome::Cancelled:
            SetStatusText("Öffnen von " + name + " abgebrochen.");
            break;
        case TOpenOutcome::Refused:
            SetStatusText(name + " konnte nicht geöffnet werden.");
            break;
        case TOpenOutcome::Opened:
            ShowDocument(std::move(fresh), path);
            shown = true;
            break;
    }
    UpdateSaveAvailability();
    if (closeAfterOpen_) {
        closeConfirmed_ = true;
        QTimer::singleShot(0, this, &QWidget::close);
    }
    return shown;
}

void TMainForm::ShowDocument(std::unique_ptr<TPdfDocument> doc, const QString& path) {
    // The dialog and the view refer to the document: point them at the new
    // one before the old one goes.
    PageView->SetDocument(*doc);
    PreviewPane->SetDocument(*doc);
    delete ChangeFontForm;
    ChangeFontForm = new TChangeFontForm(*doc, this);
    doc_ = std::move(doc);
    documentPath_ = path;
    if (readingVersionItem_ >= 0) SelectVersionItem(readingVersionItem_);
    InfoFieldsChanged();
    SetModified(false);
    SetStatusText(QString());
    const int32_t pageCount = doc_->pageList.Count();
    Label6->setText("von " + QString::number(pageCount));
    PageEd->setValue(1);
    PageControl1->setCurrentIndex(1);
    ZoomEd->setValue(FitWidthZoom());
    // Setting the field to the value it already shows raises no change, but
    // the table must show the new document's fonts all the same.
    RefreshFontTable(PageEd->value());
    PageView->InvalidateImageCache();
    PageView->Refresh();
    ShowPreviewPage();
    PageControl1->setCurrentIndex(1);
}

void TMainForm::SetModified(bool modified) {
    modified_ = modified;
    UpdateTitle();
}

void TMainForm::UpdateTitle() {
    const QString program = "Vostrel PDF Glyphwell 1.0";
    if (documentPath_.isEmpty()) {
        setWindowTitle(program);
        return;
    }
    setWindowTitle(QFileInfo(documentPath_).fileName() + (modified_ ? "*" : "") + " – " + program);
}

void TMainForm::UpdateSaveAvailability() {
    if (SaveBtn) SaveBtn->setEnabled(!reading_ && DocumentIsSavable(*doc_));
}

void TMainForm::SetStatusText(const QString& text) {
    if (StatusPanel0) StatusPanel0->setText(text);
}

void TMainForm::ShowProgressWindow() {
    OpenPDFForm->show();
    OpenPDFForm->raise();
}

void TMainForm::CloseProgressWindow() {
    OpenPDFForm->hide();
}

void TMainForm::AddStatusLine(const std::string& line) {
    OpenPDFForm->StatusMemo->appendPlainText(QString::fromStdString(line));
}

void TMainForm::SetStatusLabel(const std::string& text) {
    OpenPDFForm->Label2->setText(QString::fromStdString(text));
}

void TMainForm::SetProStatus(int32_t percent) {
    OpenPDFForm->ProgressBar1->setValue(std::clamp(percent, 0, 100));
    StatusPanel1->SetPercent(percent);
}

void TMainForm::PumpMessages() {
    if (testHooks.pump) testHooks.pump();
    if (lastPump_.isValid() && lastPump_.elapsed() < kPumpIntervalMs) return;
    QCoreApplication::processEvents();
    lastPump_.restart();
}

void TMainForm::SelectVersionItem(int32_t item) {
    if (reading_) {
        // The box belongs to the shown document until the new one replaces it.
        readingVersionItem_ = item;
        return;
    }
    if (item >= 0 && item < PDFVersionBox->count()) PDFVersionBox->setCurrentIndex(item);
}

int32_t TMainForm::VersionItem() {
    return PDFVersionBox->currentIndex();
}

void TMainForm::InfoFieldsChanged() {
    if (reading_) return;
    fillingInfo_ = true;
    Edit1->setText(QString::fromStdString(doc_->Edit1));
    Edit2->setText(QString::fromStdString(doc_->Edit2));
    Edit3->setText(QString::fromStdString(doc_->Edit3));
    Edit4->setText(QString::fromStdString(doc_->Edit4));
    Edit5->setText(QString::fromStdString(doc_->Edit5));
    Edit6->setText(QString::fromStdString(doc_->Edit6));
    const auto& d1 = doc_->DateTimePicker1;
    const auto& t2 = doc_->DateTimePicker2;
    const auto& d3 = doc_->DateTimePicker3;
    const auto& t4 = doc_->DateTimePicker4;
    DateTimePicker1->setDate(QDate(d1.year, d1.month, d1.day));
    DateTimePicker2->setTime(QTime(t2.hour, t2.minute, t2.second));
    DateTimePicker3->setDate(QDate(d3.year, d3.month, d3.day));
    DateTimePicker4->setTime(QTime(t4.hour, t4.minute, t4.second));
    // Long texts show their beginning, not their end.
    for (QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6}) edit->setCursorPosition(0);
    fillingInfo_ = false;
}

void TMainForm::InfoFieldEdited() {
    if (fillingInfo_) return;
    SetModified(true);
    doc_->Edit1 = Edit1->text().toStdString();
    doc_->Edit2 = Edit2->text().toStdString();
    doc_->Edit3 = Edit3->text().toStdString();
    doc_->Edit4 = Edit4->text().toStdString();
    doc_->Edit5 = Edit5->text().toStdString();
    doc_->Edit6 = Edit6->text().toStdString();
    doc_->DateTimePicker1 = WithDate(doc_->DateTimePicker1, DateTimePicker1->date());
    doc_->DateTimePicker2 = WithTime(doc_->DateTimePicker2, DateTimePicker2->time());
    doc_->DateTimePicker3 = WithDate(doc_->DateTimePicker3, DateTimePicker3->date());
    doc_->DateTimePicker4 = WithTime(doc_->DateTimePicker4, DateTimePicker4->time());
}

void TMainForm::OpenFinished(int32_t /*pageCount*/) {
    // The window finishes an open itself once the reader has returned, and
    // only when the document is to be shown.
}

// ---- page, zoom and the font table -------------------------------------------------

void TMainForm::PageEdChange() {
    const int pageCount = doc_->pageList.Count();
    // The nested change event of the corrected value does the same work;
    // the outer run repeats it for the field's value, which is then final.
    if (PageEd->value() > pageCount) PageEd->setValue(pageCount);
    RefreshFontTable(PageEd->value());
    PageView->Refresh();
    // A new page starts at its top, not where the last one was scrolled to.
    ScrollBox1->verticalScrollBar()->setValue(0);
    ShowPreviewPage();
}

void TMainForm::ZoomEdChange() {
    PageView->Refresh();
    ShowPreviewPage();
}

bool TMainForm::PreviewShown() const {
    return PageStack->currentWidget() == PreviewPane;
}

void TMainForm::ShowPreviewPage() {
    if (PreviewShown()) PreviewPane->ShowPage(PageEd->value(), ZoomEd->value());
}

void TMainForm::PreviewBtnClick(bool on) {
    PageStack->setCurrentWidget(on ? static_cast<QWidget*>(PreviewPane) : ScrollBox1);
    DiffBtn->setEnabled(on);
    if (!on) {
        DiffBtn->setChecked(false);
        StatusPanel0->clear();
    }
    PreviewPane->SetDpi(PageView->Dpi());
    ShowPreviewPage();
}

void TMainForm::DiffBtnClick(bool on) {
    PreviewPane->SetDifferenceShown(on);
}

void TMainForm::RefreshFontTable(int page) {
    FontListView->setUpdatesEnabled(false);
    FontListView->clear();
    for (const int32_t index : FontTableRows(*doc_, page)) {
        const TFontRecord& font = doc_->fontList[index];
        const std::string& shown = font.replacementName.empty() ? font.resName : font.replacementName;
        FontListView->addTopLevelItem(new QTreeWidgetItem({FromCp1252(font.resName), FontName(font), FontTypeText(font),
                                                           FontEmbeddedText(font), FontEncodingText(font),
                                                           FromCp1252(shown)}));
    }
    FontListView->setUpdatesEnabled(true);
}

void TMainForm::FontHovered(const QString& resName) {
    if (resName.isEmpty()) return;
    for (int row = 0; row < FontListView->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = FontListView->topLevelItem(row);
        if (item->text(0) != resName) continue;
        FontListView->setCurrentItem(item);
        FontNameEd->setText(resName + (item->text(1).isEmpty() ? "" : " (" + item->text(1) + ")"));
        return;
    }
}

int TMainForm::SelectedFontRow() const {
    const QList<QTreeWidgetItem*> selected = FontListView->selectedItems();
    if (selected.isEmpty()) return -1;
    return FontListView->indexOfTopLevelItem(selected.first());
}

void TMainForm::ChangeBtnClick() {
    // The commands wait while a file is read: the table and the font list
    // are being rebuilt underneath them.
    if (reading_) return;
    const int row = SelectedFontRow();
    if (row < 0) {
        ShowMessage("Sie haben keinen Eintrag in der Liste der Schriftarten markiert!", TMsgIcon::Error);
        return;
    }
    const int page = PageEd->value();
    if (page < 1 || page > doc_->pageList.Count()) return;

    QComboBox* choices = ChangeFontForm->ComboBox1;
    const int remembered = std::max(choices->currentIndex(), 0);
    choices->clear();
    for (const std::string& name : ReplacementChoices(*doc_, page)) choices->addItem(FromCp1252(name));
    choices->setCurrentIndex(remembered < choices->count() ? remembered : 0);
    ChangeFontForm->OkBtn->setEnabled(choices->count() > 0 && choices->currentIndex() >= 0);
    const std::vector<int32_t> rows = FontTableRows(*doc_, page);
    ChangeFontForm->SetReplacedFont(row < static_cast<int>(rows.size()) ? rows[static_cast<size_t>(row)] : -1);

    const int result = testHooks.changeFont ? testHooks.changeFont(*ChangeFontForm) : ChangeFontForm->exec();
    if (result != QDialog::Accepted || choices->currentIndex() < 0) return;
    ChangeFontForm->StoreChoices();
    const QString chosen = choices->currentText();
    // The table may have been refilled meanwhile (it is not while the
    // dialog is modal, but the row is looked up again to be sure).
    if (QTreeWidgetItem* item = FontListView->topLevelItem(row)) item->setText(kReplacementColumn, chosen);
    SetReplacement(*doc_, page, row, ToCp1252(chosen));
    SetModified(true);
    PreviewPane->ReplacementsChanged();
    ShowPreviewPage();
}

void TMainForm::OldFontBtnClick() {
    if (reading_) return;
    const int row = SelectedFontRow();
    if (row < 0) return;
    QTreeWidgetItem* item = FontListView->topLevelItem(row);
    item->setText(kReplacementColumn, item->text(0));
    const std::vector<int32_t> rows = FontTableRows(*doc_, PageEd->value());
    const bool hadReplacement =
        row < static_cast<int>(rows.size()) && !doc_->fontList[static_cast<size_t>(rows[row])].replacementName.empty();
    if (ClearReplacement(*doc_, PageEd->value(), row) && hadReplacement) SetModified(true);
    PreviewPane->ReplacementsChanged();
    ShowPreviewPage();
}

void TMainForm::EmbedFontsBtnClick() {
    if (reading_ || doc_->pageList.Count() == 0) return;
    TEmbedFontsForm dialog(*doc_, this);
    dialog.Fill();
    const int result = testHooks.embedFonts ? testHooks.embedFonts(dialog) : dialog.exec();
    if (result != QDialog::Accepted) return;
    dialog.Apply();
    SetModified(true);
    RefreshFontTable(PageEd->value());
    PreviewPane->ReplacementsChanged();
    ShowPreviewPage();
}

void TMainForm::ChooseFontBtnClick() {
    if (reading_) return;
    QFont font = screenFont_;
    bool accepted = false;
    if (testHooks.screenFont) {
        accepted = testHooks.screenFont(font);
    } else {
        QFontDialog dialog(font, this);
        accepted = dialog.exec() == QDialog::Accepted;
        if (accepted) font = dialog.selectedFont();
    }
    // After Cancel the dialog still holds its previous font, and the label is
    // written from it all the same.
    if (accepted) screenFont_ = font;
    ApplyScreenFont();
}

void TMainForm::ApplyScreenFont() {
    FontLabel->setText("Optimieren auf: " + screenFont_.family());
    measurer_.SetFont(screenFont_.family().toStdString(), screenFont_.weight() >= QFont::DemiBold,
                      screenFont_.italic());
    PageView->SetDisplayFont(screenFont_);
    PageView->Refresh();
}

// ---- information and saving ------------------------------------------------------

void TMainForm::NowBtnClick() {
    const QDateTime now = QDateTime::currentDateTime();
    DateTimePicker3->setDate(now.date());
    DateTimePicker4->setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
}

void TMainForm::SaveBtnClick() {
    if (reading_) return;
    if (!DocumentIsSavable(*doc_)) {
        // The button is disabled then; this answers the keyboard shortcut.
        SetStatusText("Keine vollständig gelesene PDF-Datei geöffnet - nichts zu speichern.");
        return;
    }
    const std::optional<std::string> path = AskSaveFileName();
    if (!path) return;
    const TWriteOutcome outcome = [&] {
        // A failed write leaves the contents as read, so that saving again
        // starts from them.
        TRewrittenPageContents rewritten(*doc_);
        TellUndecodablePages(*doc_);
        return WritePdfFile(*doc_, *path, VersionItem());
    }();
    if (outcome.result != TWriteResult::Written) {
        ShowMessage(outcome.result == TWriteResult::CreateFailed ? CreateFailedMessage(*path)
                                                                 : WriteFailedMessage(*path, outcome.errorText),
                    TMsgIcon::Error);
        return;
    }
    SetModified(false);
    if (ShowSavedFileWanted()) ShowFileInViewer(*path);
    // The saved file becomes the shown document, so that what the window
    // shows is what the file holds.
    ReadIntoFreshDocument(QFile::decodeName(QByteArray::fromStdString(*path)));
}

std::optional<std::string> TMainForm::AskSaveFileName() {
    QString path;
    if (testHooks.saveFileName) {
        const std::optional<QString> answer = testHooks.saveFileName();
        if (!answer) return std::nullopt;
        path = *answer;
    } else {
        QFileDialog dialog(this, "PDF speichern unter");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilter("PDF-Dateien (*.pdf)");
        dialog.setDefaultSuffix("pdf");
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        path = dialog.selectedFiles().first();
    }
    if (path.isEmpty()) return std::nullopt;
    return QFile::encodeName(path).toStdString();
}

bool TMainForm::ShowSavedFileWanted() {
    return ShowPDFCheck->isChecked();
}

void TMainForm::ShowFileInViewer(const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path))));
}

// ---- messages ------------------------------------------------------------------------

QMessageBox::StandardButton TMainForm::Ask(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                           QMessageBox::StandardButtons buttons) {
    if (testHooks.message) return testHooks.message(icon, caption, text);
    QMessageBox box(icon, caption, text, buttons, this);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void TMainForm::ShowMessage(const std::string& text, TMsgIcon icon) {
    if (reading_ && icon == TMsgIcon::Error) ++errorsWhileReading_;
    Ask(icon == TMsgIcon::Error ? QMessageBox::Critical : QMessageBox::Information, kAppTitle,
        QString::fromStdString(text), QMessageBox::Ok);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel && (watched == PageEd || watched == ZoomEd)) {
        if (!static_cast<QWidget*>(watched)->hasFocus()) return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
