// Reading whole sources in transfer-sized blocks, for format tests.
#include "tests/support/sourceutil.h"

#include <algorithm>

namespace testutil {

std::vector<int16_t> ReadAll16(LSoundSourceBase& source) {
    const int channels = source.GetChannels();
    const int32_t end = source.GetEndSample();
    std::vector<int16_t> out;
    std::vector<int32_t> block(size_t(LSOUND_BLOCK_FRAMES) * size_t(channels));
    for (int32_t pos = source.GetPosition(); pos < end;) {
        const int32_t n = std::min(LSOUND_BLOCK_FRAMES, end - pos);
        source.Read(block.data(), n);
        for (int32_t i = 0; i < n * channels; ++i) out.push_back(LSampleTo16(block[size_t(i)]));
        pos += n;
    }
    return out;
}

std::vector<int32_t> ReadFrames(LSoundSourceBase& source, int32_t n) {
    std::vector<int32_t> out(size_t(n) * size_t(source.GetChannels()));
    source.Read(out.data(), n);
    return out;
}

}  // namespace testutil
