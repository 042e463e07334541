// MainDialog commands: convert, tags, encoder settings, browse, settings, help, about, exit.
#include <windows.h>
// windows.h first: the shell headers depend on it.
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "app/gui/maindlg.h"
#include "app/gui/pages.h"
#include "app/gui/resource.h"
#include "app/gui/tageditor.h"
#include "app/settings.h"
#include "app/tags.h"
#include "support/file.h"

namespace {

int CALLBACK BrowseCallback(HWND window, UINT msg, LPARAM, LPARAM data) {
    if (msg == BFFM_INITIALIZED && data) SendMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

bool IsFolder(const char* path) {
    const DWORD attr = GetFileAttributesA(path);
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

// The folder browser: true with the chosen folder (at most 259 characters) in result.
bool BrowseForFolder(HWND owner, const char* title, const char* startFolder, char* result) {
    char display[MAX_PATH] = {};
    BROWSEINFOA bi{};
    bi.hwndOwner = owner;
    bi.pszDisplayName = display;
    bi.lpszTitle = title;
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    bi.lpfn = BrowseCallback;
    bi.lParam = reinterpret_cast<LPARAM>(startFolder && *startFolder ? startFolder : nullptr);
    CoInitialize(nullptr);
    LPITEMIDLIST item = SHBrowseForFolderA(&bi);
    bool ok = false;
    if (item) {
        char path[MAX_PATH] = {};
        ok = SHGetPathFromIDListA(item, path) && path[0];
        if (ok) std::snprintf(result, LMAX_PATH, "%s", path);
        CoTaskMemFree(item);
    }
    CoUninitialize();
    return ok;
}

bool MainDialog::CmConvert(bool interactive) {
    const std::string format = OutputFormatText();
    if (!LConvertFormatSupported(this, format.c_str())) {
        MessageBoxA(hwnd_, "Unable to encode files in the selected format.", "Tamber",
                    MB_OK | MB_ICONERROR);
        return false;
    }
    const std::string folder = OutputFolderText();
    if (_stricmp(folder.c_str(), "[Same as source file]") != 0 && !IsFolder(folder.c_str())) {
        char question[LMAX_PATH + 80];
        std::snprintf(question, sizeof question,
                      "The folder \"%s\" does not exist. Do you want to create it now?",
                      folder.c_str());
        if (MessageBoxA(hwnd_, question, "Tamber", MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES) {
            MessageBoxA(hwnd_, "Unable to convert files. Please specify an existing output folder.",
                        nullptr, MB_OK | MB_ICONERROR);
            return false;
        }
        if (!CreateDirectoryA(folder.c_str(), nullptr)) {
            MessageBoxA(hwnd_, "Unable to create folder.", nullptr, MB_OK | MB_ICONERROR);
            return false;
        }
    }
    return LConvertRun(this, format.c_str(), interactive) == LPROCESS_OK;
}

void MainDialog::CmPlay() {
    // Playback arrives with the wave-out player; until then Play stops nothing and plays nothing.
}

void MainDialog::CmStop() {}

void MainDialog::CmEditTag() {
    const std::string path = CmGrabSelectedFilePath();
    if (path.empty()) return;
    const char* ext = PathExtension(path.c_str());
    if (_stricmp(ext, ".wav") != 0 && _stricmp(ext, ".mp3") != 0) {
        MessageBoxA(hwnd_, "Only wav and mp3 files can have tags edited.", nullptr,
                    MB_OK | MB_ICONERROR);
        return;
    }
    LAudioTagData tags;
    tags.ReadTags(path.c_str());
    LAudioTagDataEditor editor(tags);
    if (LDialog::DoModal("LAudioTagDataEditor", hwnd_, &editor)) tags.WriteTags(path.c_str());
}

void MainDialog::CmCodecSettings() {
    LConvertEditSettings(this, OutputFormatText().c_str());
}

void MainDialog::CmBrowseOutput() {
    char start[LMAX_PATH] = {};
    SettingsReadString("Settings", "LastOutputFolder", start, "");
    char folder[LMAX_PATH] = {};
    if (!BrowseForFolder(hwnd_, "Locate output folder...", start, folder)) return;
    SetOutputFolderText(folder);
    SettingsWriteString("Settings", "LastOutputFolder", folder);
}

void MainDialog::CmProgramSettings() {
    SettingsSheet(hwnd_);
}

void MainDialog::CmHelp() {
    ShowHelp(hwnd_, HELP_FINDER, 0);
}

namespace {

class LAboutDialog : public LDialog {};

}  // namespace

void MainDialog::CmHelpAbout() {
    LAboutDialog about;
    LDialog::DoModal("LAbout", hwnd_, &about);
}

void MainDialog::CmExit() {
    Close(0);
}

void MainDialog::CmWebPage(int command) {
    static const char* const kPages[] = {"tamber/index",    "tamber/support", "quorra/index",
                                         "fennix/index",    "tallowin/index", "mirabel/index",
                                         "dictation/index", "phone/index",    "splitter/index",
                                         "mixer/index",     "software/index", "index"};
    const int i = command - CM_WEBFIRST;
    if (i < 0 || i >= static_cast<int>(std::size(kPages))) return;
    char url[160];
    std::snprintf(url, sizeof url, "http://www.velmora.com/%s.html", kPages[i]);
    ShellExecuteA(hwnd_, "open", url, nullptr, nullptr, SW_SHOWNORMAL);
}
