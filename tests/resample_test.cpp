// Resamplers and channel adapters on the source and the sink side.

#include "core/adapt.h"
#include "core/channels.h"
#include "core/convert_rate.h"
#include "core/sink_adapt.h"
#include "support/progress.h"
#include "tests/support/kit.h"

using namespace testutil;

namespace {

// A sine at the internal scale (amp in internal units, kept to 16-bit steps).
std::vector<int32_t> SineSamples(int32_t rate, int ch, int32_t frames, double hz, double amp) {
    return Internal(Sine(rate, ch, frames, hz, amp / 16));
}

// The resampler's arithmetic written out plainly: block loads with normalisation of the whole
// 8255-frame window, 63-tap rows, the two half sums formed exactly.
std::vector<int32_t> ModelResample(const std::vector<int32_t>& in, int ch, int32_t inRate,
                                   int32_t outRate, bool narrow, int32_t outFrames) {
    LPolyphaseFilter f;
    f.Design(inRate, outRate, narrow, 63);
    const int64_t inFrames = int64_t(in.size()) / ch;
    std::vector<int64_t> w(size_t(8255) * ch, 0);
    int64_t index = 8224, acc = 0, pos = 0;
    int s = 0;
    std::vector<int32_t> out;
    for (int32_t o = 0; o < outFrames; ++o) {
        index += acc / f.n;
        acc %= f.n;
        while (index > 8191) {
            for (int i = 0; i < 63 * ch; ++i)
                w[size_t(i)] = w[size_t(8192 * ch + i)] * (int64_t(1) << s);
            for (int64_t i = 0; i < 8192 * ch; ++i) {
                const int64_t frame = pos + i / ch;
                w[size_t(63 * ch + i)] = frame < inFrames ? in[size_t(pos * ch + i)] : 0;
            }
            pos += 8192;
            int64_t m = 0;
            for (int64_t x : w) m = std::max<int64_t>(m, std::llabs(x));
            s = 0;
            while ((m >> s) > 0x7FFF) ++s;
            if (s > 0)
                for (auto& x : w) x = (x + (int64_t(1) << (s - 1))) >> s;
            index -= 8192;
        }
        const int32_t* row = f.Row(int32_t(acc));
        for (int c = 0; c < ch; ++c) {
            int64_t a = 0, b = 0;
            for (int t = 0; t < 63; ++t)
                (t < 32 ? a : b) += row[t] * w[size_t((index + t) * ch + c)];
            out.push_back(int32_t(((a >> 1) + (b >> 1) + (int64_t(1) << (14 - s))) >> (15 - s)));
        }
        acc += f.N;
    }
    return out;
}

LSourceRef Adapted(LSourceRef src, int32_t rate, int ch) {
    ConvertSourceFormat(rate, ch, src);
    return src;
}

}  // namespace

// A ratio the phase table cannot express is refused (a target rate below 1: the transfer's test).
TEST(Resample, BadRatesAreRefused) {
    LSourceRef slow(new MemorySource(1, 1, std::vector<int32_t>(10)));
    EXPECT_EQ(LSourceRef(new LSRCConvertRate(slow, 44100, false))->GetError(), LSRC_ERR_INVALID);
    LSourceRef err(new LSRCNull(4));
    EXPECT_EQ(Adapted(err, 48000, 2).get(), err.get());
}

