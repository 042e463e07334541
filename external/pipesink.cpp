// LPipe16Sink: converts internal samples to 16-bit PCM and feeds the encoder's pipe.
#include "external/pipesink.h"

#include <bit>
#include <utility>

#include "support/progress.h"
#include "support/trace.h"

LPipe16Sink::LPipe16Sink(const char* commandLine, int32_t sampleRate, int channels)
    : LSoundSinkBase(sampleRate, channels),
      buffer_(new int16_t[size_t(channels_) * LSOUND_BLOCK_FRAMES]) {
    if (IsUnusable()) return;
    if (!pipe_.Open(commandLine)) {
        LTrace("LPipe16Sink::LPipe16Sink Unable to open pipe");
        SetErrorFlags(GetErrorFlags() | LSNK_ERR_UNUSABLE);
    }
}

LPipe16Sink::~LPipe16Sink() {
    pipe_.Close();
}

int32_t LPipe16Sink::Write(const int32_t* buffer, int32_t n) {
    if (n <= 0) return 1;
    sPosition += n;
    bool ok = true;
    // The transfer never hands more than one block; larger writes go in block-sized pieces.
    while (n > 0) {
        int32_t frames = n < LSOUND_BLOCK_FRAMES ? n : LSOUND_BLOCK_FRAMES;
        size_t count = size_t(frames) * channels_;
        int16_t* out = buffer_.get();
        for (size_t i = 0; i < count; ++i) out[i] = LSampleTo16(buffer[i]);
        // Little-endian on every platform the program runs on; bytes go out as they lie.
        uint8_t* bytes = reinterpret_cast<uint8_t*>(out);
        if constexpr (std::endian::native == std::endian::big) {
            for (size_t i = 0; i < count; ++i) std::swap(bytes[2 * i], bytes[2 * i + 1]);
        }
        if (!pipe_.Write(bytes, int32_t(count * 2))) ok = false;
        buffer += count;
        n -= frames;
    }
    if (!ok) {
        LTrace("LPipe16Sink::Write Encoder does not take its input");
        SetErrorFlags(GetErrorFlags() | LSNK_ERR_UNUSABLE);
    }
    return ok ? 1 : 0;
}

int LPipe16Sink::Finish(LProgressDialog* dlg) {
    const int status = pipe_.Finish(dlg);
    if (status != LPROCESS_OK) MarkUnusable();
    return status;
}
