// Generic raw data source and sink over the seven sample codings (and the wider codings of
// container formats), and the LRawFile factories.
#include "formats/raw.h"

#include <algorithm>
#include <cstring>

#include "formats/g711.h"
#include "formats/vox.h"
#include "store/encsettings.h"
#include "support/byteorder.h"
#include "support/trace.h"

namespace {

struct CodingULaw {
    static constexpr int kBytes = 1;
    static int32_t Decode(const uint8_t* b) { return G711ULawExpand(b[0]); }
    static void Encode(int32_t x, uint8_t* b) { b[0] = G711ULawCompress(x); }
};
struct CodingALaw {
    static constexpr int kBytes = 1;
    static int32_t Decode(const uint8_t* b) { return G711ALawExpand(b[0]); }
    static void Encode(int32_t x, uint8_t* b) { b[0] = G711ALawCompress(x); }
};
struct Coding16LE {
    static constexpr int kBytes = 2;
    static int32_t Decode(const uint8_t* b) { return LSampleFrom16(int16_t(LoadLE16(b))); }
    static void Encode(int32_t x, uint8_t* b) { StoreLE16(b, uint16_t(LSampleTo16(x))); }
};
struct Coding16BE {
    static constexpr int kBytes = 2;
    static int32_t Decode(const uint8_t* b) { return LSampleFrom16(int16_t(LoadBE16(b))); }
    static void Encode(int32_t x, uint8_t* b) { StoreBE16(b, uint16_t(LSampleTo16(x))); }
};
struct Coding8U {
    static constexpr int kBytes = 1;
    static int32_t Decode(const uint8_t* b) { return LSampleFromU8(b[0]); }
    static void Encode(int32_t x, uint8_t* b) { b[0] = LSampleToU8(x); }
};
struct Coding8S {
    static constexpr int kBytes = 1;
    static int32_t Decode(const uint8_t* b) { return int32_t(int8_t(b[0])) * 4096; }
    static void Encode(int32_t x, uint8_t* b) { b[0] = uint8_t(LSampleToU8(x) ^ 0x80); }
};

// The N bytes of a field as one number, in the file's byte order.
template <int N, bool kLittle>
uint64_t LoadField(const uint8_t* b) {
    uint64_t bits = 0;
    for (int i = 0; i < N; ++i) bits = bits << 8 | b[kLittle ? N - 1 - i : i];
    return bits;
}

// IEEE floats of N bytes (read only).
template <int N, bool kLittle>
struct CodingFloat {
    static constexpr int kBytes = N;
    static int32_t Decode(const uint8_t* b) {
        const uint64_t bits = LoadField<N, kLittle>(b);
        double v;
        if constexpr (N == 4) {
            const uint32_t narrow = uint32_t(bits);
            float f;
            std::memcpy(&f, &narrow, 4);
            v = f;
        } else {
            std::memcpy(&v, &bits, 8);
        }
        return LSampleFrom16(LSample16FromFloat(v));
    }
};

// Signed integers of 3 or 4 bytes (read only), cut to the internal scale. The top stays below
// the value that would round past the largest 16-bit sample on the way out.
template <int N, bool kLittle>
struct CodingWide {
    static constexpr int kBytes = N;
    static int32_t Decode(const uint8_t* b) {
        const int32_t v = int32_t(uint32_t(LoadField<N, kLittle>(b)) << (32 - 8 * N));
        return std::min(v >> 12, LSAMPLE_FULL_SCALE + 7);
    }
};

template <class Coding>
LSourceRef Wide(LFile& file, int32_t sampleRate, int64_t dataBytes, int32_t peak, int channels) {
    return new LRawFileDataSoundSource<Coding>(file, sampleRate, dataBytes, peak, channels);
}

int32_t ClampFrames(int64_t frames) {
    return int32_t(std::clamp<int64_t>(frames, 0, INT32_MAX));
}

}  // namespace

