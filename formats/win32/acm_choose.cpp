// The wave format chooser: the platform's ACM format dialog, re-opened while the choice
// cannot be encoded on this machine.
#include <windows.h>
// clang-format off
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>
// clang-format on

#include "formats/acm.h"

bool LWaveFormatChoose(void* owner, LWaveFileFormat& format, int channels, const char* title) {
    HWND parent = owner ? static_cast<HWND>(owner) : GetActiveWindow();
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
        if (acmFormatChooseA(&afc) != MMSYSERR_NOERROR) return false;
        if (format.TestSupportedRecord()) return true;
        MessageBoxA(parent,
                    "The requested format is not available because the required CODEC is not "
                    "installed on this computer.",
                    "Format Not Available", MB_OK | MB_ICONERROR);
    }
}
