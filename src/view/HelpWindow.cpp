#include "HelpWindow.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const char* const kBuiltInManual = ":/help/handbuch.html";

}  // namespace

THelpWindow::THelpWindow(const QString& programDir, QWidget* parent) : QDialog(parent) {
    // The view is a static library: its resources are registered by hand.
    Q_INIT_RESOURCE(Help);
    setWindowTitle("Hilfe – PDF Glyphwell");
    // A window beside the main one that stays open while the user works.
    setModal(false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMinMaxButtonsHint, true);

    Browser = new QTextBrowser(this);
    // Links to the web or to other programs are not followed from here:
    // the manual is self-contained, and no launcher is needed.
    Browser->setOpenExternalLinks(false);
    Browser->setOpenLinks(true);
    const QString source = ManualSource(programDir);
    manual_ = source.startsWith(':') ? QUrl("qrc" + source) : QUrl::fromLocalFile(source);
    Browser->setSource(manual_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    // German also where Qt's own translations are not installed.
    buttons->button(QDialogButtonBox::Close)->setText("Schließen");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Browser, 1);
    layout->addWidget(buttons);

    // Wide enough for the manual's lines, never larger than the screen.
    QSize wanted(Browser->fontMetrics().averageCharWidth() * 90, Browser->fontMetrics().height() * 40);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        wanted = wanted.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(wanted);
}

QString THelpWindow::ManualSource(const QString& programDir) {
    const QString installed = QDir(programDir).filePath("../share/glyphwell/handbuch.html");
    if (QFileInfo::exists(installed)) return QFileInfo(installed).absoluteFilePath();
    return kBuiltInManual;
}

void THelpWindow::ShowManual(const QString& section) {
    // Links followed earlier may have left another page (or none) shown.
    if (Browser->source() != manual_) Browser->setSource(manual_);
    // Shown first: the place of a section depends on the width the text is
    // laid out at.
    show();
    raise();
    activateWindow();
    if (section.isEmpty())
        Browser->verticalScrollBar()->setValue(0);
    else
        Browser->scrollToAnchor(section);
}
