// The source-to-sink transfer: block counts, failures, cancel, adaptation, WAV files end to end.
#include "core/transfer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/adapt.h"
#include "formats/wav.h"
#include "support/trace.h"
#include "tests/support/soundutil.h"
#include "tests/support/testutil.h"

using testutil::MemorySink;
using testutil::MemorySource;

namespace {

// Runs the transfer behind the progress surface; cancels after `pumpsBeforeCancel` pumps.
class TestTransfer : public LProgressProcess<LPRSourceToSink> {
  public:
    TestTransfer(LPRSourceToSink* rec, int pumpsBeforeCancel = -1)
        : LProgressProcess<LPRSourceToSink>("Converting", rec), cancelAfter_(pumpsBeforeCancel) {}
    bool PumpMessages() override {
        if (pumps++ == cancelAfter_) RequestStop();
        return LProgressProcess<LPRSourceToSink>::PumpMessages();
    }
    void SetText(const char* text, int line) override {
        if (line >= 0 && line < 2) lines[line] = text;
    }
    void SetProgress(double f) override { progress.push_back(f); }

    int pumps = 0;
    std::string lines[2];
    std::vector<double> progress;

  private:
    int cancelAfter_;
};

int RunTransfer(LSourceRef src, LSinkRef sink, int cancelAfter = -1,
                TestTransfer** seen = nullptr) {
    LPRSourceToSink rec;
    rec.title = "Converting";
    rec.source = src;
    rec.sink = sink;
    TestTransfer t(&rec, cancelAfter);
    t.status = LPROCESS_FAILED;
    t.Run(nullptr);
    EXPECT_EQ(t.lines[0], "Converting");
    EXPECT_EQ(t.lines[1], "Please wait...");
    for (size_t i = 1; i < t.progress.size(); ++i) EXPECT_GE(t.progress[i], t.progress[i - 1]);
    return t.status;
}

std::vector<int32_t> Ramp(int32_t frames, int ch) {
    std::vector<int32_t> v(size_t(frames) * ch);
    for (size_t i = 0; i < v.size(); ++i) v[i] = int32_t(i % 65536) * 8 - 0x40000;
    return v;
}

}  // namespace

// Lengths: a partial last block, an exact multiple of the block, an empty source.
TEST(Transfer, WritesExactlyTheSourceFrames) {
    for (int32_t frames : {10000, 16384, 8192, 1, 0}) {
        SCOPED_TRACE(frames);
        const auto in = Ramp(frames, 2);
        LSourceRef src(new MemorySource(44100, 2, in));
        auto* sink = new MemorySink(44100, 2);
        LSinkRef sinkRef(sink);
        EXPECT_EQ(RunTransfer(src, sinkRef), LPROCESS_OK);
        EXPECT_EQ(sink->GetPosition(), frames);
        EXPECT_EQ(sink->samples, in);
        if (frames == 10000) EXPECT_EQ(sink->writeSizes, (std::vector<int32_t>{8192, 1808}));
        if (frames == 16384) EXPECT_EQ(sink->writeSizes, (std::vector<int32_t>{8192, 8192}));
        // The caller's references are as they were.
        EXPECT_EQ(src->RefCount(), 1);
        EXPECT_EQ(sinkRef->RefCount(), 1);
    }
}

// Nothing is written when the source or the sink is unusable or cannot be adapted.
TEST(Transfer, FailsWithoutWritingOnUnusableEnds) {
    auto fresh = [] { return LSourceRef(new MemorySource(44100, 2, Ramp(100, 2))); };
    auto* sink = new MemorySink(44100, 2);
    LSinkRef sinkRef(sink);
    LClearTrace();
    EXPECT_EQ(RunTransfer(LSourceRef(new LSRCNull(4)), sinkRef), LPROCESS_FAILED);
    EXPECT_EQ(LLastTrace(), "LPRSourceToSink::Process Source Error");
    EXPECT_EQ(RunTransfer(fresh(), LSinkRef()), LPROCESS_FAILED);
    EXPECT_EQ(LLastTrace(), "LPRSourceToSink::Process Sink Error");
    auto* bad = new MemorySink(44100, 2);
    bad->MakeUnusable();
    EXPECT_EQ(RunTransfer(fresh(), LSinkRef(bad)), LPROCESS_FAILED);
    // Channel counts no adapter bridges: six-channel source, six-channel sink.
    EXPECT_EQ(RunTransfer(LSourceRef(new MemorySource(44100, 6, Ramp(100, 6))), sinkRef),
              LPROCESS_FAILED);
    auto* six = new MemorySink(44100, 6);
    LSinkRef sixRef(six);
    EXPECT_EQ(RunTransfer(fresh(), sixRef), LPROCESS_FAILED);
    EXPECT_EQ(six->GetPosition(), 0);
    // A sink rate below 1 (stored settings can hold one): the resampler is in error.
    for (int32_t rate : {0, -1}) {
        auto* zero = new MemorySink(rate, 2);
        LSinkRef zeroRef(zero);
        EXPECT_EQ(RunTransfer(fresh(), zeroRef), LPROCESS_FAILED);
        EXPECT_EQ(zero->GetPosition(), 0);
    }
    EXPECT_EQ(sink->GetPosition(), 0);
}

