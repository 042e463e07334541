// CAF files the CAF reader leaves to the platform decoder: Apple Lossless rewrapped as MP4 first,
// which the platform decoders read (they read no CAF).
#include <cstdio>

#include "external/platdec.h"
#include "formats/cafmp4.h"
#include "support/fileops.h"

int LDecodeCafAsMp4(LProgressDialog* dlg, LCafDecode* d) {
    LDxLoadToWav platform{};
    std::snprintf(platform.szWavOutFilePath, LMAX_PATH, "%s", d->szWavOutFilePath);
    char mp4[LMAX_PATH];
    const int n = std::snprintf(mp4, LMAX_PATH, "%s.m4a", d->szWavOutFilePath);
    const bool rewrapped = n > 0 && n < LMAX_PATH && LCafRewrapToMp4(d->szCafInFilePath, mp4);
    std::snprintf(platform.szInFilePath, LMAX_PATH, "%s", rewrapped ? mp4 : d->szCafInFilePath);
    const int status = LPlatformDecodeToWav(dlg, &platform);
    if (rewrapped) LDeleteFile(mp4);
    return status;
}
