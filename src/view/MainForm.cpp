#include "MainForm.h"

#include <algorithm>

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "AboutBox.h"
#include "ChangeFontForm.h"
#include "ContentInterpreter.h"
#include "ContentRewrite.h"
#include "EmbedFontsForm.h"
#include "FileBrowser.h"
#include "FontNames.h"
#include "FontTable.h"
#include "FontsTab.h"
#include "HelpWindow.h"
#include "ImageBtn.h"
#include "InfoTab.h"
#include "OpenMessages.h"
#include "OpenOutcome.h"
#include "OpenPDFForm.h"
#include "OpenTab.h"
#include "PageView.h"
#include "PdfWriter.h"
#include "PreviewPane.h"
#include "ReaderBridge.h"
#include "RecentFiles.h"
#include "NoticeTexts.h"
#include "SaveMessages.h"
#include "RefusalMessages.h"
#include "ReplacementChecks.h"
#include "SaveReport.h"
#include "SaveTab.h"
#include "WindowParts.h"

namespace {

// The manual's section for each tab, in tab order: F1 opens the manual there.
const char* const kTabSections[] = {"oeffnen", "schriftarten", "informationen", "speichern"};

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
    : QMainWindow(parent), programDir_(programDir), bridge_(std::make_unique<TReaderBridge>(*this)) {
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
        if (reading_) bridge_->RequestCancel();
    });
    ConnectReaderBridge();
    ChangeFontForm = new TChangeFontForm(*doc_, this);

    measurer_.SetDpi(FontsTab->PageView->Dpi());
    screenFont_ = QFont("Arial");
    screenFont_.setPixelSize(15);
    ApplyScreenFont();
    InfoFieldsChanged();
    UpdateSaveAvailability();
    UpdateDocumentCommands();
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
        OpenTab->FileBrowser->FileList()->setFocus();
    });
    add(this, Qt::CTRL | Qt::Key_S, [this] { SaveBtnClick(); });
    add(this, Qt::CTRL | Qt::Key_Q, [this] { close(); });
    add(this, Qt::Key_F1, [this] {
        const int tab = PageControl1->currentIndex();
        ShowHelp(tab >= 0 && tab < static_cast<int>(std::size(kTabSections)) ? kTabSections[tab] : QString());
    });
    // Page keys turn pages only on the tab with the page, so that the file
    // list keeps them for scrolling.
    QWidget* pageTab = PageControl1->widget(1);
    add(pageTab, Qt::Key_PageDown, [this] { FontsTab->ShowPage(FontsTab->CurrentPage() + 1); });
    add(pageTab, Qt::Key_PageUp, [this] { FontsTab->ShowPage(FontsTab->CurrentPage() - 1); });
    add(pageTab, Qt::CTRL | Qt::Key_Home, [this] { FontsTab->ShowPage(1); });
    add(pageTab, Qt::CTRL | Qt::Key_End, [this] { FontsTab->ShowPage(doc_->pageList.Count()); });
    add(pageTab, QKeySequence::ZoomIn, [this] { FontsTab->StepZoom(true); });
    add(pageTab, QKeySequence::ZoomOut, [this] { FontsTab->StepZoom(false); });
    add(pageTab, Qt::CTRL | Qt::Key_Equal, [this] { FontsTab->StepZoom(true); });
}

void TMainForm::RestoreWindowState() {
    const QSettings settings;
    if (!restoreGeometry(settings.value("window/geometry").toByteArray())) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            // Four fifths of the screen; a small screen (or one scaled up) is
            // used whole, so that the page keeps a useful height.
            const QRect available = screen->availableGeometry();
            const QSize wanted(std::max(1000, available.width() * 4 / 5), std::max(700, available.height() * 4 / 5));
            resize(wanted.boundedTo(available.size()));
            // The window manager fits a maximized window, frame and all.
            if (wanted.width() >= available.width() || wanted.height() >= available.height())
                setWindowState(windowState() | Qt::WindowMaximized);
            move(available.center() - QPoint(width() / 2, height() / 2));
        }
    }
    PageControl1->setCurrentIndex(std::clamp(settings.value("window/tab", 0).toInt(), 0, PageControl1->count() - 1));
    FontsTab->ZoomEd->setValue(settings.value("view/zoom", 50).toInt());
}