// A sink that breaks on the way (its writer is gone) or cannot complete its file at the end
// fails the transfer; nothing more is written after the break.
TEST(Transfer, SinkThatBreaksFailsTheTransfer) {
    class Breaking : public LSoundSinkBase {
      public:
        Breaking(int breakAfter, bool failFinish)
            : LSoundSinkBase(44100, 2), breakAfter_(breakAfter), failFinish_(failFinish) {}
        int32_t Write(const int32_t*, int32_t n) override {
            sPosition += n;
            if (++writes == breakAfter_) SetErrorFlags(LSNK_ERR_UNUSABLE);
            return writes < breakAfter_ ? 1 : 0;
        }
        int Finish(LProgressDialog* dlg) override {
            ++finishes;
            if (failFinish_) SetErrorFlags(LSNK_ERR_UNUSABLE);
            return LSoundSinkBase::Finish(dlg);
        }
        int writes = 0, finishes = 0;

      private:
        int breakAfter_;
        bool failFinish_;
    };
    auto source = [] {
        return LSourceRef(new MemorySource(44100, 2, Ramp(3 * LSOUND_BLOCK_FRAMES + 5, 2)));
    };
    auto* early = new Breaking(1, false);
    LSinkRef earlyRef(early);
    EXPECT_EQ(RunTransfer(source(), earlyRef), LPROCESS_FAILED);
    EXPECT_EQ(early->writes, 1);
    EXPECT_EQ(early->finishes, 0);
    auto* late = new Breaking(100, true);
    LSinkRef lateRef(late);
    EXPECT_EQ(RunTransfer(source(), lateRef), LPROCESS_FAILED);
    EXPECT_EQ(late->writes, 4);
    EXPECT_EQ(late->finishes, 1);
    auto* good = new Breaking(100, false);
    LSinkRef goodRef(good);
    EXPECT_EQ(RunTransfer(source(), goodRef), LPROCESS_OK);
    EXPECT_EQ(good->finishes, 1);
}

// Cancel stops at a block boundary: the sink holds whole blocks only.
TEST(Transfer, CancelStopsAtBlockBoundary) {
    for (int cancelAfter : {0, 1, 3}) {
        LSourceRef src(new MemorySource(44100, 2, Ramp(100000, 2)));
        auto* sink = new MemorySink(48000, 2);  // through the resampler and the limiter
        LSinkRef sinkRef(sink);
        EXPECT_EQ(RunTransfer(src, sinkRef, cancelAfter), LPROCESS_STOPPED);
        EXPECT_EQ(sink->GetPosition(), cancelAfter * 8192);
        for (int32_t n : sink->writeSizes) EXPECT_EQ(n, 8192);
    }
}

// A resampled conversion writes a few frames more than the adapted end reports: the
// resampler's position does not count the phase it still has pending.
TEST(Transfer, ResampledLengthFollowsPositionArithmetic) {
    LSourceRef src(new MemorySource(44100, 2, Ramp(44100, 2)));
    auto* sink = new MemorySink(48000, 2);
    LSinkRef sinkRef(sink);
    EXPECT_EQ(RunTransfer(src, sinkRef), LPROCESS_OK);
    EXPECT_EQ(sink->GetPosition(), 47993);
    LSourceRef chain = src;
    ConvertSourceFormat(48000, 2, chain);
    EXPECT_EQ(chain->GetEndSample(), 47991);
}

// WAV in, WAV out through the transfer: sample for sample, 8 and 16 bits, mono and stereo, and
// a mono 8-bit file into a stereo 16-bit one.
TEST(Transfer, CopiesWavFilesExactly) {
    const std::string dir = testutil::ScratchDir();
    for (int bits : {8, 16}) {
        for (int ch : {1, 2}) {
            SCOPED_TRACE(testing::Message() << bits << " bits " << ch << " ch");
            const std::string in = dir + "/in.wav", out = dir + "/out.wav";
            {
                LSinkRef w = LWaveFile::OpenSinkPCM(in.c_str(), 11025, bits, ch);
                const auto ramp = Ramp(20001, ch);
                std::vector<int32_t> scaled(ramp.size());
                for (size_t i = 0; i < ramp.size(); ++i)
                    scaled[i] = bits == 8 ? ramp[i] & ~0xFFF : ramp[i] & ~0xF;
                for (int32_t f = 0; f < 20001; f += 8192)
                    w->Write(scaled.data() + size_t(f) * ch, std::min(8192, 20001 - f));
            }
            LSourceRef src = LWaveFile::OpenSource(in.c_str());
            LSinkRef dst = LWaveFile::OpenSinkPCM(out.c_str(), 11025, bits, ch);
            EXPECT_EQ(RunTransfer(src, dst), LPROCESS_OK);
            src.reset();
            dst.reset();
            EXPECT_EQ(testutil::ReadFileBytes(in), testutil::ReadFileBytes(out));
        }
    }
    const std::string in = dir + "/m8.wav", out = dir + "/s16.wav";
    {
        LSinkRef w = LWaveFile::OpenSinkPCM(in.c_str(), 8000, 8, 1);
        const int32_t s[] = {-0x80000, 0, 0x7F000};
        w->Write(s, 3);
    }
    LSinkRef dst = LWaveFile::OpenSinkPCM(out.c_str(), 8000, 16, 2);
    EXPECT_EQ(RunTransfer(LWaveFile::OpenSource(in.c_str()), dst), LPROCESS_OK);
    dst.reset();
    const auto bytes = testutil::ReadFileBytes(out);
    ASSERT_EQ(bytes.size(), 46u + 12);
    const std::vector<uint8_t> want = {0x00, 0x80, 0x00, 0x80, 0, 0, 0, 0, 0x00, 0x7F, 0x00, 0x7F};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 46, bytes.end()), want);
}
