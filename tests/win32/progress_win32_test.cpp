// The "LProgressDialog" window for real: texts, bar, owner disabled, Cancel, waits, errors.
#include <gtest/gtest.h>
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <string>
#include <thread>

#include "support/progress.h"
#include "support/waitable.h"

namespace {

std::string ItemText(HWND dlg, int id) {
    char buf[256] = {};
    GetDlgItemTextA(dlg, id, buf, sizeof buf);
    return buf;
}

int BarPos(HWND dlg) {
    return static_cast<int>(SendDlgItemMessageA(dlg, 102, PBM_GETPOS, 0, 0));
}

struct Probe {
    HWND owner = nullptr;
    int cancelAt = -1;  // step at which a Cancel click is posted
    int steps = 0;
    bool ownerDisabled = false, visible = false, afterCancelIgnored = false;
    std::string caption, line0, line1, line2, label;
    int barAtStart = -1, bar = -1;
    RECT rect = {};
};

int Process(LProgressDialog* dlg, Probe* p) {
    HWND hwnd = static_cast<HWND>(dlg->GetWindow());
    char title[128] = {};
    GetWindowTextA(hwnd, title, sizeof title);
    p->caption = title;
    p->visible = IsWindowVisible(hwnd);
    p->barAtStart = BarPos(hwnd);
    p->ownerDisabled = p->owner && !IsWindowEnabled(p->owner);
    dlg->SetText("Converting", 0);
    dlg->SetText("song.wav", 1);
    dlg->SetText("never shown", 2);
    p->line0 = ItemText(hwnd, 100);
    p->line1 = ItemText(hwnd, 101);
    p->line2 = ItemText(hwnd, 102);
    dlg->SetProgress(0.555);
    p->bar = BarPos(hwnd);
    MapDialogRect(hwnd, &p->rect);
    for (int i = 0; i < 50; ++i) {
        if (i == p->cancelAt) PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        if (dlg->PumpMessages()) {
            p->afterCancelIgnored = dlg->PumpMessages() && !IsWindow(hwnd);
            dlg->SetText("after", 0);  // must do nothing
            dlg->SetProgress(1.0);
            return LPROCESS_STOPPED;
        }
        ++p->steps;
    }
    return LPROCESS_OK;
}

HWND MakeOwner() {
    return CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

TEST(ProgressDialog, ShowsTitleTextsAndBarWithOwnerDisabled) {
    Probe p;
    p.owner = MakeOwner();
    LProgressProcess<Probe> run("Converting Files", &p);
    run.Run(p.owner);
    EXPECT_EQ(run.status, LPROCESS_OK);
    EXPECT_EQ(p.steps, 50);
    EXPECT_EQ(p.caption, "Converting Files");
    EXPECT_TRUE(p.visible);
    EXPECT_EQ(p.barAtStart, 0);
    EXPECT_TRUE(p.ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(p.owner));
    EXPECT_EQ(p.line0, "Converting");
    EXPECT_EQ(p.line1, "song.wav");
    EXPECT_EQ(p.line2, "");
    EXPECT_EQ(p.bar, 55);
    EXPECT_EQ(run.GetWindow(), nullptr);
    DestroyWindow(p.owner);
}

TEST(ProgressDialog, CancelStopsAtTheNextPump) {
    Probe p;
    p.cancelAt = 7;
    LProgressProcess<Probe> run("Cancel me", &p);
    run.Run(nullptr);
    EXPECT_EQ(run.status, LPROCESS_STOPPED);
    EXPECT_EQ(p.steps, 7);
    EXPECT_TRUE(p.afterCancelIgnored);
    EXPECT_EQ(run.GetWindow(), nullptr);
    // The same object runs again afterwards.
    p.cancelAt = -1;
    p.steps = 0;
    run.Run(nullptr);
    EXPECT_EQ(run.status, LPROCESS_OK);
    EXPECT_EQ(p.steps, 50);
}

struct Nest {
    bool inner = true;
};
int Process(LProgressDialog* dlg, Nest* n) {
    n->inner = static_cast<LProgressProcess<Nest>*>(dlg)->Run(nullptr);
    return LPROCESS_OK;
}

TEST(ProgressDialog, RunWhileOpenReturnsAtOnce) {
    Nest n;
    LProgressProcess<Nest> run("Outer", &n);
    EXPECT_TRUE(run.Run(nullptr));
    EXPECT_FALSE(n.inner);
    EXPECT_EQ(run.status, LPROCESS_OK);
}

class Event : public LWaitable {
  public:
    HANDLE h = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ~Event() override { CloseHandle(h); }
    intptr_t NativeHandle() const override { return reinterpret_cast<intptr_t>(h); }
    bool WaitFor(uint32_t ms) override { return WaitForSingleObject(h, ms) == WAIT_OBJECT_0; }
};

struct Wait {
    Event* ev;
    uint32_t ms;
    bool cancel = false;
    int result = -1;
    DWORD took = 0;
};
void CALLBACK CancelTimer(HWND h, UINT, UINT_PTR id, DWORD) {
    KillTimer(h, id);
    PostMessageA(h, WM_COMMAND, IDCANCEL, 0);
}

int Process(LProgressDialog* dlg, Wait* w) {
    if (w->cancel) {
        // Cancel arrives from a timer while the process waits (as a click would).
        SetTimer(static_cast<HWND>(dlg->GetWindow()), 1, 50, CancelTimer);
    }
    DWORD start = GetTickCount();
    w->result = w->ev ? dlg->WaitForObject(*w->ev, w->ms) : dlg->WaitTimed(w->ms);
    w->took = GetTickCount() - start;
    return LPROCESS_OK;
}

TEST(ProgressDialog, WaitsEndOnSignalTimeOutAndCancel) {
    Event ev;
    Wait w{&ev, 40};
    LProgressProcess<Wait> run("Waiting", &w);
    run.Run(nullptr);
    EXPECT_EQ(w.result, LPROCESS_FAILED);

    std::thread setter([&] {
        Sleep(30);
        SetEvent(ev.h);
    });
    w.ms = 10000;
    run.Run(nullptr);
    setter.join();
    EXPECT_EQ(w.result, 0);
    EXPECT_LT(w.took, 5000u);

    ResetEvent(ev.h);
    w.ms = LWAIT_INFINITE;
    w.cancel = true;
    run.Run(nullptr);
    EXPECT_EQ(w.result, LPROCESS_STOPPED);

    Wait t{nullptr, 30};
    LProgressProcess<Wait> sleep("Sleeping", &t);
    sleep.Run(nullptr);
    EXPECT_EQ(t.result, 0);
    t.cancel = true;
    t.ms = 20000;
    sleep.Run(nullptr);
    EXPECT_EQ(t.result, LPROCESS_STOPPED);
    EXPECT_LT(t.took, 5000u);
}

struct Err {
    std::string caption, text;
};
int Process(LProgressDialog* dlg, Err* e) {
    // A helper thread reads the message box and presses OK.
    std::thread closer([e] {
        for (int i = 0; i < 500; ++i) {
            if (HWND box = FindWindowA("#32770", "Error")) {
                char buf[256] = {};
                GetDlgItemTextA(box, 0xFFFF, buf, sizeof buf);
                e->text = buf;
                e->caption = "Error";
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                return;
            }
            Sleep(10);
        }
    });
    dlg->ShowError("Unable to open C:\\x.wav");
    closer.join();
    return LPROCESS_FAILED;
}

TEST(ProgressDialog, ShowErrorIsAnErrorBox) {
    Err e;
    LProgressProcess<Err> run("Err", &e);
    run.Run(nullptr);
    EXPECT_EQ(run.status, LPROCESS_FAILED);
    EXPECT_EQ(e.caption, "Error");
    EXPECT_EQ(e.text, "Unable to open C:\\x.wav");
}

// Messages the base does not handle reach the DialogProc hook of a derived dialog.
class Hooked : public LProgressDialog {
  public:
    Hooked() : LProgressDialog("Hooked") {}
    int timers = 0;

  protected:
    bool ProcessBody() override {
        SetTimer(static_cast<HWND>(GetWindow()), 7, 10, nullptr);
        for (int i = 0; i < 200 && timers < 3; ++i) WaitTimed(10);
        return timers >= 3;
    }
    intptr_t DialogProc(uint32_t message, uintptr_t wParam, intptr_t) override {
        if (message == WM_TIMER && wParam == 7) ++timers;
        return message == WM_TIMER;
    }
};

TEST(ProgressDialog, OtherMessagesReachTheHook) {
    Hooked h;
    EXPECT_TRUE(h.Run(nullptr));
}

}  // namespace
