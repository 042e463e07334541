// Reading 16-bit PCM WAV files back in tests.
#include "tests/support/fakeprogress.h"

#include <cstring>

#include "tests/support/testutil.h"

namespace testutil {

static uint32_t Get32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}
static uint16_t Get16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

Wav16 ReadWav16(const std::string& path) {
    Wav16 w;
    std::vector<uint8_t> b = ReadFileBytes(path);
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4))
        return w;
    size_t pos = 12;
    bool haveFormat = false;
    while (pos + 8 <= b.size()) {
        uint32_t size = Get32(&b[pos + 4]);
        size_t body = pos + 8;
        if (!std::memcmp(&b[pos], "fmt ", 4) && body + 16 <= b.size()) {
            uint16_t tag = Get16(&b[body]);
            w.channels = Get16(&b[body + 2]);
            w.rate = int32_t(Get32(&b[body + 4]));
            uint16_t bits = Get16(&b[body + 14]);
            if ((tag != 1 && tag != 0xFFFE) || bits != 16) return w;
            haveFormat = true;
        } else if (!std::memcmp(&b[pos], "data", 4) && haveFormat) {
            size_t bytes = size;
            // Streamed writers may leave the size open; take what is there.
            if (bytes == 0 || bytes == 0xFFFFFFFF || body + bytes > b.size())
                bytes = b.size() - body;
            w.samples.resize(bytes / 2);
            for (size_t i = 0; i < w.samples.size(); ++i)
                w.samples[i] = int16_t(Get16(&b[body + 2 * i]));
            w.ok = true;
            return w;
        }
        pos = body + size + (size & 1);
    }
    return w;
}

}  // namespace testutil