void TMainForm::SaveWindowState() const {
    QSettings settings;
    settings.setValue("window/geometry", saveGeometry());
    settings.setValue("window/tab", PageControl1->currentIndex());
    settings.setValue("view/zoom", FontsTab->ZoomEd->value());
}

int TMainForm::FitWidthZoom() const {
    return FontsTab->FitWidthZoom();
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
    return std::make_unique<TPdfDocument>(*bridge_);
}

TMainForm::~TMainForm() {
    // The widgets refer to the document and their signals reach this
    // window's handlers: remove them while the document still exists.
    testHooks = TDialogHooks{};
    if (readerThread_) {
        bridge_->RequestCancel();
        readerThread_->wait();
    }
    delete OpenPDFForm;
    delete ChangeFontForm;
    delete takeCentralWidget();
}

QWidget* TMainForm::CreateOpenTab() {
    OpenTab = new TOpenTab(programDir_);
    connect(OpenTab, &TOpenTab::openRequested, this, [this](const QString& path) { openfilenow(path); });
    connect(OpenTab->ChooseFontBtn, &QPushButton::clicked, this, &TMainForm::ChooseFontBtnClick);
    return OpenTab;
}

QWidget* TMainForm::CreateFontsTab() {
    FontsTab = new TFontsTab(*doc_);
    connect(FontsTab->ChangeBtn, &QPushButton::clicked, this, &TMainForm::ChangeBtnClick);
    connect(FontsTab->OldFontBtn, &QPushButton::clicked, this, &TMainForm::OldFontBtnClick);
    connect(FontsTab->EmbedFontsBtn, &QPushButton::clicked, this, &TMainForm::EmbedFontsBtnClick);
    connect(FontsTab, &TFontsTab::statusTextChanged, this, [this](const QString& text) { SetStatusText(text); });
    return FontsTab;
}

QWidget* TMainForm::CreateInfoTab() {
    InfoTab = new TInfoTab;
    // A date the user touched is written as set; the others keep the
    // file's creation date and get the time of saving as modification.
    connect(InfoTab, &TInfoTab::edited, this, [this](TInfoTab::TField field) {
        InfoTab->StoreValues(field, infoEdits_);
        RefreshModified();
    });
    return InfoTab;
}

QWidget* TMainForm::CreateSaveTab() {
    SaveTab = new TSaveTab;
    connect(SaveTab->SaveBtn, &QPushButton::clicked, this, &TMainForm::SaveBtnClick);
    return SaveTab;
}

QWidget* TMainForm::CreateBottomBar() {
    auto* bar = new QWidget(this);
    bar->setFixedHeight(41);
    WwwBtn = new QPushButton("Hinweise zum Programm", bar);
    WwwBtn->setFlat(true);
    WwwBtn->setCursor(Qt::PointingHandCursor);
    connect(WwwBtn, &QPushButton::clicked, this, &TMainForm::wwwBtnClick);

    UeberBtn = new TImageBtn(bar);
    UeberBtn->SetPicture(InfoButtonPicture(false));
    UeberBtn->SetPicture2(InfoButtonPicture(true));
    UeberBtn->setToolTip("Informationen über das Programm");
    connect(UeberBtn, &TImageBtn::clicked, this, &TMainForm::ueberbtnClick);
    EndeBtn = new TImageBtn(bar);
    EndeBtn->SetPicture(ExitButtonPicture(false));
    EndeBtn->SetPicture2(ExitButtonPicture(true));
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
    // The text panel takes the width the progress panel leaves; a text
    // longer than that ends in "…" and can be read whole in its tooltip.
    StatusPanel0 = new TElidedLabel(this);
    StatusPanel0->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusPanel1 = new TProgressPanel(this);
    statusBar()->addWidget(StatusPanel0, 1);
    statusBar()->addWidget(StatusPanel1);
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
        bridge_->RequestCancel();
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
    TAboutBox box(this);
    box.exec();
    // The box is modal: the manual opens once it is closed.
    if (box.HelpWanted()) ShowHelp();
}

