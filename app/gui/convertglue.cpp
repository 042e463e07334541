// The main window's road into the conversion engine and the command line.
#include <cstring>

#include "app/gui/maindlg.h"
#include "app/gui/resource.h"
#include "external/win32/related.h"

bool LConvertFormatSupported(MainDialog*, const char*) {
    return false;
}

int LConvertRun(MainDialog*, const char*, bool) {
    return LPROCESS_FAILED;
}

void LConvertEditSettings(MainDialog*, const char*) {}

void MainDialog::EvRunArguments(char** argv, int argc) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-' && argv[i][0] != '/') LoadFile(argv[i]);
    }
    if (!hidden) {
        ShowWindow(hwnd_, IsZoomed(hwnd_) ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
        SetForegroundWindow(hwnd_);
    }
    EnableControls();
}

void MainDialog::CmRunRelated(int command) {
    // Quorra takes the first selected file and is waited for; Fennix takes all of them.
    int index = command == CM_EDIT || command == CM_RUNQUORRA ? 0 : command - CM_RUNFENNIX + 1;
    if (index < 0 || index > 3) return;
    std::string argument;
    bool wait = false;
    if (index == 0) {
        argument = CmGrabSelectedFilePath();
        wait = !argument.empty();
    } else if (index == 1) {
        argument = CmGrabSelectedFilePaths();
    }
    LRelatedProgramRun(hwnd_, kRelatedPrograms[index], argument, wait);
}
