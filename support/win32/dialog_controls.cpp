// Dialog framework: control helpers shared by the dialogs (lists, combos, tooltips, toolbar, help).
#include <cstring>

#include "support/file.h"
#include "support/win32/dialog.h"
#include "support/win32/wide.h"

void LDialog::EnableControl(int id, bool enable) {
    if (HWND item = GetItem(id)) EnableWindow(item, enable ? TRUE : FALSE);
}

void LDialog::EnableControlRange(int first, int last, bool enable) {
    for (int id = first; id <= last; ++id) EnableControl(id, enable);
}

void LDialog::EnableControlList(const int* ids, bool enable) {
    for (; ids && *ids; ++ids) EnableControl(*ids, enable);
}

void LDialog::GetControlText(int id, char* buffer, int size) {
    if (size <= 0) return;
    buffer[0] = 0;
    const std::string text = LWindowText(GetItem(id));
    if (text.size() < size_t(size)) std::memcpy(buffer, text.c_str(), text.size() + 1);
}

void LDialog::MoveControlDialogUnits(int id, RECT rect) {
    MapDialogRect(hwnd_, &rect);
    MoveControlPixels(id, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

void LDialog::MoveControlPixels(int id, int x, int y, int width, int height) {
    if (HWND item = GetItem(id)) MoveWindow(item, x, y, width, height, TRUE);
}

void LDialog::FillCombo(int id, const char* const* strings) {
    HWND combo = GetItem(id);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (; strings && *strings; ++strings) LComboAddText(combo, *strings);
}

void LDialog::SetListIcons(int id, const int* iconIds, int size) {
    const int cx = size > 0 ? size : GetSystemMetrics(SM_CXSMICON);
    const int cy = size > 0 ? size : GetSystemMetrics(SM_CYSMICON);
    int count = 0;
    for (const int* p = iconIds; p && *p; ++p) ++count;
    HIMAGELIST list = ImageList_Create(cx, cy, ILC_COLOR32 | ILC_MASK, count, 0);
    for (const int* p = iconIds; p && *p; ++p) {
        auto icon = static_cast<HICON>(
            LoadImageA(LDialogInstance(), MAKEINTRESOURCEA(*p), IMAGE_ICON, cx, cy, 0));
        ImageList_AddIcon(list, icon);
        if (icon) DestroyIcon(icon);
    }
    HIMAGELIST old = ListView_SetImageList(GetItem(id), list, LVSIL_SMALL);
    if (old) ImageList_Destroy(old);
}

void LDialog::InsertListColumns(int id, const LListColumn* columns) {
    HWND list = GetItem(id);
    RECT client{};
    GetClientRect(list, &client);
    int used = 0;
    for (int i = 0; columns && columns[i].title; ++i) {
        int width = columns[i].width;
        if (width < 0) width = client.right - used > 0 ? client.right - used : 0;
        LVCOLUMNA col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        col.fmt = columns[i].format;
        col.cx = width;
        col.pszText = const_cast<char*>(columns[i].title);
        col.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&col));
        used += width;
    }
}

void LDialog::FitListColumn(int id, int column, int minWidth) {
    HWND list = GetItem(id);
    RECT client{};
    GetClientRect(list, &client);
    const int count = Header_GetItemCount(ListView_GetHeader(list));
    int others = 0;
    for (int i = 0; i < count; ++i) {
        if (i != column) others += ListView_GetColumnWidth(list, i);
    }
    int width = client.right - others;
    if (width < minWidth) width = minWidth;
    ListView_SetColumnWidth(list, column, width);
}

HWND LDialog::EnsureTooltip() {
    if (!tooltip_ && hwnd_) {
        tooltip_ =
            CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                            nullptr, LDialogInstance(), nullptr);
        if (tooltip_) SendMessageA(tooltip_, TTM_SETMAXTIPWIDTH, 0, 400);
    }
    return tooltip_;
}

namespace {

TOOLINFOA ControlTool(HWND dialog, HWND control, const char* text) {
    TOOLINFOA ti;
    std::memset(&ti, 0, sizeof ti);
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = dialog;
    ti.uId = reinterpret_cast<UINT_PTR>(control);
    ti.lpszText = const_cast<char*>(text);
    return ti;
}

}  // namespace

void LDialog::AddTooltip(int id, const char* text, bool relayed) {
    HWND tip = EnsureTooltip();
    HWND control = GetItem(id);
    if (!tip || !control) return;
    TOOLINFOA ti = ControlTool(hwnd_, control, text);
    if (relayed) {
        ti.uFlags &= ~UINT(TTF_SUBCLASS);
        relayedTools_.push_back(control);
    }
    SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
}