int RawCodecBytes(int32_t codec) {
    switch (codec) {
        case LRAW_CODEC_ULAW:
        case LRAW_CODEC_ALAW:
        case LRAW_CODEC_PCM8U:
        case LRAW_CODEC_PCM8S:
            return 1;
        case LRAW_CODEC_PCM16LE:
        case LRAW_CODEC_PCM16BE:
            return 2;
        default:
            return 0;
    }
}

int32_t RawCodecPeak(int32_t codec) {
    return (codec == LRAW_CODEC_ULAW || codec == LRAW_CODEC_ALAW) ? kG711Peak : LSAMPLE_FULL_SCALE;
}

// ---- source ----

LRawFileDataSoundSourceBase::LRawFileDataSoundSourceBase(LFile& file, int32_t sampleRate,
                                                         int64_t dataBytes, int bytesPerSample,
                                                         int32_t peakValue, int channels)
    : LSoundSourceBase(sampleRate, channels, peakValue),
      file_(std::move(file)),
      frameSize_(bytesPerSample * channels),
      bytesPerSample_(bytesPerSample) {
    file = LFile();
    if (!file_.IsOpen()) {
        LTrace("LRawFileDataSoundSourceBase::LRawFileDataSoundSourceBase Invalid file handle");
        SetError(LSRC_ERR_OPEN);
    } else {
        dataStart_ = std::max<int64_t>(file_.Tell(), 0);
    }
    if (frameSize_ <= 0) {
        LTrace("LRawFileDataSoundSourceBase::LRawFileDataSoundSourceBase Frame size 0");
        SetError(LSRC_ERR_INVALID);
        frameSize_ = 2;
        bytesPerSample_ = bytesPerSample > 0 ? bytesPerSample : 2;
    }
    if (dataBytes >= 0) lengthFrames_ = ClampFrames(dataBytes / frameSize_);
    buffer_.resize(size_t(LSOUND_BLOCK_FRAMES) * size_t(frameSize_));
}

int32_t LRawFileDataSoundSourceBase::GetEndSample() {
    if (lengthFrames_ >= 0) return lengthFrames_;
    const int64_t size = file_.IsOpen() ? file_.GetFileSizeBytes() : -1;
    if (size < 0) return 0;
    return ClampFrames((size - dataStart_) / frameSize_);
}

void LRawFileDataSoundSourceBase::Read(int32_t* buffer, int32_t n) {
    if (n <= 0) return;
    const int channels = GetChannels();
    const int64_t p = position_;
    position_ = int32_t(std::min<int64_t>(p + n, INT32_MAX));
    std::memset(buffer, 0, sizeof(int32_t) * size_t(n) * size_t(channels));
    // A source in error (no file, no usable frame layout) delivers silence.
    if (p + n <= 0 || !file_.IsOpen() || GetError() != LSRC_OK) return;
    int32_t* out = buffer;
    int64_t first = p;
    if (p < 0) {
        out += size_t(-p) * size_t(channels);
        first = 0;
    }
    int64_t want = p + n - first;
    if (lengthFrames_ >= 0)
        want = std::max<int64_t>(0, std::min<int64_t>(p + n, lengthFrames_) - first);
    while (want > 0) {
        const int32_t frames = int32_t(std::min<int64_t>(want, LSOUND_BLOCK_FRAMES));
        const int32_t got = file_.Read(buffer_.data(), frames * frameSize_);
        if (got <= 0) break;
        const int32_t samples = got / bytesPerSample_;
        Convert(buffer_.data(), samples, out);
        out += samples;
        if (got < frames * frameSize_) break;
        want -= frames;
    }
}

void LRawFileDataSoundSourceBase::Seek(int32_t frame) {
    position_ = frame;
    if (!file_.IsOpen()) return;
    int64_t target = dataStart_;
    if (frame > 0) {
        int64_t f = frame;
        if (lengthFrames_ >= 0) f = std::min<int64_t>(f, lengthFrames_);
        target += f * frameSize_;
    }
    file_.Seek(target);
}

// ---- sink ----

int32_t RawNoHeader(LRawFileDataSoundSinkBase&, bool) {
    return 0;
}

