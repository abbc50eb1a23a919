// glyphwell: the window program. Opens the PDF file named as the first
// argument once the main window is on screen.
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "MainForm.h"
#include "Translations.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("PDF Glyphwell");
    QApplication::setOrganizationName("Vostrel");
    InstallGermanQtTranslations(app);

    TMainForm mainForm(QCoreApplication::applicationDirPath() + "/");
    mainForm.RestoreWindowState();
    mainForm.show();

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    QTimer::singleShot(0, &mainForm, [&mainForm, arguments] { mainForm.FormShow(arguments); });
    return app.exec();
}
