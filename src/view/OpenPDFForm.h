// TOpenPDFForm ("PDF-Datei öffnen..."): the progress window of an open. The
// reader writes its lines into the status memo and the current step into
// the status label; "Aktion abbrechen" (or Escape) asks it to stop after
// the page it is on.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class TPdfDocument;

class TOpenPDFForm : public QDialog {
    Q_OBJECT
public:
    explicit TOpenPDFForm(TPdfDocument& doc, QWidget* parent = nullptr);

    // Sets cancelRequested and nothing else.
    void BreakBtnClick();

    QLabel* Label1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* BreakBtn = nullptr;
    // Never emptied: the lines of earlier files stay above the new ones.
    QPlainTextEdit* StatusMemo = nullptr;

public slots:
    // Escape cancels the open; the window itself is closed by the reader only.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TPdfDocument& doc_;
};
