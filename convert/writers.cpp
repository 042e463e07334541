// Wiring of the writers and settings dialogs. A writer that is not part of this build gives an
// unusable sink (the transfer refuses it and the conversion reports the failure).
#include "convert/writers.h"

#include <cstdio>
#include <cstring>

#include "external/components.h"
#include "external/encdialogs.h"
#include "external/encoders.h"
#include "formats/acm.h"
#include "formats/aiff.h"
#include "formats/au.h"
#include "formats/gsm.h"
#include "formats/raw.h"
#include "support/file.h"
#include "support/trace.h"

LSNKUnusable::LSNKUnusable(int32_t sampleRate, int channels)
    : LSoundSinkBase(sampleRate > 0 ? sampleRate : 44100, channels > 0 ? channels : 1) {
    SetErrorFlags(LSNK_ERR_UNUSABLE);
}

LSinkRef LGenOpenAcmWavWriter(const char* path, const uint8_t* formatBlock) {
    LWaveFileFormat format;
    std::memcpy(format.Bytes(), formatBlock, LWAVE_FORMAT_BLOCK_BYTES);
    return LWaveOpenSink(path, format);
}
LSinkRef LGenOpenAuWriter(const char* path, int32_t rate, int channels) {
    return LAuFile::OpenSink(path, rate, channels);
}
LSinkRef LGenOpenAiffWriter(const char* path, int32_t rate, int channels) {
    return LAifFile::OpenSink(path, rate, channels);
}
LSinkRef LGenOpenGsmWriter(const char* path) {
    return new LGSMFileSink(path);
}
LSinkRef LGenOpenRawWriter(const char* path, const LRawSettings& s) {
    return LRawFile::OpenSink(path, s);
}
LSinkRef LGenOpenMp3Writer(const char* path, const LMP3EncodeSettings& s, int channels,
                           int32_t rate) {
    return LMP3EncodePipe::OpenMp3Sink(path, s, channels, rate);
}
LSinkRef LGenOpenOggWriter(const char* path, const LOggEncodeSettings& s, int channels,
                           int32_t rate) {
    return LOggEncodePipe::OpenOggSink(path, s, channels, rate);
}
LSinkRef LGenOpenFlacWriter(const char* path, const LFlacEncodeSettings& s) {
    return LFlacEncodePipe::OpenFlacSink(path, s);
}
LSinkRef LGenOpenAacWriter(const char* path, const LAACEncodeSettings& s, int channels,
                           int32_t rate) {
    return LAACEncodePipe::OpenAACSink(path, s, channels, rate);
}

bool LGenComponentInstalled(const char* component) {
    char path[LMAX_PATH];
    return ComponentReadPath(component, path);
}

bool LGenInstallComponent(const char* component, LWindowHandle owner) {
    LProcessGetComponentPath record;
    record.name = component;
    LProgressProcess<LProcessGetComponentPath> dlg("Install-on-Demand", &record);
    return dlg.Run(owner) && dlg.status == LPROCESS_OK;
}

int LGenWaveFormatDialog(LWindowHandle owner, uint8_t* formatBlock, int channels) {
    LWaveFileFormat format;
    std::memcpy(format.Bytes(), formatBlock, LWAVE_FORMAT_BLOCK_BYTES);
    if (!LWaveFormatChoose(owner, format, channels, "Select Wave File Format")) return 0;
    std::memcpy(formatBlock, format.Bytes(), LWAVE_FORMAT_BLOCK_BYTES);
    return 1;
}
int LGenEncoderDialog(const char* extension, LWindowHandle owner, void* record) {
    return LEncoderSettingsDialog(extension, owner, record);
}
