// LGenSinkIsSupported, LGenSinkCheckSettings and LGenSinkOpenSink: the output format table.
#include "convert/gensink.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "store/encsettings.h"
#include "convert/messages.h"
#include "convert/readers.h"
#include "convert/ui.h"
#include "convert/writers.h"
#include "formats/acm.h"
#include "formats/littleendian.h"
#include "formats/wav.h"
#include "support/file.h"
#include "support/trace.h"

namespace {

bool ExtIs(const char* ext, const char* a) {
    return strcasecmp(ext, a) == 0;
}

constexpr const char* kOwnFormats[] = {".wav", ".au", ".aif", ".aiff", ".gsm", ".vox", ".raw"};

// The encoder component of an extension, or null.
const char* ComponentOf(const char* ext) {
    if (ExtIs(ext, ".mp3")) return "mp3el";
    if (ExtIs(ext, ".ogg")) return "oggenc";
    if (ExtIs(ext, ".flac")) return "flacenc";
    if (ExtIs(ext, ".aac") || ExtIs(ext, ".m4a")) return "aacenc";
    return nullptr;
}

}  // namespace

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

bool LGenSinkIsSupported(const char* extension, LWindowHandle owner) {
    for (const char* own : kOwnFormats)
        if (ExtIs(extension, own)) return true;
    const char* component = ComponentOf(extension);
    if (!component) return false;
    if (LGenComponentInstalled(component)) return true;
    return LGenInstallComponent(component, owner);
}

int LGenSinkCheckSettings(const char* extension, LWindowHandle owner, int32_t sampleRateHint,
                          int channelHint) {
    if (ExtIs(extension, ".wav")) {
        alignas(4) uint8_t block[LWAV_FORMAT_FILE_BYTES];
        LGenLoadWavFormat(block, sampleRateHint, channelHint);
        if (LoadLE16(block) == 1) {
            if (sampleRateHint) StoreLE32(block + 4, uint32_t(sampleRateHint));
            if (channelHint) StoreLE16(block + 2, uint32_t(channelHint));
        }
        if (LGenWaveFormatDialog(owner, block, channelHint) != 1) return 0;
        if (!LGenSaveWavFormat(block)) {
            LShowErrorBox(owner, LGenWavFormatNotSaved().c_str());
            return 0;
        }
        return 1;
    }
    if (ExtIs(extension, ".au") || ExtIs(extension, ".aiff") || ExtIs(extension, ".aif") ||
        ExtIs(extension, ".gsm"))
        return 1;
    if (ExtIs(extension, ".vox") || ExtIs(extension, ".raw")) {
        const bool raw = ExtIs(extension, ".raw");
        LRawSettings s(raw ? LRawSettings::kRawSection : LRawSettings::kVoxSection);
        s.Load();
        if (raw && sampleRateHint) s.sampleRate = uint32_t(sampleRateHint);
        if (raw && channelHint) s.channels = uint8_t(channelHint);
        return LGenRawSettingsDialog(owner, s) == 1 ? 1 : 0;
    }
    if (ExtIs(extension, ".mp3")) {
        LMP3EncodeSettings s;
        s.Load();
        return LGenEncoderDialog(extension, owner, &s) == 1 ? 1 : 0;
    }
    if (ExtIs(extension, ".ogg")) {
        LOggEncodeSettings s;
        s.Load();
        if (channelHint) s.channels = uint8_t(channelHint);
        return LGenEncoderDialog(extension, owner, &s) == 1 ? 1 : 0;
    }
    if (ExtIs(extension, ".flac")) {
        LFlacEncodeSettings s;
        s.Load();
        if (sampleRateHint) s.sampleRate = uint32_t(sampleRateHint);
        if (channelHint) s.channels = uint8_t(channelHint);
        return LGenEncoderDialog(extension, owner, &s) == 1 ? 1 : 0;
    }
    if (ExtIs(extension, ".aac") || ExtIs(extension, ".m4a")) {
        LAACEncodeSettings s;
        s.Load();
        return LGenEncoderDialog(extension, owner, &s) == 1 ? 1 : 0;
    }
    return 0;
}

void LGenSinkOpenSink(LSinkRef& out, const char* path, int32_t sampleRate, int channels) {
    char ext[LMAX_PATH];
    GetFileExtension(ext, path);
    out.reset();
    if (ExtIs(ext, ".wav")) {
        alignas(4) uint8_t block[LWAV_FORMAT_FILE_BYTES];
        LGenLoadWavFormat(block, sampleRate, channels);
        if (LoadLE16(block) == 1) {
            const int ch = int(LoadLE16(block + 2));
            const int32_t rate = int32_t(LoadLE32(block + 4));
            const int bits = int(LoadLE16(block + 14));
            if (ch < 1 || ch > 255 || rate < 1 || rate > 196000 || bits < 1) {
                LTrace("LGenSinkOpenSink WavCodec.wff holds an invalid PCM format");
                out = new LSNKUnusable(sampleRate, channels);
                return;
            }
            out = LWaveFile::OpenSinkPCM(path, rate, bits, ch);
        } else {
            out = LGenOpenAcmWavWriter(path, block);
        }
    } else if (ExtIs(ext, ".mp3")) {
        LMP3EncodeSettings s;
        s.Load();
        out = LGenOpenMp3Writer(path, s, channels, sampleRate);
    } else if (ExtIs(ext, ".au")) {
        out = LGenOpenAuWriter(path, sampleRate, channels);
    } else if (ExtIs(ext, ".aiff") || ExtIs(ext, ".aif")) {
        out = LGenOpenAiffWriter(path, sampleRate, channels);
    } else if (ExtIs(ext, ".gsm")) {
        out = LGenOpenGsmWriter(path);
    } else if (ExtIs(ext, ".vox") || ExtIs(ext, ".raw")) {
        LRawSettings s(ExtIs(ext, ".vox") ? LRawSettings::kVoxSection : LRawSettings::kRawSection);
        s.Load();
        out = LGenOpenRawWriter(path, s);
    } else if (ExtIs(ext, ".ogg")) {
        LOggEncodeSettings s;
        s.Load();
        out = LGenOpenOggWriter(path, s, channels, sampleRate);
    } else if (ExtIs(ext, ".flac")) {
        LFlacEncodeSettings s;
        s.Load();
        out = LGenOpenFlacWriter(path, s);
    } else if (ExtIs(ext, ".aac") || ExtIs(ext, ".m4a")) {
        LAACEncodeSettings s;
        s.Load();
        out = LGenOpenAacWriter(path, s, channels, sampleRate);
    }
}
