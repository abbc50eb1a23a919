#include "ReaderBridge.h"

#include <QThread>

#include "NoticeTexts.h"
#include "PdfDocument.h"

TReaderBridge::TReaderBridge(TDocumentUi& window, QObject* parent) : QObject(parent), window_(window) {}

bool TReaderBridge::OnWindowThread() const {
    return QThread::currentThread() == thread();
}

void TReaderBridge::BeginReading(TPdfDocument& doc, int32_t versionItem, const std::string& fontFamily, bool bold,
                                 bool italic, int32_t dpi) {
    reading_ = &doc;
    lastStatusLabel_.clear();
    versionItem_ = versionItem;
    cancelRequested_ = false;
    readerMeasurer_.SetFont(fontFamily, bold, italic);
    readerMeasurer_.SetDpi(dpi);
}

void TReaderBridge::EndReading() {
    reading_ = nullptr;
    cancelRequested_ = false;
}

void TReaderBridge::ShowMessage(const std::string& text, TMsgIcon icon) {
    if (OnWindowThread()) return window_.ShowMessage(text, icon);
    emit readerMessage(QString::fromStdString(text), icon == TMsgIcon::Error);
}

// The window shows and hides the progress window around the reader's thread
// itself: showing it from here would come too late to be painted at once.
void TReaderBridge::ShowProgressWindow() {
    if (OnWindowThread()) window_.ShowProgressWindow();
}

void TReaderBridge::CloseProgressWindow() {
    if (OnWindowThread()) window_.CloseProgressWindow();
}

void TReaderBridge::Notice(const TNotice& notice) {
    if (OnWindowThread()) return window_.Notice(notice);
    const QString text = QString::fromStdString(NoticeText(notice));
    if (NoticeIsError(notice))
        emit readerMessage(text, true);
    else
        emit readerStatusLine(text);
}

void TReaderBridge::Progress(const TProgress& step) {
    if (OnWindowThread()) return window_.Progress(step);
    const QString text = QString::fromStdString(ProgressText(step));
    if (ProgressIsLabel(step)) {
        lastStatusLabel_ = text;
        emit readerStatusLabel(text);
    } else {
        emit readerStatusLine(text);
    }
}

void TReaderBridge::SetProStatus(int32_t percent) {
    if (OnWindowThread()) return window_.SetProStatus(percent);
    emit readerProgress(percent);
}

void TReaderBridge::PumpMessages() {
    // The window's thread runs its own event loop; nothing to pump there.
    if (OnWindowThread()) return;
    if (readerStep) readerStep(lastStatusLabel_);
}

void TReaderBridge::SelectVersionItem(int32_t item) {
    if (OnWindowThread()) return window_.SelectVersionItem(item);
    versionItem_ = item;
    emit readerVersionItem(item);
}

int32_t TReaderBridge::VersionItem() {
    return OnWindowThread() ? window_.VersionItem() : versionItem_.load();
}

// A reader on its own thread refills a document that is not shown yet: the
// window takes the values over once the open has ended.
void TReaderBridge::InfoFieldsChanged() {
    if (OnWindowThread()) window_.InfoFieldsChanged();
}

void TReaderBridge::OpenFinished(int32_t pageCount) {
    if (OnWindowThread()) window_.OpenFinished(pageCount);
}

TTextMeasurer& TReaderBridge::Measurer() {
    return OnWindowThread() ? window_.Measurer() : readerMeasurer_;
}

std::optional<std::string> TReaderBridge::AskSaveFileName() {
    if (OnWindowThread()) return window_.AskSaveFileName();
    return std::nullopt;
}

bool TReaderBridge::ShowSavedFileWanted() {
    return OnWindowThread() && window_.ShowSavedFileWanted();
}

void TReaderBridge::ShowFileInViewer(const std::string& path) {
    if (OnWindowThread()) window_.ShowFileInViewer(path);
}
