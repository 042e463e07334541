// The "Settings" property sheet: General (device, context menu), Overwrite and Formats pages.
#include "gui/pages.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/shell.h"
#include "app/sounddevice.h"
#include "gui/resource.h"
#include "store/settingnames.h"
#include "store/settings.h"
#include "support/file.h"

namespace {

constexpr int kHelpContext = 101;

void Check(HWND dialog, int id, bool on) {
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}
bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

}  // namespace

void LGeneralPage::InitDialog() {
    HWND combo = GetItem(IDC_SOUNDDEVICE);
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    const int devices = LSoundPlayDevice::Count();
    for (int i = 0; i <= devices; ++i) {
        char name[32];
        LSoundPlayDevice::GetText(i, name);
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    int device = SettingsRead(kSoundOutDevice);
    if (device < 0 || device > devices) device = 0;
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(device), 0);
    Check(hwnd_, IDC_CONTEXTMENU, SettingsRead(kContextMenu));
    Check(hwnd_, IDC_KEEPFOLDERS, SettingsRead(kKeepFolders));
    SetDlgItemInt(hwnd_, IDC_JOBS, UINT(std::clamp<int32_t>(SettingsRead(kJobs), 0, 64)), FALSE);
}

bool LGeneralPage::CmOk() {
    const auto device = SendMessageA(GetItem(IDC_SOUNDDEVICE), CB_GETCURSEL, 0, 0);
    SettingsWrite(kSoundOutDevice, device < 0 ? 0 : static_cast<int>(device));
    SettingsWrite(kKeepFolders, Checked(hwnd_, IDC_KEEPFOLDERS));
    BOOL number = FALSE;
    const UINT jobs = GetDlgItemInt(hwnd_, IDC_JOBS, &number, FALSE);
    SettingsWrite(kJobs, number ? int32_t(std::min(jobs, 64u)) : 0);
    const bool before = SettingsRead(kContextMenu);
    const bool now = Checked(hwnd_, IDC_CONTEXTMENU);
    SettingsWrite(kContextMenu, now);
    if (now == before) return true;
    char exe[LMAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, LMAX_PATH - 1);
    bool registered = true;
    for (const char* ext : kShellExtensions) {
        if (now) {
            registered = ShellAddVerb(ext, LSHELL_VERB, exe) && registered;
        } else {
            ShellRemoveVerb(ext, LSHELL_VERB);
        }
    }
    if (!registered) SettingsNoteWriteFailure(kContextMenu.section, kContextMenu.name);
    return true;
}

void LGeneralPage::CmHelp() {
    ShowHelpContext(hwnd_, kHelpContext);
}

void LOverwritePage::InitDialog() {
    Check(hwnd_, IDC_PROMPT, SettingsRead(kAlwaysPrompt));
    Check(hwnd_, IDC_OVERWRITE, SettingsRead(kAlwaysOverwrite));
    Check(hwnd_, IDC_NEVER, SettingsRead(kNeverOverwrite));
    Check(hwnd_, IDC_CANCELALL, SettingsRead(kCancelAll));
}

bool LOverwritePage::CmOk() {
    SettingsWrite(kAlwaysPrompt, Checked(hwnd_, IDC_PROMPT));
    SettingsWrite(kAlwaysOverwrite, Checked(hwnd_, IDC_OVERWRITE));
    SettingsWrite(kNeverOverwrite, Checked(hwnd_, IDC_NEVER));
    SettingsWrite(kCancelAll, Checked(hwnd_, IDC_CANCELALL));
    return true;
}

void LOverwritePage::CmHelp() {
    ShowHelpContext(hwnd_, kHelpContext);
}

bool ParseReadOffset(const char* text, int32_t& samples) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (end == text || !end || *end || value < -99999 || value > 99999) return false;
    samples = int32_t(value);
    return true;
}

bool ValidCustomPattern(const char* text) {
    return std::strlen(text) >= 2 && std::strchr(text, '%') && std::strchr(text, '{');
}

void LFormatsPage::InitDialog() {
    Check(hwnd_, IDC_USECDDB, SettingsRead(kUseCDDB));
    Check(hwnd_, IDC_PATTERN_A, SettingsRead(kFormatChoiceA));
    Check(hwnd_, IDC_PATTERN_B, SettingsRead(kFormatChoiceB));
    Check(hwnd_, IDC_PATTERN_CUSTOM, SettingsRead(kFormatChoiceC));
    char pattern[LMAX_PATH] = {};
    SettingsRead(kCustomString, pattern);
    LSetItemText(hwnd_, IDC_PATTERN_TEXT, pattern);
    Check(hwnd_, IDC_SECURE, SettingsRead(kSecureRip));
    Check(hwnd_, IDC_KEEPDAMAGED, SettingsRead(kKeepDamaged));
    LSetItemText(hwnd_, IDC_READOFFSET, std::to_string(SettingsRead(kReadOffset)).c_str());
}

void LFormatsPage::EnableControls() {
    EnableControlRange(IDC_PATTERN_LABEL, IDC_PATTERN_HELP2, Checked(hwnd_, IDC_USECDDB));
}

bool LFormatsPage::CmOk() {
    char offset[LMAX_PATH];
    GetControlText(IDC_READOFFSET, offset);
    int32_t samples = 0;
    if (!ParseReadOffset(offset, samples)) {
        MessageBoxA(hwnd_, "The read offset must be a whole number of samples.", nullptr,
                    MB_OK | MB_ICONERROR);
        return false;
    }
    SettingsWrite(kReadOffset, samples);
    SettingsWrite(kSecureRip, Checked(hwnd_, IDC_SECURE));
    SettingsWrite(kKeepDamaged, Checked(hwnd_, IDC_KEEPDAMAGED));
    const bool cddb = Checked(hwnd_, IDC_USECDDB);
    SettingsWrite(kUseCDDB, cddb);
    if (!cddb) return true;
    SettingsWrite(kFormatChoiceA, Checked(hwnd_, IDC_PATTERN_A));
    SettingsWrite(kFormatChoiceB, Checked(hwnd_, IDC_PATTERN_B));
    SettingsWrite(kFormatChoiceC, Checked(hwnd_, IDC_PATTERN_CUSTOM));
    if (!Checked(hwnd_, IDC_PATTERN_CUSTOM)) return true;
    char pattern[LMAX_PATH];
    GetControlText(IDC_PATTERN_TEXT, pattern);
    if (!ValidCustomPattern(pattern)) {
        MessageBoxA(hwnd_, "The string you entered is invalid.", nullptr, MB_OK | MB_ICONERROR);
        return false;
    }
    SettingsWrite(kCustomString, pattern);
    return true;
}

void LFormatsPage::CmHelp() {
    ShowHelpContext(hwnd_, kHelpContext);
}

bool SettingsSheet(HWND owner) {
    LGeneralPage general;
    LOverwritePage overwrite;
    LFormatsPage formats;
    const LSheetPage pages[] = {
        {"LGeneralPage", &general}, {"LOverwritePage", &overwrite}, {"LFormatsPage", &formats}};
    return LPropertySheetRun(owner, pages, 3, "Settings", 1, 0);
}
