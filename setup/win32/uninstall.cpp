// The uninstall process: a temporary copy of the uninstaller asks and removes the program.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "app/shell.h"
#include "setup/win32/setup.h"
#include "support/progress.h"

namespace {

struct UninstallRecord {
    bool startedWithArguments;
};

int UninstallProgram(LProgressDialog* dlg, UninstallRecord* rec) {
    if (!rec->startedWithArguments) {
        // The installed uninst.exe cannot delete itself: a copy in the temp folder does it.
        char self[MAX_PATH] = {}, temp[MAX_PATH] = {}, copy[MAX_PATH], line[MAX_PATH + 16];
        GetModuleFileNameA(nullptr, self, MAX_PATH - 1);
        GetTempPathA(MAX_PATH, temp);
        const size_t n = std::strlen(temp);
        if (n && temp[n - 1] == '\\') temp[n - 1] = 0;
        std::snprintf(copy, sizeof copy, "%s\\uninst.exe", temp);
        CopyFileA(self, copy, FALSE);
        std::snprintf(line, sizeof line, "\"%s\" /uninstall", copy);
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (CreateProcessA(copy, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
        return LPROCESS_OK;
    }
    if (dlg->PumpMessages()) return LPROCESS_STOPPED;
    if (dlg->WaitTimed(250) == LPROCESS_STOPPED) return LPROCESS_STOPPED;
    if (MessageBoxA(static_cast<HWND>(dlg->GetWindow()),
                    "Are you sure you want to remove Tamber from this computer?",
                    "Uninstall Tamber", MB_YESNO | MB_ICONQUESTION) == IDYES) {
        char folder[MAX_PATH];
        ProgramFolder(folder);
        SetupRemove(folder);
    }
    return LPROCESS_OK;
}

}  // namespace

bool SetupRunUninstall(bool startedWithArguments) {
    UninstallRecord rec{startedWithArguments};
    LProgressProcess<UninstallRecord, UninstallProgram> dlg(LSETUP_TITLE, &rec);
    dlg.Run(nullptr);
    return dlg.status == LPROCESS_OK;
}
