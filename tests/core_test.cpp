// The sound core: base classes, the peak limiter, the transfer, the ring and the worker thread.

#include <atomic>
#include <future>
#include <numbers>

#include "core/adapt.h"
#include "core/peak_limit.h"
#include "core/ring.h"
#include "core/ring_process.h"
#include "core/transfer.h"
#include "support/thread.h"
#include "support/waitable.h"
#include "tests/support/kit.h"

using namespace testutil;

namespace {

LSourceRef Mem(int32_t rate, int ch, std::vector<int32_t> v, int32_t peak = LSAMPLE_FULL_SCALE) {
    return LSourceRef(new MemorySource(rate, ch, std::move(v), peak));
}

// Runs the transfer on a quiet surface that stops after `stopAfter` pumps (-1: never).
int RunTransfer(LSourceRef src, LSinkRef sink, int stopAfter = -1) {
    LPRSourceToSink rec;
    rec.title = "Converting";
    rec.source = src;
    rec.sink = sink;
    FakeProgress dlg;
    dlg.stopAfterPumps = stopAfter;
    const int status = LTransferSourceToSink(&dlg, &rec);
    EXPECT_EQ(dlg.lines[0] + "|" + dlg.lines[1], "Converting|Please wait...");
    EXPECT_TRUE(std::is_sorted(dlg.progress.begin(), dlg.progress.end()));
    return status;
}

LSourceRef Limit(LSourceRef src, int32_t level) {
    LSourceRef out;
    LSPPeakLimit(level).OpenSource(out, src);
    return out;
}

}  // namespace

TEST(SoundBase, InvalidConstructionAndTimes) {
    LSRCNull null(0);
    MemorySource noRate(0, 2, {}), noChannels(8000, 0, {});
    EXPECT_EQ(std::tuple(null.GetSampleRate(), null.GetPeak(), noRate.GetSampleRate(),
                         noRate.GetError(), noChannels.GetChannels(), noChannels.GetError()),
              std::tuple(11025, 0x200000, 44100, LSRC_ERR_INVALID, 1, LSRC_ERR_INVALID));
    EXPECT_EQ(std::tuple(LSoundTimeMs(44100 * 3 + 441, 44100), LSoundTimeMs(100, 0)),
              std::tuple(3010, 0));
}

TEST(PeakLimit, QuietMaterialPassesUnchanged) {
    std::vector<int32_t> in(2 * 10000);
    for (size_t i = 0; i < in.size(); ++i) in[i] = int32_t((i * 7919) % 0xFFFE1) - 0x7FFF0;
    LSourceRef src = Mem(44100, 2, in, 0xFFFE0);
    LSourceRef lim = Limit(src, 0x7FFF0);
    EXPECT_EQ(lim->GetEndSample(), 10000);
    EXPECT_EQ(ReadToEnd(lim.get()), in);
    EXPECT_EQ(lim->GetPosition(), 10000);
    lim->Seek(4321);
    EXPECT_EQ(ReadFrames(*lim, 3),
              std::vector<int32_t>(in.begin() + 2 * 4321, in.begin() + 2 * 4324));
    static_cast<MemorySource*>(src.get())->streaming = true;
    EXPECT_EQ(lim->GetEndSample(), 10000 - 3 * 1260);
}

// Silence, a sine at twice the level, then at half: held within the level, unity after the drop.
TEST(PeakLimit, HotSignalIsHeldWithinLevel) {
    const int32_t L = 0x7FFF0;
    std::vector<int32_t> in(44100 * 3);
    for (size_t i = 0; i < in.size(); ++i) {
        const double amp = (i < 10000) ? 0 : (i < 60000) ? 2.0 * L : 0.5 * L;
        in[i] =
            int32_t(std::lround(amp * std::sin(2 * std::numbers::pi * 440 * double(i) / 44100)));
    }
    LSourceRef lim = Limit(Mem(44100, 1, in, 0x1000000), L);
    std::vector<int32_t> out(in.size());
    for (size_t done = 0, k = 1; done < out.size(); k = k * 7 % 5000 + 3) {
        const int32_t n = int32_t(std::min(k, out.size() - done));
        lim->Read(out.data() + done, n);
        done += size_t(n);
    }
    const int32_t worst =
        std::abs(std::ranges::max(out, {}, [](int32_t v) { return std::abs(v); }));
    EXPECT_LE(worst, L + 64);
    EXPECT_GT(worst, L - 0x2000);
    for (size_t i = 30000; i < 50000; ++i) ASSERT_NEAR(out[i], in[i] / 2.0, L * 0.01) << i;
    for (size_t i = 100000; i < 120000; ++i) ASSERT_EQ(out[i], in[i]) << i;
    for (size_t i = 0; i < 5000; ++i) ASSERT_EQ(out[i], 0);
}

