// The main of the tests that need the service's application object, not
// started, on the offscreen platform unless the environment names another.

#include "service/app.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0); // also when the test list is read
    CPCAppApp app(argc, argv);                   // the preference file is found through it
    return RUN_ALL_TESTS();
}
