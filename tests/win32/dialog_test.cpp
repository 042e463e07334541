// The dialog framework (modeless, keys, accelerators) and the shell's dialogs, under Wine.
#include "support/win32/dialog.h"

#include "support/file.h"
#include "support/win32/shelldlg.h"
#include "tests/win32/support/wintest.h"

namespace {

void SetCtrlShift(bool down) {
    BYTE state[256] = {};
    GetKeyboardState(state);
    state[VK_CONTROL] = state[VK_SHIFT] = down ? 0x80 : 0;
    SetKeyboardState(state);
}

// Keys reach a modeless dialog with modifiers (not auto-repeats) and run accelerators; no rerun.
class Keys : public LDialog {
  public:
    std::vector<uint32_t> downs;
    std::vector<int> commands;
    int destroys = 0;
    bool reopenRefused = false;
    static constexpr LAccelerator table[] = {{LKEY_CTRL | 'A', 500},
                                             {LKEY_CTRL | LKEY_SHIFT | 'B', 501}};
    void DestroyDialog() override { ++destroys; }
    void EvCommand(int id, int) override { commands.push_back(id); }
    void Close(INT_PTR) override { CloseModeless(); }
    bool EvKeyDown(uint32_t key) override {
        downs.push_back(key);
        return MatchAccelerator(key, table, std::size(table));
    }
    void InitDialog() override {
        reopenRefused = !RunModeless(nullptr, "TESTDLG");
        SetCtrlShift(true);  // Ctrl+Shift: 'A' matches no accelerator, 'B' does
        for (auto [key, repeat] : {std::pair{'A', false}, {'B', false}, {'B', true}})
            PostMessageA(GetItem(1002), WM_KEYDOWN, WPARAM(key), 1 | (repeat ? 1 << 30 : 0));
        wintest::Command(hwnd_, IDCANCEL);
    }
};

TEST(Dialog, ModelessKeysModifiersAndAccelerators) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    Keys k;
    EXPECT_TRUE(k.RunModeless(nullptr, "TESTDLG"));
    SetCtrlShift(false);
    EXPECT_TRUE(k.reopenRefused);
    const uint32_t both = LKEY_CTRL | LKEY_SHIFT;
    EXPECT_EQ(k.downs, (std::vector<uint32_t>{'A' | both, 'B' | both}));
    EXPECT_EQ(std::tuple(k.commands, k.destroys, k.GetHandle()),
              std::tuple(std::vector<int>{501}, 1, HWND(nullptr)));
}

const char kOpen[] = "Locate Audio File(s)";
const auto kCancel = [](HWND dlg) { wintest::Command(dlg, IDCANCEL); };

TEST(ShellDialogs, OpenDialogReturnsSeveralFilesAndTheirFolderAndCancelChangesNothing) {
    const std::string dir = wintest::WinPath(testutil::ScratchDir());
    for (const char* f : {"\\a.wav", "\\b.mp3"}) testutil::WriteFileBytes(dir + f, {1});
    char folder[LMAX_PATH];
    strcpy(folder, dir.c_str());
    std::vector<std::string> names;
    EXPECT_TRUE(wintest::Driving(
        kOpen,
        [](HWND dlg) {
            // The file name box (combo box 0x47C, or edit 0x480 in the old layout).
            HWND box = GetDlgItem(dlg, 0x47C);
            SetWindowTextA(box ? box : GetDlgItem(dlg, 0x480), "\"a.wav\" \"b.mp3\"");
            wintest::Command(dlg, IDOK);
        },
        [&] {
            return ChooseFilesToOpen(nullptr, folder, kOpen,
                                     "All Files\0*.*\0Wave Files (*.wav)\0*.wav\0", "WAV", names);
        }));
    EXPECT_EQ(names, (std::vector<std::string>{dir + "\\a.wav", dir + "\\b.mp3"}));
    EXPECT_STREQ(folder, dir.c_str());

    EXPECT_FALSE(wintest::Driving(kOpen, kCancel, [&] {
        return ChooseFilesToOpen(nullptr, folder, kOpen, "All Files\0*.*\0", "WAV", names);
    }));
    EXPECT_TRUE(names.empty());
    EXPECT_STREQ(folder, dir.c_str());
}

TEST(ShellDialogs, FolderBrowserStartsAtThePathAndReturnsTheChoice) {
    const std::string dir = wintest::WinPath(testutil::ScratchDir());
    const std::string want = dir.substr(dir.rfind('\\') + 1);
    char path[LMAX_PATH];
    strcpy(path, dir.c_str());
    EXPECT_TRUE(wintest::Driving(
        "Browse for Folder",
        [&](HWND dlg) {
            // OK once the tree shows the preselected folder (seconds on a loaded machine).
            HWND tree = FindWindowExA(dlg, nullptr, "SysTreeView32", nullptr);
            wintest::WaitFor(
                [&] {
                    if (!tree) return true;
                    char text[MAX_PATH] = {};
                    TVITEMA item = {};
                    item.mask = TVIF_TEXT;
                    item.hItem = TreeView_GetSelection(tree);
                    item.pszText = text;
                    item.cchTextMax = sizeof text;
                    return item.hItem && TreeView_GetItem(tree, &item) && want == text;
                },
                40000);
            wintest::Command(dlg, IDOK);
        },
        [&] { return BrowseForFolder(nullptr, "Locate folder...", path); }));
    EXPECT_EQ(_stricmp(path, dir.c_str()), 0) << path << " wanted " << dir;
}

}  // namespace
