// MainDialog: start and end of the window, layout, enabling, messages, menus and status bar.
#include <windows.h>
// windows.h first: the shell headers depend on it.
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "convert/entrypaths.h"
#include "convert/formattable.h"
#include "external/win32/related.h"
#include "gui/maindlg.h"
#include "gui/resource.h"
#include "gui/startup.h"
#include "store/settingnames.h"
#include "store/settings.h"
#include "store/win32/combohistory.h"
#include "support/file.h"
#include "support/version.h"
#include "support/win32/dpi.h"
#include "support/win32/layoutreport.h"
#include "support/win32/wide.h"

namespace {

// Each button as wide as its own label, so that all of them fit into the narrowest window.
constexpr BYTE kButton = BTNS_BUTTON | BTNS_AUTOSIZE;
// Posted to the window: update the controls for the list's selection.
constexpr UINT kUpdateControls = WM_APP + 17;

const LToolbarButton kToolbar[] = {
    {CM_ADDFILES, -IDB_TB_ADDFILE, "Add File(s)", "Add File(s)", kButton},
    {CM_ADDFOLDER, -IDB_TB_ADDFOLDER, "Add Folder", "Add Folder", kButton},
    {CM_REMOVE, -IDB_TB_REMOVE, "Remove", "Remove Selected File(s)", kButton},
    {CM_PLAY, -IDB_TB_PLAY, "Play", "Play Selected File", kButton},
    {CM_STOP, -IDB_TB_STOP, "Stop", "Stop the Currently Playing File", kButton},
    {0, 0, nullptr, nullptr, BTNS_SEP},
    {CM_SETTINGS, -IDB_TB_SETTINGS, "Settings", "Program Settings", kButton},
    {CM_CONVERT, -IDB_TB_CONVERT, "Convert", "Convert File(s) to the specified format", kButton},
};

}  // namespace

const LAccelerator MainDialog::kAccelerators[] = {
    {LKEY_ALT | 'A', CM_ADDFILES},
    {LKEY_ALT | 'F', CM_ADDFOLDER},
    {LKEY_CTRL | VK_DELETE, CM_REMOVE},
    {VK_F8, CM_EDIT},
    {VK_F9, CM_PLAY},
    {VK_F10, CM_STOP},
    {LKEY_CTRL | 'A', CM_SELECTALL},
    {LKEY_CTRL | 'S', CM_SETTINGS},
    {VK_F3, CM_CONVERT},
    {VK_F1, CM_HELPCONTENTS},
    {VK_RETURN, CM_NOTHING},
    {VK_ESCAPE, CM_NOTHING},
};
const size_t MainDialog::kAcceleratorCount = std::size(MainDialog::kAccelerators);

MainDialog::MainDialog() {
    records.LoadAll();
}

void MainDialog::SetWindowCaption() {
    SetWindowTextA(hwnd_, "Tamber Plus");
}

