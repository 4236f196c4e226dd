// Under ThreadSanitizer, for tests of code that runs under Qt: the Qt, GLib and D-Bus
// libraries are not built with the sanitizer, and they hand memory from thread
// to thread (thread pools, queued events) through their own futex-based locks,
// which it cannot see. Calls these libraries make themselves into the runtime
// (allocation, release) are therefore not tracked; this project's own code is
// checked as everywhere else.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libQt6DBus.so.6\n"
           "called_from_lib:libdbus-1.so.3\n"
           "called_from_lib:libglib-2.0.so.0\n";
}
#endif
