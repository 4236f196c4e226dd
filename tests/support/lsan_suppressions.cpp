// Leak reports that come from system libraries Qt loads (fontconfig's caches),
// not from this project's code. LeakSanitizer asks for this list at start-up;
// without a sanitizer nothing calls it.

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
