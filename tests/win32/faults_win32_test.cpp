// tamber.exe under a file-size limit (faults_win32_test.py starts each run): the failure shows
// its message box with the conversion's failure text, which this suite reads and closes.
#include <cstdlib>

#include "tests/win32/support/wintest.h"

TEST(Faults, ErrorBoxTellsTheFailure) {
    const char* want = std::getenv("TAMBER_FAULT_MESSAGE");
    if (!want) GTEST_SKIP() << "started by faults_win32_test.py for each faulty run";
    EXPECT_TRUE(wintest::Answer("Error", IDOK, want, 30000)) << "no error box";
}