void MainDialog::InitDialog() {
    list_ = GetItem(102);
    SetWindowCaption();
    HINSTANCE inst = LDialogInstance();
    SendMessageA(
        hwnd_, WM_SETICON, ICON_BIG,
        reinterpret_cast<LPARAM>(LoadImageA(inst, MAKEINTRESOURCEA(1), IMAGE_ICON, 32, 32, 0)));
    SendMessageA(
        hwnd_, WM_SETICON, ICON_SMALL,
        reinterpret_cast<LPARAM>(LoadImageA(inst, MAKEINTRESOURCEA(1), IMAGE_ICON, 16, 16, 0)));
    menu_ = GetMenu(hwnd_);

    ApplyDpi();
    AddTooltip(IDC_FILELIST, "List of files to convert", true);
    AddTooltip(IDC_FORMAT, "Set output format");
    AddTooltip(IDC_FOLDER, "Enter output folder name");
    AddTooltip(IDC_BROWSE, "Browse for output folder");
    AddTooltip(IDC_ENCODER_SETTINGS, "Configure output format settings");

    ListView_SetExtendedListViewStyle(List(), LVS_EX_FULLROWSELECT);
    const LListColumn columns[] = {{"Source File", LScaleToDpi(650, dpi_), LVCFMT_LEFT},
                                   {"Size", LScaleToDpi(100, dpi_), LVCFMT_LEFT},
                                   {"AccurateRip", LScaleToDpi(170, dpi_), LVCFMT_LEFT},
                                   {nullptr, 0, 0}};
    InsertListColumns(IDC_FILELIST, columns);
    const char* formats[LOUTPUT_FORMAT_COUNT + 1] = {};
    for (int i = 0; i < LOUTPUT_FORMAT_COUNT; ++i) formats[i] = LOutputFormatExtension(i);
    FillCombo(IDC_FORMAT, formats);
    int format = SettingsRead(kOutputFormat);
    if (format < 0 || format >= LOUTPUT_FORMAT_COUNT) format = 0;
    SendMessageA(GetItem(IDC_FORMAT), CB_SETCURSEL, static_cast<WPARAM>(format), 0);
    EvCommand(IDC_FORMAT, CBN_SELCHANGE);

    ComboHistoryLoad(GetItem(IDC_FOLDER), "OutputFolder");
    char documents[LMAX_PATH] = {};
    LFile::GetUserDocumentsFolder(documents);
    char folder[LMAX_PATH] = {};
    SettingsRead(kOutputFolder, folder, documents);
    SetOutputFolderText(folder);
    SendMessageA(GetItem(IDC_FOLDER), CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(kSameAsSourceFolder));

    player_.SetNotify(this, this);

    WindowSizeSettingsRestore();
    SetTimer(hwnd_, 1, 500, nullptr);
    // Later starts find the window by this mark (and its caption) once the mutex is free.
    SetPropA(hwnd_, LMAIN_WINDOW_PROPERTY, reinterpret_cast<HANDLE>(1));
    if (runMutex) ReleaseMutex(runMutex);
}

void MainDialog::DestroyDialog() {
    RemovePropA(hwnd_, LMAIN_WINDOW_PROPERTY);
    KillTimer(hwnd_, 1);
    KillTimer(hwnd_, 3);
    splash_.Close();
    player_.Stop();
    const int format = static_cast<int>(SendMessageA(GetItem(IDC_FORMAT), CB_GETCURSEL, 0, 0));
    SettingsWrite(kOutputFormat, format < 0 ? 0 : format);
    SettingsWrite(kOutputFolder, OutputFolderText().c_str());
    WindowSizeSettingsStore();
}

void MainDialog::Close(INT_PTR) {
    CloseModeless();
}

void MainDialog::WindowSizeSettingsRestore() {
    int x = SettingsReadInt("MainDialog", "X", 160);
    int y = SettingsReadInt("MainDialog", "Y", 80);
    // The size is kept in 96-dpi units, so that it looks the same on every screen.
    int width = LScaleToDpi(SettingsReadInt("MainDialog", "Width", 500), dpi_);
    int height = LScaleToDpi(SettingsReadInt("MainDialog", "Height", 400), dpi_);
    const bool maximized = SettingsRead(kMaximized);
    if (maximized) {
        WINDOWPLACEMENT wp{};
        wp.length = sizeof wp;
        GetWindowPlacement(hwnd_, &wp);
        wp.rcNormalPosition = RECT{x, y, x + width, y + height};
        wp.showCmd = SW_HIDE;
        wp.flags |= WPF_RESTORETOMAXIMIZED;
        SetWindowPlacement(hwnd_, &wp);
        showMaximized_ = true;
        return;
    }
    RECT desk{};
    GetWindowRect(GetDesktopWindow(), &desk);
    if (width > desk.right - desk.left) width = desk.right - desk.left;
    if (height > desk.bottom - desk.top) height = desk.bottom - desk.top;
    if (x < desk.left) x = desk.left;
    if (y < desk.top) y = desk.top;
    if (x + width > desk.right) x = desk.right - width;
    if (y + height > desk.bottom) y = desk.bottom - height;
    MoveWindow(hwnd_, x, y, width, height, TRUE);
}

