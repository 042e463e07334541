// The codec layer over the platform's Audio Compression Manager (msacm32 stream conversion).
#include <windows.h>
// clang-format off
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>
// clang-format on

#include "formats/acm_codec.h"

static_assert(LACM_OPEN_QUERY == ACM_STREAMOPENF_QUERY);
static_assert(LACM_OPEN_NONREALTIME == ACM_STREAMOPENF_NONREALTIME);
static_assert(LACM_CONVERT_BLOCKALIGN == ACM_STREAMCONVERTF_BLOCKALIGN);
static_assert(LACM_CONVERT_START == ACM_STREAMCONVERTF_START);
static_assert(LACM_CONVERT_END == ACM_STREAMCONVERTF_END);

namespace {

LPWAVEFORMATEX AsWfx(const LWaveFormatEx* f) {
    return reinterpret_cast<LPWAVEFORMATEX>(const_cast<LWaveFormatEx*>(f));
}

class LWinAcmStream final : public LAcmStream {
  public:
    explicit LWinAcmStream(HACMSTREAM has) : has_(has) {}
    ~LWinAcmStream() override {
        if (prepared_) Unprepare();
        if (has_) Close();
    }

    uint32_t SourceSizeFor(uint32_t dstBytes) override {
        DWORD out = 0;
        if (acmStreamSize(has_, dstBytes, &out, ACM_STREAMSIZEF_DESTINATION) != 0) return 0;
        return out;
    }
    uint32_t DestinationSizeFor(uint32_t srcBytes) override {
        DWORD out = 0;
        if (acmStreamSize(has_, srcBytes, &out, ACM_STREAMSIZEF_SOURCE) != 0) return 0;
        return out;
    }
    bool Prepare(uint8_t* src, uint32_t srcCap, uint8_t* dst, uint32_t dstCap) override {
        ZeroMemory(&hdr_, sizeof hdr_);
        hdr_.cbStruct = sizeof hdr_;
        hdr_.pbSrc = src;
        hdr_.cbSrcLength = srcCap;
        hdr_.pbDst = dst;
        hdr_.cbDstLength = dstCap;
        srcCap_ = srcCap;
        dstCap_ = dstCap;
        prepared_ = acmStreamPrepareHeader(has_, &hdr_, 0) == 0;
        return prepared_;
    }
    bool Unprepare() override {
        if (!prepared_) return false;
        // The header goes back with the lengths it was prepared with.
        hdr_.cbSrcLength = srcCap_;
        hdr_.cbDstLength = dstCap_;
        prepared_ = false;
        return acmStreamUnprepareHeader(has_, &hdr_, 0) == 0;
    }
    bool Convert(uint32_t srcBytes, uint32_t flags, uint32_t* srcUsed,
                 uint32_t* dstProduced) override {
        *srcUsed = *dstProduced = 0;
        if (!prepared_) return false;
        hdr_.cbSrcLength = srcBytes > srcCap_ ? srcCap_ : srcBytes;
        hdr_.cbDstLength = dstCap_;
        hdr_.cbSrcLengthUsed = 0;
        hdr_.cbDstLengthUsed = 0;
        if (acmStreamConvert(has_, &hdr_, flags) != 0) return false;
        *srcUsed = hdr_.cbSrcLengthUsed;
        *dstProduced = hdr_.cbDstLengthUsed;
        if (*srcUsed > hdr_.cbSrcLength) *srcUsed = hdr_.cbSrcLength;
        if (*dstProduced > dstCap_) *dstProduced = dstCap_;
        return true;
    }
    bool Close() override {
        if (!has_) return true;
        MMRESULT r = acmStreamClose(has_, 0);
        has_ = nullptr;
        return r == 0;
    }

  private:
    HACMSTREAM has_;
    ACMSTREAMHEADER hdr_{};
    bool prepared_ = false;
    uint32_t srcCap_ = 0, dstCap_ = 0;
};

}  // namespace

LAcmStream* LAcmStreamOpen(const LWaveFormatEx* from, const LWaveFormatEx* to, uint32_t flags) {
    if ((flags & LACM_OPEN_QUERY) || !from || !to) return nullptr;
    HACMSTREAM has = nullptr;
    if (acmStreamOpen(&has, nullptr, AsWfx(from), AsWfx(to), nullptr, 0, 0, flags) != 0 || !has)
        return nullptr;
    return new LWinAcmStream(has);
}

bool LAcmStreamQuery(const LWaveFormatEx* from, const LWaveFormatEx* to, uint32_t flags) {
    if (!from || !to) return false;
    return acmStreamOpen(nullptr, nullptr, AsWfx(from), AsWfx(to), nullptr, 0, 0,
                         flags | ACM_STREAMOPENF_QUERY) == 0;
}
