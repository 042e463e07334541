// 8- and 16-bit PCM WAV sources and the PCM WAV writer.
#include <algorithm>
#include <cstring>

#include "formats/wav.h"
#include "support/byteorder.h"
#include "support/trace.h"

namespace {

constexpr int64_t kMaxFrames = 0x7FFFFFFF;

// Reads and writes at the file's edge move about 256 KiB at a time (whole frames): a plain copy
// then runs at the disk's speed instead of paying one system call per 8192 frames, and the two
// buffers of a conversion still fit the processor's second-level cache.
constexpr int32_t kIoBytes = 256 << 10;
int32_t IoBufferBytes(int32_t frameSize) {
    return std::max(kIoBytes / frameSize, LSOUND_BLOCK_FRAMES) * frameSize;
}

// An RF64 file: the PCM header with a "ds64" chunk after "WAVE" that holds the 64-bit sizes;
// the 32-bit RIFF and data sizes say 0xFFFFFFFF ("see ds64").
constexpr int kDs64Bytes = 8 + 28;
constexpr int kRF64HeaderBytes = LWAVE_PCM_HEADER_BYTES + kDs64Bytes;

void MakeRF64Header(uint8_t* h, int channels, int32_t rate, int bytesPerSample, uint64_t data,
                    uint64_t frames) {
    uint8_t pcm[LWAVE_PCM_HEADER_BYTES];
    LWaveMakePCMHeader(pcm, channels, rate, bytesPerSample, LWAVE_STREAMING_SIZE,
                       LWAVE_STREAMING_SIZE);
    std::memcpy(h, pcm, 12);
    std::memcpy(h, "RF64", 4);
    std::memcpy(h + 12, "ds64", 4);
    StoreLE32(h + 16, kDs64Bytes - 8);
    StoreLE64(h + 20, data + kRF64HeaderBytes - 8);  // RIFF size
    StoreLE64(h + 28, data);                         // data size
    StoreLE64(h + 36, frames);                       // sample frames
    StoreLE32(h + 44, 0);                            // no size table
    std::memcpy(h + 48, pcm + 12, LWAVE_PCM_HEADER_BYTES - 12);
}

}  // namespace

// ---- sources ----

LSRCPCMFileBase::LSRCPCMFileBase(LFile&& file, int32_t sampleRate, int64_t dataSize,
                                 int bytesPerSample, int32_t peakValue, int channels)
    : LSoundSourceBase(sampleRate, channels, peakValue), file_(std::move(file)) {
    if (!file_.IsOpen()) {
        SetError(LSRC_ERR_OPEN);
        return;
    }
    dataStart_ = file_.Tell();
    if (dataStart_ < 0) dataStart_ = 0;
    frameSize_ = bytesPerSample * channels;
    if (frameSize_ <= 0) {
        SetError(LSRC_ERR_INVALID);
        frameSize_ = 2;
    }
    raw_.resize(size_t(LSOUND_BLOCK_FRAMES) * size_t(frameSize_));
    if (dataSize == LWAVE_STREAMING_SIZE) {
        LTrace("LSRCPCMFileBase::LSRCPCMFileBase Wav File Is Streaming");
        length_ = -1;
        return;
    }
    // A size field larger than what the file holds (a cut-off file) counts what is there.
    int64_t bytes = dataSize;
    const int64_t fileSize = file_.GetFileSizeBytes();
    if (fileSize >= 0) bytes = std::min(bytes, std::max<int64_t>(0, fileSize - dataStart_));
    length_ = int32_t(std::min(bytes / frameSize_, kMaxFrames));
}

int32_t LSRCPCMFileBase::GetEndSample() {
    if (length_ >= 0) return length_;
    uint32_t size = 0;
    if (LWaveReadDataSize(file_, dataStart_, size)) {
        if (size != LWAVE_STREAMING_SIZE) {
            LTrace("LSRCPCMFileBase::GetEndSample() No-longer-streaming detected");
            length_ = int32_t(std::min<int64_t>(size / uint32_t(frameSize_), kMaxFrames));
            return length_;
        }
    }
    int64_t fileSize = file_.GetFileSizeBytes();
    if (fileSize < 0) fileSize = 0;
    const int64_t frames = std::max<int64_t>(0, fileSize - dataStart_) / frameSize_;
    return int32_t(std::min(frames, kMaxFrames));
}

