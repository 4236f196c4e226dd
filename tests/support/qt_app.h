#pragma once
// The one QApplication of a Qt test binary, made on first use (so that listing
// the tests needs no display) and kept until the process ends.

#include <QApplication>

namespace qmtest {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "qmtest";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

} // namespace qmtest
