// The wave format record: built from a codec name, read from and written to the format file,
// tested against the codec layer; and the WAV sink chosen by format.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "formats/acm.h"
#include "formats/wav.h"
#include "support/fileops.h"
#include "support/fspath.h"
#include "support/trace.h"

#ifdef _WIN32
#define LStrCaseCmp _stricmp
#else
#define LStrCaseCmp strcasecmp
#endif

LWaveFileFormat::LWaveFileFormat() : LWaveFileFormat(44100, 2, "PCM") {}

LWaveFileFormat::LWaveFileFormat(int32_t sampleRate, int channels, const char* codecName) {
    std::memset(block_, 0, sizeof block_);
    uint16_t tag = LWAVE_FORMAT_PCM;
    int bits = 16;
    const char* name = codecName ? codecName : "";
    if (LStrCaseCmp(name, "PCM8") == 0) {
        bits = 8;
    } else if (LStrCaseCmp(name, "ALAW") == 0) {
        tag = LWAVE_FORMAT_ALAW;
        bits = 8;
    } else if (LStrCaseCmp(name, "ULAW") == 0 || LStrCaseCmp(name, "MULAW") == 0) {
        tag = LWAVE_FORMAT_MULAW;
        bits = 8;
    }
    LWaveFormatEx& f = Format();
    f.wFormatTag = tag;
    f.nChannels = uint16_t(channels);
    f.nSamplesPerSec = uint32_t(sampleRate);
    f.nAvgBytesPerSec = uint32_t(int64_t(channels) * sampleRate * bits / 8);
    f.nBlockAlign = uint16_t((channels * bits + 7) / 8);
    f.wBitsPerSample = uint16_t(bits);
    f.cbSize = 0;
}

int LWaveFileFormat::RecordBytes() const {
    int extra = Format().cbSize;
    if (extra > LWAVE_FORMAT_BLOCK_BYTES - 18) extra = LWAVE_FORMAT_BLOCK_BYTES - 18;
    return 18 + extra;
}

bool LWaveFileFormat::Load(const char* path) {
    LFile f;
    if (!f.Open(path)) return false;
    int32_t got = f.Read(block_, LWAVE_FORMAT_BLOCK_BYTES);
    // The extra bytes never reach past the block.
    if (Format().cbSize > LWAVE_FORMAT_BLOCK_BYTES - 18)
        Format().cbSize = LWAVE_FORMAT_BLOCK_BYTES - 18;
    return got > 0;
}

bool LWaveFileFormat::Save(const char* path) const {
    // Written beside the file and moved over it once complete: a full disk or a failed write
    // keeps the previous record rather than leaving a cut one that would load as another format.
    char temp[LMAX_PATH];
    const int n = std::snprintf(temp, sizeof temp, "%s.new", path);
    if (n < 0 || n >= int(sizeof temp)) return false;
    LFile f;
    if (!f.Create(temp)) return false;
    bool ok = f.Write(block_, LWAVE_FORMAT_BLOCK_BYTES) == LWAVE_FORMAT_BLOCK_BYTES;
    f.Close();
    std::error_code ec;
    if (ok) ok = LReplaceFile(temp, path);
    if (!ok) {
        LTrace("LWaveFileFormat::Save cannot write the format file");
        std::filesystem::remove(LFsPath(temp), ec);
        return false;
    }
    return true;
}

bool LWaveFileFormat::TestSupportedRecord(const LWaveFormatEx* record) {
    if (!record) return false;
    LWaveFormatEx pcm = LAcmPCM16Format(record->nChannels, record->nSamplesPerSec);
    if (LAcmStreamQuery(&pcm, record, 0)) return true;
    return LAcmStreamQuery(&pcm, record, LACM_OPEN_NONREALTIME);
}

LSinkRef LWaveOpenSink(const char* path, const LWaveFileFormat& format) {
    const LWaveFormatEx& f = format.Format();
    if (f.wFormatTag == LWAVE_FORMAT_PCM)
        return LWaveFile::OpenSinkPCM(path, int32_t(f.nSamplesPerSec), f.wBitsPerSample,
                                      f.nChannels);
    return LSinkRef(new LSNKACMFile(path, format));
}
