// The VoiceIt decoder: a call into the vendor library "SrPump.dll", loaded at run time.
#include <windows.h>

#include "external/decoders.h"
#include "support/trace.h"
#include "support/win32/procaddress.h"

int LDecodeVoiceIt(LProgressDialog* dlg, LVoiceItDecode* d) {
    dlg->SetText("Decoding VoiceIt File", 0);
    dlg->SetText(d->szSriInFilePath, 1);
    dlg->SetProgress(0.0);
    HMODULE lib = LoadLibraryA("SrPump.dll");
    if (!lib) {
        LTrace("Process(LVoiceItDecode) unable to load SrPump.dll");
        dlg->ShowError(VoiceItMissingMessage());
        return LPROCESS_FAILED;
    }
    using Convert = int(__stdcall*)(const char*, const char*);
    auto convert = LProcAddress<Convert>(lib, "_Sr_CvtSri2WaveFile@8");
    int result = LPROCESS_FAILED;
    if (!convert) {
        LTrace("Process(LVoiceItDecode) unable to find Sr_CvtSri2WaveFile in SrPump.dll");
    } else if (dlg->PumpMessages()) {
        result = LPROCESS_STOPPED;
    } else if (convert(d->szSriInFilePath, d->szWavOutFilePath) == 0) {
        result = LPROCESS_OK;
    } else {
        LTrace("Process(LVoiceItDecode) Sr_CvtSri2WaveFile FAILED");
    }
    FreeLibrary(lib);
    return result;
}
