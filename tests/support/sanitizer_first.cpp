// Preloaded behind the sanitizer's runtime into programs that were not built with
// it. The runtime starts itself at its first intercepted call, and in such a
// program that can be a C library call made from another library's constructor
// while the C library holds its locale lock (newlocale); the runtime's start-up
// then takes that lock again through dlerror() and leaves it broken, and the
// program's next setlocale() waits forever. Linked with -z initfirst, this
// library's constructor runs before every other one and starts the runtime
// first, as an instrumented program's own start-up would.

#if defined(__SANITIZE_ADDRESS__)
extern "C" void __asan_init();
#define QM_START_SANITIZER __asan_init
#elif defined(__SANITIZE_THREAD__)
extern "C" void __tsan_init();
#define QM_START_SANITIZER __tsan_init
#else
#error "built only under a sanitizer preset"
#endif

namespace {

__attribute__((constructor)) void StartSanitizer() {
    QM_START_SANITIZER();
}

} // namespace
