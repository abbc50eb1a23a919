// The one QApplication the widget tests of this program share.
#pragma once

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>

#include "TestSupport.h"

inline void EnsureApplication() {
    if (QApplication::instance()) return;
    static int argc = 1;
    static char name[] = "test_view";
    static char* argv[] = {name, nullptr};
    // Left alive until the process ends: a static application object would
    // be destroyed after Qt's own globals and crash at exit.
    new QApplication(argc, argv);
    // Window state and favourites go to a folder of the test run, never to
    // the user's own configuration.
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(ScratchDir("view-settings")));
    QCoreApplication::setOrganizationName("VostrelTest");
    QCoreApplication::setApplicationName("PDF Glyphwell");
}
