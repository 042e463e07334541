// Dialog framework: the common dialog and page procedures, modal, modeless and sheet runs.
#include "support/win32/dialog.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/win32/dlgtemplate.h"
#include "support/win32/layoutreport.h"
#include "support/win32/wide.h"

HINSTANCE LDialogInstance() {
    return GetModuleHandleA(nullptr);
}

void LDialog::Attach(HWND window) {
    hwnd_ = window;
}

void LDialog::Detach() {
    hwnd_ = nullptr;
    tooltip_ = nullptr;  // owned by the dialog window: destroyed with it
    toolbar_ = nullptr;
}

void LDialog::SetMessageResult(LRESULT result) {
    if (hwnd_) SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, result);
}

namespace {

// The object attached to a dialog window, or null when the slot is empty or belongs to an
// object that has been detached from this window.
LDialog* AttachedObject(HWND window) {
    auto* dialog = reinterpret_cast<LDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!dialog || dialog->GetHandle() != window) return nullptr;
    return dialog;
}

}  // namespace

INT_PTR CALLBACK LDialog::DialogProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        LDialog* dialog = reinterpret_cast<LDialog*>(lp);
        SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
        if (!dialog) return TRUE;
        dialog->Attach(window);
        dialog->InitDialog();
        if (dialog->hwnd_ == window) dialog->EnableControls();
        LReportLayout(window);
        return TRUE;
    }
    LDialog* dialog = AttachedObject(window);
    if (!dialog) return FALSE;
    return dialog->WindowProc(msg, wp, lp) ? TRUE : FALSE;
}

namespace {

// Pages receive their PROPSHEETPAGE record at initialisation; the object is its lParam.
INT_PTR CALLBACK PageProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        auto* page = reinterpret_cast<const PROPSHEETPAGEW*>(lp);
        return LDialog::DialogProc(window, msg, wp, page ? page->lParam : 0);
    }
    return LDialog::DialogProc(window, msg, wp, lp);
}

}  // namespace

bool LDialog::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_DESTROY:
            DestroyDialog();
            Detach();
            // A modeless window destroyed while a sent message was handled leaves GetMessage
            // waiting for a posted one: wake the loop so that it sees the window is gone.
            if (modeless_) PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
            return false;
        case WM_ENDSESSION:
            if (!wp) return false;
            DestroyDialog();
            Detach();
            return true;
        case WM_HELP:
            CmHelp();
            return true;
        case WM_COMMAND: {
            const int id = LOWORD(wp);
            if (id == IDOK) {
                if (CmOk()) Close(1);
            } else if (id == IDCANCEL) {
                if (CmCancel()) Close(2);
            } else if (id == IDHELP) {
                CmHelp();
            } else {
                EvCommand(id, HIWORD(wp));
                if (hwnd_) EnableControls();
            }
            return true;
        }
        default:
            return false;
    }
}

void LDialog::Close(INT_PTR result) {
    HWND window = hwnd_;
    DestroyDialog();
    Detach();
    if (window) EndDialog(window, result);
}

void LDialog::CloseModeless() {
    if (!hwnd_) return;
    HWND window = hwnd_;
    if (HWND owner = GetWindow(window, GW_OWNER)) EnableWindow(owner, TRUE);
    DestroyWindow(window);
}

uint32_t LDialog::CombinedKey(WPARAM vk) {
    uint32_t key = static_cast<uint32_t>(vk) & 0xFFFF;
    if (GetKeyState(VK_CONTROL) < 0) key |= LKEY_CTRL;
    if (GetKeyState(VK_MENU) < 0) key |= LKEY_ALT;
    if (GetKeyState(VK_SHIFT) < 0) key |= LKEY_SHIFT;
    return key;
}

bool LDialog::MessageFilter(MSG& msg) {
    if (!hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
    switch (msg.message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            if (msg.lParam & (1 << 30)) return false;  // auto-repeat
            return EvKeyDown(CombinedKey(msg.wParam));
        case WM_KEYUP:
        case WM_SYSKEYUP:
            return EvKeyUp(static_cast<uint32_t>(msg.wParam));
        default:
            return false;
    }
}

bool LDialog::MatchAccelerator(uint32_t key, const LAccelerator* table, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (table[i].key == key) {
            EvCommand(table[i].command, 0);
            return true;
        }
    }
    return false;
}

bool LDialog::DoModal(const char* templateName, HWND owner, LDialog* dialog) {
    if (dialog) dialog->modeless_ = false;
    const LDialogTemplate in(LDialogInstance(), LWide(templateName).c_str());
    if (!in.Get()) return false;
    const INT_PTR result = DialogBoxIndirectParamW(LDialogInstance(), in.Get(), owner, DialogProc,
                                                   reinterpret_cast<LPARAM>(dialog));
    return result == 1;
}

bool LDialog::CreateModeless(HWND owner, const char* templateName) {
    if (hwnd_) return false;
    modeless_ = true;
    const LDialogTemplate in(LDialogInstance(), LWide(templateName).c_str());
    HWND window = in.Get() ? CreateDialogIndirectParamW(LDialogInstance(), in.Get(), owner,
                                                        DialogProc, reinterpret_cast<LPARAM>(this))
                           : nullptr;
    return window != nullptr;
}

