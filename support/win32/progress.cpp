// The modeless "LProgressDialog" window that a long operation runs behind.
#include "support/progress.h"

#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include "support/trace.h"
#include "support/waitable.h"
#include "support/win32/layoutreport.h"
#include "support/win32/wide.h"

namespace {
constexpr int kTextLine0 = 100;
constexpr int kProgressBar = 102;
}  // namespace

struct LProgressDialogAccess {
    static HWND Window(LProgressDialog* d) { return static_cast<HWND>(d->window_); }

    static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_INITDIALOG) {
            auto* d = reinterpret_cast<LProgressDialog*>(lParam);
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, lParam);
            d->window_ = hwnd;
            SetWindowTextW(hwnd, LWide(d->title_).c_str());
            SendDlgItemMessageA(hwnd, kProgressBar, PBM_SETPOS, 0, 0);
            LReportLayout(hwnd);
            return TRUE;
        }
        auto* d = reinterpret_cast<LProgressDialog*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
            if (d && Window(d) == hwnd)
                d->window_ = nullptr;
            else
                LTrace("LProgressDialog::DialogProc IDCANCEL invalid this pointer");
            DestroyWindow(hwnd);
            return TRUE;
        }
        if (d && Window(d) == hwnd)
            return d->DialogProc(msg, static_cast<uintptr_t>(wParam),
                                 static_cast<intptr_t>(lParam));
        return FALSE;
    }
};

LProgressDialog::LProgressDialog(const char* title) : title_(title ? title : "") {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
}

LProgressDialog::~LProgressDialog() {
    if (window_ && IsWindow(static_cast<HWND>(window_))) DestroyWindow(static_cast<HWND>(window_));
}

bool LProgressDialog::Run(LWindowHandle owner) {
    if (window_) {
        LTrace("LProgressDialog::Open Called when already open!");
        return false;
    }
    HWND hwnd =
        CreateDialogParamW(GetModuleHandleW(nullptr), L"LProgressDialog", static_cast<HWND>(owner),
                           LProgressDialogAccess::Proc, reinterpret_cast<LPARAM>(this));
    if (!hwnd) {
        LTrace("LProgressDialog::Run Unable to create Progress Dialog");
        window_ = nullptr;
        return false;
    }
    HWND ownerWnd = static_cast<HWND>(owner);
    if (ownerWnd) EnableWindow(ownerWnd, FALSE);
    bool result = ProcessBody();
    if (ownerWnd) {
        EnableWindow(ownerWnd, TRUE);
        SetActiveWindow(ownerWnd);
        SetFocus(ownerWnd);
    }
    if (window_ && IsWindow(static_cast<HWND>(window_))) DestroyWindow(static_cast<HWND>(window_));
    window_ = nullptr;
    return result;
}

bool LProgressDialog::PumpMessages() {
    MSG msg;
    while (window_ && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Not ours to take: leave it for the program's own message loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!IsDialogMessageW(static_cast<HWND>(window_), &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return window_ == nullptr;
}

void LProgressDialog::SetText(const char* text, int line) {
    if (!window_ || line < 0 || line > 1) return;
    SetDlgItemTextW(static_cast<HWND>(window_), kTextLine0 + line, LWide(text).c_str());
}

void LProgressDialog::SetProgress(double fraction) {
    if (!window_) return;
    SendDlgItemMessageA(static_cast<HWND>(window_), kProgressBar, PBM_SETPOS,
                        static_cast<WPARAM>(static_cast<int>(fraction * 100)), 0);
}

namespace {

// Waits for the handle (or only for messages when it is null), pumping the dialog's messages.
// Returns 0 signalled, LPROCESS_STOPPED cancelled, or -1 on time-out.
int WaitPumping(LProgressDialog& dlg, HANDLE handle, uint32_t ms) {
    DWORD start = GetTickCount();
    DWORD remaining = ms;
    for (;;) {
        DWORD count = handle ? 1 : 0;
        DWORD r = MsgWaitForMultipleObjects(count, handle ? &handle : nullptr, FALSE, remaining,
                                            QS_ALLINPUT);
        if (handle && (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED_0)) return 0;
        if (r == WAIT_TIMEOUT) return -1;
        if (r == WAIT_FAILED) return handle ? LPROCESS_FAILED : -1;
        if (dlg.PumpMessages()) return LPROCESS_STOPPED;
        if (ms == LWAIT_INFINITE) continue;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed > remaining) elapsed = remaining;
        remaining -= elapsed;
        start += elapsed;
        if (remaining == 0) {
            if (handle && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0) return 0;
            return -1;
        }
    }
}

}  // namespace

int LProgressDialog::WaitTimed(uint32_t ms) {
    int r = WaitPumping(*this, nullptr, ms);
    return r == LPROCESS_STOPPED ? LPROCESS_STOPPED : 0;
}

int LProgressDialog::WaitForObject(LWaitable& object, uint32_t ms) {
    HANDLE handle = reinterpret_cast<HANDLE>(object.NativeHandle());
    if (handle) {
        int r = WaitPumping(*this, handle, ms);
        return r < 0 ? LPROCESS_FAILED : r;
    }
    // An object without a handle is polled between short message waits.
    DWORD start = GetTickCount();
    for (;;) {
        if (object.WaitFor(0)) return 0;
        DWORD elapsed = GetTickCount() - start;
        if (ms != LWAIT_INFINITE && elapsed >= ms) return LPROCESS_FAILED;
        DWORD slice = ms == LWAIT_INFINITE || ms - elapsed > 10 ? 10 : ms - elapsed;
        if (WaitPumping(*this, nullptr, slice) == LPROCESS_STOPPED) return LPROCESS_STOPPED;
    }
}

void LProgressDialog::ShowError(const char* text) {
    MessageBoxW(static_cast<HWND>(window_), LWide(text).c_str(), L"Error", MB_OK | MB_ICONWARNING);
}

void LProgressDialog::RequestStop() {
    if (HWND hwnd = static_cast<HWND>(window_))
        PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}
