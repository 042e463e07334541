// The codec layer on systems without an Audio Compression Manager: our own G.711, IMA and
// Microsoft ADPCM codecs, and wide integer and floating-point PCM, behind the stream interface.
#include "formats/acm_codec.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "core/sound.h"
#include "formats/g711.h"
#include "formats/gsm610.h"
#include "formats/posix/acm_mp3.h"
#include "formats/posix/adpcm_codec.h"
#include "support/byteorder.h"

static_assert(std::endian::native == std::endian::little, "PCM buffers are little-endian");

namespace {

enum class Codec { None, Pcm, Float, Alaw, Ulaw, Ima, MsAdpcm, Gsm, Mp3 };

// What a compressed-side format record asks for.
struct CodecInfo {
    Codec codec = Codec::None;
    int channels = 0;
    int blockAlign = 0;
    int framesPerBlock = 1;
    int containerBytes = 0;  // PCM and float: bytes per sample
    int numCoef = 0;         // Microsoft ADPCM coefficient table
    uint32_t rate = 0;
    int16_t coef1[256] = {};
    int16_t coef2[256] = {};
};

const uint8_t* Extra(const LWaveFormatEx* f) {
    return reinterpret_cast<const uint8_t*>(f) + 18;
}

// The sub-format GUID of an extensible record ends in this fixed tail after its 32-bit tag.
constexpr uint8_t kGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                   0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool Describe(const LWaveFormatEx* f, bool encoding, CodecInfo& info) {
    info = CodecInfo{};
    int ch = f->nChannels;
    int align = f->nBlockAlign;
    if (ch <= 0 || f->nSamplesPerSec == 0) return false;
    info.channels = ch;
    info.rate = f->nSamplesPerSec;
    info.blockAlign = align;
    uint16_t tag = f->wFormatTag;
    int bits = f->wBitsPerSample;
    if (tag == LWAVE_FORMAT_EXTENSIBLE) {
        if (encoding || f->cbSize < 22) return false;
        const uint8_t* x = Extra(f);
        uint32_t sub = LoadLE32(x + 6);
        if (std::memcmp(x + 10, kGuidTail, sizeof kGuidTail) != 0) return false;
        if (sub != LWAVE_FORMAT_PCM && sub != LWAVE_FORMAT_IEEE_FLOAT) return false;
        tag = uint16_t(sub);
    }
    switch (tag) {
        case LWAVE_FORMAT_PCM:
        case LWAVE_FORMAT_IEEE_FLOAT: {
            if (align % ch != 0) return false;
            int bytes = align / ch;
            if (bits <= 0 || bits > 8 * bytes) return false;
            if (tag == LWAVE_FORMAT_PCM && (bytes < 1 || bytes > 4)) return false;
            if (tag == LWAVE_FORMAT_IEEE_FLOAT && bytes != 4 && bytes != 8) return false;
            // Writing PCM: 8 and 16 bits only.
            if (encoding && (tag != LWAVE_FORMAT_PCM || bytes > 2 || bits != 8 * bytes))
                return false;
            info.codec = tag == LWAVE_FORMAT_PCM ? Codec::Pcm : Codec::Float;
            info.containerBytes = bytes;
            return true;
        }
        case LWAVE_FORMAT_ALAW:
        case LWAVE_FORMAT_MULAW:
            if (bits != 8 || align != ch) return false;
            info.codec = tag == LWAVE_FORMAT_ALAW ? Codec::Alaw : Codec::Ulaw;
            return true;
        case LWAVE_FORMAT_IMA_ADPCM:
            if (bits != 4 || (encoding && ch > 2)) return false;
            info.framesPerBlock = ladpcm::ImaFramesPerBlock(align, ch);
            if (info.framesPerBlock < 2) return false;
            info.codec = Codec::Ima;
            return true;
        case LWAVE_FORMAT_ADPCM: {
            if (bits != 4 || ch > 2) return false;
            info.framesPerBlock = ladpcm::MsFramesPerBlock(align, ch);
            if (info.framesPerBlock < 3) return false;
            // The coefficient table travels in the extra bytes; the standard one when it is absent.
            const uint8_t* x = Extra(f);
            int n = f->cbSize >= 4 ? LoadLE16(x + 2) : 0;
            if (n >= 1 && n <= 256 && f->cbSize >= 4 + 4 * n && !encoding) {
                info.numCoef = n;
                for (int i = 0; i < n; ++i) {
                    info.coef1[i] = int16_t(LoadLE16(x + 4 + 4 * i));
                    info.coef2[i] = int16_t(LoadLE16(x + 6 + 4 * i));
                }
            } else {
                if (encoding && f->cbSize >= 4 && n != ladpcm::kMsStandardCoefs) return false;
                info.numCoef = ladpcm::kMsStandardCoefs;
                std::memcpy(info.coef1, ladpcm::kMsCoef1, sizeof ladpcm::kMsCoef1);
                std::memcpy(info.coef2, ladpcm::kMsCoef2, sizeof ladpcm::kMsCoef2);
            }
            info.codec = Codec::MsAdpcm;
            return true;
        }
        case LWAVE_FORMAT_GSM610:
            // Two frames of 160 samples in 65 bytes.
            if (ch != 1 || align != LGSMFrame::kWav49BlockBytes) return false;
            info.framesPerBlock = LGSMFrame::kWav49BlockSamples;
            info.codec = Codec::Gsm;
            return true;
        case LWAVE_FORMAT_MPEGLAYER3: {
            // Decoding only, at the rates and channel counts MPEG audio has.
            static constexpr uint32_t kRates[] = {8000,  11025, 12000, 16000, 22050,
                                                  24000, 32000, 44100, 48000};
            if (encoding || ch > 2 ||
                std::find(std::begin(kRates), std::end(kRates), f->nSamplesPerSec) ==
                    std::end(kRates))
                return false;
            info.codec = Codec::Mp3;
            info.framesPerBlock = f->nSamplesPerSec >= 32000 ? 1152 : 576;
            info.blockAlign = 1;
            return true;
        }
        default:
            return false;
    }
}

bool IsPCM16(const LWaveFormatEx* f) {
    return f->wFormatTag == LWAVE_FORMAT_PCM && f->wBitsPerSample == 16 && f->nChannels > 0 &&
           f->nBlockAlign == 2 * f->nChannels;
}

class LCodecStream final : public LAcmStream {
  public:
    LCodecStream(const CodecInfo& info, bool encoding) : info_(info), encoding_(encoding) {
        int ch = info_.channels;
        int codedBlock = info_.blockAlign;
        int pcmBlock = info_.framesPerBlock * ch * 2;
        inBlock_ = uint32_t(encoding_ ? pcmBlock : codedBlock);
        outBlock_ = uint32_t(encoding_ ? codedBlock : pcmBlock);
        scratch_.assign(size_t(info_.framesPerBlock) * ch, 0);
        if (info_.codec == Codec::Mp3) {
            mp3_ = std::make_unique<LMp3WaveDecoder>(info_.rate, ch);
            inBlock_ = LMp3WaveDecoder::kMaxFrameBytes;
        }
        stepIndex_.assign(size_t(ch), 0);
    }