// Lengths: a partial last block, an exact multiple of the block, one frame, an empty source.
TEST(Transfer, WritesExactlyTheSourceFrames) {
    for (int32_t frames : {10000, 16384, 1, 0}) {
        const auto in = Ramp(size_t(frames) * 2);
        LSourceRef src = Mem(44100, 2, in);
        auto* sink = new MemorySink(44100, 2);
        LSinkRef sinkRef(sink);
        EXPECT_EQ(RunTransfer(src, sinkRef), LPROCESS_OK);
        EXPECT_EQ(sink->samples, in) << frames;
        EXPECT_TRUE(frames != 10000 || sink->writeSizes == (std::vector<int32_t>{8192, 1808}));
    }
}

// Nothing is written when the source or the sink is unusable or cannot be adapted.
TEST(Transfer, FailsWithoutWritingOnUnusableEnds) {
    auto fresh = [] { return Mem(44100, 2, Ramp(size_t(100) * 2)); };
    auto* sink = new MemorySink(44100, 2);
    LSinkRef sinkRef(sink);
    EXPECT_EQ(RunTransfer(LSourceRef(new LSRCNull(4)), sinkRef), LPROCESS_FAILED);
    EXPECT_EQ(RunTransfer(fresh(), LSinkRef()), LPROCESS_FAILED);
    auto* bad = new MemorySink(44100, 2);
    bad->MakeUnusable();
    EXPECT_EQ(RunTransfer(fresh(), LSinkRef(bad)), LPROCESS_FAILED);
    // Channel counts no adapter bridges; a sink rate below 1 (stored settings can hold one).
    EXPECT_EQ(RunTransfer(Mem(44100, 6, Ramp(size_t(100) * 6)), sinkRef), LPROCESS_FAILED);
    for (auto* other : {new MemorySink(44100, 6), new MemorySink(0, 2), new MemorySink(-1, 2)}) {
        LSinkRef ref(other);
        EXPECT_EQ(RunTransfer(fresh(), ref), LPROCESS_FAILED);
        EXPECT_EQ(other->GetPosition(), 0);
    }
    EXPECT_EQ(sink->GetPosition(), 0);
}

TEST(Transfer, CancelStopsAtBlockBoundary) {
    for (int stopAfter : {0, 1, 3}) {
        auto* sink = new MemorySink(48000, 2);
        LSinkRef sinkRef(sink);
        EXPECT_EQ(RunTransfer(Mem(44100, 2, Ramp(size_t(100000) * 2)), sinkRef, stopAfter),
                  LPROCESS_STOPPED);
        EXPECT_EQ(sink->GetPosition(), stopAfter * 8192);
        for (int32_t n : sink->writeSizes) EXPECT_EQ(n, 8192);
    }
}

namespace {

struct Bridge {
    LSinkToSource* ring;
    LSinkRef sink;
    LSourceRef source;
    Bridge(int ch, uint32_t capacity) : ring(new LSinkToSource(44100, ch, 0x7FFF0, capacity)) {
        ring->AddRef();  // the builder's reference while it makes the two ends
        sink = LSinkRef(new LSinkToSourceSink(ring));
        source = LSourceRef(new LSinkToSourceSource(ring));
        ring->Release();
    }
};

}  // namespace

// Odd-sized blocks through a ring much smaller than the stream: every frame in order, then zeros.
TEST(Ring, ProducerThreadFeedsConsumer) {
    Bridge b(2, 1001);  // not a whole number of frames
    EXPECT_EQ(std::tuple(b.source->GetPeak(), b.source->IsStreaming()), std::tuple(0x7FFF0, true));
    constexpr int32_t kFrames = 200000;
    const std::vector<int32_t> all = Ramp(size_t(kFrames) * 2);
    std::thread producer([sink = b.sink, &all]() mutable {
        for (int32_t done = 0, k = 1; done < kFrames; k = k * 7 % 4999 + 1) {
            const int32_t n = std::min(k, kFrames - done);
            sink->Write(all.data() + 2 * size_t(done), n);
            done += n;
        }
        sink.reset();
    });
    b.sink.reset();  // the producer holds the only reference now
    std::vector<int32_t> got;
    for (int32_t k = 1; got.size() < all.size(); k = k * 3 % 2999 + 1) {
        const auto part = ReadFrames(*b.source, std::min(k, kFrames - int32_t(got.size() / 2)));
        got.insert(got.end(), part.begin(), part.end());
    }
    EXPECT_EQ(got, all);
    producer.join();
    EXPECT_EQ(
        std::tuple(b.source->IsStreaming(), b.source->GetEndSample(), ReadFrames(*b.source, 10)),
        std::tuple(false, 0, std::vector<int32_t>(20, 0)));
}

// The writer gone: what is buffered, then zeros. The reader gone: the writer returns at once.
TEST(Ring, EndsGoingAway) {
    {
        Bridge b(1, 1000);
        std::vector<int32_t> in = Ramp(30);
        b.sink->Write(in.data(), 30);
        EXPECT_EQ(b.source->GetEndSample(), 30);
        b.sink.reset();
        in.resize(100, 0);
        EXPECT_EQ(ReadFrames(*b.source, 100), in);
    }
    {
        Bridge b(1, 401);  // room for 100 frames
        b.source.reset();
        std::vector<int32_t> in(1000, 5);
        b.sink->Write(in.data(), 1000);  // must not wait for a reader that is gone
        EXPECT_EQ(b.sink->GetPosition(), 1000);
    }
}

