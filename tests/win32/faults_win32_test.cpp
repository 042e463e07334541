// tamber.exe under a file-size limit (the .py starts each run): reads and closes its error box.
#include <cstdlib>

#include "tests/win32/support/wintest.h"

TEST(Faults, ErrorBoxTellsTheFailure) {
    const char* want = std::getenv("TAMBER_FAULT_MESSAGE");
    if (!want) GTEST_SKIP() << "started by faults_win32_test.py for each faulty run";
    EXPECT_TRUE(wintest::Answer("Error", IDOK, want, 30000)) << "no error box";
}