    uint32_t SourceSizeFor(uint32_t dstBytes) override {
        if (mp3_) return (std::max<uint32_t>(dstBytes / outBlock_, 1) + 1) * inBlock_;
        return dstBytes / outBlock_ * inBlock_;
    }
    uint32_t DestinationSizeFor(uint32_t srcBytes) override {
        return uint32_t((uint64_t(srcBytes) + inBlock_ - 1) / inBlock_ * outBlock_);
    }
    bool Prepare(uint8_t* src, uint32_t srcCap, uint8_t* dst, uint32_t dstCap) override {
        if (!src || !dst) return false;
        src_ = src;
        srcCap_ = srcCap;
        dst_ = dst;
        dstCap_ = dstCap;
        return true;
    }
    bool Unprepare() override {
        bool was = src_ != nullptr;
        src_ = dst_ = nullptr;
        srcCap_ = dstCap_ = 0;
        return was;
    }
    bool Close() override { return true; }

    bool Convert(uint32_t srcBytes, uint32_t flags, uint32_t* srcUsed,
                 uint32_t* dstProduced) override {
        *srcUsed = *dstProduced = 0;
        if (!src_) return false;
        if (flags & LACM_CONVERT_START) {
            std::fill(stepIndex_.begin(), stepIndex_.end(), 0);
            gsm_.Reset();
        }
        if (srcBytes > srcCap_) srcBytes = srcCap_;
        if (mp3_) {
            if (flags & LACM_CONVERT_START) mp3_->Reset();
            *dstProduced = mp3_->Decode(src_, srcBytes, (flags & LACM_CONVERT_END) != 0, dst_,
                                        dstCap_, srcUsed);
            return true;
        }
        uint32_t used = 0, produced = 0;
        while (srcBytes - used >= inBlock_ && dstCap_ - produced >= outBlock_) {
            uint32_t out = 0;
            if (!Block(src_ + used, inBlock_, dst_ + produced, &out)) {
                if (used == 0) return false;
                break;
            }
            used += inBlock_;
            produced += out;
        }
        uint32_t left = srcBytes - used;
        if ((flags & LACM_CONVERT_END) && left > 0 && left < inBlock_ &&
            dstCap_ - produced >= outBlock_) {
            uint32_t out = 0;
            if (encoding_) {
                // The last short block is completed with silence.
                std::memcpy(pad_.data(), src_ + used, left);
                std::memset(pad_.data() + left, 0, inBlock_ - left);
                Block(pad_.data(), inBlock_, dst_ + produced, &out);
            } else {
                Block(src_ + used, left, dst_ + produced, &out);
            }
            used += left;
            produced += out;
        }
        *srcUsed = used;
        *dstProduced = produced;
        return true;
    }

