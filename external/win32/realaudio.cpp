// RealAudio files: the installed RealPlayer engine, found through its registry folder and loaded
// once per run.
#include <windows.h>

#include <cstdio>

#include "external/platdec.h"
#include "support/trace.h"

namespace {

// The engine library, loaded on first use and kept for the rest of the run.
HMODULE EngineLibrary() {
    static HMODULE lib = nullptr;
    static bool tried = false;
    if (tried) return lib;
    char folder[MAX_PATH] = {};
    LONG size = sizeof folder;
    if (RegQueryValueA(HKEY_CLASSES_ROOT, "Software\\RealNetworks\\Preferences\\DT_Common", folder,
                       &size) != ERROR_SUCCESS)
        return nullptr;  // not installed yet: look again next time
    tried = true;
    char path[LMAX_PATH];
    std::snprintf(path, sizeof path, "%s", folder);
    LFile::FilePathCat(path, "pnen3260.dll");
    lib = LoadLibraryA(path);
    return lib;
}

}  // namespace

int Process(LProgressDialog* dlg, LReadAudioDecode* d) {
    char name[LMAX_PATH];
    LFile::_GetFileFromPath(name, d->szRAInFilePath);
    dlg->SetText("Decoding Real Audio", 0);
    dlg->SetText(name, 1);
    HMODULE lib = EngineLibrary();
    if (!lib) {
        dlg->ShowError(kRealMissingMessage);
        return LPROCESS_FAILED;
    }
    if (!GetProcAddress(lib, "CreateEngine") || !GetProcAddress(lib, "CloseEngine")) {
        dlg->ShowError(kRealMissingMessage);
        return LPROCESS_FAILED;
    }
    // Driving the engine (player, audio device manager and the sink writing the WAV file) is
    // not part of this build: the file cannot be opened.
    dlg->SetProgress(0.1);
    LTrace("Process(LReadAudioDecode) QueryInterface(IID_IRMAAudioDeviceManager) FAILED!");
    dlg->ShowError(kRealOpenFailedMessage);
    return LPROCESS_FAILED;
}
