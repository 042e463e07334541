// Peak limiter: block sizes, block gains, positions, and a hot signal held within the level.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "core/adapt.h"
#include "core/peak_limit.h"
#include "tests/support/soundutil.h"

using testutil::MemorySource;

namespace {

LSourceRef Limit(LSourceRef src, int32_t level) {
    LSourceRef out;
    LSPPeakLimit(level).OpenSource(out, src);
    return out;
}

}  // namespace

TEST(PeakLimit, BlockSizesGainsAndWrapping) {
    const std::pair<int32_t, int32_t> sizes[] = {
        {44100, 1260}, {8000, 228}, {500, 20}, {400000, 8192}};
    for (auto [rate, frames] : sizes) {
        LSourceRef src(new MemorySource(rate, 1, {}, 0xFFFE0));
        LSRCPeakLimit lim(src, 0x7FFF0);
        EXPECT_EQ(lim.BlockFrames(), frames) << rate;
    }
    LSourceRef hot(new MemorySource(44100, 2, {}, 0x1000000));
    LSRCPeakLimit big(hot, 0x500000);
    EXPECT_EQ(big.GetPeak(), 0x3FFFFF);
    LSRCPeakLimit lim(hot, 0x7FFF0);
    EXPECT_EQ(lim.BlockGain(0x7FFF0), 0x1000000);
    EXPECT_EQ(lim.BlockGain(0), 0x1000000);
    EXPECT_NEAR(lim.BlockGain(2 * 0x7FFF0), 0x800000, 0x800000 / 1000);
    EXPECT_NEAR(lim.BlockGain(4 * 0x7FFF0), 0x400000, 0x400000 / 1000);

    LSourceRef cd(new MemorySource(44100, 2, {}, 0x7FFF0));
    EXPECT_EQ(Limit(cd, 0x7FFF0).get(), cd.get());
    LSourceRef resampled(new MemorySource(44100, 2, {}, 0xFFFE0));
    EXPECT_NE(dynamic_cast<LSRCPeakLimit*>(Limit(resampled, 0x7FFF0).get()), nullptr);
    LSourceRef broken(new LSRCNull(3));
    EXPECT_EQ(Limit(broken, 0).get(), broken.get());
}

// Material within the level comes through bit for bit, including its positions.
TEST(PeakLimit, QuietMaterialPassesUnchanged) {
    std::vector<int32_t> in(2 * 10000);
    for (size_t i = 0; i < in.size(); ++i) in[i] = int32_t((i * 7919) % 0xFFFE1) - 0x7FFF0;
    LSourceRef src(new MemorySource(44100, 2, in, 0xFFFE0));
    LSourceRef lim = Limit(src, 0x7FFF0);
    EXPECT_EQ(lim->GetPosition(), 0);
    EXPECT_EQ(lim->GetEndSample(), 10000);
    EXPECT_EQ(testutil::ReadToEnd(lim.get()), in);
    EXPECT_EQ(lim->GetPosition(), 10000);
    lim->Seek(4321);
    EXPECT_EQ(lim->GetPosition(), 4321);
    std::vector<int32_t> buf(2 * 3);
    lim->Read(buf.data(), 3);
    EXPECT_EQ(buf, std::vector<int32_t>(in.begin() + 2 * 4321, in.begin() + 2 * 4324));
    auto* mem = static_cast<MemorySource*>(src.get());
    mem->streaming = true;
    EXPECT_EQ(lim->GetEndSample(), 10000 - 3 * 1260);
}

// A sine at twice the level, starting after silence: the output never exceeds the level (by more
// than rounding), settles near half gain, and returns to unity when the signal drops back.
TEST(PeakLimit, HotSignalIsHeldWithinLevel) {
    const int32_t L = 0x7FFF0;
    std::vector<int32_t> in(44100 * 3);
    for (size_t i = 0; i < in.size(); ++i) {
        const double s = std::sin(2 * std::numbers::pi * 440 * double(i) / 44100);
        const double amp = (i < 10000) ? 0 : (i < 60000) ? 2.0 * L : 0.5 * L;
        in[i] = int32_t(std::lround(amp * s));
    }
    LSourceRef src(new MemorySource(44100, 1, in, 0x1000000));
    LSourceRef lim = Limit(src, L);
    // Odd read sizes across block boundaries.
    std::vector<int32_t> out(in.size());
    for (size_t done = 0, k = 1; done < out.size(); k = k * 7 % 5000 + 3) {
        const int32_t n = int32_t(std::min(k, out.size() - done));
        lim->Read(out.data() + done, n);
        done += size_t(n);
    }
    int32_t worst = 0;
    for (int32_t v : out) worst = std::max(worst, std::abs(v));
    EXPECT_LE(worst, L + 64);
    EXPECT_GT(worst, L - 0x2000);
    // Steady hot stretch: about half gain.
    for (size_t i = 30000; i < 50000; ++i) ASSERT_NEAR(out[i], in[i] / 2.0, L * 0.01) << i;
    // Long after the drop: unity again.
    for (size_t i = 100000; i < 120000; ++i) ASSERT_EQ(out[i], in[i]) << i;
    // Before the signal: silence stays silence.
    for (size_t i = 0; i < 5000; ++i) ASSERT_EQ(out[i], 0);
}
