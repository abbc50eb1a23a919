#include "MainForm.h"

#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
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

const char* const kAppTitle = "PDF Glyphwell";

// The manual's section for each tab, in tab order: F1 opens the manual there.
const char* const kTabSections[] = {"oeffnen", "schriftarten", "informationen", "speichern"};

// The dialog's text for a name ReplacementChoices offers on a page: that
// font's caption (a font of the page, or an added one).
QString ChoiceCaption(const TPdfDocument& doc, int page, const std::string& resName) {
    for (const TFontRecord& font : doc.fontList)
        if (font.resName == resName && (font.hidden == 1 || font.pageIndex == page - 1)) return FontCaption(font);
    return FromCp1252(resName);
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
    auto doc = std::make_unique<TPdfDocument>(*bridge_);
    doc->programDir = QFile::encodeName(programDir_).toStdString();
    return doc;
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

bool TMainForm::ReadIntoFreshDocument(const QString& path, const std::string& password) {
    ShrinkShownDocument();
    std::unique_ptr<TPdfDocument> fresh = NewDocument();
    reading_ = fresh.get();
    readingVersionItem_ = -1;
    readerMessages_.clear();
    OpenPDFForm->StatusMemo->clear();
    OpenPDFForm->Label2->clear();
    OpenPDFForm->ProgressBar1->setValue(0);
    OpenPDFForm->SetReading(true);
    UpdateSaveAvailability();
    ShowProgressWindow();
    const std::string filePath = QFile::encodeName(path).toStdString();
    if (!ReadAskingForPassword(*fresh, path, password)) {
        // "Abbrechen": the document shown stays as it was.
        CloseProgressWindow();
        OpenPDFForm->SetReading(false);
        reading_ = nullptr;
        readerMessages_.clear();
        SetStatusText("Öffnen von " + QFileInfo(path).fileName() + " abgebrochen.");
        fresh.reset();
        ReturnFreedMemory();
        // The shown document gave its preview back for the reading.
        FontsTab->ShowPreviewPage();
        UpdateSaveAvailability();
        return false;
    }
    const TOpenTexts texts = OpenTexts(fresh->LastOpen(), filePath);
    for (const std::string& line : texts.statusLines) AddStatusLine(line);
    CloseProgressWindow();
    OpenPDFForm->SetReading(false);
    reading_ = nullptr;
    int32_t errorMessages = 0;
    for (const auto& [text, isError] : readerMessages_) {
        if (isError) ++errorMessages;
        ShowMessage(text.toStdString(), isError ? TMsgIcon::Error : TMsgIcon::Information);
    }
    readerMessages_.clear();
    for (const auto& [text, icon] : texts.messages) ShowMessage(text, icon);

    const QString name = QFileInfo(path).fileName();
    bool shown = false;
    switch (OpenOutcome(fresh->LastOpen(), DocumentIsSavable(*fresh) && errorMessages == 0)) {
        case TOpenOutcome::Cancelled:
            SetStatusText("Öffnen von " + name + " abgebrochen.");
            break;
        case TOpenOutcome::Refused:
            SetStatusText(name + " konnte nicht geöffnet werden.");
            break;
        case TOpenOutcome::Opened:
            ShowDocument(std::move(fresh), path);
            RememberOpenedFile(path);
            shown = true;
            break;
    }
    // A document that was not shown, or the one it replaced, is gone now.
    fresh.reset();
    ReturnFreedMemory();
    if (!shown) FontsTab->ShowPreviewPage();
    UpdateSaveAvailability();
    if (closeAfterOpen_) {
        closeConfirmed_ = true;
        QTimer::singleShot(0, this, &QWidget::close);
    }
    return shown;
}

bool TMainForm::ReadAskingForPassword(TPdfDocument& fresh, const QString& path, std::string password) {
    const std::string filePath = QFile::encodeName(path).toStdString();
    for (int attempt = 1;; ++attempt) {
        ReadOnReaderThread(fresh, filePath, password);
        if (fresh.LastOpen().outcome != TOpenResult::PasswordNeeded || attempt > kPasswordTries) return true;
        // The reader's lines of a locked file are no news.
        readerMessages_.clear();
        OpenPDFForm->hide();
        const std::optional<QString> typed = AskPassword(QFileInfo(path).fileName(), attempt);
        if (!typed) return false;
        password = typed->toStdString();
        OpenPDFForm->StatusMemo->clear();
        ShowProgressWindow();
    }
}

std::optional<QString> TMainForm::AskPassword(const QString& fileName, int attempt) {
    if (testHooks.password) return testHooks.password(fileName, attempt);
    QInputDialog dialog(this);
    dialog.setWindowTitle("Kennwort erforderlich");
    QString text = "Die Datei \"" + fileName + "\" ist durch ein Kennwort geschützt.\nBitte geben Sie das Kennwort ein:";
    if (attempt > 1)
        text = "Das Kennwort war falsch (Versuch " + QString::number(attempt) + " von " +
               QString::number(kPasswordTries) + ").\n" + text;
    dialog.setLabelText(text);
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setOkButtonText("OK");
    dialog.setCancelButtonText("Abbrechen");
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue();
}

void TMainForm::ShrinkShownDocument() {
    // While another file is read the shown document keeps only what cannot
    // be had again: the file's pages are read from the file again when
    // needed, the preview and the pictures are made again when shown.
    FontsTab->PreviewPane->Release();
    FontsTab->PageView->InvalidateImageCache();
    if (!doc_->Source().empty()) doc_->Source().Release(0, doc_->Source().size());
}

void TMainForm::ReturnFreedMemory() {
#ifdef __GLIBC__
    // The reader's thread allocates from an arena of its own, which keeps
    // what a cancelled or replaced document freed: the next open would
    // start on top of it.
    malloc_trim(0);
#endif
}

void TMainForm::ReadOnReaderThread(TPdfDocument& fresh, const std::string& path, const std::string& password) {
    bridge_->readerStep = testHooks.readerStep;
    bridge_->BeginReading(fresh, VersionItem(), screenFont_.family().toStdString(),
                          screenFont_.weight() >= QFont::DemiBold, screenFont_.italic(), FontsTab->PageView->Dpi());
    QEventLoop loop;
    TOpenOptions options;
    options.readPics = !OpenTab || OpenTab->ReadPicsCheck->isChecked();
    options.cancel = bridge_->CancelFlag();
    options.password = password;
    readerThread_ = QThread::create([&fresh, path, options] { fresh.openfilenow(path, options); });
    // Queued behind everything the reader sent on its way, so the loop ends
    // only after the last status line and message have arrived.
    connect(readerThread_, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    readerThread_->start();
    loop.exec();
    readerThread_->wait();
    delete readerThread_;
    readerThread_ = nullptr;
    bridge_->EndReading();
    bridge_->readerStep = nullptr;
}

void TMainForm::ConnectReaderBridge() {
    TReaderBridge* bridge = bridge_.get();
    connect(bridge, &TReaderBridge::readerMessage, this,
            [this](const QString& text, bool isError) { readerMessages_.emplace_back(text, isError); });
    connect(bridge, &TReaderBridge::readerStatusLine, this, [this](const QString& line) { AddStatusLine(line.toStdString()); });
    connect(bridge, &TReaderBridge::readerStatusLabel, this,
            [this](const QString& text) { OpenPDFForm->Label2->setText(text); });
    connect(bridge, &TReaderBridge::readerProgress, this, [this](int percent) { SetProStatus(percent); });
    connect(bridge, &TReaderBridge::readerVersionItem, this, [this](int item) { SelectVersionItem(item); });
}

// Only a file that opened is worth offering again: its folder becomes the
// first favourite and the file the first of the last files.
void TMainForm::RememberOpenedFile(const QString& path) {
    const QFileInfo file(path);
    OpenTab->FileBrowser->AddToPrefFolders(file.absolutePath() + '/');
    OpenTab->RecentFiles->Add(file.absoluteFilePath());
}

void TMainForm::ShowDocument(std::unique_ptr<TPdfDocument> doc, const QString& path) {
    // The dialog and the view refer to the document: point them at the new
    // one before the old one goes.
    FontsTab->SetDocument(*doc);
    delete ChangeFontForm;
    ChangeFontForm = new TChangeFontForm(*doc, this);
    doc_ = std::move(doc);
    infoEdits_ = UneditedInfo(doc_->info);
    documentPath_ = path;
    if (readingVersionItem_ >= 0) SelectVersionItem(readingVersionItem_);
    InfoFieldsChanged();
    InfoTab->ShowClaims(DocumentClaims(*doc_));
    SetModified(false);
    UpdateDocumentCommands();
    SetStatusText(QString());
    // On the tab first, so that the page is fitted to the room it has there.
    PageControl1->setCurrentIndex(1);
    FontsTab->ShowFirstPage();
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

// ---- the font table's commands ----------------------------------------------------

void TMainForm::ChangeBtnClick() {
    // The commands wait while a file is read: the table and the font list
    // are being rebuilt underneath them. A file whose permissions forbid
    // changes is only looked at.
    if (reading_ || !doc_->Permissions().modify) return;
    const int row = FontsTab->SelectedFontRow();
    if (row < 0) {
        ShowMessage("Sie haben keinen Eintrag in der Liste der Schriftarten markiert!", TMsgIcon::Error);
        return;
    }
    const int page = FontsTab->CurrentPage();
    if (page < 1 || page > doc_->pageList.Count()) return;

    QComboBox* choices = ChangeFontForm->ComboBox1;
    choices->clear();
    // Shown with the fonts' names; the item's data is the resource name that
    // the replacement is made with.
    for (const std::string& name : ReplacementChoices(*doc_, page))
        choices->addItem(ChoiceCaption(*doc_, page, name), FromCp1252(name));
    // The font the row uses now is selected: OK alone changes nothing.
    const std::vector<int32_t> rows = FontTableRows(*doc_, page);
    const int32_t replaced = row < static_cast<int>(rows.size()) ? rows[static_cast<size_t>(row)] : -1;
    if (replaced >= 0) {
        const TFontRecord& font = doc_->fontList[static_cast<size_t>(replaced)];
        const std::string& current = font.replacementName.empty() ? font.resName : font.replacementName;
        choices->setCurrentIndex(std::max(0, choices->findData(FromCp1252(current))));
    }
    ChangeFontForm->OkBtn->setEnabled(choices->count() > 0 && choices->currentIndex() >= 0);
    ChangeFontForm->SetReplacedFont(replaced);

    const int result = testHooks.changeFont ? testHooks.changeFont(*ChangeFontForm) : ChangeFontForm->exec();
    if (result != QDialog::Accepted || choices->currentIndex() < 0) return;
    const std::string chosen = ToCp1252(ChangeFontForm->ChosenResourceName());
    // The dialog offers no OK for a choice that would lose text; this holds
    // whatever closed it.
    if (row < static_cast<int>(rows.size())) {
        if (const auto refusal = RefusedReplacement(*doc_, rows[static_cast<size_t>(row)], chosen)) {
            ShowMessage(RefusalSentence(*refusal), TMsgIcon::Error);
            return;
        }
    }
    ChangeFontForm->StoreChoices();
    if (ChangeFontForm->AllPagesBox->isChecked() && replaced >= 0) {
        const std::string oldName = doc_->fontList[static_cast<size_t>(replaced)].resName;
        SayReplacedEverywhere(oldName, chosen, SetReplacementEverywhere(*doc_, page, row, chosen));
    } else {
        SetReplacement(*doc_, page, row, chosen);
    }
    RefreshModified();
    FontsTab->ReplacementsChanged();
}

void TMainForm::SayReplacedEverywhere(const std::string& oldName, const std::string& newName,
                                      const TEverywhereOutcome& outcome) {
    const QString oldText = FromCp1252(oldName), newText = FromCp1252(newName);
    const auto pages = [](size_t count) {
        return count == 1 ? QString("1 Seite") : QString("%1 Seiten").arg(QLocale().toString(qulonglong{count}));
    };
    QString text = oldText + " wird auf " + pages(outcome.pagesReplaced.size()) + " durch " + newText + " ersetzt.";
    if (!outcome.pagesWithout.empty())
        text += " Auf " + pages(outcome.pagesWithout.size()) + " gibt es " + newText + " nicht; dort bleibt " +
                oldText + ".";
    SetStatusText(text);
}

void TMainForm::OldFontBtnClick() {
    if (reading_ || !doc_->Permissions().modify) return;
    const int row = FontsTab->SelectedFontRow();
    if (row < 0) return;
    const int page = FontsTab->CurrentPage();
    const std::vector<int32_t> rows = FontTableRows(*doc_, page);
    if (row >= static_cast<int>(rows.size())) return;
    ClearReplacement(*doc_, page, row);
    // Taking back the only change leaves nothing to save.
    RefreshModified();
    FontsTab->ReplacementsChanged();
}

void TMainForm::EmbedFontsBtnClick() {
    if (reading_ || doc_->pageList.Count() == 0 || !doc_->Permissions().modify) return;
    TEmbedFontsForm dialog(*doc_, this);
    dialog.Fill();
    const int result = testHooks.embedFonts ? testHooks.embedFonts(dialog) : dialog.exec();
    if (result != QDialog::Accepted) return;
    const QStringList notDone = dialog.Apply();
    RefreshModified();
    FontsTab->ReplacementsChanged();
    // Every choice is done or said: one that could not be made is named.
    if (!notDone.isEmpty())
        ShowMessage(("Diese Schriftarten wurden nicht ersetzt:\n" + notDone.join("\n")).toStdString(),
                    TMsgIcon::Error);
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
    OpenTab->FontLabel->setText("Optimieren auf: " + screenFont_.family());
    measurer_.SetFont(screenFont_.family().toStdString(), screenFont_.weight() >= QFont::DemiBold,
                      screenFont_.italic());
    FontsTab->PageView->SetDisplayFont(screenFont_);
    FontsTab->PageView->Refresh();
}

// ---- information and saving ------------------------------------------------------

void TMainForm::SaveBtnClick() {
    if (reading_) return;
    if (!doc_->Permissions().modify) {
        // The button is disabled then; this answers the keyboard shortcut.
        SetStatusText(QString::fromStdString(ModifyForbiddenText()));
        return;
    }
    if (!DocumentIsSavable(*doc_)) {
        // The button is disabled then; this answers the keyboard shortcut.
        SetStatusText("Keine vollständig gelesene PDF-Datei geöffnet - nichts zu speichern.");
        return;
    }
    if (!TakeBackRefusedReplacements()) return;
    const std::optional<std::string> path = AskSaveFileName();
    if (!path) return;
    TellUndecodablePages(*doc_);
    TWriteOptions options;
    options.info = infoEdits_;
    const TWriteOutcome outcome = WritePdfFile(*doc_, *path, VersionItem(), options);
    if (outcome.result != TWriteResult::Written) {
        ShowMessage(outcome.result == TWriteResult::CreateFailed ? CreateFailedMessage(*path)
                                                                 : WriteFailedMessage(*path, outcome.errorText),
                    TMsgIcon::Error);
        return;
    }
    SetModified(false);
    viewerFailed_ = false;
    if (ShowSavedFileWanted()) ShowFileInViewer(*path);
    // The saved file becomes the shown document, so that what the window
    // shows is what the file holds.
    // It keeps the passwords of this one.
    const std::string password = doc_->Password();
    const bool shown = ReadIntoFreshDocument(QFile::decodeName(QByteArray::fromStdString(*path)), password);
    // Said after the re-reading, which empties the status line.
    QStringList lines = SaveReportLines(outcome.report);
    if (viewerFailed_)
        lines << "Gespeichert. Die Datei kann nicht angezeigt werden: Auf diesem System ist kein Programm zum "
                 "Anzeigen von PDF-Dateien eingerichtet.";
    if (shown && !lines.isEmpty()) SetStatusText(lines.join(" "));
    QStringList broken;
    for (const TClaimProblem& problem : outcome.report.claimProblems) broken << ClaimProblemText(problem);
    if (!broken.isEmpty()) Ask(QMessageBox::Warning, kAppTitle, broken.join("\n"), QMessageBox::Ok);
}

bool TMainForm::TakeBackRefusedReplacements() {
    // The dialogs make no replacement that would lose text; should the
    // document hold one all the same, it is never written, and the rest
    // only when the user agrees.
    const std::vector<TRefusedReplacement> refused = RefusedReplacements(*doc_);
    if (refused.empty()) return true;
    QStringList lines;
    for (const TRefusedReplacement& refusal : refused) lines << QString::fromStdString(RefusalLine(refusal));
    lines << QString() << "Die übrigen Änderungen ohne diese Ersetzungen speichern?";
    if (Ask(QMessageBox::Warning, kAppTitle, lines.join("\n"), QMessageBox::Yes | QMessageBox::No) !=
        QMessageBox::Yes)
        return false;
    WithdrawReplacements(*doc_, refused);
    FontsTab->ReplacementsChanged();
    return true;
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
    return SaveTab->ShowPDFCheck->isChecked();
}

void TMainForm::ShowFileInViewer(const std::string& path) {
    const QString file = QFile::decodeName(QByteArray::fromStdString(path));
    viewerFailed_ = !(testHooks.openFile ? testHooks.openFile(file) : QDesktopServices::openUrl(QUrl::fromLocalFile(file)));
}

// ---- messages ------------------------------------------------------------------------

QMessageBox::StandardButton TMainForm::Ask(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                           QMessageBox::StandardButtons buttons) {
    if (testHooks.message) return testHooks.message(icon, caption, text);
    const std::unique_ptr<QMessageBox> box = MakeMessageBox(icon, caption, text, buttons, this);
    return static_cast<QMessageBox::StandardButton>(box->exec());
}

std::unique_ptr<QMessageBox> TMainForm::MakeMessageBox(QMessageBox::Icon icon, const QString& caption,
                                                       const QString& text, QMessageBox::StandardButtons buttons,
                                                       QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(icon, caption, text, buttons, parent);
    KeepTitleReadable(*box);
    return box;
}

void TMainForm::ShowMessage(const std::string& text, TMsgIcon icon) {
    Ask(icon == TMsgIcon::Error ? QMessageBox::Critical : QMessageBox::Information, kAppTitle,
        QString::fromStdString(text), QMessageBox::Ok);
}

