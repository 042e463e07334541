// The 16-bit PCM record on the other side of every codec stream.
#include "formats/acm_codec.h"

LWaveFormatEx LAcmPCM16Format(int channels, uint32_t sampleRate) {
    if (channels <= 0) channels = 1;
    LWaveFormatEx f{};
    f.wFormatTag = LWAVE_FORMAT_PCM;
    f.nChannels = uint16_t(channels);
    f.nSamplesPerSec = sampleRate;
    f.nBlockAlign = uint16_t(channels * 2);
    f.nAvgBytesPerSec = sampleRate * uint32_t(channels) * 2;
    f.wBitsPerSample = 16;
    f.cbSize = 0;
    return f;
}
