// The ring bridge: a producer thread feeding a consumer, ends going away on either side.
#include "core/ring.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

#include "core/ring_process.h"
#include "core/transfer.h"
#include "support/trace.h"
#include "tests/support/soundutil.h"

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

// A producer thread writes odd-sized blocks through a ring much smaller than the stream; the
// consumer reads odd-sized blocks and gets every frame in order, then zeros after the end.
TEST(Ring, ProducerThreadFeedsConsumer) {
    Bridge b(2, 1001);  // not a whole number of frames
    EXPECT_EQ(b.source->GetSampleRate(), 44100);
    EXPECT_EQ(b.source->GetChannels(), 2);
    EXPECT_EQ(b.source->GetPeak(), 0x7FFF0);
    EXPECT_TRUE(b.source->IsStreaming());
    constexpr int32_t kFrames = 200000;
    std::thread producer([sink = b.sink]() mutable {
        std::vector<int32_t> block(2 * 5000);
        int32_t done = 0;
        for (int32_t k = 1; done < kFrames; k = k * 7 % 4999 + 1) {
            const int32_t n = std::min(k, kFrames - done);
            for (int32_t i = 0; i < n; ++i) {
                block[2 * size_t(i)] = done + i;
                block[2 * size_t(i) + 1] = -(done + i);
            }
            sink->Write(block.data(), n);
            done += n;
        }
        sink.reset();
    });
    b.sink.reset();  // the producer holds the only reference now
    std::vector<int32_t> buf(2 * 3000);
    int32_t got = 0;
    for (int32_t k = 1; got < kFrames; k = k * 3 % 2999 + 1) {
        const int32_t n = std::min(k, kFrames - got);
        b.source->Read(buf.data(), n);
        for (int32_t i = 0; i < n; ++i) {
            ASSERT_EQ(buf[2 * size_t(i)], got + i);
            ASSERT_EQ(buf[2 * size_t(i) + 1], -(got + i));
        }
        got += n;
    }
    producer.join();
    EXPECT_FALSE(b.source->IsStreaming());
    EXPECT_EQ(b.source->GetEndSample(), 0);
    buf.assign(buf.size(), 7);
    b.source->Read(buf.data(), 10);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[19], 0);
}

// The writer gone: what is buffered, then zeros. The reader gone: the writer places what fits
// and returns at once.
TEST(Ring, EndsGoingAway) {
    {
        Bridge b(1, 1000);
        std::vector<int32_t> in(30);
        for (int i = 0; i < 30; ++i) in[size_t(i)] = i + 1;
        b.sink->Write(in.data(), 30);
        EXPECT_EQ(b.source->GetEndSample(), 30);
        b.sink.reset();
        std::vector<int32_t> out(100, -1);
        b.source->Read(out.data(), 100);
        for (int i = 0; i < 30; ++i) EXPECT_EQ(out[size_t(i)], i + 1);
        for (int i = 30; i < 100; ++i) EXPECT_EQ(out[size_t(i)], 0);
    }
    {
        Bridge b(1, 401);  // room for 100 frames
        b.source.reset();
        std::vector<int32_t> in(1000, 5);
        b.sink->Write(in.data(), 1000);  // must not wait for a reader that is gone
        EXPECT_EQ(b.sink->GetPosition(), 1000);
    }
    {
        // A second end on the same ring is a fault worth a trace.
        Bridge b(1, 100);
        LClearTrace();
        LSinkRef again(new LSinkToSourceSink(b.ring));
        EXPECT_EQ(LLastTrace(),
                  "LSinkToSourceSink::LSinkToSourceSink bSinkConnected already true - you may "
                  "have called OpenSink twice");
    }
}

// A transfer runs as the producer on its own thread; the consumer reads its output through the
// returned source, sees the end as IsStreaming turning false, and can also stop it early.
TEST(Ring, ProcessRunsProducerOnItsThread) {
    std::vector<int32_t> in(2 * 30000);
    for (size_t i = 0; i < in.size(); ++i) in[i] = int32_t(i) * 3;
    {
        LProcessSinkToSource<LPRSourceToSink> bridge(44100, 2, 0x7FFF0, 44100 * 8 / 10 + 1);
        auto* rec = new LPRSourceToSink;
        rec->title = "Reading";
        rec->source = LSourceRef(new testutil::MemorySource(44100, 2, in));
        rec->sink = bridge.OpenSink();
        LSourceRef out = bridge.OpenSource(rec);
        std::vector<int32_t> got, buf(2 * 1000);
        while (got.size() < in.size()) {
            out->Read(buf.data(), 1000);
            got.insert(got.end(), buf.begin(), buf.end());
        }
        got.resize(in.size());
        EXPECT_EQ(got, in);
        for (int i = 0; i < 200 && out->IsStreaming(); ++i) out->WaitForData(10);
        EXPECT_FALSE(out->IsStreaming());
        out->Read(buf.data(), 10);
        EXPECT_EQ(buf[0], 0);
    }
    {
        // The consumer goes away while the producer is blocked on a full ring.
        LProcessSinkToSource<LPRSourceToSink> bridge(8000, 1, 0x7FFF0, 4001);
        auto* rec = new LPRSourceToSink;
        rec->source = LSourceRef(new testutil::MemorySource(8000, 1, std::vector<int32_t>(800000)));
        rec->sink = bridge.OpenSink();
        LSourceRef out = bridge.OpenSource(rec);
        std::vector<int32_t> buf(100);
        out->Read(buf.data(), 100);
        out.reset();  // must stop and join the producer, not hang
    }
}

namespace {

// A producer that ignores its stop signal until the test lets it go, then still uses its
// progress surface, its record and its sink.
struct StallingProducer {
    LSinkRef sink;
    std::shared_future<void> go;
    std::promise<void> ended;  // kept until the record is freed
    ~StallingProducer() { ended.set_value(); }
};
std::promise<void> g_producerReturned;

int Process(LProgressDialog* progress, StallingProducer* p) {
    std::vector<int32_t> block(64, 1);
    p->sink->Write(block.data(), 32);
    p->go.wait();
    const bool stop = progress->PumpMessages();
    progress->WaitTimed(1);
    p->sink->Write(block.data(), 32);  // nobody reads it: dropped
    g_producerReturned.set_value();
    return stop ? LPROCESS_STOPPED : LPROCESS_OK;
}

}  // namespace

// The consumer lets go of a producer that does not stop within the timed stop: the producer
// keeps running on what it shares with the consumer's source, none of which is freed under it.
TEST(Ring, ProducerLetGoAfterIgnoringItsStop) {
    std::promise<void> go;
    std::future<void> ended;
    {
        LProcessSinkToSource<StallingProducer> bridge(8000, 1, 0x7FFF0, 4001);
        auto* rec = new StallingProducer;
        rec->go = go.get_future().share();
        ended = rec->ended.get_future();
        rec->sink = bridge.OpenSink();
        LSourceRef out = bridge.OpenSource(rec);
        std::vector<int32_t> buf(32);
        out->Read(buf.data(), 32);
        EXPECT_EQ(buf[31], 1);
    }  // the source waits 5 s for the producer, then lets it go
    go.set_value();
    auto returned = g_producerReturned.get_future();
    ASSERT_EQ(returned.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    ASSERT_EQ(ended.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}
