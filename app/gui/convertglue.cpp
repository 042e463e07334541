// The main window's road into the conversion engine and the command line.
#include <cstring>

#include "app/gui/maindlg.h"

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

void MainDialog::CmRunRelated(int) {}
