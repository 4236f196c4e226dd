// The user interface tests run with the service's application object, not
// started, on the offscreen platform.

#include "service/app.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    CPCAppApp app(argc, argv); // the preference file is found through it
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
