// Window stage of glyphwell-bench: the main window itself, driven as a user
// drives it, for measuring what the window costs with /usr/bin/time under a
// display (Xvfb):
//   open            opens the file once;
//   cancel-reopen   opens the file, opens it again and cancels that open
//                   halfway through the pages, then opens it once more;
//   preview         opens the file, shows "Vorschau" and turns ten pages,
//                   waiting for both renderings of each.
// The window's settings go to a scratch folder, not the user's.
#ifdef GW_HAVE_VIEW

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QThread>
#include <QToolButton>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "FontsTab.h"
#include "MainForm.h"
#include "OpenPDFForm.h"
#include "PreviewPane.h"
#include "bench_memory.h"
#include "bench_paint.h"

namespace {

using Clock = std::chrono::steady_clock;

void Line(const char* name, double value, const char* unit) { std::printf("%s %.6g %s\n", name, value, unit); }

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Runs the window's events until `done` holds or `seconds` have passed.
bool WaitFor(const std::function<bool()>& done, double seconds) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > seconds * 1000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(2);
    }
    return true;
}

bool Open(TMainForm& form, const QString& path, const char* name) {
    const auto start = Clock::now();
    const bool opened = form.openfilenow(path);
    QCoreApplication::processEvents();
    Line(name, SecondsSince(start), "s");
    Line((std::string(name) + "_rss").c_str(), CurrentRssMiB(), "MiB");
    return opened;
}

int CancelAndReopen(TMainForm& form, const QString& path) {
    if (!Open(form, path, "window_open")) return 1;
    // "Aktion abbrechen" when the reader has got halfway through the pages.
    auto clicked = std::make_shared<bool>(false);
    form.testHooks.readerStep = [&form, clicked](const QString& label) {
        static const QString prefix = "Lese Seite ";
        if (*clicked || !label.startsWith(prefix)) return;
        const int page = label.mid(prefix.size()).section('.', 0, 0).toInt();
        if (page < 1000) return;
        *clicked = true;
        QMetaObject::invokeMethod(
            &form, [&form] { form.OpenPDFForm->BreakBtn->click(); }, Qt::BlockingQueuedConnection);
    };
    Open(form, path, "window_cancelled_open");
    form.testHooks.readerStep = nullptr;
    Line("window_cancel_clicked", *clicked ? 1 : 0, "");
    return Open(form, path, "window_open_again") ? 0 : 1;
}

int PreviewTenPages(TMainForm& form, const QString& path) {
    if (!Open(form, path, "window_open")) return 1;
    TFontsTab& tab = *form.FontsTab;
    const auto start = Clock::now();
    tab.PreviewBtn->click();
    int shown = 0;
    for (int page = 1; page <= 10 && page <= form.Document().pageList.Count(); ++page) {
        tab.PageEd->setValue(page);
        if (WaitFor([&tab] { return tab.PreviewPane->PageReady(); }, 120)) ++shown;
    }
    Line("window_preview_ten_pages", SecondsSince(start), "s");
    Line("window_preview_pages_shown", shown, "pages");
    Line("window_preview_rss", CurrentRssMiB(), "MiB");
    return shown > 0 ? 0 : 1;
}

}  // namespace

int BenchWindow(const char* scenario, const char* path) {
    int argc = 1;
    char name[] = "glyphwell-bench";
    char* argv[] = {name, nullptr};
    // Settings of a bench run stay out of the user's.
    const QString scratch = QDir::tempPath() + "/glyphwell-bench-settings";
    qputenv("XDG_CONFIG_HOME", scratch.toLocal8Bit());
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("VostrelBench");
    QCoreApplication::setApplicationName("PDF Glyphwell");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, scratch);

    TMainForm form(QCoreApplication::applicationDirPath() + "/");
    form.testHooks.message = [](QMessageBox::Icon, const QString&, const QString& text) {
        std::fprintf(stderr, "Meldung: %s\n", text.toLocal8Bit().constData());
        return QMessageBox::Ok;
    };
    form.resize(1600, 1000);
    form.show();
    QCoreApplication::processEvents();
    const QString file = QString::fromLocal8Bit(path);
    int status = 64;
    if (std::strcmp(scenario, "open") == 0) status = Open(form, file, "window_open") ? 0 : 1;
    else if (std::strcmp(scenario, "cancel-reopen") == 0) status = CancelAndReopen(form, file);
    else if (std::strcmp(scenario, "preview") == 0) status = PreviewTenPages(form, file);
    else std::fprintf(stderr, "Unbekannter Ablauf: %s (open, cancel-reopen, preview)\n", scenario);
    Line("window_peak_rss", PeakRssMiB(), "MiB");
    form.testHooks = TDialogHooks{};
    return status;
}

#endif  // GW_HAVE_VIEW
