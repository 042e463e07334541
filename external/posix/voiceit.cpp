// The VoiceIt decoder: its vendor library exists for Windows only, so it cannot be loaded here.
#include "external/decoders.h"
#include "support/trace.h"

int LDecodeVoiceIt(LProgressDialog* dlg, LVoiceItDecode* d) {
    dlg->SetText("Decoding VoiceIt File", 0);
    dlg->SetText(d->szSriInFilePath, 1);
    dlg->SetProgress(0.0);
    LTrace("Process(LVoiceItDecode) unable to load SrPump.dll");
    dlg->ShowError(VoiceItMissingMessage());
    return LPROCESS_FAILED;
}
