// Sound source and sink base classes, the filter base and the silent placeholder.
#include "core/sound.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "support/progress.h"
#include "support/trace.h"

int64_t LSoundTimeMs(int64_t frames, int32_t sampleRate) {
    if (sampleRate <= 0) {
        LTrace("LSoundTime::SetSamples samplerate <= 0");
        return 0;
    }
    return (frames / sampleRate) * 1000 + ((frames % sampleRate) * 1000) / sampleRate;
}

LSoundSourceBase::LSoundSourceBase(int32_t sampleRate, int channels, int32_t peakValue)
    : sampleRate_(sampleRate), peak(peakValue), channels_(uint8_t(channels)) {
    if (sampleRate <= 0) {
        LTrace("LSoundSourceBase::LSoundSourceBase SampleRate <= 0 ERROR");
        sampleRate_ = 44100;
        error_ = LSRC_ERR_INVALID;
    }
    if (channels_ == 0) {
        LTrace("LSoundSourceBase::LSoundSourceBase nChans == 0 ERROR");
        channels_ = 1;
        error_ = LSRC_ERR_INVALID;
    }
}

void LSoundSourceBase::WaitForData(int32_t ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void LSoundSourceBase::SetSampleRate(int32_t sampleRate) {
    if (sampleRate <= 0) {
        LTrace("LSoundSourceBase::SetSampleRate SampleRate <= 0 ERROR");
        sampleRate_ = 44100;
        error_ = LSRC_ERR_INVALID;
        return;
    }
    sampleRate_ = sampleRate;
}

void LSoundSourceBase::SetChannels(int channels) {
    if (uint8_t(channels) == 0) {
        LTrace("LSoundSourceBase::SetChannels nChans == 0 ERROR");
        channels_ = 1;
        error_ = LSRC_ERR_INVALID;
        return;
    }
    channels_ = uint8_t(channels);
}

LSoundSinkBase::LSoundSinkBase(int32_t sampleRate, int channels)
    : sampleRate_(sampleRate), channels_(uint8_t(channels)) {
    if (channels_ == 0) {
        LTrace("LSoundSinkBase::LSoundSinkBase nChans == 0");
        channels_ = 1;
        errorFlags_ |= LSNK_ERR_UNUSABLE;
    }
}

int LSoundSinkBase::Finish(LProgressDialog*) {
    return IsUnusable() ? LPROCESS_FAILED : LPROCESS_OK;
}

LSRCFilterBase::LSRCFilterBase(const LSourceRef& inner)
    : LSoundSourceBase(inner->GetSampleRate(), inner->GetChannels(), inner->GetPeak()),
      inner_(inner) {
    if (inner_->GetError() != LSRC_OK) SetError(LSRC_ERR_INNER);
}

LSRCNull::LSRCNull(uint8_t error) : LSoundSourceBase(11025, 1, 0x200000) {
    SetError(error);
}

void LSRCNull::Read(int32_t* buffer, int32_t n) {
    if (n > 0) std::memset(buffer, 0, sizeof(int32_t) * size_t(n) * channels_);
}