// The window and the splash appear with the first status tick, half a second after the start,
// unless a forwarded command line has hidden the window by then.
void MainDialog::ShowMainWindow() {
    if (!hwnd_) return;
    if (!shown_) {
        shown_ = true;
        ShowWindow(hwnd_, showMaximized_ ? SW_SHOWMAXIMIZED : SW_SHOW);
        splash_.Show(hwnd_);
    } else {
        ShowWindow(hwnd_, IsZoomed(hwnd_) ? SW_SHOWMAXIMIZED : SW_RESTORE);
    }
    SetForegroundWindow(hwnd_);
}

void MainDialog::WindowSizeSettingsStore() {
    if (IsZoomed(hwnd_)) {
        SettingsWrite(kMaximized, true);
        return;
    }
    if (IsIconic(hwnd_)) return;
    SettingsWrite(kMaximized, false);
    RECT r{}, desk{};
    GetWindowRect(hwnd_, &r);
    GetWindowRect(GetDesktopWindow(), &desk);
    if (r.right > desk.right) r.right = desk.right;
    SettingsWriteInt("MainDialog", "X", r.left);
    SettingsWriteInt("MainDialog", "Y", r.top);
    SettingsWriteInt("MainDialog", "Width", LScaleFromDpi(r.right - r.left, dpi_));
    SettingsWriteInt("MainDialog", "Height", LScaleFromDpi(r.bottom - r.top, dpi_));
}

namespace {

// The width and height of a control's text (or another) in its font (a mnemonic's "&" not
// counted).
SIZE TextExtent(HWND control, const char* other = nullptr) {
    HDC dc = GetDC(control);
    auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    const std::wstring text = LWide(other ? other : LWindowText(control).c_str());
    RECT r{};
    DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return SIZE{r.right, r.bottom};
}

int WindowHeight(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r.bottom - r.top;
}

}  // namespace