void LSRCPCMFileBase::Seek(int32_t frame) {
    position_ = frame;
    aheadAt_ = aheadEnd_ = 0;
    if (!file_.IsOpen()) return;
    int64_t offset = dataStart_;
    if (frame > 0) offset += int64_t(std::min(frame, GetEndSample())) * frameSize_;
    file_.Seek(offset);
}

void LSRCPCMFileBase::Read(int32_t* buffer, int32_t n) {
    if (n <= 0) return;
    const int ch = channels_;
    const int64_t p = position_;
    const int64_t end = p + n;
    position_ = int32_t(std::min<int64_t>(end, kMaxFrames));
    if (end <= 0 || !file_.IsOpen() || GetError() != LSRC_OK) {
        std::memset(buffer, 0, sizeof(int32_t) * size_t(n) * size_t(ch));
        return;
    }
    int32_t* out = buffer;
    int64_t want = n;
    if (p < 0) {
        std::memset(out, 0, sizeof(int32_t) * size_t(-p) * size_t(ch));
        out += -p * ch;
        want += p;
    }
    if (length_ >= 0 && end > length_) want = std::max<int64_t>(0, want - (end - length_));
    bool shortRead = false;
    while (want > 0 && !shortRead) {
        const int32_t frames = int32_t(std::min<int64_t>(want, LSOUND_BLOCK_FRAMES));
        const int32_t bytes = frames * frameSize_;
        const uint8_t* data = nullptr;
        const int32_t got = Fetch(bytes, data);
        // Whole frames only: a partial frame at the end is zeroed below.
        const int32_t whole = got / frameSize_;
        Convert(out, data, whole * ch);
        out += whole * ch;
        want -= whole;
        shortRead = got < bytes;
    }
    if (shortRead && length_ < 0) {
        // A file still being written: keep the file position in step with the frame position
        // so that the next read continues at the right frame.
        file_.Seek(dataStart_ + end * frameSize_);
    }
    const int64_t done = out - buffer;
    const int64_t total = int64_t(n) * ch;
    if (done < total) std::memset(out, 0, sizeof(int32_t) * size_t(total - done));
}

int32_t LSRCPCMFileBase::ReadPcm16(const uint8_t*& data, int32_t frames) {
    if (length_ < 0 || position_ < 0 || !file_.IsOpen() || GetError() != LSRC_OK) return 0;
    frames = std::min(frames, std::max(length_ - position_, 0));
    frames = std::min(frames, LSOUND_BLOCK_FRAMES);
    const int32_t whole = Fetch(frames * frameSize_, data) / frameSize_;
    position_ += whole;
    return whole;
}

int32_t LSRCPCMFileBase::Fetch(int32_t bytes, const uint8_t*& data) {
    if (length_ < 0) {
        data = raw_.data();
        return std::max(file_.Read(raw_.data(), bytes), 0);
    }
    int32_t got = 0;
    while (got < bytes) {
        if (aheadAt_ == aheadEnd_) {
            if (ahead_.empty()) ahead_.resize(size_t(IoBufferBytes(frameSize_)));
            aheadAt_ = 0;
            aheadEnd_ = std::max(file_.Read(ahead_.data(), int32_t(ahead_.size())), 0);
            if (aheadEnd_ == 0) break;
        }
        const int32_t part = std::min(bytes - got, aheadEnd_ - aheadAt_);
        // Served in place when one piece covers the request, else gathered in raw_.
        if (got == 0 && part == bytes) {
            data = ahead_.data() + aheadAt_;
            aheadAt_ += part;
            return part;
        }
        std::memcpy(raw_.data() + got, ahead_.data() + aheadAt_, size_t(part));
        aheadAt_ += part;
        got += part;
    }
    data = raw_.data();
    return got;
}