void TMainForm::wwwBtnClick() {
    ShowHelp();
}

void TMainForm::ShowHelp(const QString& section) {
    if (!HelpWindow) HelpWindow = new THelpWindow(programDir_, this);
    HelpWindow->ShowManual(section);
}

void TMainForm::SetModified(bool modified) {
    modified_ = modified;
    UpdateTitle();
}

bool TMainForm::DocumentChanged() const {
    for (const TFontRecord& font : doc_->fontList) {
        // An added font is written into the file even when nothing uses it.
        if (font.hidden) return true;
        // A font replaced by itself writes nothing new.
        if (!font.replacementName.empty() && font.replacementName != font.resName) return true;
    }
    return InfoTab->ChangedSinceShown();
}

void TMainForm::RefreshModified() {
    SetModified(DocumentChanged());
}

void TMainForm::UpdateDocumentCommands() {
    const bool shown = doc_->pageList.Count() > 0;
    FontsTab->SetDocumentShown(shown);
    InfoTab->setEnabled(shown);
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
    if (SaveTab) SaveTab->SaveBtn->setEnabled(!reading_ && DocumentIsSavable(*doc_) && doc_->Permissions().modify);
    UpdateChangePermission();
}

void TMainForm::UpdateChangePermission() {
    const bool allowed = doc_->Permissions().modify;
    const QString why = allowed ? QString() : QString::fromStdString(ModifyForbiddenText());
    for (QWidget* command : std::initializer_list<QWidget*>{FontsTab ? FontsTab->ChangeBtn : nullptr,
                                                            FontsTab ? FontsTab->OldFontBtn : nullptr,
                                                            FontsTab ? FontsTab->EmbedFontsBtn : nullptr,
                                                            SaveTab ? SaveTab->SaveBtn : nullptr}) {
        if (command == nullptr) continue;
        if (!allowed) command->setEnabled(false);
        else if (command != (SaveTab ? SaveTab->SaveBtn : nullptr)) command->setEnabled(true);
        command->setToolTip(why);
    }
}

void TMainForm::SetStatusText(const QString& text) {
    if (StatusPanel0) StatusPanel0->SetText(text);
}

void TMainForm::ShowProgressWindow() {
    // Painted before the reader starts, not once it has found the pages.
    OpenPDFForm->ShowPainted();
}

void TMainForm::CloseProgressWindow() {
    OpenPDFForm->hide();
}

void TMainForm::Notice(const TNotice& notice) {
    if (NoticeIsError(notice))
        ShowMessage(NoticeText(notice), TMsgIcon::Error);
    else
        AddStatusLine(NoticeText(notice));
}

void TMainForm::Progress(const TProgress& step) {
    if (ProgressIsLabel(step))
        SetStatusLabel(ProgressText(step));
    else
        AddStatusLine(ProgressText(step));
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

// The reader runs on its own thread while the window's event loop goes on;
// work done on the window's thread (drawing a page) has nothing to pump.
void TMainForm::PumpMessages() {}

void TMainForm::SelectVersionItem(int32_t item) {
    if (reading_) {
        // The box belongs to the shown document until the new one replaces it.
        readingVersionItem_ = item;
        return;
    }
    if (item >= 0 && item < SaveTab->PDFVersionBox->count()) SaveTab->PDFVersionBox->setCurrentIndex(item);
}

int32_t TMainForm::VersionItem() {
    return SaveTab->PDFVersionBox->currentIndex();
}

void TMainForm::InfoFieldsChanged() {
    if (!reading_) InfoTab->ShowValues(*doc_, infoEdits_);
}

void TMainForm::OpenFinished(int32_t /*pageCount*/) {
    // The window finishes an open itself once the reader has returned, and
    // only when the document is to be shown.
}
