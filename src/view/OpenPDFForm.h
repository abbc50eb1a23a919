// TOpenPDFForm ("PDF-Datei öffnen..."): the progress window of an open. The
// reader writes its lines into the status memo and the current step into
// the status label; "Aktion abbrechen" (or Escape, or the close box while a
// file is read) asks the window to stop the reader after the page it is on.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class TOpenPDFForm : public QDialog {
    Q_OBJECT
public:
    explicit TOpenPDFForm(QWidget* parent = nullptr);

    // Emits cancelClicked and nothing else.
    void BreakBtnClick();
    // Shows the window and returns once it is on screen and painted, so that
    // the user sees it before a reader's thread competes for the processor.
    void ShowPainted();
    // While a file is read, closing the window means cancelling.
    void SetReading(bool reading) { reading_ = reading; }

    QLabel* Label1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* BreakBtn = nullptr;
    // Emptied at the start of every open.
    QPlainTextEdit* StatusMemo = nullptr;

signals:
    void cancelClicked();

public slots:
    // Escape cancels the open; the window itself is closed by the reader only.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool reading_ = false;
};