void LSRCPCM8File::Convert(int32_t* out, const uint8_t* raw, int32_t samples) {
    for (int32_t i = 0; i < samples; ++i) out[i] = LSampleFromU8(raw[i]);
}

void LSRCPCM16File::Convert(int32_t* out, const uint8_t* raw, int32_t samples) {
    for (int32_t i = 0; i < samples; ++i) out[i] = LSampleFrom16(int16_t(LoadLE16(raw + 2 * i)));
}

// ---- sinks ----

LSinkRef LWaveFile::OpenSinkPCM(const char* path, int32_t sampleRate, int bitsPerSample,
                                int channels) {
    if (bitsPerSample > 16) {
        LTrace(
            "LWaveFile::OpenSinkPCM BitsPerSample too large - use "
            "BUILD_SUPPORT_32BITSAMPLEFORMATS");
        return LSinkRef();
    }
    if (bitsPerSample <= 8) return LSinkRef(new LSNKPCM8File(path, sampleRate, 0, channels));
    return LSinkRef(new LSNKPCM16File(path, sampleRate, 0, channels));
}

LSNKPCMFileBase::LSNKPCMFileBase(const char* path, int32_t sampleRate, int32_t framesPresent,
                                 int bytesPerSample, int channels)
    : LSoundSinkBase(sampleRate, channels), bytesPerSample_(bytesPerSample) {
    frameSize_ = bytesPerSample_ * channels_;
    bool opened = framesPresent > 0 ? file_.OpenReadWrite(path) : file_.Create(path);
    if (!opened) {
        SetErrorFlags(GetErrorFlags() | LSNK_ERR_UNUSABLE);
        return;
    }
    uint8_t header[LWAVE_PCM_HEADER_BYTES];
    LWaveMakePCMHeader(header, channels_, sampleRate_, bytesPerSample_, LWAVE_STREAMING_SIZE,
                       LWAVE_STREAMING_SIZE);
    if (!file_.Seek(0) || file_.Write(header, sizeof header) != int32_t(sizeof header)) {
        file_.Close();
        SetErrorFlags(GetErrorFlags() | LSNK_ERR_UNUSABLE);
        return;
    }
    if (framesPresent > 0) {
        int64_t size = file_.GetFileSizeBytes();
        int64_t at = LWAVE_PCM_HEADER_BYTES + int64_t(framesPresent) * frameSize_;
        if (size >= 0 && size < at) at = size;
        file_.Seek(at);
        sPosition = framesPresent;
    }
    file_.Truncate();
    raw_.resize(size_t(IoBufferBytes(frameSize_)));
}

LSNKPCMFileBase::~LSNKPCMFileBase() {
    Close();
}

bool LSNKPCMFileBase::Flush() {
    if (fill_ == 0) return true;
    const int32_t bytes = fill_;
    fill_ = 0;
    if (IsUnusable() || file_.Write(raw_.data(), bytes) == bytes) return !IsUnusable();
    LTrace("LSNKPCMFileBase::Write Unable to write the file");
    MarkUnusable();
    return false;
}

bool LSNKPCMFileBase::Close() {
    if (!file_.IsOpen()) return false;
    Flush();
    const uint64_t dataBytes = uint64_t(sPosition) * uint64_t(frameSize_);
    uint8_t header[kRF64HeaderBytes];
    if (dataStart_ == kRF64HeaderBytes) {
        MakeRF64Header(header, channels_, sampleRate_, bytesPerSample_, dataBytes,
                       uint64_t(sPosition));
    } else {
        LWaveMakePCMHeader(header, channels_, sampleRate_, bytesPerSample_,
                           uint32_t(dataBytes) + 38, uint32_t(dataBytes));
    }
    // A file that failed keeps its streaming header: it never claims data it does not hold.
    bool ok = !IsUnusable() && file_.Seek(0) && file_.Write(header, dataStart_) == dataStart_;
    file_.Close();
    return ok;
}

int LSNKPCMFileBase::Finish(LProgressDialog* dlg) {
    if (!Close()) {
        LTrace("LSNKPCMFileBase::Finish Unable to complete the file");
        MarkUnusable();
    }
    return LSoundSinkBase::Finish(dlg);
}