void LDialog::UpdateTooltip(int id, const char* text) {
    HWND control = GetItem(id);
    if (!tooltip_ || !control) return;
    TOOLINFOA ti = ControlTool(hwnd_, control, text);
    SendMessageA(tooltip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
}

HWND LDialog::CreateToolbar(const LToolbarButton* buttons, int count, int imageSize, int idOffset,
                            HFONT font) {
    HINSTANCE inst = LDialogInstance();
    if (toolbar_) DestroyWindow(toolbar_);
    toolbar_ = nullptr;
    HWND bar = CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr,
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS, 0, 0, 0, 0,
                               hwnd_, reinterpret_cast<HMENU>(89), inst, nullptr);
    if (!bar) return nullptr;
    toolbar_ = bar;
    SendMessageA(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(bar, TB_SETBITMAPSIZE, 0, MAKELPARAM(imageSize, imageSize));
    if (font) SendMessageA(bar, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    // The system's own images come at 16 and 24 pixels only (and adding them sets their size).
    LRESULT standardBase = 0;
    if (imageSize == 16 || imageSize == 24) {
        TBADDBITMAP standard{HINST_COMMCTRL,
                             UINT_PTR(imageSize == 16 ? IDB_STD_SMALL_COLOR : IDB_STD_LARGE_COLOR)};
        standardBase = SendMessageA(bar, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&standard));
    }
    HWND tips = reinterpret_cast<HWND>(SendMessageA(bar, TB_GETTOOLTIPS, 0, 0));
    for (int i = 0; i < count; ++i) {
        const LToolbarButton& b = buttons[i];
        TBBUTTON tb;
        std::memset(&tb, 0, sizeof tb);
        tb.idCommand = b.command;
        tb.fsState = TBSTATE_ENABLED;
        tb.fsStyle = b.style;
        tb.iString = -1;
        if (!(b.style & TBSTYLE_SEP)) {
            if (b.image < 0) {
                TBADDBITMAP own{inst, static_cast<UINT_PTR>(-b.image + idOffset)};
                tb.iBitmap = static_cast<int>(
                    SendMessageA(bar, TB_ADDBITMAP, 1, reinterpret_cast<LPARAM>(&own)));
            } else {
                tb.iBitmap = static_cast<int>(standardBase) + b.image;
            }
            if (b.label) tb.iString = reinterpret_cast<INT_PTR>(b.label);
        }
        SendMessageA(bar, TB_ADDBUTTONSA, 1, reinterpret_cast<LPARAM>(&tb));
        if (tips && b.tooltip && *b.tooltip && !(b.style & TBSTYLE_SEP)) {
            TOOLINFOA ti;
            std::memset(&ti, 0, sizeof ti);
            ti.cbSize = TTTOOLINFOA_V2_SIZE;
            ti.hwnd = bar;
            ti.uId = static_cast<UINT_PTR>(b.command);
            ti.lpszText = const_cast<char*>(b.tooltip);
            if (SendMessageA(tips, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&ti))) {
                ti.lpszText = const_cast<char*>(b.tooltip);
                SendMessageA(tips, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
            } else {
                SendMessageA(bar, TB_GETRECT, static_cast<WPARAM>(b.command),
                             reinterpret_cast<LPARAM>(&ti.rect));
                SendMessageA(tips, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
            }
        }
    }
    SendMessageA(bar, TB_AUTOSIZE, 0, 0);
    return bar;
}

void LDialog::EnableMenuItem(HMENU menu, int id, bool enable) {
    ::EnableMenuItem(menu, static_cast<UINT>(id), MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

void LDialog::CheckMenuItem(HMENU menu, int id, bool check) {
    ::CheckMenuItem(menu, static_cast<UINT>(id),
                    MF_BYCOMMAND | (check ? MF_CHECKED : MF_UNCHECKED));
}

bool LDialog::ShowHelp(HWND window, UINT command, ULONG_PTR data) {
    char path[MAX_PATH + 16] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    char* cut = path;
    for (char* p = path; *p; ++p) {
        if (LIsPathSeparator(*p)) cut = p + 1;
    }
    std::strcpy(cut, "tamber.hlp");
    return WinHelpA(window, path, command, data) != FALSE;
}

std::string LWindowText(HWND window) {
    if (!window) return std::string();
    const int n = GetWindowTextLengthW(window);
    if (n <= 0) return std::string();
    std::wstring text(size_t(n) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), n + 1);
    return LUtf8(text.c_str(), got > 0 ? got : 0);
}

void LSetWindowText(HWND window, const char* utf8) {
    if (window) SetWindowTextW(window, LWide(utf8).c_str());
}

void LSetItemText(HWND dialog, int id, const char* utf8) {
    SetDlgItemTextW(dialog, id, LWide(utf8).c_str());
}

int LMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    return MessageBoxW(owner, LWide(text).c_str(), caption ? LWide(caption).c_str() : nullptr,
                       type);
}

int LComboAddText(HWND combo, const char* utf8) {
    return int(SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LWide(utf8).c_str())));
}
