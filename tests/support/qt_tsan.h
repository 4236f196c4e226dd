#pragma once
// The libraries whose own calls into ThreadSanitizer's runtime are not
// tracked: Qt, GLib and D-Bus are not built with the sanitizer, and they hand
// memory from thread to thread (thread pools, queued events) through their own
// futex-based locks, which it cannot see. This project's own code is checked
// as everywhere else. Given to test programs (qt_tsan_suppressions.cpp) and to
// the KOVARI they start (kovari_process.cpp), in the sanitizer's format.

namespace qmtest {

// A constant, not a function: the runtime asks for it before it can track a
// call.
inline constexpr const char* kQtTsanSuppressions = "called_from_lib:libQt6Core.so.6\n"
                                                   "called_from_lib:libQt6Gui.so.6\n"
                                                   "called_from_lib:libQt6Widgets.so.6\n"
                                                   "called_from_lib:libQt6DBus.so.6\n"
                                                   "called_from_lib:libdbus-1.so.3\n"
                                                   "called_from_lib:libglib-2.0.so.0\n";

} // namespace qmtest