LRawFileDataSoundSinkBase::LRawFileDataSoundSinkBase(const char* path, int32_t sampleRate,
                                                     LRawHeaderWriter headerWriter,
                                                     int bytesPerSample, int32_t framesPresent,
                                                     int channels)
    : LSoundSinkBase(sampleRate, channels),
      headerWriter_(headerWriter ? headerWriter : RawNoHeader),
      frameSize_(std::max(bytesPerSample, 1) * GetChannels()) {
    sPosition = std::max(framesPresent, 0);
    buffer_.resize(size_t(LSOUND_BLOCK_FRAMES) * size_t(frameSize_));
    if (!file_.Create(path)) {
        LTrace("LRawFileDataSoundSinkBase::LRawFileDataSoundSinkBase Unable to create file");
        errorFlags_ |= LSNK_ERR_UNUSABLE;
        return;
    }
    headerSize_ = headerWriter_(*this, false);
    if (headerSize_ < 0) {
        LTrace("LRawFileDataSoundSinkBase::LRawFileDataSoundSinkBase Unable to write the header");
        headerSize_ = 0;
        MarkUnusable();
    }
}

LRawFileDataSoundSinkBase::~LRawFileDataSoundSinkBase() {
    Close();
}

bool LRawFileDataSoundSinkBase::Close() {
    if (!file_.IsOpen()) return false;
    // A file that failed keeps its first header: it never claims data it does not hold.
    const bool ok = !IsUnusable() && file_.Seek(0) && headerWriter_(*this, true) >= 0;
    file_.Close();
    return ok;
}

int LRawFileDataSoundSinkBase::Finish(LProgressDialog* dlg) {
    if (!Close()) {
        LTrace("LRawFileDataSoundSinkBase::Finish Unable to complete the file");
        MarkUnusable();
    }
    return LSoundSinkBase::Finish(dlg);
}

int32_t LRawFileDataSoundSinkBase::Write(const int32_t* buffer, int32_t n) {
    if (n <= 0) return 1;
    sPosition += n;
    if (!file_.IsOpen() || IsUnusable()) return 0;
    const int channels = GetChannels();
    while (n > 0) {
        const int32_t frames = std::min(n, LSOUND_BLOCK_FRAMES);
        Convert(buffer, frames * channels, buffer_.data());
        const int32_t bytes = frames * frameSize_;
        if (file_.Write(buffer_.data(), bytes) != bytes) {
            LTrace("LRawFileDataSoundSinkBase::Write Unable to write the file");
            MarkUnusable();
            return 0;
        }
        buffer += size_t(frames) * size_t(channels);
        n -= frames;
    }
    return 1;
}

void LRawFileDataSoundSinkBase::Seek(int32_t frame) {
    if (frame > sPosition) return;
    sPosition = std::max(frame, 0);
    if (!file_.IsOpen()) return;
    if (!file_.Seek(int64_t(headerSize_) + int64_t(sPosition) * frameSize_) || !file_.Truncate())
        MarkUnusable();
}

// ---- factories ----