    void AllocatePad() { pad_.assign(inBlock_, 0); }

  private:
    // Converts one block (a decoder may get the leading part of one); false when corrupt.
    bool Block(const uint8_t* in, uint32_t bytes, uint8_t* out, uint32_t* outBytes) {
        const int ch = info_.channels;
        int frames = 0;
        switch (info_.codec) {
            case Codec::Alaw:
            case Codec::Ulaw: {
                const bool alaw = info_.codec == Codec::Alaw;
                if (encoding_) {
                    for (int i = 0; i < ch; ++i) {
                        int32_t x = LSampleFrom16(Sample16(in, i));
                        out[i] = alaw ? G711ALawCompress(x) : G711ULawCompress(x);
                    }
                    *outBytes = uint32_t(ch);
                } else {
                    for (int i = 0; i < ch; ++i)
                        Put(out, i, (alaw ? G711ALawExpand(in[i]) : G711ULawExpand(in[i])) >> 4);
                    *outBytes = uint32_t(2 * ch);
                }
                return true;
            }
            case Codec::Pcm:
                if (encoding_) {
                    for (int i = 0; i < ch; ++i) {
                        int v = Sample16(in, i);
                        if (info_.containerBytes == 1) {
                            out[i] = uint8_t(((v + 128) >> 8) + 128 > 255 ? 255
                                                                          : ((v + 128) >> 8) + 128);
                        } else {
                            Put(out, i, v);
                        }
                    }
                    *outBytes = uint32_t(ch * info_.containerBytes);
                    return true;
                }
                for (int i = 0; i < ch; ++i) Put(out, i, WidePcm(in + i * info_.containerBytes));
                *outBytes = uint32_t(2 * ch);
                return true;
            case Codec::Float:
                for (int i = 0; i < ch; ++i) Put(out, i, FloatPcm(in + i * info_.containerBytes));
                *outBytes = uint32_t(2 * ch);
                return true;
            case Codec::Ima:
                if (encoding_) {
                    CopyIn(in);
                    ladpcm::ImaEncodeBlock(scratch_.data(), ch, out, info_.blockAlign,
                                           stepIndex_.data());
                    *outBytes = uint32_t(info_.blockAlign);
                    return true;
                }
                if (!ladpcm::ImaDecodeBlock(in, int(bytes), ch, scratch_.data(), &frames))
                    return false;
                CopyOut(out, frames);
                *outBytes = uint32_t(frames * ch * 2);
                return true;
            case Codec::MsAdpcm:
                if (encoding_) {
                    CopyIn(in);
                    ladpcm::MsEncodeBlock(scratch_.data(), ch, out, info_.blockAlign);
                    *outBytes = uint32_t(info_.blockAlign);
                    return true;
                }
                if (!ladpcm::MsDecodeBlock(in, int(bytes), ch, info_.coef1, info_.coef2,
                                           info_.numCoef, scratch_.data(), &frames))
                    return false;
                CopyOut(out, frames);
                *outBytes = uint32_t(frames * ch * 2);
                return true;
            case Codec::Gsm:
                if (encoding_) {
                    for (int i = 0; i < LGSMFrame::kWav49BlockSamples; ++i)
                        gsmSamples_[i] = LSampleFrom16(Sample16(in, i));
                    gsm_.EncodeWav49(gsmSamples_, out);
                    *outBytes = LGSMFrame::kWav49BlockBytes;
                    return true;
                }
                if (bytes < uint32_t(LGSMFrame::kWav49BlockBytes)) {
                    *outBytes = 0;  // a cut block carries no whole frame pair
                    return true;
                }
                gsm_.DecodeWav49(in, gsmSamples_);
                for (int i = 0; i < LGSMFrame::kWav49BlockSamples; ++i) {
                    int v = (gsmSamples_[i] + 8) >> 4;
                    Put(out, i, v < -32768 ? -32768 : (v > 32767 ? 32767 : v));
                }
                *outBytes = LGSMFrame::kWav49BlockSamples * 2;
                return true;
            case Codec::Mp3:
            case Codec::None:
                break;
        }
        return false;
    }