void LDialog::RunMessageLoop() {
    HWND window = hwnd_;
    MSG msg;
    while (window && IsWindow(window)) {
        EvIdle();
        if (!IsWindow(window)) break;
        waitingForMessage_ = true;
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        waitingForMessage_ = false;
        if (got == 0 || got == -1) {
            if (IsWindow(window)) DestroyWindow(window);
            if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST && tooltip_ &&
            std::find(relayedTools_.begin(), relayedTools_.end(), msg.hwnd) != relayedTools_.end())
            SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
        if (MessageFilter(msg)) continue;
        if (IsWindow(window) && IsDialogMessageW(window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool LDialog::RunModeless(HWND owner, const char* templateName) {
    if (!CreateModeless(owner, templateName)) return false;
    if (owner) EnableWindow(owner, FALSE);
    RunMessageLoop();
    if (owner) EnableWindow(owner, TRUE);
    return true;
}

bool LPropertyPage::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NOTIFY) {
        const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
        switch (hdr->code) {
            case PSN_APPLY:
                SetMessageResult(CmOk() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
                return true;
            case PSN_HELP:
                CmHelp();
                return true;
            default:
                break;
        }
    } else if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        return true;  // the sheet owns OK and Cancel
    }
    return LDialog::WindowProc(msg, wp, lp);
}

bool LWizardPage::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NOTIFY) {
        const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
        switch (hdr->code) {
            case PSN_SETACTIVE:
                PostMessageA(GetParent(hwnd_), PSM_SETWIZBUTTONS, 0, wizardButtons);
                EnableControls();
                SetMessageResult(0);
                return true;
            case PSN_WIZNEXT:
                SetMessageResult(CmOk() ? 0 : -1);
                return true;
            case PSN_WIZFINISH:
                SetMessageResult(CmOk() ? 0 : 1);
                return true;
            default:
                break;
        }
    }
    return LPropertyPage::WindowProc(msg, wp, lp);
}

namespace {

INT_PTR RunSheet(HWND owner, const LSheetPage* pages, int count, const char* caption,
                 DWORD headerFlags, int iconId, int startPage, bool wizard) {
    // The texts live as long as the sheet.
    std::vector<std::wstring> texts;
    texts.reserve(size_t(count) * 3 + 1);
    auto wide = [&](const char* text) {
        texts.push_back(LWide(text));
        return texts.back().c_str();
    };
    std::vector<PROPSHEETPAGEW> records(static_cast<size_t>(count));
    // So do the pages' templates, in the message font.
    std::vector<LDialogTemplate> templates;
    templates.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        PROPSHEETPAGEW& p = records[static_cast<size_t>(i)];
        std::memset(&p, 0, sizeof p);
        p.dwSize = sizeof p;
        p.hInstance = LDialogInstance();
        templates.emplace_back(LDialogInstance(), LWide(pages[i].templateName).c_str());
        if (templates.back().Get()) {
            p.dwFlags |= PSP_DLGINDIRECT;
            p.pResource = templates.back().Get();
        } else {
            p.pszTemplate = wide(pages[i].templateName);
        }
        p.pfnDlgProc = PageProc;
        p.lParam = reinterpret_cast<LPARAM>(pages[i].page);
        if (wizard) {
            if (pages[i].headerTitle) {
                p.dwFlags |= PSP_USEHEADERTITLE;
                p.pszHeaderTitle = wide(pages[i].headerTitle);
            }
            if (pages[i].headerSubtitle) {
                p.dwFlags |= PSP_USEHEADERSUBTITLE;
                p.pszHeaderSubTitle = wide(pages[i].headerSubtitle);
            }
        } else {
            p.dwFlags |= PSP_HASHELP;
        }
    }
    PROPSHEETHEADERW h;
    std::memset(&h, 0, sizeof h);
    h.dwSize = sizeof h;
    h.dwFlags = PSH_PROPSHEETPAGE | headerFlags;
    h.hwndParent = owner;
    h.hInstance = LDialogInstance();
    h.pszIcon = MAKEINTRESOURCEW(iconId);
    h.pszCaption = wide(caption);
    h.nPages = static_cast<UINT>(count);
    h.nStartPage = static_cast<UINT>(startPage);
    h.ppsp = records.data();
    return PropertySheetW(&h);
}

}  // namespace

bool LPropertySheetRun(HWND owner, const LSheetPage* pages, int count, const char* caption,
                       int iconId, int startPage) {
    const DWORD flags = PSH_NOAPPLYNOW | PSH_HASHELP | (iconId ? PSH_USEICONID : 0);
    return RunSheet(owner, pages, count, caption, flags, iconId, startPage, false) > 0;
}

bool LWizardRun(HWND owner, const LSheetPage* pages, int count, const char* caption) {
    return RunSheet(owner, pages, count, caption, PSH_WIZARD97, 0, 0, true) > 0;
}