// Exactly the model's output across blocks, for full-scale noise and squares rounding to 32768.
TEST(Resample, MatchesArithmeticExactly) {
    const std::tuple<int32_t, int32_t, int> cases[] = {{44100, 48000, 2}, {48000, 44100, 1},
                                                       {22050, 44100, 2}, {8000, 44100, 1},
                                                       {44100, 32000, 2}, {11025, 8000, 1}};
    // 256-bit vectors with and without multiply-accumulate, 128-bit vectors, plain arithmetic.
    for (const int path : {0, 1, 2, 3})
        for (const auto& [from, to, ch] : cases) {
            SCOPED_TRACE(testing::Message() << from << " -> " << to << " path " << path);
            LSRCConvertRate::allowVectorDots = path == 0;
            LSRCConvertRate::allowWideVectors = path < 2;
            LSRCConvertRate::allowVectors = path < 3;
            // Noise at +-32767 (the window keeps a shift of 4), then a stretch of a hot square
            // wave that rounds to +32768 (the 32-bit-product path).
            std::vector<int32_t> in(size_t(20000) * ch);
            uint32_t seed = uint32_t(from);
            for (size_t i = 0; i < in.size(); ++i) {
                seed = seed * 1664525u + 1013904223u;
                in[i] = (seed >> 31) ? 0x7FFF0 : -0x7FFF0;
                if ((seed >> 8) % 3 == 0)
                    in[i] = int32_t((seed >> 12) % uint32_t(2 * 0x7FFF0)) - 0x7FFF0;
                if (i >= 9000u * ch && i < 9400u * ch) in[i] = (i / 40) % 2 ? 0x7FFF8 : -0x7FFF8;
            }
            LSourceRef src(new MemorySource(from, ch, in));
            LSourceRef rs(new LSRCConvertRate(src, to, false));
            EXPECT_TRUE(static_cast<LSRCConvertRate*>(rs.get())->HasShortRows());
            const int32_t outFrames = rs->GetEndSample();
            std::vector<int32_t> got(size_t(outFrames) * ch);
            for (int32_t done = 0, k = 1; done < outFrames; k = k * 5 % 8191 + 1) {
                const int32_t n = std::min(k, outFrames - done);
                rs->Read(got.data() + size_t(done) * ch, n);
                done += n;
            }
            const auto want = ModelResample(in, ch, from, to, false, outFrames);
            ASSERT_EQ(got, want);
        }
    LSRCConvertRate::allowVectorDots = LSRCConvertRate::allowWideVectors =
        LSRCConvertRate::allowVectors = true;
}

// A sine keeps its frequency and level through the source side (one stage up, two down) and the
// sink side (its length too; past 16:1 only the length), both channels.
TEST(Resample, SineKeepsFrequencyAndLevel) {
    const double amp = 0x7FFF0 * 0.5;
    const std::tuple<bool, int32_t, int32_t> cases[] = {
        {false, 44100, 48000}, {false, 48000, 8000}, {false, 8000, 44100}, {true, 44100, 48000},
        {true, 44100, 22050},  {true, 44100, 2000},  {true, 44100, 1000}};
    for (const auto& [sinkSide, from, to] : cases) {
        SCOPED_TRACE(testing::Message() << from << " -> " << to << (sinkSide ? " sink" : ""));
        const double hz = to >= 8000 ? 1000 : to / 8.0;
        const auto in = SineSamples(from, 2, from, hz, amp);
        std::vector<int32_t> out;
        if (sinkSide) {
            auto* inner = new MemorySink(to, 2);
            LSinkRef innerRef(inner), rs;
            LSinkConvertRate::OpenSink(rs, from, innerRef);
            Feed(*rs, in, 4410);
            EXPECT_EQ(rs->GetPosition(), from);
            rs.reset();  // flushes
            EXPECT_NEAR(double(inner->GetPosition()), to, to * 0.002 + 16);
            for (int32_t n : inner->writeSizes) EXPECT_LE(n, 8192);
            out = inner->samples;
        } else {
            out = ReadToEnd(Adapted(LSourceRef(new MemorySource(from, 2, in)), to, 2).get());
        }
        for (int ch = 0; ch < 2 && to >= 8000; ++ch) {
            auto x = Channel(out, 2, ch);
            x = std::vector<double>(x.begin() + 200, x.end() - 200);  // skip the filter's edges
            const auto tone = FindTone(x, to, hz * 0.9, hz * 1.1);
            // The phase table's ratio stands for the rate ratio within 0.001 (source side: 0.3 %).
            EXPECT_NEAR(tone.hz, hz, sinkSide ? hz * 0.001 : 3.0);
            EXPECT_NEAR(tone.amplitude / amp, 1.0, sinkSide ? 0.03 : 0.01);
        }
    }
}

// Seek lands on what a continuous read delivers (up to the low bits normalisation drops).
TEST(Resample, SeekMatchesContinuousRead) {
    LSourceRef src(new MemorySource(44100, 1, SineSamples(44100, 1, 30000, 440, 0x40000)));
    LSourceRef rs(new LSRCConvertRate(src, 48000, false));
    const auto all = ReadToEnd(rs.get());
    for (int32_t t : {0, 1, 37, 9000, 20001}) {
        rs->Seek(t);
        const std::vector<int32_t> buf = ReadFrames(*rs, 100);
        // The position lags by the phase still pending (a few frames), as the transfer expects.
        EXPECT_NEAR(rs->GetPosition(), t + 100, 4);
        for (int i = 0; i < 100; ++i) ASSERT_NEAR(buf[i], all[size_t(t + i)], 64) << t << " " << i;
    }
}

