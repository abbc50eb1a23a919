// The one QApplication the widget tests of this program share.
#pragma once

#include <QApplication>

inline void EnsureApplication() {
    if (QApplication::instance()) return;
    static int argc = 1;
    static char name[] = "test_view";
    static char* argv[] = {name, nullptr};
    // Left alive until the process ends: a static application object would
    // be destroyed after Qt's own globals and crash at exit.
    new QApplication(argc, argv);
}
