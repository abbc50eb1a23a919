// TReaderBridge: the user interface every document of the window is made
// with. Called on the window's own thread it hands each call straight to the
// window; called by a reader on a thread of its own (an open runs there) it
// queues what is to be shown — progress, status lines, messages, the
// version — as signals to the window's thread, measures with a measurer of
// the reader's own, and turns a cancel asked for by the window into the
// document's cancel flag the next time the reader looks up from its work.
//
// A document keeps the bridge for its lifetime, so the window creates the
// bridge before any document and drops it after the last.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <string>

#include "DocumentUi.h"
#include "FontMeasurer.h"

class TPdfDocument;

class TReaderBridge : public QObject, public TDocumentUi {
    Q_OBJECT
public:
    // `window` answers the calls made on this object's thread.
    explicit TReaderBridge(TDocumentUi& window, QObject* parent = nullptr);

    // Before a reader starts on another thread: the document it fills, the
    // version item the window shows, and the display font and resolution,
    // so that its measurements equal the window's.
    void BeginReading(TPdfDocument& doc, int32_t versionItem, const std::string& fontFamily, bool bold, bool italic,
                      int32_t dpi);
    // After the reader's thread has ended.
    void EndReading();
    // Thread-safe: the reader stops after the page it is on.
    void RequestCancel() { cancelRequested_ = true; }
    // The flag the reader's open options watch.
    const std::atomic<bool>* CancelFlag() const { return &cancelRequested_; }

    // For tests: called on the reader's thread each time the reader looks up
    // from its work, with the status label it set last.
    std::function<void(const QString& statusLabel)> readerStep;

    void ShowMessage(const std::string& text, TMsgIcon icon) override;
    void ShowProgressWindow() override;
    void CloseProgressWindow() override;
    void Notice(const TNotice& notice) override;
    void Progress(const TProgress& step) override;
    void SetProStatus(int32_t percent) override;
    void PumpMessages() override;
    void SelectVersionItem(int32_t item) override;
    int32_t VersionItem() override;
    void InfoFieldsChanged() override;
    void OpenFinished(int32_t pageCount) override;
    TTextMeasurer& Measurer() override;
    std::optional<std::string> AskSaveFileName() override;
    bool ShowSavedFileWanted() override;
    void ShowFileInViewer(const std::string& path) override;

signals:
    // Emitted on the reader's thread; connected receivers on the window's
    // thread get them queued, in the order the reader sent them.
    void readerMessage(const QString& text, bool isError);
    void readerStatusLine(const QString& line);
    void readerStatusLabel(const QString& text);
    void readerProgress(int percent);
    void readerVersionItem(int item);

private:
    bool OnWindowThread() const;

    TDocumentUi& window_;
    TFreeTypeMeasurer readerMeasurer_;
    // Set and read on the reader's thread only, between BeginReading and
    // EndReading.
    TPdfDocument* reading_ = nullptr;
    QString lastStatusLabel_;
    std::atomic<int32_t> versionItem_{1};
    std::atomic<bool> cancelRequested_{false};
};
