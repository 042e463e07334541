// DCT dictation containers: checks the container and copies the embedded sound file out.
#pragma once

#include "support/file.h"
#include "support/progress.h"

// The data record of the copy-out process (both paths owned by the caller).
struct LDCTDecode {
    char szDCTInFilePath[LMAX_PATH];
    char szWavOutFilePath[LMAX_PATH];
};

// The address the encrypted-file message points to.
extern const char* const kDCTTranscriptionPage;

// 0: the temporary file holds the sound data; 1: cancelled; 2: failed (message shown, except
// when the container cannot be opened, which the caller reports).
int LDecodeDCT(LProgressDialog* dlg, LDCTDecode* data);
