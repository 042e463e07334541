// A real transfer behind the Windows progress dialog: Cancel (a posted IDCANCEL) stops it at a
// block boundary.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/ring_process.h"
#include "core/transfer.h"
#include "formats/wav.h"
#include "tests/support/soundutil.h"
#include "tests/support/testutil.h"

namespace {

// Presses Cancel on the dialog after the given number of pumps.
class CancellingTransfer : public LProgressProcess<LPRSourceToSink> {
  public:
    CancellingTransfer(LPRSourceToSink* rec, int cancelAfter)
        : LProgressProcess<LPRSourceToSink>("Converting", rec), cancelAfter_(cancelAfter) {}
    bool PumpMessages() override {
        if (pumps++ == cancelAfter_ && GetWindow()) {
            sawWindow = true;
            PostMessageA(static_cast<HWND>(GetWindow()), WM_COMMAND, IDCANCEL, 0);
        }
        return LProgressProcess<LPRSourceToSink>::PumpMessages();
    }
    int pumps = 0;
    bool sawWindow = false;

  private:
    int cancelAfter_;
};

}  // namespace

TEST(TransferWin32, CancelFromDialogStopsAtBlockBoundary) {
    const std::string path = testutil::ScratchDir() + "\\out.wav";
    std::vector<int32_t> in(2 * 100000);
    for (size_t i = 0; i < in.size(); ++i) in[i] = int32_t(i % 4096) * 16;
    LPRSourceToSink rec;
    rec.title = "Converting";
    rec.source = LSourceRef(new testutil::MemorySource(44100, 2, in));
    rec.sink = LWaveFile::OpenSinkPCM(path.c_str(), 44100, 16, 2);
    CancellingTransfer t(&rec, 3);
    t.status = LPROCESS_FAILED;
    t.Run(nullptr);
    EXPECT_TRUE(t.sawWindow);
    EXPECT_EQ(t.status, LPROCESS_STOPPED);
    EXPECT_EQ(rec.sink->GetPosition(), 3 * 8192);
    rec.sink.reset();
    EXPECT_EQ(testutil::ReadFileBytes(path).size(), 46u + 3 * 8192 * 4);

    // The same transfer left alone runs to the end.
    LPRSourceToSink whole;
    whole.title = "Converting";
    whole.source = LSourceRef(new testutil::MemorySource(44100, 2, in));
    whole.sink = LSinkRef(new testutil::MemorySink(22050, 1));
    LProgressProcess<LPRSourceToSink> run("Converting", &whole);
    run.status = LPROCESS_FAILED;
    run.Run(nullptr);
    EXPECT_EQ(run.status, LPROCESS_OK);
    EXPECT_NEAR(whole.sink->GetPosition(), 50000, 8);

    // Stereo resampling (the widest vector path where the processor has it) keeps a tone.
    std::vector<int32_t> tone(2 * 44100);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = int32_t(
            std::lround(0x40000 * std::sin(2 * 3.14159265358979 * 1000 * double(i / 2) / 44100)));
    LPRSourceToSink up;
    up.title = "Converting";
    up.source = LSourceRef(new testutil::MemorySource(44100, 2, tone));
    auto* sink48 = new testutil::MemorySink(48000, 2);
    up.sink = LSinkRef(sink48);
    LProgressProcess<LPRSourceToSink> run48("Converting", &up);
    run48.status = LPROCESS_FAILED;
    run48.Run(nullptr);
    EXPECT_EQ(run48.status, LPROCESS_OK);
    const auto found =
        testutil::FindTone(testutil::Channel(sink48->samples, 2, 1), 48000, 900, 1100);
    EXPECT_NEAR(found.hz, 1000.2, 0.5);
    EXPECT_NEAR(found.amplitude / 0x40000, 1.0, 0.01);
}

// A transfer running on its own thread behind the ring bridge, read by this thread, and a
// bridge released early while its producer is blocked on the full ring.
TEST(TransferWin32, ProducerThreadThroughRing) {
    std::vector<int32_t> in(2 * 20000);
    for (size_t i = 0; i < in.size(); ++i) in[i] = int32_t(i) * 5;
    {
        LProcessSinkToSource<LPRSourceToSink> bridge(44100, 2, 0x7FFF0, 16001);
        auto* rec = new LPRSourceToSink;
        rec->source = LSourceRef(new testutil::MemorySource(44100, 2, in));
        rec->sink = bridge.OpenSink();
        LSourceRef out = bridge.OpenSource(rec);
        std::vector<int32_t> got(in.size());
        for (size_t done = 0; done < got.size(); done += 2 * 500) out->Read(got.data() + done, 500);
        EXPECT_EQ(got, in);
    }
    {
        LProcessSinkToSource<LPRSourceToSink> bridge(44100, 2, 0x7FFF0, 8001);
        auto* rec = new LPRSourceToSink;
        rec->source =
            LSourceRef(new testutil::MemorySource(44100, 2, std::vector<int32_t>(2000000)));
        rec->sink = bridge.OpenSink();
        LSourceRef out = bridge.OpenSource(rec);
        std::vector<int32_t> buf(200);
        out->Read(buf.data(), 100);
    }
}