    static int16_t Sample16(const uint8_t* p, int i) { return int16_t(LoadLE16(p + 2 * i)); }
    static void Put(uint8_t* p, int i, int v) { StoreLE16(p + 2 * i, uint32_t(v)); }
    void CopyIn(const uint8_t* in) { std::memcpy(scratch_.data(), in, scratch_.size() * 2); }
    void CopyOut(uint8_t* out, int frames) {
        std::memcpy(out, scratch_.data(), size_t(frames) * info_.channels * 2);
    }
    // The top 16 bits of an integer sample of 1 to 4 bytes (8-bit samples are unsigned).
    int WidePcm(const uint8_t* p) const {
        switch (info_.containerBytes) {
            case 1:
                return (p[0] - 128) * 256;
            case 2:
                return int16_t(LoadLE16(p));
            case 3:
                return int16_t(LoadLE16(p + 1));
            default:
                return int16_t(LoadLE16(p + 2));
        }
    }
    // A floating-point sample (full scale 1.0) rounded to 16 bits, clipped.
    int FloatPcm(const uint8_t* p) const {
        double v;
        if (info_.containerBytes == 4) {
            float f;
            std::memcpy(&f, p, 4);
            v = f;
        } else {
            std::memcpy(&v, p, 8);
        }
        return LSample16FromFloat(v);
    }

    CodecInfo info_;
    bool encoding_;
    uint32_t inBlock_ = 1, outBlock_ = 1;
    std::vector<int16_t> scratch_;
    std::vector<uint8_t> stepIndex_;
    std::vector<uint8_t> pad_;
    LGSMFrame gsm_;
    std::unique_ptr<LMp3WaveDecoder> mp3_;
    int32_t gsmSamples_[LGSMFrame::kWav49BlockSamples];
    uint8_t* src_ = nullptr;
    uint8_t* dst_ = nullptr;
    uint32_t srcCap_ = 0, dstCap_ = 0;
};

// Which side is compressed, and whether the pair is one our codecs convert.
bool Analyse(const LWaveFormatEx* from, const LWaveFormatEx* to, CodecInfo& info, bool& encoding) {
    if (!from || !to) return false;
    const LWaveFormatEx* coded;
    const LWaveFormatEx* pcm;
    if (IsPCM16(to)) {
        coded = from;
        pcm = to;
        encoding = false;
    } else if (IsPCM16(from)) {
        coded = to;
        pcm = from;
        encoding = true;
    } else {
        return false;
    }
    if (coded->nChannels != pcm->nChannels || coded->nSamplesPerSec != pcm->nSamplesPerSec)
        return false;
    return Describe(coded, encoding, info);
}

}  // namespace

LAcmStream* LAcmStreamOpen(const LWaveFormatEx* from, const LWaveFormatEx* to, uint32_t flags) {
    if (flags & LACM_OPEN_QUERY) return nullptr;
    auto info = std::make_unique<CodecInfo>();
    bool encoding = false;
    if (!Analyse(from, to, *info, encoding)) return nullptr;
    auto* s = new LCodecStream(*info, encoding);
    s->AllocatePad();
    return s;
}

bool LAcmStreamQuery(const LWaveFormatEx* from, const LWaveFormatEx* to, uint32_t flags) {
    auto info = std::make_unique<CodecInfo>();
    bool encoding = false;
    return Analyse(from, to, *info, encoding);
}