LSourceRef LRawFile::OpenDataSource(LFile& file, int32_t codec, int32_t sampleRate, int channels,
                                    int64_t dataBytes) {
    const int32_t peak = RawCodecPeak(codec);
    switch (codec) {
        case LRAW_CODEC_ULAW:
            return new LRawFileDataSoundSource<CodingULaw>(file, sampleRate, dataBytes, peak,
                                                           channels);
        case LRAW_CODEC_ALAW:
            return new LRawFileDataSoundSource<CodingALaw>(file, sampleRate, dataBytes, peak,
                                                           channels);
        case LRAW_CODEC_PCM16LE:
            return new LRawFileDataSoundSource<Coding16LE>(file, sampleRate, dataBytes, peak,
                                                           channels);
        case LRAW_CODEC_PCM8U:
            return new LRawFileDataSoundSource<Coding8U>(file, sampleRate, dataBytes, peak,
                                                         channels);
        case LRAW_CODEC_PCM8S:
            return new LRawFileDataSoundSource<Coding8S>(file, sampleRate, dataBytes, peak,
                                                         channels);
        case LRAW_CODEC_PCM16BE:
            return new LRawFileDataSoundSource<Coding16BE>(file, sampleRate, dataBytes, peak,
                                                           channels);
        case LRAW_CODEC_FLOAT32BE:
            return Wide<CodingFloat<4, false>>(file, sampleRate, dataBytes, peak, channels);
        case LRAW_CODEC_FLOAT64BE:
            return Wide<CodingFloat<8, false>>(file, sampleRate, dataBytes, peak, channels);
        case LRAW_CODEC_FLOAT32LE:
            return Wide<CodingFloat<4, true>>(file, sampleRate, dataBytes, peak, channels);
        case LRAW_CODEC_FLOAT64LE:
            return Wide<CodingFloat<8, true>>(file, sampleRate, dataBytes, peak, channels);
        case LRAW_CODEC_PCM24LE:
            return Wide<CodingWide<3, true>>(file, sampleRate, dataBytes, peak, channels);
        case LRAW_CODEC_PCM24BE:
            return Wide<CodingWide<3, false>>(file, sampleRate, dataBytes, peak, channels);
        case LRAW_CODEC_PCM32LE:
            return Wide<CodingWide<4, true>>(file, sampleRate, dataBytes, peak, channels);
        case LRAW_CODEC_PCM32BE:
            return Wide<CodingWide<4, false>>(file, sampleRate, dataBytes, peak, channels);
        default:
            LTrace("LRawFile::OpenDataSource Invalid codec");
            return new LSRCNull(LSRC_ERR_PLACEHOLDER);
    }
}

LSinkRef LRawFile::OpenDataSink(const char* path, int32_t codec, int32_t sampleRate, int channels,
                                LRawHeaderWriter headerWriter) {
    switch (codec) {
        case LRAW_CODEC_ULAW:
            return new LRawFileDataSoundSink<CodingULaw>(path, sampleRate, headerWriter, channels);
        case LRAW_CODEC_ALAW:
            return new LRawFileDataSoundSink<CodingALaw>(path, sampleRate, headerWriter, channels);
        case LRAW_CODEC_PCM16LE:
            return new LRawFileDataSoundSink<Coding16LE>(path, sampleRate, headerWriter, channels);
        case LRAW_CODEC_PCM8U:
            return new LRawFileDataSoundSink<Coding8U>(path, sampleRate, headerWriter, channels);
        case LRAW_CODEC_PCM8S:
            return new LRawFileDataSoundSink<Coding8S>(path, sampleRate, headerWriter, channels);
        case LRAW_CODEC_PCM16BE:
            return new LRawFileDataSoundSink<Coding16BE>(path, sampleRate, headerWriter, channels);
        default:
            return LSinkRef();
    }
}

LSourceRef LRawFile::OpenSource(const char* path, int32_t sampleRate, int channels, int32_t codec) {
    if (codec == LRAW_CODEC_VOX) return new LSRCVOX(path, sampleRate);
    if (RawCodecBytes(codec) == 0) {
        LTrace("LRawFile::OpenSource Invalid codec");
        return new LSRCNull(LSRC_ERR_PLACEHOLDER);
    }
    LFile file;
    file.Open(path);
    return OpenDataSource(file, codec, sampleRate, channels, -1);
}

LSinkRef LRawFile::OpenSink(const char* path, int32_t sampleRate, int channels, int32_t codec) {
    if (codec == LRAW_CODEC_VOX) return new LSNKVOX(path, sampleRate);
    return OpenDataSink(path, codec, sampleRate, channels, RawNoHeader);
}

LSourceRef LRawFile::OpenSource(const char* path, const LRawSettings& settings) {
    return OpenSource(path, int32_t(settings.sampleRate), settings.channels ? settings.channels : 1,
                      int32_t(settings.codec));
}

LSinkRef LRawFile::OpenSink(const char* path, const LRawSettings& settings) {
    return OpenSink(path, int32_t(settings.sampleRate), settings.channels ? settings.channels : 1,
                    int32_t(settings.codec));
}
