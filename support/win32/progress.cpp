// The modeless "LProgressDialog" window that a long operation runs behind.
#include "support/progress.h"

#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <string>

#include "support/file.h"
#include "support/trace.h"
#include "support/waitable.h"
#include "support/win32/dlgtemplate.h"
#include "support/win32/layoutreport.h"
#include "support/win32/wide.h"

namespace {
constexpr int kTextLine0 = 100;
constexpr int kProgressBar = 102;
constexpr int kBrand = 103;
constexpr int kRowText0 = 200;  // a row's text; its bar is kRowBar0 + row
constexpr int kRowBar0 = 300;
constexpr int kRowStep = 20;  // dialog units from one row to the next
constexpr int kRowTop = 42;   // the first row, below the bar (template units)
constexpr const wchar_t* kRowsProperty = L"TamberRows";
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
        if (msg == WM_DESTROY) RemovePropW(hwnd, kRowsProperty);
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
    const LDialogTemplate in(GetModuleHandleW(nullptr), L"LProgressDialog");
    HWND hwnd = in.Get() ? CreateDialogIndirectParamW(
                               GetModuleHandleW(nullptr), in.Get(), static_cast<HWND>(owner),
                               LProgressDialogAccess::Proc, reinterpret_cast<LPARAM>(this))
                         : nullptr;
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

namespace {

// Dialog units to pixels in the dialog's font (and so its scale).
RECT Units(HWND dialog, int left, int top, int right, int bottom) {
    RECT r{left, top, right, bottom};
    MapDialogRect(dialog, &r);
    return r;
}

// Moves a control down by dy pixels.
void MoveDown(HWND dialog, int id, int dy) {
    HWND control = GetDlgItem(dialog, id);
    RECT r;
    if (!control || !GetWindowRect(control, &r)) return;
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(control, nullptr, r.left, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

}  // namespace

void LProgressDialog::SetRows(int count) {
    HWND hwnd = static_cast<HWND>(window_);
    if (!hwnd || count < 0) return;
    const int shown = static_cast<int>(reinterpret_cast<intptr_t>(GetPropW(hwnd, kRowsProperty)));
    if (count == shown) return;
    for (int row = 0; row < shown; ++row) {
        DestroyWindow(GetDlgItem(hwnd, kRowText0 + row));
        DestroyWindow(GetDlgItem(hwnd, kRowBar0 + row));
    }
    const HFONT font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (int row = 0; row < count; ++row) {
        const int top = kRowTop + row * kRowStep;
        const RECT t = Units(hwnd, 4, top, 196, top + 8);
        const RECT b = Units(hwnd, 4, top + 9, 196, top + 17);
        HWND text = CreateWindowExW(
            0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS,
            t.left, t.top, t.right - t.left, t.bottom - t.top, hwnd,
            reinterpret_cast<HMENU>(intptr_t(kRowText0 + row)), instance, nullptr);
        HWND bar =
            CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | WS_BORDER, b.left,
                            b.top, b.right - b.left, b.bottom - b.top, hwnd,
                            reinterpret_cast<HMENU>(intptr_t(kRowBar0 + row)), instance, nullptr);
        if (text && font) SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        (void)bar;
    }
    // The brand and the Cancel button go below the rows, and the window grows with them.
    const RECT step = Units(hwnd, 0, 0, 0, (count - shown) * kRowStep);
    const int dy = step.bottom;
    MoveDown(hwnd, kBrand, dy);
    MoveDown(hwnd, IDCANCEL, dy);
    RECT w;
    GetWindowRect(hwnd, &w);
    SetWindowPos(hwnd, nullptr, 0, 0, w.right - w.left, w.bottom - w.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (count > 0)
        SetPropW(hwnd, kRowsProperty, reinterpret_cast<HANDLE>(intptr_t(count)));
    else
        RemovePropW(hwnd, kRowsProperty);
}

void LProgressDialog::SetRow(int row, const char* text, double fraction) {
    HWND hwnd = static_cast<HWND>(window_);
    if (!hwnd) return;
    HWND label = GetDlgItem(hwnd, kRowText0 + row);
    if (!label) return;
    const std::wstring wide = LWide(text ? text : "");
    wchar_t now[LMAX_PATH];
    GetWindowTextW(label, now, LMAX_PATH);
    if (wide != now) SetWindowTextW(label, wide.c_str());
    SendDlgItemMessageW(hwnd, kRowBar0 + row, PBM_SETPOS, WPARAM(int(fraction * 100)), 0);
}
