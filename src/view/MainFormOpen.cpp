// The window's half of opening a file: the reader runs on its own thread
// into a fresh document, which replaces the shown one only when it is to be
// shown.
#include "MainForm.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QCheckBox>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QThread>
#include <QTimer>

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
