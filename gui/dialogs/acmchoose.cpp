// The wave format chooser: the platform's ACM format dialog, re-opened while the choice
// cannot be encoded on this machine.
#include <windows.h>
// clang-format off
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>
// clang-format on

#include <cstring>

#include "gui/dialogs/dialogs.h"

namespace {

// The caption for the chooser being opened on this thread: set again when the dialog is first
// activated, since not every implementation of the chooser shows pszTitle.
thread_local const char* tChooserTitle = nullptr;
thread_local HHOOK tChooserHook = nullptr;

LRESULT CALLBACK ChooserCbt(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE && tChooserTitle) {
        HWND w = reinterpret_cast<HWND>(wp);
        char cls[16] = {};
        GetClassNameA(w, cls, sizeof cls);
        if (std::strcmp(cls, "#32770") == 0) {
            SetWindowTextA(w, tChooserTitle);
            tChooserTitle = nullptr;  // only the chooser itself, not later message boxes
        }
    }
    return CallNextHookEx(tChooserHook, code, wp, lp);
}

}  // namespace

bool LWaveFormatChoose(HWND owner, LWaveFileFormat& format, int channels, const char* title) {
    HWND parent = owner ? owner : GetActiveWindow();
    for (;;) {
        WAVEFORMATEX enumFormat{};
        ACMFORMATCHOOSEA afc{};
        afc.cbStruct = sizeof afc;
        afc.fdwStyle = ACMFORMATCHOOSE_STYLEF_INITTOWFXSTRUCT;
        afc.hwndOwner = parent;
        afc.pwfx = reinterpret_cast<LPWAVEFORMATEX>(format.Bytes());
        afc.cbwfx = LWAVE_FORMAT_BLOCK_BYTES;
        afc.pszTitle = title;
        if (channels > 0) {
            enumFormat.nChannels = WORD(channels);
            afc.fdwEnum = ACM_FORMATENUMF_NCHANNELS;
            afc.pwfxEnum = &enumFormat;
        }
        tChooserTitle = title;
        tChooserHook = SetWindowsHookExA(WH_CBT, ChooserCbt, nullptr, GetCurrentThreadId());
        MMRESULT r = acmFormatChooseA(&afc);
        if (tChooserHook) UnhookWindowsHookEx(tChooserHook);
        tChooserHook = nullptr;
        tChooserTitle = nullptr;
        if (r != MMSYSERR_NOERROR) return false;
        if (format.TestSupportedRecord()) return true;
        MessageBoxA(parent,
                    "The requested format is not available because the required CODEC is not "
                    "installed on this computer.",
                    "Format Not Available", MB_OK | MB_ICONERROR);
    }
}
