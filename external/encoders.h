// Encoder pipes: the command lines of the MP3, Ogg Vorbis, AAC, FLAC and Opus encoder components.
#pragma once

#include <cstdint>
#include <string>

#include "core/sound.h"
#include "store/encsettings.h"

// What an encoder is told: its command line and the rate and channel count it is fed with.
struct LEncoderCommand {
    std::string commandLine;
    int32_t sampleRate = 0;
    int channels = 0;
};

// The component names under which the encoders are installed.
inline constexpr const char* kMp3EncoderComponent = "mp3el";
inline constexpr const char* kOggEncoderComponent = "oggenc";
inline constexpr const char* kAACEncoderComponent = "aacenc";
inline constexpr const char* kFlacEncoderComponent = "flacenc";
inline constexpr const char* kOpusEncoderComponent = "opusenc";

// Each Open function returns an empty reference when the component's "Path" cannot be read
// (no process is started); otherwise a sink at the encoder's rate and channel count, which
// carries the unusable flag when the encoder could not be started.
class LMP3EncodePipe {
  public:
    static LEncoderCommand CommandLine(const char* encoderPath, const char* outputPath,
                                       const LMP3EncodeSettings& s, int channels, int32_t rate);
    static LSinkRef OpenMp3Sink(const char* outputPath, const LMP3EncodeSettings& s, int channels,
                                int32_t rate);
};

class LOggEncodePipe {
  public:
    static LEncoderCommand CommandLine(const char* encoderPath, const char* outputPath,
                                       const LOggEncodeSettings& s, int channels, int32_t rate);
    static LSinkRef OpenOggSink(const char* outputPath, const LOggEncodeSettings& s, int channels,
                                int32_t rate);
};

class LAACEncodePipe {
  public:
    static LEncoderCommand CommandLine(const char* encoderPath, const char* outputPath,
                                       const LAACEncodeSettings& s, int channels, int32_t rate);
    static LSinkRef OpenAACSink(const char* outputPath, const LAACEncodeSettings& s, int channels,
                                int32_t rate);
};

// The FLAC encoder works at the settings' own rate and channel count, not the input's.
class LFlacEncodePipe {
  public:
    static LEncoderCommand CommandLine(const char* encoderPath, const char* outputPath,
                                       const LFlacEncodeSettings& s);
    static LSinkRef OpenFlacSink(const char* outputPath, const LFlacEncodeSettings& s);
};

// Opus takes mono or stereo at any rate here (the encoder resamples to its own).
class LOpusEncodePipe {
  public:
    static LEncoderCommand CommandLine(const char* encoderPath, const char* outputPath,
                                       const LOpusEncodeSettings& s, int channels, int32_t rate);
    static LSinkRef OpenOpusSink(const char* outputPath, const LOpusEncodeSettings& s, int channels,
                                 int32_t rate);
};

// The bitrate ceiling (kbit/s) of n channels at rate hz: n x 4.5 x rate x 0.001, evaluated
// from left to right in double precision and truncated (other orders round differently).
int32_t LEncoderBitRateLimit(int channels, int32_t rate);
