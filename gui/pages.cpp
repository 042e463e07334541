// The "Settings" property sheet: General (device, context menu), Overwrite and Formats pages.
#include "gui/pages.h"

#include <cstring>

#include "app/shell.h"
#include "app/sounddevice.h"
#include "gui/resource.h"
#include "store/settings.h"
#include "support/file.h"

namespace {

constexpr const char* kSection = "Settings";
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
    int device = SettingsReadInt(kSection, "SoundOutDevice", 0);
    if (device < 0 || device > devices) device = 0;
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(device), 0);
    Check(hwnd_, IDC_CONTEXTMENU, SettingsReadBool(kSection, "ContextMenu", true));
}

bool LGeneralPage::CmOk() {
    const auto device = SendMessageA(GetItem(IDC_SOUNDDEVICE), CB_GETCURSEL, 0, 0);
    SettingsWriteInt(kSection, "SoundOutDevice", device < 0 ? 0 : static_cast<int>(device));
    const bool before = SettingsReadBool(kSection, "ContextMenu", true);
    const bool now = Checked(hwnd_, IDC_CONTEXTMENU);
    SettingsWriteBool(kSection, "ContextMenu", now);
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
    if (!registered) SettingsNoteWriteFailure(kSection, "ContextMenu");
    return true;
}

void LGeneralPage::CmHelp() {
    ShowHelpContext(hwnd_, kHelpContext);
}

void LOverwritePage::InitDialog() {
    Check(hwnd_, IDC_PROMPT, SettingsReadBool(kSection, "AlwaysPrompt", true));
    Check(hwnd_, IDC_OVERWRITE, SettingsReadBool(kSection, "AlwaysOverwrite", false));
    Check(hwnd_, IDC_NEVER, SettingsReadBool(kSection, "NeverOverwrite", false));
    Check(hwnd_, IDC_CANCELALL, SettingsReadBool(kSection, "CancelAll", false));
}

bool LOverwritePage::CmOk() {
    SettingsWriteBool(kSection, "AlwaysPrompt", Checked(hwnd_, IDC_PROMPT));
    SettingsWriteBool(kSection, "AlwaysOverwrite", Checked(hwnd_, IDC_OVERWRITE));
    SettingsWriteBool(kSection, "NeverOverwrite", Checked(hwnd_, IDC_NEVER));
    SettingsWriteBool(kSection, "CancelAll", Checked(hwnd_, IDC_CANCELALL));
    return true;
}

void LOverwritePage::CmHelp() {
    ShowHelpContext(hwnd_, kHelpContext);
}

bool ValidCustomPattern(const char* text) {
    return std::strlen(text) >= 2 && std::strchr(text, '%') && std::strchr(text, '{');
}

void LFormatsPage::InitDialog() {
    Check(hwnd_, IDC_USECDDB, SettingsReadBool(kSection, "UseCDDB", false));
    Check(hwnd_, IDC_PATTERN_A, SettingsReadBool(kSection, "FormatChoiceA", true));
    Check(hwnd_, IDC_PATTERN_B, SettingsReadBool(kSection, "FormatChoiceB", false));
    Check(hwnd_, IDC_PATTERN_CUSTOM, SettingsReadBool(kSection, "FormatChoiceC", false));
    char pattern[LMAX_PATH] = {};
    SettingsReadString(kSection, "CustomString", pattern, "[%b]\\{%n %t}");
    SetDlgItemTextA(hwnd_, IDC_PATTERN_TEXT, pattern);
}

void LFormatsPage::EnableControls() {
    EnableControlRange(IDC_PATTERN_LABEL, IDC_PATTERN_HELP2, Checked(hwnd_, IDC_USECDDB));
}

bool LFormatsPage::CmOk() {
    const bool cddb = Checked(hwnd_, IDC_USECDDB);
    SettingsWriteBool(kSection, "UseCDDB", cddb);
    if (!cddb) return true;
    SettingsWriteBool(kSection, "FormatChoiceA", Checked(hwnd_, IDC_PATTERN_A));
    SettingsWriteBool(kSection, "FormatChoiceB", Checked(hwnd_, IDC_PATTERN_B));
    SettingsWriteBool(kSection, "FormatChoiceC", Checked(hwnd_, IDC_PATTERN_CUSTOM));
    if (!Checked(hwnd_, IDC_PATTERN_CUSTOM)) return true;
    char pattern[LMAX_PATH];
    GetControlText(IDC_PATTERN_TEXT, pattern);
    if (!ValidCustomPattern(pattern)) {
        MessageBoxA(hwnd_, "The string you entered is invalid.", nullptr, MB_OK | MB_ICONERROR);
        return false;
    }
    SettingsWriteString(kSection, "CustomString", pattern);
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
