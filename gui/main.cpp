// Entry point of tamber.exe: role marker, single instance, argument forwarding, main window.
#include <windows.h>
// windows.h first.
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "convert/entrypaths.h"
#include "convert/job.h"
#include "convert/messages.h"
#include "gui/maindlg.h"
#include "gui/startup.h"
#include "setup/payload.h"
#include "store/settings.h"
#include "support/byteorder.h"
#include "support/file.h"
#include "support/win32/dialog.h"
#include "support/win32/wide.h"

namespace {

// The last 4 bytes of the file, little-endian; 0 when they cannot be read.
uint32_t ReadRoleMarker(const char* path) {
    HANDLE file = CreateFileW(LWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    uint8_t bytes[4] = {};
    DWORD got = 0;
    LARGE_INTEGER back;
    back.QuadPart = -4;
    const bool ok = SetFilePointerEx(file, back, nullptr, FILE_END) &&
                    ReadFile(file, bytes, 4, &got, nullptr) && got == 4;
    CloseHandle(file);
    if (!ok) return 0;
    return LoadLE32(bytes);
}

// A top-level window of the system's dialog class with the caption, that carries the main
// window's property (the program's message boxes are dialogs captioned "Tamber" as well).
struct MainWindowSearch {
    const char* caption;
    HWND found;
};

BOOL CALLBACK MatchMainWindow(HWND window, LPARAM lp) {
    auto* search = reinterpret_cast<MainWindowSearch*>(lp);
    char name[16] = {};
    char caption[32] = {};
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, caption, sizeof caption);
    if (std::strcmp(name, "#32770") == 0 && std::strcmp(caption, search->caption) == 0 &&
        GetPropA(window, LMAIN_WINDOW_PROPERTY)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The running main window, by either caption.
HWND FindMainWindow() {
    for (const char* caption : {"Tamber", "Tamber Plus"}) {
        MainWindowSearch search{caption, nullptr};
        EnumWindows(MatchMainWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
    }
    return nullptr;
}

// Starts the executable again without arguments and waits until it is idle in its loop.
bool StartSecondCopy(const char* exe, int show) {
    std::wstring commandLine = L"\"" + LWide(exe) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(LWide(exe).c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi))
        return false;
    WaitForInputIdle(pi.hProcess, 60000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

MainDialog* mainDialog = nullptr;

// The window reads its arguments in its own working folder, the program folder: a relative
// path (the "-outfolder" value, or an argument that names a file or folder there) goes absolute
// against the folder the start was made in. Anything else is passed as it is.
std::string AbsoluteArgument(const std::string& arg, const char* previous, const char* start) {
    const bool relative = !arg.empty() && !LIsPathSeparator(arg[0]) && arg[0] != '-' &&
                          !(arg.size() > 1 && arg[1] == ':');
    if (!relative || LIsSameAsSource(arg.c_str())) return arg;
    std::string joined = start;
    if (!joined.empty() && !LIsPathSeparator(joined.back())) joined += '\\';
    joined += arg;
    const bool folderValue = _stricmp(previous, "-outfolder") == 0;
    const std::wstring wide = LWide(joined.c_str());
    if (!folderValue && GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES) return arg;
    wchar_t full[MAX_PATH * 2];
    const DWORD n = GetFullPathNameW(wide.c_str(), MAX_PATH * 2, full, nullptr);
    return n > 0 && n < MAX_PATH * 2 ? LUtf8(full) : joined;
}

// The command line as UTF-8 arguments (the wide one: any file name arrives as it is).
std::vector<std::string> CommandLineArguments() {
    std::vector<std::string> args;
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) args.push_back(LUtf8(wide[i]));
        LocalFree(wide);
    }
    return args;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
    const std::vector<std::string> argv = CommandLineArguments();
    const int argc = int(argv.size());

    // Relative arguments name files in the folder the start was made in.
    char startFolder[LMAX_PATH] = {};
    wchar_t wideFolder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, wideFolder);
    LUtf8To(startFolder, sizeof startFolder, wideFolder);
    // The program folder is the working folder.
    char exe[LMAX_PATH] = {};
    wchar_t wideExe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, wideExe, MAX_PATH - 1);
    LUtf8To(exe, sizeof exe, wideExe);
    if (argc > 0) {
        std::string folder = argv[0];
        const size_t cut = folder.find_last_of("\\/");
        if (cut != std::string::npos)
            SetCurrentDirectoryW(LWide(folder.substr(0, cut).c_str()).c_str());
    }

    const uint32_t marker = ReadRoleMarker(exe);
    char name[LMAX_PATH] = {};
    GetFileNameNoExtension(name, exe);
    CharUpperA(name);
    if (std::strstr(name, "SETUP") && marker != LSETUP_INSTALL_MODE) {
        LMessageBox(nullptr,
                    "Installation file corrupt.\n\nA checksum error was detected in your install "
                    "file, please redownload file and install again.",
                    "Install Error", MB_OK | MB_ICONWARNING);
        return 0;
    }

    INITCOMMONCONTROLSEX icc{sizeof icc,
                             ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);

    HANDLE mutex = CreateMutexA(nullptr, FALSE, "TamberRunMutex");
    if (mutex) WaitForSingleObject(mutex, INFINITE);
    HWND running = FindMainWindow();

    if (marker == LSETUP_INSTALL_MODE || marker == LSETUP_UNINSTALL_MODE) {
        if (mutex) ReleaseMutex(mutex);
        if (running) {
            PostMessageA(running, WM_COMMAND, IDCANCEL, 0);
            Sleep(marker == LSETUP_INSTALL_MODE ? 2000 : 1500);
        }
        RunSetupRole(marker == LSETUP_INSTALL_MODE);
        if (mutex) CloseHandle(mutex);
        return 0;
    }

    // Normal role: hand the arguments to the running window, starting one for them when none
    // runs. An argument that no slot holds is refused whole: cut, it would name another file.
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        args.push_back(argv[size_t(i)]);
        if (i > 0)
            args.back() = AbsoluteArgument(args.back(), args[size_t(i - 1)].c_str(), startFolder);
        if (i > 0 && !LPathFits(args.back().c_str())) {
            if (mutex) ReleaseMutex(mutex);
            LMessageBox(nullptr, LFormatMessage(kPathTooLongMessage, args.back().c_str()).c_str(),
                        "Tamber", MB_OK | MB_ICONERROR);
            return 0;
        }
    }
    // A window busy with other work refuses a block; the mutex stays held while the block is
    // offered again, so later starts wait behind this one and keep their order.
    const std::vector<std::vector<char>> blocks =
        BuildArgumentBlocks(args, startFolder, GetCurrentProcessId());
    size_t sent = 0;
    int starts = 0;
    for (;;) {
        // A window that went away meanwhile is started again, so that the arguments still run.
        if (!running && argc > 1 && starts < 2) {
            ++starts;
            sent = 0;  // a new window gets the whole command line
            if (mutex) ReleaseMutex(mutex);
            StartSecondCopy(exe, show);
            if (mutex) WaitForSingleObject(mutex, INFINITE);
            running = FindMainWindow();
        }
        if (!running) break;
        COPYDATASTRUCT cds{0, static_cast<DWORD>(blocks[sent].size()),
                           const_cast<char*>(blocks[sent].data())};
        const LRESULT reply = SendMessageA(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
        if (reply != LFORWARD_BUSY && ++sent < blocks.size()) continue;
        if (reply != LFORWARD_BUSY) {
            if (mutex) {
                ReleaseMutex(mutex);
                CloseHandle(mutex);
            }
            return 0;
        }
        Sleep(LFORWARD_RETRY_MS);
        running = FindMainWindow();
    }

    MainDialog dialog;
    dialog.runMutex = mutex;
    mainDialog = &dialog;
    SettingsSetWriteFailureHandler(
        [](const char*, const char*) { mainDialog->EvSettingsUnsaved(); });
    if (!dialog.RunModeless(nullptr, "MainDialog") && mutex) ReleaseMutex(mutex);
    dialog.CmStop();
    dialog.WarnSettingsUnsaved(nullptr);  // the window's own values, written as it closed
    SettingsSetWriteFailureHandler(nullptr);
    if (mutex) CloseHandle(mutex);
    return 0;
}
