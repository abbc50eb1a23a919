#include "OpenPDFForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>

TOpenPDFForm::TOpenPDFForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("PDF-Datei öffnen...");
    setModal(false);
    setFixedSize(435, 248);

    Label1 = new QLabel(
        "Die PDF-Datei wird nun geöffnet, dies kann je nach Größe der Datei einige Zeit in Anspruch nehmen!",
        this);
    Label1->setWordWrap(true);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    Label2 = new QLabel(this);
    BreakBtn = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "Aktion abbrechen", this);
    BreakBtn->setAutoDefault(false);
    connect(BreakBtn, &QPushButton::clicked, this, &TOpenPDFForm::BreakBtnClick);

    StatusMemo = new QPlainTextEdit(this);
    StatusMemo->setReadOnly(true);
    StatusMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    StatusMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    StatusMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette memoPalette = StatusMemo->palette();
    memoPalette.setColor(QPalette::Base, memoPalette.color(QPalette::ToolTipBase));
    memoPalette.setColor(QPalette::Text, memoPalette.color(QPalette::ToolTipText));
    StatusMemo->setPalette(memoPalette);

    auto* statusBar1 = new QStatusBar(this);
    statusBar1->setSizeGripEnabled(false);

    auto* row = new QHBoxLayout;
    row->addWidget(Label2, 1);
    row->addWidget(BreakBtn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 0);
    layout->addWidget(Label1);
    layout->addWidget(ProgressBar1);
    layout->addLayout(row);
    layout->addWidget(StatusMemo, 1);
    layout->addWidget(statusBar1);
}

void TOpenPDFForm::ShowPainted() {
    show();
    raise();
    // show() only asks the window system for the window; until the window
    // system has exposed it, painting does nothing, and the exposure arrives
    // on a later turn of the event loop, which a busy reader's thread may
    // delay past the first pages. Its answer is taken here (no user input).
    // A window manager may keep the window hidden: then the reader starts
    // after a short while anyway.
    constexpr qint64 kLongestWaitMs = 1000;
    QElapsedTimer waited;
    waited.start();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    while (windowHandle() && !windowHandle()->isExposed() && waited.elapsed() < kLongestWaitMs) {
        QThread::msleep(5);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    repaint();
}

void TOpenPDFForm::BreakBtnClick() {
    emit cancelClicked();
}

void TOpenPDFForm::reject() {
    BreakBtnClick();
}

void TOpenPDFForm::closeEvent(QCloseEvent* event) {
    // Closing the window by its close box while a file is read would leave
    // the reader running without a way to stop it: treat it as a cancel.
    if (reading_) {
        BreakBtnClick();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
