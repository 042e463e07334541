// The DSS library and the RealAudio engine exist for Windows only: both decoders say so and fail.
#include "external/components.h"
#include "external/platdec.h"
#include "support/trace.h"

int LDecodeDSS(LProgressDialog* dlg, LDSSDecode* d) {
    dlg->SetText("Decoding DSS File", 0);
    dlg->SetText(d->szDSSInFilePath, 1);
    dlg->SetProgress(0.0);
    LTrace("Process(LDSSDecode) unable to load dsscore.dll");
    dlg->ShowError(ComponentInstallFailedMessage("dss32").c_str());
    return LPROCESS_FAILED;
}

int LDecodeRealAudio(LProgressDialog* dlg, LReadAudioDecode* d) {
    char name[LMAX_PATH];
    LFile::_GetFileFromPath(name, d->szRAInFilePath);
    dlg->SetText("Decoding Real Audio", 0);
    dlg->SetText(name, 1);
    dlg->ShowError(kRealMissingMessage);
    return LPROCESS_FAILED;
}