int32_t LSNKPCMFileBase::Write(const int32_t* buffer, int32_t n) {
    Put(n, [&](uint8_t* to, int32_t first, int32_t frames) {
        Convert(to, buffer + size_t(first) * channels_, frames * channels_);
    });
    return 0;
}

void LSNKPCMFileBase::WritePcm16(const uint8_t* bytes, int32_t n) {
    Put(n, [&](uint8_t* to, int32_t first, int32_t frames) {
        std::memcpy(to, bytes + size_t(first) * frameSize_, size_t(frames) * frameSize_);
    });
}

template <class Fill>
void LSNKPCMFileBase::Put(int32_t n, Fill fill) {
    if (n <= 0) return;
    if (IsUnusable() || !file_.IsOpen()) {
        sPosition += n;
        return;
    }
    const int64_t frames = int64_t(sPosition) + n;
    if (frames > kMaxFrames) {
        LTrace("LSNKPCMFileBase::Write The file would pass the frames a writer can count");
        tooLarge_ = true;
        MarkUnusable();
        return;
    }
    if (dataStart_ == LWAVE_PCM_HEADER_BYTES && frames * frameSize_ > rf64From && !ToRF64()) {
        LTrace("LSNKPCMFileBase::Write Unable to continue the file as RF64");
        MarkUnusable();
        return;
    }
    sPosition += n;
    // Gathered into the buffer and written whenever it is full (a reader following the file
    // sees the data at most one buffer late).
    const int32_t room = int32_t(raw_.size()) / frameSize_;
    for (int32_t done = 0; done < n;) {
        const int32_t part = std::min(n - done, room - fill_ / frameSize_);
        fill(raw_.data() + fill_, done, part);
        fill_ += part * frameSize_;
        done += part;
        if (fill_ == room * frameSize_ && !Flush()) return;
    }
}

// Past what a RIFF header can count the file continues as RF64: the data moves up to make room
// for the "ds64" chunk (once, from the end backwards) and the header is rewritten.
bool LSNKPCMFileBase::ToRF64() {
    if (!Flush()) return false;
    const int64_t data = int64_t(sPosition) * frameSize_;
    std::vector<uint8_t> buffer(size_t(std::min<int64_t>(data, 1 << 20)));
    for (int64_t left = data; left > 0;) {
        const int32_t part = int32_t(std::min<int64_t>(left, int64_t(buffer.size())));
        left -= part;
        const int64_t from = LWAVE_PCM_HEADER_BYTES + left;
        if (!file_.Seek(from) || file_.Read(buffer.data(), part) != part ||
            !file_.Seek(from + kDs64Bytes) || file_.Write(buffer.data(), part) != part)
            return false;
    }
    uint8_t header[kRF64HeaderBytes];
    MakeRF64Header(header, channels_, sampleRate_, bytesPerSample_, uint64_t(data),
                   uint64_t(sPosition));
    dataStart_ = kRF64HeaderBytes;
    return file_.Seek(0) && file_.Write(header, kRF64HeaderBytes) == kRF64HeaderBytes &&
           file_.Seek(dataStart_ + data);
}

void LSNKPCMFileBase::Seek(int32_t frame) {
    if (frame > sPosition) {
        LTrace("LSNKPCMFileBase::Seek Position > sPosition");
        return;
    }
    if (frame < 0) {
        LTrace("LSNKPCMFileBase::Seek Position < 0");
        frame = 0;
    }
    sPosition = frame;
    if (!file_.IsOpen() || !Flush()) return;
    if (!file_.Seek(dataStart_ + int64_t(frame) * frameSize_) || !file_.Truncate()) MarkUnusable();
}

void LSNKPCM8File::Convert(uint8_t* raw, const int32_t* in, int32_t samples) {
    for (int32_t i = 0; i < samples; ++i) raw[i] = LSampleToU8(in[i]);
}

void LSNKPCM16File::Convert(uint8_t* raw, const int32_t* in, int32_t samples) {
    for (int32_t i = 0; i < samples; ++i) StoreLE16(raw + 2 * i, uint16_t(LSampleTo16(in[i])));
}
