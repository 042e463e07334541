// The player against ALSA's file plugin over the null device: what it plays lands in a file.
#include "app/player.h"

#include <random>

#include "tests/support/kit.h"

namespace {

using namespace testutil;

std::string g_capture;

// Every test in this program plays into g_capture (each device open truncates it).
class Player : public ::testing::Test, public LSoundPlayerNotify {
  protected:
    static void SetUpTestSuite() {
        g_capture = ScratchDir() + "/played.raw";
        const std::string rule = "pcm.!default { type file slave.pcm \"null\" file \"" + g_capture +
                                 "\" format \"raw\" }\n";
        WriteFileBytes(g_capture + ".conf", {rule.begin(), rule.end()});
        setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + g_capture + ".conf").c_str(), 1);
    }

    void SetUp() override { player.SetNotify(this, this); }
    void spntfPlay(void*) override { ++plays; }
    void spntfStop(void*) override { ++stops; }
    void spntfPause(void*) override { ++pauses; }
    void spntfPosition(void*, int32_t ms) override { lastMs = ms; }

    // Delivers notifications until the condition holds (at most 20 s).
    bool WaitFor(const std::function<bool()>& done) {
        return WaitUntil([&] { return LThreadQueuedNotify::DeliverPending(), done(); }, 20);
    }
    // The capture holds exactly these internal samples, as 16-bit little-endian PCM.
    static void ExpectPlayed(const std::vector<int32_t>& v) {
        MemorySource m(8000, 1, v);
        EXPECT_EQ(ReadRaw16(g_capture), ReadAll16(m));
    }

    LSoundPlayer player;
    int plays = 0, stops = 0, pauses = 0;
    int32_t lastMs = -1;
};

// A source whose end grows as the test releases frames; it streams until closed.
class GrowingSource : public MemorySource {
  public:
    GrowingSource(int32_t rate, std::vector<int32_t> v) : MemorySource(rate, 1, std::move(v)) {}
    int32_t GetEndSample() override { return visible; }
    bool IsStreaming() override { return open; }
    std::atomic<int32_t> visible{0};
    std::atomic<bool> open{true};
};

}  // namespace

// Buffer sizes, levels, the limiter rule and a device that does not exist.
TEST_F(Player, SizesLevelsLimiterAndMissingDevice) {
    EXPECT_EQ(std::tuple(LSoundPlayer::FramesFor(44100), LSoundPlayer::FramesFor(100),
                         LSoundPlayer::FramesFor(96000)),
              std::tuple(4410, 20, 8192));
    std::vector<int32_t> square(400, LSAMPLE_FULL_SCALE), zero(400, 0);
    EXPECT_EQ(LSoundPlayer::Level(square.data(), 200, 2), 15);  // 10 log10(16383^2 / 2^23)
    EXPECT_EQ(LSoundPlayer::Level(zero.data(), 200, 2), -127);

    EXPECT_FALSE(player.Start(LSourceRef(new LSRCNull(LSRC_ERR_PLACEHOLDER))));
    EXPECT_TRUE(player.Start(LSourceRef(new MemorySource(44100, 2, zero, 0x7FFF0))));
    EXPECT_TRUE(player.BufferBytes() == 17640 && !player.HasLimiter());
    EXPECT_TRUE(player.Start(LSourceRef(new MemorySource(44100, 2, zero, 0x7FFF1))));
    EXPECT_TRUE(player.HasLimiter());
    player.Stop();
    player.SetDevice(99);
    EXPECT_FALSE(player.Start(LSourceRef(new MemorySource(44100, 2, zero))));
}

// Every frame once, in order: mono, stereo, limiter, shorter than a buffer, longer than the queue.
TEST_F(Player, PlaysEveryFrameThenStopsItself) {
    // Rate, channels, frames, peak (above full scale: through the limiter).
    const std::tuple<int32_t, int, size_t, int32_t> cases[] = {
        {8000, 1, 52345, 0x7FFF1}, {44100, 2, 300, 0x7FFF0}, {44100, 2, 4410 * 70, 0x7FFF0}};
    for (const auto& [rate, channels, frames, peak] : cases) {
        SCOPED_TRACE(rate);
        const auto v = Ramp(frames * size_t(channels));
        const int before = stops;
        EXPECT_TRUE(player.Start(LSourceRef(new MemorySource(rate, channels, v, peak))));
        EXPECT_TRUE(WaitFor([&] { return stops > before; }));
        EXPECT_FALSE(player.IsOpen());
        ExpectPlayed(v);
        EXPECT_EQ(lastMs, int32_t(LSoundTimeMs(int64_t(frames), rate)));
    }
}

// Pause twice pauses once, Play while playing notifies, a paused seek waits; a slow source.
TEST_F(Player, PauseSeekAndSlowSource) {
    const auto v = Ramp(8000 * 30);
    auto* src = new GrowingSource(8000, v);
    LSourceRef ref(src);
    ASSERT_TRUE(player.Start(ref));
    src->visible = 4000;
    ASSERT_TRUE(WaitFor([&] { return player.PlayedPosition() == 4000; }));
    player.Play();
    player.Pause();
    player.Pause();
    EXPECT_EQ(std::tuple(plays, pauses), std::tuple(2, 1));
    player.Seek(100000);
    src->visible = int32_t(v.size());
    ASSERT_TRUE(WaitFor([&] { return player.QueuedBuffers() == 64; }));
    src->open = false;
    EXPECT_EQ(std::tuple(player.PlayedPosition(), player.Flags()),
              std::tuple(100000, LSoundPlayer::OPEN | LSoundPlayer::PAUSED));
    player.Play();
    ASSERT_TRUE(WaitFor([&] { return !player.IsOpen(); }));
    std::vector<int32_t> heard(v.begin(), v.begin() + 4000);
    heard.insert(heard.end(), v.begin() + 100000, v.end());
    ExpectPlayed(heard);
}

// Start, stop, seek, pause, cue and play in a fast random loop: no hang, no fault, no leak.
TEST_F(Player, StartStopSeekLoop) {
    std::mt19937 rng(7);
    const auto v = Ramp(44100 * 2 * 20);
    for (int i = 0; i < 1000; ++i) {
        const int32_t at = int32_t(rng() % (44100 * 20));
        const std::function<void()> actions[] = {
            [&] { player.Start(LSourceRef(new MemorySource(44100, 2, v))); },
            [&] { player.Stop(); },
            [&] { player.Seek(at); },
            [&] { player.Pause(); },
            [&] { player.Cue(); },
            [&] { player.Play(); }};
        actions[rng() % 6]();
        LThreadQueuedNotify::DeliverPending();
    }
    player.Stop();
    EXPECT_FALSE(player.IsOpen());
}
