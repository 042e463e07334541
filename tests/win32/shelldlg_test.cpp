// The folder browser and the open dialog, driven for real under Wine.
#include "support/win32/shelldlg.h"

#include <gtest/gtest.h>
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <atomic>
#include <string>
#include <thread>

#include "support/file.h"
#include "tests/support/testutil.h"
#include "tests/win32/support/wintest.h"

namespace {

BOOL CALLBACK FindVisibleDialog(HWND h, LPARAM p) {
    char cls[32];
    GetClassNameA(h, cls, sizeof cls);
    if (IsWindowVisible(h) && strcmp(cls, "#32770") == 0) {
        *reinterpret_cast<HWND*>(p) = h;
        return FALSE;
    }
    return TRUE;
}

// Finds a visible dialog of the thread, waiting up to 10 s.
HWND FindDialog(DWORD thread) {
    for (int i = 0; i < 1000; ++i) {
        HWND found = nullptr;
        EnumThreadWindows(thread, FindVisibleDialog, reinterpret_cast<LPARAM>(&found));
        if (found) return found;
        Sleep(10);
    }
    return nullptr;
}

std::string WinScratch() {
    return wintest::WinPath(testutil::ScratchDir());
}

TEST(ShellDialogs, OpenDialogReturnsSeveralFilesAndTheirFolder) {
    std::string dir = WinScratch();
    for (const char* f : {"\\a.wav", "\\b.mp3"}) testutil::WriteFileBytes(dir + f, {1});
    DWORD me = GetCurrentThreadId();
    std::atomic<bool> typed{false};
    std::string title;
    std::thread driver([&] {
        HWND dlg = FindDialog(me);
        if (!dlg) return;
        char buf[128] = {};
        GetWindowTextA(dlg, buf, sizeof buf);
        title = buf;
        // The file name box (combo box 0x47C, or edit 0x480 in the old layout).
        HWND box = GetDlgItem(dlg, 0x47C);
        if (!box) box = GetDlgItem(dlg, 0x480);
        SetWindowTextA(box, "\"a.wav\" \"b.mp3\"");
        typed = true;
        PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    char folder[LMAX_PATH];
    strcpy(folder, dir.c_str());
    std::vector<std::string> names;
    bool ok = ChooseFilesToOpen(nullptr, folder, "Locate Audio File(s)",
                                "All Files\0*.*\0Wave Files (*.wav)\0*.wav\0", "WAV", names);
    driver.join();
    ASSERT_TRUE(typed);
    EXPECT_EQ(title, "Locate Audio File(s)");
    ASSERT_TRUE(ok);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], dir + "\\a.wav");
    EXPECT_EQ(names[1], dir + "\\b.mp3");
    EXPECT_STREQ(folder, dir.c_str());
}

TEST(ShellDialogs, CancelledOpenDialogChangesNothing) {
    DWORD me = GetCurrentThreadId();
    std::thread driver([&] {
        if (HWND dlg = FindDialog(me)) PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
    });
    char folder[LMAX_PATH] = "C:\\windows";
    std::vector<std::string> names{"x"};
    EXPECT_FALSE(ChooseFilesToOpen(nullptr, folder, "t", "All Files\0*.*\0", "WAV", names));
    driver.join();
    EXPECT_TRUE(names.empty());
    EXPECT_STREQ(folder, "C:\\windows");
}

TEST(ShellDialogs, FolderBrowserStartsAtThePathAndReturnsTheChoice) {
    std::string dir = WinScratch();
    DWORD me = GetCurrentThreadId();
    std::thread driver([&] {
        if (HWND dlg = FindDialog(me)) {
            // Press OK once the tree shows the preselected folder (expanding it takes a while,
            // seconds on a loaded machine).
            HWND tree = FindWindowExA(dlg, nullptr, "SysTreeView32", nullptr);
            std::string want = dir.substr(dir.rfind('\\') + 1);
            for (int i = 0; tree && i < 4000; ++i) {
                char text[MAX_PATH] = {};
                TVITEMA item = {};
                item.mask = TVIF_TEXT;
                item.hItem = TreeView_GetSelection(tree);
                item.pszText = text;
                item.cchTextMax = sizeof text;
                if (item.hItem && TreeView_GetItem(tree, &item) && want == text) break;
                Sleep(10);
            }
            PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    });
    char path[LMAX_PATH];
    strcpy(path, dir.c_str());
    EXPECT_TRUE(BrowseForFolder(nullptr, "Locate folder...", path));
    driver.join();
    EXPECT_EQ(_stricmp(path, dir.c_str()), 0) << path << " wanted " << dir;

    std::thread cancel([&] {
        if (HWND dlg = FindDialog(me)) PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_FALSE(BrowseForFolder(nullptr, "Locate folder...", path));
    cancel.join();
    EXPECT_EQ(_stricmp(path, dir.c_str()), 0);
}

}  // namespace
