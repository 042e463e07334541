// Compliance stream comparison: decode with LMP3Source, read the 16-bit little-endian reference.
#include "tests/support/iso_layer3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "formats/mp3.h"
#include "formats/mp3_frame.h"
#include "tests/support/soundutil.h"
#include "tests/support/testutil.h"

namespace testutil {

std::string IsoDir() {
    std::string dir = TAMBER_BINARY_DIR "/testdata/iso-layer3/";
#ifdef _WIN32
    std::replace(dir.begin(), dir.end(), '/', '\\');
#endif
    return dir;
}

void ExpectIsoStreamsAtFullAccuracy() {
    // Each stream with the frames its reference lacks at the end.
    // clang-format off
    const std::pair<const char*, int> streams[] = {
        {"l3-compl", 0}, {"l3-he_32khz", 1}, {"l3-he_44khz", 1}, {"l3-he_48khz", 1},
        {"l3-he_free", 1}, {"l3-he_mode", 0}, {"l3-hecommon", 1}, {"l3-si", 1},
        {"l3-si_block", 1}, {"l3-si_huff", 1}, {"l3-sin1k0db", 0}, {"l3-test45", 0},
        {"l3-test46", 0}, {"M2L3_bitrate_16_all", 0}, {"M2L3_bitrate_22_all", 0},
        {"M2L3_bitrate_24_all", 0}, {"M2L3_compl24", 0}, {"M2L3_noise", 0}};
    // clang-format on
    for (const auto& [name, shorterFrames] : streams) {
        const std::string base = IsoDir() + name;
        const std::vector<int16_t> raw = ReadRaw16(base + ".pcm");
        const std::vector<uint8_t> bits = ReadFileBytes(base + ".bit");
        LMP3Source src((base + ".bit").c_str());
        ASSERT_TRUE(!raw.empty() && src.GetError() == LSRC_OK)
            << base
            << ".bit/.pcm missing: the build unpacks ../shared/testdata/iso-layer3-vectors.tar.xz";
        const int nch = src.GetChannels(), spf = src.SamplesPerFrame();
        // Channels of each fixed-size frame, for the reference in the decoder's channel count.
        std::vector<int> frameChannels;
        MP3Header h;
        for (size_t at = 0; at + 4 <= bits.size() && h.Parse(&bits[at]) && h.bitrateIndex;
             at += size_t(h.PayloadBytes()) + 4 + (h.crc ? 2 : 0))
            frameChannels.push_back(h.Channels());
        std::vector<double> ref;
        const size_t total = raw.size();
        for (size_t i = 0, frame = 0; i < total; ++frame) {
            const int c = frame < frameChannels.size() ? frameChannels[frame] : nch;
            if (i + c > total) break;
            for (int k = 0; k < spf && i + c <= total; ++k, i += c)
                for (int j = 0; j < nch; ++j)  // mono duplicated, two channels averaged
                    ref.push_back(c == nch ? raw[i + j] : (raw[i] + raw[i + c - 1]) / 2.0);
        }
        std::vector<int32_t> ours = ReadToEnd(&src);
        ours.resize(size_t(src.GetEndSample()) * nch);
        double sum = 0, maxLsb = 0;
        const size_t n = std::min(ours.size(), ref.size());
        for (size_t i = 0; i < n; ++i) {
            // Internal full scale is 16-bit full scale * 16; the reference clips at 16 bits.
            const double v = std::clamp(ours[i] / 16.0, -32768.0, 32767.0);
            sum += (v - ref[i]) * (v - ref[i]);
            maxLsb = std::max(maxLsb, std::fabs(std::nearbyint(v) - ref[i]));
        }
        const double rms = n ? std::sqrt(sum / n) : 0;
        const double psnr = rms > 0 ? 20 * std::log10(32768 / rms) : 999;
        EXPECT_EQ(size_t(src.GetEndSample()), ref.size() / nch + shorterFrames * spf) << name;
        EXPECT_LE(maxLsb, 1) << name;
        EXPECT_GT(psnr, 96) << name;
    }
}

}  // namespace testutil
