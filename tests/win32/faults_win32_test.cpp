// tamber.exe under a file-size limit (faults_win32_test.py starts each run): the failure shows
// its message box with the conversion's failure text, which this suite reads and closes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

TEST(Faults, ErrorBoxTellsTheFailure) {
    const char* want = std::getenv("TAMBER_FAULT_MESSAGE");
    if (!want) GTEST_SKIP() << "started by faults_win32_test.py for each faulty run";
    HWND box = nullptr;
    for (int i = 0; i < 1200 && !(box = FindWindowA("#32770", "Error")); ++i) Sleep(25);
    ASSERT_TRUE(box) << "no error box";
    char text[2048] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    EXPECT_EQ(std::string(text).rfind(want, 0), 0u) << text;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
}
