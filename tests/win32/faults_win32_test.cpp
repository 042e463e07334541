// tamber.exe under a file-size limit or with a failing encoder (the .py starts each run): its
// error box, and no passing file behind it while it waits.
#include <cstdlib>

#include "tests/win32/support/wintest.h"

TEST(Faults, ErrorBoxTellsTheFailure) {
    const char* want = std::getenv("TAMBER_FAULT_MESSAGE");
    if (!want) GTEST_SKIP() << "started by faults_win32_test.py for each faulty run";
    // The box may wait as long as the session lasts: what the run wrote is gone already.
    ASSERT_TRUE(wintest::WaitDialog("Error", 30000)) << "no error box";
    for (auto& e : fs::directory_iterator(std::getenv("TAMBER_FAULT_FOLDER")))
        EXPECT_TRUE(std::string("~_").find(e.path().filename().string()[0]) == std::string::npos)
            << e.path();
    EXPECT_TRUE(wintest::Answer("Error", IDOK, want));
}