// Channel adapters on both sides; the sink side's 15-tap filter at full scale.
TEST(Resample, ChannelAdaptersAndFullScaleSinkFilter) {
    LSourceRef m = Adapted(LSourceRef(new MemorySource(8000, 2, {1, 2, 3, 4, 5, 6})), 8000, 1);
    EXPECT_EQ(ReadToEnd(m.get()), (std::vector<int32_t>{1, 3, 5}));
    LSourceRef back = Adapted(m, 8000, 2);
    back->Seek(0);
    EXPECT_EQ(ReadToEnd(back.get()), (std::vector<int32_t>{1, 1, 3, 3, 5, 5}));
    // What a channel adapter from `from` channels passes on to a sink of `to`, and its position.
    const int32_t st[] = {100, 300, -0x7FFF0, -0x7FFF0, 0x7FFFFFFF, 0x7FFFFFFF};
    using Passed = std::pair<std::vector<int32_t>, int32_t>;
    auto adapt = [&](int from, int to, int32_t frames) {
        auto* inner = new MemorySink(44100, to);
        LSinkRef innerRef(inner), adapter;
        LSinkConvertChannels::OpenSink(adapter, innerRef, from);
        if (!adapter) return Passed{{}, -1};
        adapter->Write(st, frames);
        return Passed{inner->samples, adapter->GetPosition()};
    };
    EXPECT_EQ(adapt(2, 1, 3), Passed({200, -0x7FFF0, 0x7FFFFFFF}, 3));
    EXPECT_EQ(adapt(1, 2, 2), Passed({100, 100, 300, 300}, 2));
    EXPECT_EQ(adapt(2, 6, 1).second, -1);  // no adapter for 2 to 6 channels

    // Full scale through the 15-tap filter: no wrapped sums.
    auto* inner = new MemorySink(48000, 1);
    LSinkRef innerRef(inner), rs;
    LSinkConvertRate::OpenSink(rs, 44100, innerRef);
    std::vector<int32_t> sq(16384);
    for (size_t i = 0; i < sq.size(); ++i) sq[i] = i % 441 < 220 ? 0x7FFF0 : -0x7FFF0;
    Feed(*rs, sq, 8192);
    rs.reset();
    const std::vector<int32_t>& s = inner->samples;
    int flips = 0;  // jumps from beyond half scale on one side to the other
    for (size_t i = 1; i < s.size(); ++i)
        flips += std::min(s[i], s[i - 1]) < -0x40000 && std::max(s[i], s[i - 1]) > 0x40000;
    // One jump per half period of the square at most (2 per 480 output frames).
    EXPECT_LE(flips, int(s.size() / 240) + 2);
}

// The adapters pass Finish on (the resampler's tail once) and take over the inner sink's failure.
TEST(SinkAdapters, FinishReachesTheFileAndFailuresComeBack) {
    const auto in = SineSamples(44100, 2, 20000, 500, 0x40000);
    std::vector<int32_t> positions;
    for (int mode : {0, 1, 2}) {  // Finish; no Finish (the destructors flush); the file fails
        auto* file = new MemorySink(8000, 1);
        LSinkRef fileRef(file), rate, chain;
        LSinkConvertRate::OpenSink(rate, 44100, fileRef);
        LSinkConvertChannels::OpenSink(chain, rate, 2);
        chain->Write(in.data(), 10000);
        if (mode == 2) file->MakeUnusable();
        chain->Write(in.data() + 20000, 10000);
        EXPECT_EQ(chain->IsUnusable(), mode == 2);
        if (mode != 1) {
            EXPECT_EQ(chain->Finish(nullptr), mode == 0 ? LPROCESS_OK : LPROCESS_FAILED);
        }
        rate.reset(), chain.reset();
        positions.push_back(file->GetPosition());
    }
    EXPECT_EQ(positions[0], positions[1]);
}
