// Under ThreadSanitizer, for tests of code that runs under Qt: the calls Qt's
// libraries make into the runtime are not tracked (qt_tsan.h).
#include "tests/support/qt_tsan.h"

#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
    return qmtest::kQtTsanSuppressions;
}
#endif
