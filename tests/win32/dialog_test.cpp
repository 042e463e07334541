// The dialog framework under Wine: modeless runs, keys and accelerators.
#include "support/win32/dialog.h"

#include "tests/win32/support/wintest.h"

namespace {

void SetKeys(bool ctrl, bool shift) {
    BYTE state[256] = {};
    GetKeyboardState(state);
    state[VK_CONTROL] = ctrl ? 0x80 : 0;
    state[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(state);
}

// Modeless: keys through the message filter and an accelerator table; counts the calls the
// framework makes.
class Keys : public LDialog {
  public:
    int enables = 0, destroys = 0;
    std::vector<int> commands;
    void EnableControls() override { ++enables; }
    void DestroyDialog() override { ++destroys; }
    void EvCommand(int id, int) override { commands.push_back(id); }
    std::vector<uint32_t> downs, ups;
    bool reopenRefused = false;
    static constexpr LAccelerator table[] = {{LKEY_CTRL | 'A', 500}, {VK_RETURN, 101}};
    void Close(INT_PTR) override { CloseModeless(); }
    bool EvKeyDown(uint32_t key) override {
        downs.push_back(key);
        return MatchAccelerator(key, table, std::size(table));
    }
    bool EvKeyUp(uint32_t key) override {
        ups.push_back(key);
        return false;
    }
    void PostKey(UINT msg, WPARAM vk, bool repeat) {
        LPARAM lp = 1 | (repeat ? (1 << 30) : 0);
        if (msg == WM_KEYUP) lp |= (1 << 30) | (1u << 31);
        PostMessageA(GetItem(1002), msg, vk, lp);
    }
};

TEST(Dialog, ModelessKeysRepeatsAndAccelerators) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    struct K : Keys {
        void InitDialog() override {
            reopenRefused = !RunModeless(nullptr, "TESTDLG");
            SetKeys(true, true);
            PostKey(WM_KEYDOWN, 'A', false);  // Ctrl+Shift+A: no accelerator
            PostKey(WM_KEYDOWN, 'A', true);   // repeat: not passed on
            PostMessageA(hwnd_, WM_APP, 0, 0);
        }
        bool WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
            if (msg == WM_APP) {
                SetKeys(true, false);
                PostKey(WM_KEYDOWN, 'A', false);  // Ctrl+A: command 500
                PostKey(WM_KEYUP, 'A', false);
                PostMessageA(hwnd_, WM_APP + 1, 0, 0);
                return true;
            }
            if (msg == WM_APP + 1) {
                SetKeys(false, false);
                wintest::Command(hwnd_, IDCANCEL);
                return true;
            }
            return Keys::WindowProc(msg, wp, lp);
        }
    } k;
    EXPECT_TRUE(k.RunModeless(nullptr, "TESTDLG"));
    EXPECT_TRUE(k.reopenRefused);
    ASSERT_EQ(k.downs.size(), 2u);
    EXPECT_EQ(k.downs[0], 'A' | LKEY_CTRL | LKEY_SHIFT);
    EXPECT_EQ(k.downs[1], 'A' | LKEY_CTRL);
    EXPECT_EQ(k.ups, std::vector<uint32_t>{'A'});
    EXPECT_EQ(k.commands, std::vector<int>{500});
    EXPECT_EQ(k.enables, 1);  // an accelerator does not run EnableControls
    EXPECT_EQ(k.destroys, 1);
    EXPECT_EQ(k.GetHandle(), nullptr);
}

}  // namespace