void MainDialog::ApplyDpi() {
    dpi_ = LWindowDpi(hwnd_);
    HFONT font = LMessageFont(dpi_);
    for (HWND child = ::GetWindow(hwnd_, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    const int size = LImageSizeForDpi(dpi_);
    const int step = size <= 16 ? 0 : size <= 24 ? 1 : size <= 32 ? 2 : 3;
    CreateToolbar(kToolbar, static_cast<int>(std::size(kToolbar)), size, step * IDB_TB_SIZE_STEP,
                  font);
    const int icons[] = {IDI_STATE_NONE, IDI_STATE_BUSY, IDI_STATE_DONE, IDI_STATE_FAILED, 0};
    SetListIcons(IDC_FILELIST, icons, size);
    LayoutControls();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainDialog::LayoutControls() {
    const auto S = [&](int length) { return LScaleToDpi(length, dpi_); };
    // Every length follows the font and the dpi: labels and buttons as wide as their texts.
    const SIZE folderLabel = TextExtent(GetItem(IDC_FOLDER_LABEL));
    const SIZE formatLabel = TextExtent(GetItem(IDC_FORMAT_LABEL));
    const SIZE settings = TextExtent(GetItem(IDC_ENCODER_SETTINGS));
    const int labelWidth = std::max(folderLabel.cx, formatLabel.cx) + S(2);
    const int comboX = S(4) + labelWidth + S(6);
    const int comboHeight = WindowHeight(GetItem(IDC_FORMAT));
    const int buttonHeight = comboHeight + S(2);
    const int formatWidth = TextExtent(GetItem(IDC_FORMAT), ".flac").cx + S(12) +
                            GetSystemMetrics(SM_CXVSCROLL) + S(16);
    const int settingsWidth = settings.cx + S(24);
    const int browseWidth = std::max(S(40), int(TextExtent(GetItem(IDC_BROWSE)).cx) + S(16));
    SIZE bar{};
    if (toolbar_) SendMessageW(toolbar_, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&bar));
    const int minWidth =
        std::max({S(420), int(bar.cx) + S(8), comboX + formatWidth + S(8) + settingsWidth + S(8),
                  comboX + S(120) + S(4) + browseWidth + S(4)});
    const int minHeight = S(240);

    RECT client{};
    GetClientRect(hwnd_, &client);
    int w = client.right, h = client.bottom;
    if (w < minWidth || h < minHeight) {
        RECT win{};
        GetWindowRect(hwnd_, &win);
        const int growX = w < minWidth ? minWidth - w : 0;
        const int growY = h < minHeight ? minHeight - h : 0;
        SetWindowPos(hwnd_, nullptr, 0, 0, win.right - win.left + growX,
                     win.bottom - win.top + growY, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        GetClientRect(hwnd_, &client);
        w = std::max(int(client.right), minWidth);
        h = std::max(int(client.bottom), minHeight);
    }
    HWND status = GetItem(IDC_STATUS);
    SendMessageW(status, WM_SIZE, 0, 0);  // the bar takes its height from its font
    const int s = WindowHeight(status);
    MoveControlPixels(IDC_STATUS, 0, h - s, w, s);

    const int y1 = h - s - S(6) - buttonHeight;
    const int y2 = y1 - S(6) - buttonHeight;
    const auto label = [&](int id, int rowY, SIZE text) {
        MoveControlPixels(id, S(4), rowY + (buttonHeight - text.cy) / 2, labelWidth, text.cy);
    };
    label(IDC_FORMAT_LABEL, y1, formatLabel);
    // A combo's height includes its drop list.
    MoveControlPixels(IDC_FORMAT, comboX, y1 + 1, formatWidth, comboHeight + S(200));
    MoveControlPixels(IDC_ENCODER_SETTINGS, comboX + formatWidth + S(8), y1, settingsWidth,
                      buttonHeight);
    label(IDC_FOLDER_LABEL, y2, folderLabel);
    MoveControlPixels(IDC_BROWSE, w - S(4) - browseWidth, y2, browseWidth, buttonHeight);
    MoveControlPixels(IDC_FOLDER, comboX, y2 + 1, w - S(4) - browseWidth - S(4) - comboX,
                      comboHeight + S(200));
    int t = 0;
    if (toolbar_) {
        SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
        t = WindowHeight(toolbar_);
    }
    MoveControlPixels(IDC_FILELIST, 0, t, w, y2 - S(8) - t);
    FitListColumn(IDC_FILELIST, 0, S(300));
    InvalidateRect(hwnd_, nullptr, TRUE);
    LReportLayout(hwnd_);
}

void MainDialog::EnableControls() {
    const int count = ItemCount();
    const bool selection = ListView_GetSelectedCount(List()) > 0;
    const bool items = count > 0;
    bool taggable = false;
    if (selection) {
        const std::string path = CmGrabSelectedFilePath();
        const char* ext = LPathExtension(path.c_str());
        taggable = LFindInputFormat(ext).tags;
    }
    const bool playing = IsPlaying();
    for (int id : {CM_REMOVE, CM_PLAY, CM_CONVERT, CM_EDIT}) EnableMenuItem(menu_, id, selection);
    EnableMenuItem(menu_, CM_STOP, playing);
    EnableMenuItem(menu_, CM_SELECTALL, items);
    EnableMenuItem(menu_, CM_REMOVEUNSUPPORTED, items);
    EnableMenuItem(menu_, CM_EDITTAG, taggable);
    if (toolbar_) {
        SendMessageA(toolbar_, TB_ENABLEBUTTON, CM_REMOVE, selection);
        SendMessageA(toolbar_, TB_ENABLEBUTTON, CM_PLAY, selection);
        SendMessageA(toolbar_, TB_ENABLEBUTTON, CM_CONVERT, items);
        SendMessageA(toolbar_, TB_ENABLEBUTTON, CM_STOP, playing);
    }
}

void MainDialog::EvSettingsUnsaved() {
    settingsUnsaved_ = true;
    if (hwnd_) PostMessageA(hwnd_, WM_NULL, 0, 0);  // the loop comes round to EvIdle
}

void MainDialog::WarnSettingsUnsaved(HWND owner) {
    // A hidden window belongs to a script, which a question on the screen would stop.
    if (!settingsUnsaved_ || settingsWarned_ || hidden) return;
    settingsWarned_ = true;
    MessageBoxA(owner,
                "Tamber could not save your settings, so the changes you make will not be "
                "kept.\n\nCheck that your user account may write to the registry.",
                "Tamber", MB_OK | MB_ICONWARNING);
}

void MainDialog::EvIdle() {
    if (settingsUnsaved_ && hwnd_ && IsWindowVisible(hwnd_)) WarnSettingsUnsaved(hwnd_);
}

bool MainDialog::EvKeyDown(uint32_t key) {
    return MatchAccelerator(key, kAccelerators, kAcceleratorCount);
}

void MainDialog::SetStatusText(const char* text) {
    SendMessageA(GetItem(IDC_STATUS), SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
}

void MainDialog::EvTimer(UINT_PTR id) {
    if (id == 1) {
        KillTimer(hwnd_, 1);
        if (!shown_ && !hidden) ShowMainWindow();
        char text[256] = {};
        LoadStringA(LDialogInstance(), IDS_STATUS_FIRST + statusIndex_, text, sizeof text);
        SetStatusText(text);
        statusIndex_ = (statusIndex_ + 1) % IDS_STATUS_COUNT;
        SetTimer(hwnd_, 1, 8000, nullptr);
    } else if (id == 3) {
        KillTimer(hwnd_, 3);
        LRelatedProgramsWizardRun(hwnd_);
    }
}

void MainDialog::EvMenuSelect(int id, UINT flags) {
    if (flags == 0xFFFF || (flags & MF_POPUP) || (flags & MF_SEPARATOR)) return;
    char text[256] = {};
    if (LoadStringA(LDialogInstance(), static_cast<UINT>(id), text, sizeof text) <= 0) return;
    SetStatusText(text);
    SetTimer(hwnd_, 1, 8000, nullptr);
}

void MainDialog::PopupSubmenu(int topIndex, int subIndex, int x, int y) {
    HMENU sub = GetSubMenu(menu_, topIndex);
    if (sub && subIndex >= 0) sub = GetSubMenu(sub, subIndex);
    if (!sub) return;
    SetForegroundWindow(hwnd_);
    TrackPopupMenu(sub, TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, hwnd_, nullptr);
}

void MainDialog::TrackMessageMenu(int x, int y) {
    EnableControls();  // the same rules as the menu bar
    PopupSubmenu(0, -1, x, y);
}

bool MainDialog::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    // Whatever this message starts is other work for a block forwarded meanwhile.
    const bool idle = waitingForMessage_;
    waitingForMessage_ = false;
    const bool handled = HandleMessage(msg, wp, lp, idle);
    waitingForMessage_ = idle;
    return handled;
}

bool MainDialog::HandleMessage(UINT msg, WPARAM wp, LPARAM lp, bool idle) {
    switch (msg) {
        case WM_SIZE:
            if (wp != SIZE_MINIMIZED) LayoutControls();
            return false;
        case WM_DPICHANGED: {
            // Another monitor: the suggested place and size keep the window where it was.
            const RECT* r = reinterpret_cast<const RECT*>(lp);
            dpi_ = HIWORD(wp);
            ApplyDpi();
            SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return true;
        }
        case WM_DROPFILES:
            EvDropFiles(reinterpret_cast<HDROP>(wp));
            return true;
        case WM_TIMER:
            EvTimer(wp);
            return true;
        case WM_MENUSELECT:
            EvMenuSelect(LOWORD(wp), HIWORD(wp));
            return false;
        case WM_COPYDATA: {
            const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
            if (!cds || !cds->lpData || cds->cbData < 4) return false;
            // A block sent while this thread is inside other work (a conversion's progress
            // pump, a question, a dialog) would change the list under that work or nest a
            // second job in it: refuse it, and the sender offers it again.
            if (!idle) {
                SetMessageResult(LFORWARD_BUSY);
                return true;
            }
            const auto* bytes = static_cast<const char*>(cds->lpData);
            int32_t count = 0;
            std::memcpy(&count, bytes, 4);
            if (count < 0) count = 0;
            if (count > 32) count = 32;
            // Each slot is read up to its 259th character whatever the sender wrote; a start's
            // blocks run together once its last has come.
            std::vector<std::string> block;
            for (int i = 0; i < count; ++i) {
                const size_t offset = 4 + static_cast<size_t>(LMAX_PATH) * i;
                if (offset + LMAX_PATH > cds->cbData) break;
                block.emplace_back(bytes + offset, strnlen(bytes + offset, LMAX_PATH - 1));
            }
            if (forwarded_.Take(std::move(block))) {
                std::vector<char*> argv;
                for (std::string& a : forwarded_.args) argv.push_back(a.data());
                EvRunArguments(argv.data(), int(argv.size()), forwarded_.folder.c_str());
            }
            SetMessageResult(TRUE);
            return true;
        }
        case kUpdateControls:
            controlsPending_ = false;
            EnableControls();
            return true;
        case WM_NOTIFY: {
            const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
            if (hdr->idFrom == IDC_FILELIST) {
                if (hdr->code == NM_RCLICK) {
                    POINT pt;
                    GetCursorPos(&pt);
                    TrackMessageMenu(pt.x, pt.y);
                } else if (hdr->code == NM_DBLCLK) {
                    CmPlay();
                } else if (hdr->code == LVN_ITEMCHANGED) {
                    // Selecting 10 000 entries changes 10 000 states: one update after them.
                    const auto* nm = reinterpret_cast<const NMLISTVIEW*>(lp);
                    if ((nm->uChanged & LVIF_STATE) && !controlsPending_) {
                        controlsPending_ = true;
                        PostMessageW(hwnd_, kUpdateControls, 0, 0);
                    }
                }
            } else if (hdr->idFrom == IDC_STATUS &&
                       (hdr->code == NM_CLICK || hdr->code == NM_RCLICK)) {
                POINT pt;
                GetCursorPos(&pt);
                PopupSubmenu(1, 2, pt.x, pt.y);
            }
            return false;
        }
        default:
            return LDialog::WindowProc(msg, wp, lp);
    }
}

void MainDialog::EvCommand(int id, int code) {
    switch (id) {
        case CM_ADDFILES:
            CmLoadFiles();
            break;
        case CM_ADDFOLDER:
            CmLoadFolder();
            break;
        case CM_REMOVE:
            CmRemoveFiles(true);
            break;
        case CM_REMOVEUNSUPPORTED:
            CmRemoveUnsupportedFiles(true);
            break;
        case CM_SELECTALL:
            CmSelectAll();
            break;
        case IDC_BROWSE:
            if (code == BN_CLICKED) CmBrowseOutput();
            break;
        case IDC_ENCODER_SETTINGS:
            if (code == BN_CLICKED) CmCodecSettings();
            break;
        case IDC_FORMAT:
            if (code == CBN_SELCHANGE) {
                const auto sel = SendMessageA(GetItem(IDC_FORMAT), CB_GETCURSEL, 0, 0);
                EnableControl(IDC_ENCODER_SETTINGS, sel != 2 && sel != 3 && sel != 4);
            }
            break;
        case CM_CONVERT:
            CmConvert(true);
            break;
        case CM_PLAY:
            CmPlay();
            break;
        case CM_STOP:
            CmStop();
            break;
        case CM_EDITTAG:
            CmEditTag();
            break;
        case CM_SETTINGS:
            CmProgramSettings();
            break;
        case CM_HELPCONTENTS:
            CmHelp();
            break;
        case CM_ABOUT:
            CmHelpAbout();
            break;
        case CM_EXIT:
            CmExit();
            break;
        case CM_EDIT:
        case CM_RUNQUORRA:
        case CM_RUNFENNIX:
        case CM_RUNTALLOWIN:
        case CM_RUNMIRABEL:
            CmRunRelated(id);
            break;
        default:
            if (id >= CM_WEBFIRST && id <= CM_WEBLAST) CmWebPage(id);
            break;
    }
}

std::string MainDialog::OutputFormatText() const {
    return LOutputFormatExtension(int(SendMessageA(GetItem(IDC_FORMAT), CB_GETCURSEL, 0, 0)));
}

std::string MainDialog::OutputFolderText() const {
    return LWindowText(GetItem(IDC_FOLDER));
}

void MainDialog::SetOutputFolderText(const char* text) {
    LSetWindowText(GetItem(IDC_FOLDER), text);
}

bool MainDialog::SelectOutputFormat(const char* extension) {
    const int i = LOutputFormatIndex(extension);
    if (i < 0) return false;
    SendMessageA(GetItem(IDC_FORMAT), CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    EvCommand(IDC_FORMAT, CBN_SELCHANGE);
    return true;
}

// The splash window.
LRESULT CALLBACK LSplashScreen::Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(w, &ps);
            RECT rc;
            GetClientRect(w, &rc);
            FillRect(dc, &rc, GetSysColorBrush(COLOR_WINDOW));
            auto bmp = static_cast<HBITMAP>(
                LoadImageA(LDialogInstance(), MAKEINTRESOURCEA(1), IMAGE_BITMAP, 0, 0, 0));
            BITMAP info{};
            if (bmp && GetObjectA(bmp, sizeof info, &info)) {
                HDC mem = CreateCompatibleDC(dc);
                HGDIOBJ old = SelectObject(mem, bmp);
                BitBlt(dc, 1, 1, info.bmWidth, info.bmHeight, mem, 0, 0, SRCCOPY);
                SelectObject(mem, old);
                DeleteDC(mem);
            }
            if (bmp) DeleteObject(bmp);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            HFONT bold = CreateFontA(-16, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                                     CLEARTYPE_QUALITY, 0, "MS Shell Dlg");
            HFONT normal = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                                       CLEARTYPE_QUALITY, 0, "MS Shell Dlg");
            RECT line{0, info.bmHeight + 18, rc.right, info.bmHeight + 40};
            HGDIOBJ oldFont = SelectObject(dc, bold);
            DrawTextA(dc, "Tamber", -1, &line, DT_CENTER | DT_SINGLELINE);
            SelectObject(dc, normal);
            line = RECT{0, info.bmHeight + 46, rc.right, info.bmHeight + 64};
            DrawTextA(dc, TAMBER_NAME_VERSION, -1, &line, DT_CENTER | DT_SINGLELINE);
            SelectObject(dc, oldFont);
            DeleteObject(bold);
            DeleteObject(normal);
            EndPaint(w, &ps);
            return 0;
        }
        case WM_TIMER:
        case WM_LBUTTONDOWN:
            DestroyWindow(w);
            return 0;
        default:
            return DefWindowProcA(w, msg, wp, lp);
    }
}

void LSplashScreen::Show(HWND owner) {
    HINSTANCE inst = LDialogInstance();
    WNDCLASSA wc{};
    if (!GetClassInfoA(inst, "TamberSplash", &wc)) {
        wc.lpfnWndProc = Proc;
        wc.hInstance = inst;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = "TamberSplash";
        RegisterClassA(&wc);
    }
    auto bmp = static_cast<HBITMAP>(LoadImageA(inst, MAKEINTRESOURCEA(1), IMAGE_BITMAP, 0, 0, 0));
    BITMAP info{};
    if (bmp) GetObjectA(bmp, sizeof info, &info);
    if (bmp) DeleteObject(bmp);
    const int width = info.bmWidth + 4, height = info.bmHeight + 88;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    window =
        CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, "TamberSplash", "", WS_POPUP | WS_BORDER,
                        x, y, width, height, owner, nullptr, inst, nullptr);
    if (!window) return;
    SetTimer(window, 1, 7000, nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
}

void LSplashScreen::Close() {
    if (window && IsWindow(window)) DestroyWindow(window);
    window = nullptr;
}
