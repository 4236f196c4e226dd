// Under ThreadSanitizer: the tests that close a socket while another thread is
// blocked receiving on it do so on purpose (the close must wake the receiver);
// the sanitizer reports every such pair of calls on one descriptor as a race.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
    return "race:qmtest::CloseUnderABlockedReceive\n";
}
#endif
