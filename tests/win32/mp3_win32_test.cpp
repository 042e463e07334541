// The MP3 reader on Windows files: the seed files of the fuzz corpus decode to the same signal
// as on Linux (by level), seeking matches a straight decode, and the ISO compliance streams
// decode at full accuracy in the 32-bit build.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "formats/mp3.h"
#include "tests/support/iso_layer3.h"

namespace {

std::string Seed(const char* name) {
    std::string p = std::string(TAMBER_SOURCE_DIR) + "/fuzz/corpus/mp3_fuzz/" + name;
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

std::vector<int32_t> All(LMP3Source& src) {
    std::vector<int32_t> out(size_t(src.GetEndSample()) * src.GetChannels());
    src.Read(out.data(), src.GetEndSample());
    return out;
}

double Rms(const std::vector<int32_t>& v) {
    double s = 0;
    for (int32_t x : v) s += (x / 524288.0) * (x / 524288.0);
    return v.empty() ? 0 : std::sqrt(s / v.size());
}

TEST(Mp3Win32, SeedFilesDecodeAsOnLinux) {
    struct Expect {
        const char* name;
        int32_t rate;
        int channels;
        int32_t frames;
        double rms;  // measured by the native build
    };
    const Expect cases[] = {{"cbr_stereo.mp3", 16000, 2, 4032, 0.154650},
                            {"mpeg25_notag.mp3", 8000, 2, 4032, 0.511900},
                            {"vbr_mpeg2_crc.mp3", 22050, 1, 5760, 0.437470}};
    for (const Expect& e : cases) {
        LMP3Source src(Seed(e.name).c_str());
        ASSERT_EQ(src.GetError(), LSRC_OK) << e.name;
        EXPECT_EQ(src.GetSampleRate(), e.rate) << e.name;
        EXPECT_EQ(src.GetChannels(), e.channels) << e.name;
        const std::vector<int32_t> all = All(src);
        EXPECT_EQ(src.GetEndSample(), e.frames) << e.name;
        EXPECT_NEAR(Rms(all), e.rms, 1e-5) << e.name;

        LMP3Source again(Seed(e.name).c_str());
        const int32_t target = e.frames / 2 + 7;
        again.Seek(target);
        std::vector<int32_t> tail(size_t(e.frames - target) * e.channels);
        again.Read(tail.data(), e.frames - target);
        if (e.rate == 8000) {  // frames of equal size and no tag: the estimate is exact
            EXPECT_TRUE(std::equal(tail.begin(), tail.end(), all.begin() + target * e.channels));
        }
    }
    EXPECT_EQ(LMP3Source(Seed("missing.mp3").c_str()).GetError(), LSRC_ERR_OPEN);
}

TEST(Mp3Win32, IsoStreamsMatchTheirReferenceAtFullAccuracy) {
    testutil::ExpectIsoStreamsAtFullAccuracy();
}

}  // namespace
