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
    // Window state, favourites and recent files go to a folder of this test
    // process, never to the user's own configuration (and never to another
    // test's: ctest runs them side by side).
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(ScratchDir("view-config")));
    new QApplication(argc, argv);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(ScratchDir("view-settings")));
    QCoreApplication::setOrganizationName("VostrelTest");
    QCoreApplication::setApplicationName("PDF Glyphwell");
}
