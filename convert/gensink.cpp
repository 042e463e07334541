// LGenSinkIsSupported, LGenSinkCheckSettings and LGenSinkOpenSink by the output format table,
// and the WAV output format file.
#include "convert/gensink.h"

#include <cstring>

#include "convert/formattable.h"
#include "convert/messages.h"
#include "external/components.h"
#include "formats/acm.h"
#include "support/file.h"
#include "support/trace.h"

void LGenWavFormatFilePath(char* dest) {
    LFile::GetUserDataFolder(dest);
    LFile::FilePathCat(dest, "WavCodec.wff");
}

static_assert(LWAV_FORMAT_FILE_BYTES == LWAVE_FORMAT_BLOCK_BYTES);

void LGenLoadWavFormat(uint8_t* block, int32_t sampleRate, int channels) {
    LWaveFileFormat format(sampleRate, channels, "PCM");
    char path[LMAX_PATH];
    LGenWavFormatFilePath(path);
    format.Load(path);  // a missing file is not an error: 16-bit PCM it is
    std::memcpy(block, format.Bytes(), LWAV_FORMAT_FILE_BYTES);
}

bool LGenSaveWavFormat(const uint8_t* block) {
    LWaveFileFormat format;
    std::memcpy(format.Bytes(), block, LWAV_FORMAT_FILE_BYTES);
    char path[LMAX_PATH];
    LGenWavFormatFilePath(path);
    if (!format.Save(path)) {
        LTrace("LGenSaveWavFormat cannot create WavCodec.wff");
        return false;
    }
    return true;
}

std::string LGenWavFormatNotSaved() {
    char path[LMAX_PATH];
    LGenWavFormatFilePath(path);
    return LFormatMessage(
        "Cannot save the WAV output format to the file \"%s\". Check there is "
        "free space on the disk and you have write access.",
        path);
}

bool LGenSinkIsSupported(const char* extension, LUser& user) {
    const LOutputFormat* format = LFindOutputFormat(extension);
    if (!format) return false;
    if (!format->component) return true;
    char path[LMAX_PATH];
    return ComponentReadPath(format->component, path) || user.InstallComponent(format->component);
}

int LGenSinkCheckSettings(const char* extension, LUser& user, int32_t sampleRateHint,
                          int channelHint) {
    const LOutputFormat* format = LFindOutputFormat(extension);
    if (!format) return 0;
    return format->settings ? format->settings(user, sampleRateHint, channelHint) : 1;
}

void LGenSinkOpenSink(LSinkRef& out, const char* path, int32_t sampleRate, int channels) {
    char ext[LMAX_PATH];
    GetFileExtension(ext, path);
    out.reset();
    if (const LOutputFormat* format = LFindOutputFormat(ext))
        out = format->open(path, sampleRate, channels);
}
