// The progress window for real (texts, bar, owner, Cancel, waits); the notifier on Windows.

#include "support/progress.h"
#include "support/thread.h"
#include "support/waitable.h"
#include "tests/win32/support/wintest.h"

namespace {

struct Probe {
    HWND owner = nullptr;
    int cancelAt = -1, steps = 0;  // the step at which a Cancel click is posted; steps done
    bool afterCancelIgnored = false, nestedRan = true;
    std::string seen{};  // caption, state, bar, the three lines, bar
};

int ProbeSurface(LProgressDialog* dlg, Probe* p) {
    HWND hwnd = static_cast<HWND>(dlg->GetWindow());
    const auto bar = [&] {
        return std::to_string(SendDlgItemMessageA(hwnd, 102, PBM_GETPOS, 0, 0));
    };
    p->seen = wintest::Text(hwnd) + (IsWindowVisible(hwnd) ? " shown" : " hidden") +
              (p->owner && !IsWindowEnabled(p->owner) ? " owner off " : " ") + bar();
    dlg->SetText("Converting", 0);
    dlg->SetText("song.wav", 1);
    dlg->SetText("never shown", 2);  // the window has two lines
    dlg->SetProgress(0.555);
    for (int id : {100, 101, 102}) p->seen += "|" + wintest::Text(GetDlgItem(hwnd, id));
    p->seen += "|" + bar();
    // A run of the same process while its window is open returns at once.
    p->nestedRan = static_cast<LProgressProcess<Probe, ProbeSurface>*>(dlg)->Run(nullptr);
    for (int i = 0; i < 50; ++i) {
        if (i == p->cancelAt) wintest::Command(hwnd, IDCANCEL);
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

TEST(ProgressDialog, ShowsTextsAndBarWithOwnerDisabledAndCancelStopsAtTheNextPump) {
    Probe p{CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                            nullptr, nullptr, GetModuleHandleA(nullptr), nullptr)};
    LProgressProcess<Probe, ProbeSurface> run("Converting Files", &p);
    run.Run(p.owner);
    EXPECT_EQ(std::tuple(run.status, p.steps, p.seen, p.nestedRan),
              std::tuple(LPROCESS_OK, 50,
                         "Converting Files shown owner off 0|Converting|song.wav||55", false));
    EXPECT_TRUE(IsWindowEnabled(p.owner) && run.GetWindow() == nullptr);
    DestroyWindow(p.owner);

    p = Probe{nullptr, 7};
    run.Run(nullptr);
    EXPECT_EQ(std::tuple(run.status, p.steps, p.afterCancelIgnored),
              std::tuple(LPROCESS_STOPPED, 7, true));
    p = Probe{};  // the same object runs again afterwards
    run.Run(nullptr);
    EXPECT_EQ(std::tuple(run.status, p.steps), std::tuple(LPROCESS_OK, 50));
}

struct Wait {
    LSignalObject* ev;
    uint32_t ms;
    bool cancel = false;
    int result = -1;
    DWORD took = 0;
};
void CALLBACK CancelTimer(HWND h, UINT, UINT_PTR id, DWORD) {
    KillTimer(h, id);
    PostMessageA(h, WM_COMMAND, IDCANCEL, 0);
}

int WaitOnSurface(LProgressDialog* dlg, Wait* w) {
    // Cancel arrives from a timer while the process waits (as a click would).
    if (w->cancel) SetTimer(static_cast<HWND>(dlg->GetWindow()), 1, 50, CancelTimer);
    DWORD start = GetTickCount();
    w->result = w->ev ? dlg->WaitForObject(*w->ev, w->ms) : dlg->WaitTimed(w->ms);
    w->took = GetTickCount() - start;
    return LPROCESS_OK;
}

TEST(ProgressDialog, WaitsEndOnSignalTimeOutAndCancel) {
    LSignalObject ev;
    Wait w{};
    LProgressProcess<Wait, WaitOnSurface> run("Waiting", &w);
    // A wait of ms on the event (or a timed wait without one), cancelled on the way or not.
    const auto wait = [&](LSignalObject* on, uint32_t ms, bool cancel) {
        w = Wait{on, ms, cancel};
        run.Run(nullptr);
        return w.result;
    };
    EXPECT_EQ(wait(&ev, 40, false), LPROCESS_FAILED);
    ev.Set();
    EXPECT_EQ(wait(&ev, 10000, false), 0);
    EXPECT_LT(w.took, 5000u);
    ev.Reset();
    EXPECT_EQ(wait(&ev, LWAIT_INFINITE, true), LPROCESS_STOPPED);
    EXPECT_EQ(wait(nullptr, 30, false), 0);
}

TEST(Win32Thread, NotifierWindowDeliversOnTheCreatingThread) {
    struct : LThreadQueuedNotify {
        std::vector<DWORD> threads;  // that each call ran on
        void Notified() override { threads.push_back(GetCurrentThreadId()); }
    } c;
    std::thread([&] {
        for (int i = 0; i < 3; ++i) c.Notify();
    }).join();
    EXPECT_TRUE(c.threads.empty());  // posted, not yet pumped
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    EXPECT_EQ(c.threads, std::vector<DWORD>(3, GetCurrentThreadId()));
}

}  // namespace
