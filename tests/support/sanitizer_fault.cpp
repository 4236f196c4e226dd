// A library with one deliberate fault, run as it loads or unloads: preloaded into a
// real program, it shows that a sanitizer report from inside a program run under
// the socket host fails the test that ran it.

#include <thread>

namespace {

#if defined(__SANITIZE_ADDRESS__)
__attribute__((constructor)) void Fault() {
    volatile int* freed = new int(1);
    delete freed;
    [[maybe_unused]] int value = *freed; // use after free
}
#elif defined(__SANITIZE_THREAD__)
int gShared = 0;

// As the program ends, when every library is ready for it.
__attribute__((destructor)) void Fault() {
    std::thread other([] { gShared = 1; }); // unsynchronised with the write below
    gShared = 2;
    other.join();
}
#else
#error "built only under a sanitizer preset"
#endif

} // namespace
