// Wiring of the writers and settings dialogs. A writer that is not part of this build gives an
// unusable sink (the transfer refuses it and the conversion reports the failure).
#include "convert/writers.h"

#include <cstdio>

#include "app/registry.h"
#include "support/file.h"
#include "support/trace.h"

LSNKUnusable::LSNKUnusable(int32_t sampleRate, int channels)
    : LSoundSinkBase(sampleRate > 0 ? sampleRate : 44100, channels > 0 ? channels : 1) {
    SetErrorFlags(LSNK_ERR_UNUSABLE);
}

namespace {

LSinkRef Unavailable(const char* what, int32_t rate = 44100, int channels = 1) {
    LTrace(what);
    return new LSNKUnusable(rate, channels);
}

}  // namespace

LSinkRef LGenOpenAcmWavWriter(const char*, const uint8_t*) {
    return Unavailable("LGenSinkOpenSink no codec writer in this build");
}
LSinkRef LGenOpenAuWriter(const char*, int32_t rate, int channels) {
    return Unavailable("LGenSinkOpenSink no AU writer in this build", rate, channels);
}
LSinkRef LGenOpenAiffWriter(const char*, int32_t rate, int channels) {
    return Unavailable("LGenSinkOpenSink no AIFF writer in this build", rate, channels);
}
LSinkRef LGenOpenGsmWriter(const char*) {
    return Unavailable("LGenSinkOpenSink no GSM writer in this build", 8000, 1);
}
LSinkRef LGenOpenRawWriter(const char*, const LRawSettings& s) {
    return Unavailable("LGenSinkOpenSink no raw writer in this build", int32_t(s.sampleRate),
                       s.channels);
}
LSinkRef LGenOpenMp3Writer(const char*, const LMP3EncodeSettings&, int channels, int32_t rate) {
    return Unavailable("LGenSinkOpenSink no MP3 encoder pipe in this build", rate, channels);
}
LSinkRef LGenOpenOggWriter(const char*, const LOggEncodeSettings&, int channels, int32_t rate) {
    return Unavailable("LGenSinkOpenSink no Ogg encoder pipe in this build", rate, channels);
}
LSinkRef LGenOpenFlacWriter(const char*, const LFlacEncodeSettings& s) {
    return Unavailable("LGenSinkOpenSink no FLAC encoder pipe in this build",
                       int32_t(s.sampleRate), s.channels);
}
LSinkRef LGenOpenAacWriter(const char*, const LAACEncodeSettings&, int channels, int32_t rate) {
    return Unavailable("LGenSinkOpenSink no AAC encoder pipe in this build", rate, channels);
}

bool LGenComponentInstalled(const char* component) {
    char key[LMAX_PATH], path[LMAX_PATH];
    std::snprintf(key, sizeof key, "Software\\Velmora\\Components\\%s", component);
    return RegistryReadString(LRegistryRoot::LocalMachine, key, "Path", path, "");
}

bool LGenInstallComponent(const char*, LWindowHandle) {
    LTrace("LGenSinkIsSupported no component installer in this build");
    return false;
}

int LGenWaveFormatDialog(LWindowHandle, uint8_t*, int) { return 0; }
int LGenEncoderDialog(const char*, LWindowHandle, void*) { return 0; }
