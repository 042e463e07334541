// LPipe16Sink: a sound sink that streams 16-bit little-endian PCM into an encoder's input pipe.
#pragma once

#include <cstdint>
#include <memory>

#include "core/sound.h"
#include "external/process.h"

class LPipe16Sink : public LSoundSinkBase {
  public:
    // Starts the encoder; when the pipe or the process cannot be created the sink exists but
    // carries the unusable error flag. A channel count of 0 is taken as 1 and also fails.
    LPipe16Sink(const char* commandLine, int32_t sampleRate, int channels);
    // Closes the pipe and waits a little for the encoder (ending it after that).
    ~LPipe16Sink() override;

    // Converts n frames to 16 bits (no clipping) and writes them; the result is whether the
    // pipe write succeeded (0 or 1). A broken pipe (the encoder is gone while input remains)
    // also sets the unusable flag. A block holds at most LSOUND_BLOCK_FRAMES frames.
    int32_t Write(const int32_t* buffer, int32_t n) override;
    // Ends the encoder's input and waits for it (LPipeOut::Finish); an encoder that exits
    // with a non-zero code, outlives the wait or is cancelled sets the unusable flag.
    int Finish(LProgressDialog* dlg) override;

  private:
    LPipeOut pipe_;
    std::unique_ptr<int16_t[]> buffer_;  // channels x LSOUND_BLOCK_FRAMES samples
};