// A transfer as the producer on its own thread: read to its end, or left while it is blocked.
TEST(Ring, ProcessRunsProducerOnItsThread) {
    const std::vector<int32_t> in = Ramp(2 * 30000);
    {
        LProcessSinkToSource<LPRSourceToSink, LTransferSourceToSink> bridge(44100, 2, 0x7FFF0,
                                                                            44100 * 8 / 10 + 1);
        auto* rec = new LPRSourceToSink;
        rec->title = "Reading";
        rec->source = Mem(44100, 2, in);
        rec->sink = bridge.OpenSink();
        LSourceRef out = bridge.OpenSource(rec);
        std::vector<int32_t> got;
        while (got.size() < in.size()) {
            const auto part = ReadFrames(*out, 1000);
            got.insert(got.end(), part.begin(), part.end());
        }
        got.resize(in.size());
        EXPECT_EQ(got, in);
        for (int i = 0; i < 200 && out->IsStreaming(); ++i) out->WaitForData(10);
        EXPECT_FALSE(out->IsStreaming());
        EXPECT_EQ(ReadFrames(*out, 1)[0], 0);
    }
    LProcessSinkToSource<LPRSourceToSink, LTransferSourceToSink> bridge(8000, 1, 0x7FFF0, 4001);
    auto* rec = new LPRSourceToSink;
    rec->source = Mem(8000, 1, std::vector<int32_t>(800000));
    rec->sink = bridge.OpenSink();
    LSourceRef out = bridge.OpenSource(rec);
    ReadFrames(*out, 100);
    out.reset();  // must stop and join the producer, not hang
}

namespace {

// Ignores its stop until the test lets it go, then still uses its surface, record and sink.
struct StallingProducer {
    LSinkRef sink;
    std::shared_future<void> go;
    std::promise<void> ended;  // kept until the record is freed
    ~StallingProducer() { ended.set_value(); }
};
std::promise<void> g_producerReturned;

int ProduceThenStall(LProgressDialog* progress, StallingProducer* p) {
    std::vector<int32_t> block(64, 1);
    p->sink->Write(block.data(), 32);
    p->go.wait();
    const bool stop = progress->PumpMessages();
    progress->WaitTimed(1);
    p->sink->Write(block.data(), 32);  // nobody reads it: dropped
    g_producerReturned.set_value();
    return stop ? LPROCESS_STOPPED : LPROCESS_OK;
}

// Counts its runs; each run waits for its release event or the stop signal.
class Worker : public LThread {
  public:
    ~Worker() override { StopThreadTimed(5000); }
    std::atomic<int> runs{0};
    std::atomic<int> result{-1};
    LSignalObject release;

  protected:
    void ThreadFunction() override {
        ++runs;
        result = StopSignal().WaitSignalDual(release, LWAIT_INFINITE);
    }
};

TEST(LThread, StartTwiceRunsOnceAndRestartsAfterTheEnd) {
    Worker w;
    w.StopThreadTimed(100);  // never started: nothing happens
    EXPECT_FALSE(w.HasThread());
    w.Start();
    w.Start(LTHREAD_PRIORITY_HIGHEST);  // a second thread would show as a third run below
    ASSERT_TRUE(testutil::WaitUntil([&] { return w.runs == 1; }));
    EXPECT_TRUE(w.IsRunning());

    w.release.Set();  // the run ends by itself
    ASSERT_TRUE(testutil::WaitUntil([&] { return !w.IsRunning(); }));
    EXPECT_EQ(std::tuple(w.result.load(), w.HasThread()), std::tuple(0, true));  // not joined
    w.release.Reset();
    w.Start();
    ASSERT_TRUE(testutil::WaitUntil([&] { return w.runs == 2; }));
    EXPECT_FALSE(w.StopRequested());  // a new start clears the previous stop

    w.StopThreadTimed(5000);  // the stop signal ends the wait; the stop stays set (manual reset)
    EXPECT_EQ(std::tuple(w.result.load(), w.IsRunning(), w.HasThread(), w.StopRequested()),
              std::tuple(LPROCESS_STOPPED, false, false, true));
}

}  // namespace

// A producer let go after ignoring its stop keeps running on nothing freed under it.
TEST(Ring, ProducerLetGoAfterIgnoringItsStop) {
    std::promise<void> go;
    std::future<void> ended;
    {
        LProcessSinkToSource<StallingProducer, ProduceThenStall> bridge(8000, 1, 0x7FFF0, 4001);
        auto* rec = new StallingProducer;
        rec->go = go.get_future().share();
        ended = rec->ended.get_future();
        rec->sink = bridge.OpenSink();
        LSourceRef out = bridge.OpenSource(rec);
        EXPECT_EQ(ReadFrames(*out, 32)[31], 1);
    }  // the source waits 5 s for the producer, then lets it go
    go.set_value();
    ASSERT_EQ(g_producerReturned.get_future().wait_for(std::chrono::seconds(10)),
              std::future_status::ready);
    ASSERT_EQ(ended.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}
