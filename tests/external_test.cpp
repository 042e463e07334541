// Outside programs against stand-ins: the encoder pipe, children, decoders, command lines.
#include <sys/stat.h>

#include <fstream>

#include "external/components.h"
#include "external/decoders.h"
#include "external/encoders.h"
#include "external/pipesink.h"
#include "external/process.h"
#include "store/registry.h"
#include "tests/support/kit.h"

namespace {

using testutil::FakeProgress;

// A stand-in program whose output goes nowhere (a sleeping one must not hold the runner's pipe).
std::string Script(const std::string& dir, const char* name, const std::string& body) {
    return testutil::StandIn(dir + "/" + name, "exec >/dev/null 2>&1\n" + body);
}

LSinkRef Pipe(const std::string& program, int32_t rate = 44100, int channels = 2) {
    return LSinkRef(new LPipe16Sink(("\"" + program + "\"").c_str(), rate, channels));
}

}  // namespace

TEST(PipeSink, WritesRoundedLittleEndianSamplesAndEndsInput) {
    std::string dir = testutil::ScratchDir();
    std::string enc = Script(dir, "enc", "cat > \"$2\"");
    std::string out = dir + "/out file.raw";
    std::vector<int32_t> in = testutil::Ramp(40000);
    // Rounding at the half step, both signs; beyond full scale wraps, no clipping.
    const int32_t edges[][2] = {{7, 0}, {8, 1}, {-9, -1}, {-8, 0}, {0x7FFFF, -32768}};
    for (size_t i = 0; i < std::size(edges); ++i) in[i] = edges[i][0];
    {
        LSinkRef sink(new LPipe16Sink(("\"" + enc + "\" -o \"" + out + "\"").c_str(), 44100, 2));
        ASSERT_FALSE(sink->IsUnusable());
        EXPECT_EQ(sink->Write(in.data(), 8192), 1);
        EXPECT_EQ(sink->Write(in.data() + 8192 * 2, 20000 - 8192), 1);
        EXPECT_EQ(sink->GetPosition(), 20000);
    }  // the release closes the pipe and waits for the encoder
    testutil::Bytes expect;
    for (size_t i = 0; i < in.size(); ++i)
        testutil::PutLE(expect, uint16_t(i < std::size(edges) ? edges[i][1] : (in[i] + 8) >> 4), 2);
    EXPECT_EQ(testutil::ReadFileBytes(out), expect);
}

TEST(PipeSink, MissingProgramFails) {
    LSinkRef missing = Pipe(testutil::ScratchDir() + "/no such encoder");
    std::vector<int32_t> in = testutil::Ramp(200);
    EXPECT_TRUE(missing->IsUnusable() && missing->Write(in.data(), 100) == 0);
}

// An encoder that reads half of its input and dies of a signal: the broken pipe is reported and
// this program lives on. One that takes all, then dies, fails the finish; one that ends well not.
TEST(PipeSink, EncoderThatBreaksOffOrFailsAtTheEnd) {
    std::string dir = testutil::ScratchDir(), out = dir + "/half.raw";
    std::vector<int32_t> in = testutil::Ramp(8192 * 2);
    LSinkRef half = Pipe(Script(dir, "enc", "head -c 655360 > \"" + out + "\"; kill -SEGV $$"));
    ASSERT_FALSE(half->IsUnusable());  // the process did start
    int ok = 1;
    for (int i = 0; i < 40; ++i) ok &= half->Write(in.data(), 8192);
    EXPECT_EQ(std::tuple(ok, half->IsUnusable(), half->GetPosition(),
                         testutil::ReadFileBytes(out).size()),
              std::tuple(0, true, 40 * 8192, 655360u));
    for (auto [body, bad] : {std::pair{"kill -KILL $$", true}, {"", false}}) {
        LSinkRef sink = Pipe(Script(dir, "enc", std::string("cat > /dev/null; ") + body));
        EXPECT_EQ(sink->Write(in.data(), 8192), 1) << body;
        EXPECT_EQ(sink->Finish(nullptr), bad ? LPROCESS_FAILED : LPROCESS_OK) << body;
        EXPECT_EQ(sink->IsUnusable(), bad) << body;
    }
}

// Finishing waits for the encoder within a (shortened) limit, then ends it; so does Cancel.
TEST(PipeSink, FinishWaitsForTheEncoderWithinItsLimit) {
    std::string dir = testutil::ScratchDir(), flag = dir + "/finished";
    std::vector<int32_t> in = testutil::Ramp(4096 * 2);  // fits into the pipe's buffer
    const uint32_t limit = LPipeOut::finishLimitMs;
    LPipeOut::finishLimitMs = 2000;
    const struct {
        const char* sleep;
        int cancelAfterMs;  // -1: none
        int status;
        double minS, maxS;
    } cases[] = {{"1", -1, LPROCESS_OK, 0.9, 1.9},
                 {"30", -1, LPROCESS_FAILED, 1.9, 3.5},
                 {"30", 300, LPROCESS_STOPPED, 0.25, 1.5}};
    for (const auto& c : cases) {
        std::remove(flag.c_str());
        LSinkRef sink = Pipe(
            Script(dir, "slow",
                   std::string("cat > /dev/null; sleep ") + c.sleep + "; touch \"" + flag + "\""));
        EXPECT_EQ(sink->Write(in.data(), 4096), 1);
        FakeProgress dlg;
        if (c.cancelAfterMs >= 0) dlg.CancelAfter(c.cancelAfterMs);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(sink->Finish(&dlg), c.status) << c.sleep;
        const double took = testutil::SecondsSince(start);
        EXPECT_TRUE(took >= c.minS && took < c.maxS) << c.sleep << ": " << took;
        sink.reset();
        // An ended encoder never comes back to write its file.
        EXPECT_FALSE(c.status != LPROCESS_OK && std::ifstream(flag).good());
    }
    LPipeOut::finishLimitMs = limit;
}

// Input cut after the stall limit, the encoder ended three seconds later: not after its 8 s sleep.
TEST(PipeSink, EncoderThatStopsReadingLosesItsInputAfterTheStallLimit) {
    std::vector<int32_t> in = testutil::Ramp(LSOUND_BLOCK_FRAMES * 2);
    uint32_t limit = LPipeOut::stallLimitMs;
    LPipeOut::stallLimitMs = 1000;
    auto start = std::chrono::steady_clock::now();
    int ok = 1;
    {
        LSinkRef sink = Pipe(Script(testutil::ScratchDir(), "stall", "sleep 8"));
        for (int i = 0; i < 30; ++i) ok &= sink->Write(in.data(), LSOUND_BLOCK_FRAMES);
        EXPECT_GE(testutil::SecondsSince(start), 0.9);
        EXPECT_LT(testutil::SecondsSince(start), 3.0);
    }
    LPipeOut::stallLimitMs = limit;
    EXPECT_EQ(ok, 0);
    EXPECT_LT(testutil::SecondsSince(start), 7.0);
}

TEST(ChildProcess, HiddenChildWaitsAndLeavesNothingOpen) {
    std::string dir = testutil::ScratchDir(), flag = dir + "/ran";
    // stdin of a hidden child is empty, not this program's.
    std::string prog = Script(dir, "child", "cat > \"" + flag + "\"");
    LChildProcess child;
    ASSERT_TRUE(child.StartHidden(("\"" + prog + "\"").c_str()));
    EXPECT_TRUE(child.WaitFor(5000) && child.WaitFor(0));  // and stays ended
    EXPECT_EQ(testutil::ReadFileBytes(flag).size(), 0u);
    EXPECT_FALSE(LChildProcess().StartHidden(("\"" + dir + "/missing\"").c_str()));
    // A child ended on purpose leaves no descriptor of its captured output behind.
    auto fds = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
    };
    const auto before = fds();
    ASSERT_TRUE(child.StartHidden(("\"" + Script(dir, "slow", "sleep 30") + "\"").c_str()));
    child.Kill();
    EXPECT_EQ(fds(), before);
}

namespace {

void Register(const char* component, const std::string& path) {
    char key[LMAX_PATH];
    ComponentKeyPath(key, component);
    RegistryWriteString(LRegistryRoot::LocalMachine, key, "Path", path.c_str());
}

// Runs a decoder record from `in` to `out` (its first two path fields).
template <class T, int (*Body)(LProgressDialog*, T*)>
int Decode(FakeProgress& dlg, const std::string& in, const std::string& out) {
    T record;
    char* fields = reinterpret_cast<char*>(&record);
    std::snprintf(fields, LMAX_PATH, "%s", in.c_str());
    std::snprintf(fields + LMAX_PATH, LMAX_PATH, "%s", out.c_str());
    return Body(&dlg, &record);
}

class Decoders : public ::testing::Test {
  protected:
    std::string dir = testutil::ScratchHome("");
};

}  // namespace

// The decoders without a peer here (AAC, Ogg and FLAC: the real programs' round trips).
TEST_F(Decoders, CommandLinesQuoteEveryPathInTheRightOrder) {
    // Each stand-in writes its arguments, one a line.
    const std::string recorder = Script(
        dir, "record dec", "for a in \"$@\"; do echo \"$a\"; done > \"" + dir + "/args.txt\"");
    for (const char* c : {"actdec", "shndec", "opusdec"}) Register(c, recorder);
    const std::string in = dir + "/my song.x", out = dir + "/Temp 1.wav";
    auto check = [&](auto decode, const char* title, const std::string& args) {
        FakeProgress dlg;
        EXPECT_EQ(decode(dlg, in, out), LPROCESS_OK) << title;
        EXPECT_EQ(testutil::ReadText(dir + "/args.txt"), args);
        EXPECT_EQ(std::tuple(dlg.lines[0], dlg.lines[1], dlg.errors.size()),
                  std::tuple(title, "my song.x", 0u));
    };
    check(Decode<LACTDecode, LDecodeACT>, "Decoding Record file", in + "\n" + out + "\n");
    check(Decode<LShnDecode, LDecodeShn>, "Decoding Shn file", "-x\n" + in + "\n" + out + "\n");
    check(Decode<LOpusDecode, LDecodeOpus>, "Decoding Opus file",
          "--quiet\n" + in + "\n" + out + "\n");
}

TEST_F(Decoders, TimeOutFailsAndEndsTheChildWithAllItStarted) {
    std::string pid = dir + "/pid";
    std::string prog = "\"" + Script(dir, "slow", "echo $$ > \"" + pid + "\"; sleep 30") + "\"";
    FakeProgress dlg;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ProcessRunCommandLineProcess(&dlg, prog.c_str(), 1200), LPROCESS_FAILED);
    const double took = testutil::SecondsSince(start);
    EXPECT_TRUE(took >= 1.15 && took < 3.5) << took;
    EXPECT_EQ(dlg.progress.size(), 3u);  // slices of 500, 500 and 200 ms
    // Its process group is gone (a zombie left for the system to reap writes nothing).
    EXPECT_EQ(testutil::RunOutput("ps -o stat= -g " + testutil::ReadText(pid) + " | grep -v Z"),
              "");
}

TEST_F(Decoders, MissingComponentTellsWhatToInstall) {
    const std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (dir + "/empty").c_str(), 1);
    FakeProgress dlg;
    EXPECT_EQ((Decode<LOggDecode, LDecodeOgg>(dlg, dir + "/x.ogg", dir + "/Temp1.wav")),
              LPROCESS_FAILED);
    EXPECT_EQ(dlg.errors, std::vector<std::string>{
                              "Tamber cannot install the required install-on-demand component "
                              "\"oggdec\". Please install the program \"oggdec\" (it must be "
                              "found on PATH) and try again."});

    // A program on PATH is found and recorded; a recorded one since removed is looked for again.
    const std::string bin = dir + "/bin", moved = dir + "/moved";
    mkdir(bin.c_str(), 0755);
    mkdir(moved.c_str(), 0755);
    Script(bin, "oggdec", "exit 0");
    Script(moved, "oggdec", "exit 0");
    char path[LMAX_PATH];
    for (auto [pathVar, found] : {std::pair{"/nowhere::" + bin, bin}, {"", bin}, {moved, moved}}) {
        if (found == moved) Register("oggdec", dir + "/gone/oggdec");
        setenv("PATH", pathVar.c_str(), 1);
        EXPECT_TRUE(ComponentReadPath("oggdec", path)) << pathVar;
        EXPECT_EQ(std::string(path), found + "/oggdec");
    }
    setenv("PATH", saved.c_str(), 1);

    // VoiceIt's library does not exist here.
    EXPECT_EQ((Decode<LVoiceItDecode, LDecodeVoiceIt>(dlg, dir + "/x.sri", dir + "/Temp1.wav")),
              LPROCESS_FAILED);
    EXPECT_EQ(dlg.errors.back(),
              "Unable to load the VoiceIt file SrPump.dll.\r\n\r\nPlease download and install the "
              "VoiceIt addon from http://www.velmora.com/voiceit.html.");
}

template <class T, class F>
T With(F set) {
    T s;
    set(s);
    return s;
}

TEST(EncoderCommandLines, ModesRatesChannelsAndTheBitRateLimit) {
    auto lame = [](auto set, int ch, int32_t rate) {
        return LMP3EncodePipe::CommandLine("C:\\enc\\lame.exe", "D:\\out put.mp3",
                                           With<LMP3EncodeSettings>(set), ch, rate);
    };
    auto lameLine = [](std::string options, const char* khz) {
        return "\"C:\\enc\\lame.exe\" " + options + " -r -s " + khz + " -S - \"D:\\out put.mp3\"";
    };
    auto ogg = [](auto set, int ch, int32_t rate) {
        return LOggEncodePipe::CommandLine("oggenc", "o.ogg", With<LOggEncodeSettings>(set), ch,
                                           rate);
    };
    auto aac = [](auto set, int ch, int32_t rate) {
        return LAACEncodePipe::CommandLine("faac", "o.m4a", With<LAACEncodeSettings>(set), ch,
                                           rate);
    };
    auto flac = [](auto set) {
        return LFlacEncodePipe::CommandLine("flac", "o.flac", With<LFlacEncodeSettings>(set));
    };
    auto opus = [](auto set, int ch, int32_t rate) {
        return LOpusEncodePipe::CommandLine("opusenc", "o.opus", With<LOpusEncodeSettings>(set), ch,
                                            rate);
    };
    const std::string flacTail = " --endian=little --bps=16 --sign=signed -f - -o \"o.flac\"";
    // clang-format off
    const struct { LEncoderCommand cmd; std::string line; int32_t rate; int channels; } rows[] = {
        // Defaults: CBR 128, high quality, joint.
        {lame([](auto&) {}, 2, 44100), lameLine("-m j -b 128 -h", "44.100"), 44100, 2},
        // VBR 32..192 with 22050 Hz mono: a top above 160 below 32000 Hz encodes at 44100.
        {lame([](auto& s) { s.constantBitRate = false, s.vbrMaxBitRate = 192; }, 1, 22050),
         lameLine("-m m -v -b 32 -B 192 -V 4", "44.100"), 44100, 1},
        // CBR 16 with 44100 stereo: 22050 Hz mono, mode m, no down-mix option.
        {lame([](auto& s) { s.cbrBitRate = 16, s.highQuality = false; }, 2, 44100),
         lameLine("-m m -b 16", "22.050"), 22050, 1},
        // Mono mode with a stereo input down-mixes; a mode above 3 counts as joint.
        {lame([](auto& s) { s.channelMode = 3, s.errorProtection = true; }, 2, 44100),
         lameLine("-a -m m -p -b 128 -h", "44.100"), 44100, 2},
        {lame([](auto& s) { s.channelMode = 9; }, 2, 48000), lameLine("-m j -b 128 -h", "48.000"),
         48000, 2},
        // Six channels in: the encoder is told stereo, never fed surround frames as stereo.
        {lame([](auto&) {}, 6, 48000), lameLine("-m j -b 128 -h", "48.000"), 48000, 2},
        // Ogg quality 4 down-mixed; VBR limits per channel count (Channels 0 counts as mono).
        {ogg([](auto&) {}, 2, 44100), "\"oggenc\" -C 2 -R 44100 --downmix -q 4 -Q - -o \"o.ogg\"",
         44100, 2},
        {ogg([](auto& s) { s.quality = false, s.vbrMinBitRate = 96, s.vbrMaxBitRate = 128,
                           s.stripComments = true; }, 1, 8000),
         "\"oggenc\" -C 1 -R 8000 -m 36 -M 36 --discard-comments -Q - -o \"o.ogg\"", 8000, 1},
        {ogg([](auto& s) { s.quality = false, s.vbrMinBitRate = 96, s.vbrMaxBitRate = 500,
                           s.channels = 2; }, 2, 22050),
         "\"oggenc\" -C 2 -R 22050 -m 96 -M 198 -Q - -o \"o.ogg\"", 22050, 2},
        {ogg([](auto& s) { s.quality = false, s.vbrMinBitRate = 96, s.vbrMaxBitRate = 500,
                           s.channels = 0; }, 2, 22050),
         "\"oggenc\" -C 2 -R 22050 --downmix -m 96 -M 99 -Q - -o \"o.ogg\"", 22050, 2},
        {aac([](auto& s) { s.averageBitRate = true, s.abrBitRate = 320; }, 1, 16000),
         "\"faac\" -C 1 -R 16000 -b 72 -X - -o \"o.m4a\"", 16000, 1},
        {aac([](auto& s) { s.forceMPEG2 = true, s.disableTNS = true; }, 2, 44100),
         "\"faac\" -C 2 -R 44100 -q 100 --mpeg-vers 2 --no-tns -X - -o \"o.m4a\"", 44100, 2},
        {flac([](auto& s) { s.channels = 1, s.sampleRate = 44100; }),
         "\"flac\" --channels=1 --sample-rate=44100 --compression-level-4" + flacTail, 44100, 1},
        {flac([](auto& s) { s.channels = 6, s.sampleRate = 96000, s.compression = 8; }),
         "\"flac\" --channels=2 --sample-rate=96000 --compression-level-8" + flacTail, 96000, 2},
        // Opus at the source's rate; more than two channels are mixed down to stereo.
        {opus([](auto&) {}, 1, 44100),
         "\"opusenc\" --quiet --bitrate 96 --raw --raw-rate 44100 --raw-chan 1 - \"o.opus\"", 44100,
         1},
        {opus([](auto& s) { s.bitRate = 6, s.tuning = 1; }, 6, 8000),
         "\"opusenc\" --quiet --bitrate 6 --speech --raw --raw-rate 8000 --raw-chan 2 - \"o.opus\"",
         8000, 2},
        {opus([](auto& s) { s.tuning = 2; }, 2, 48000),
         "\"opusenc\" --quiet --bitrate 96 --music --raw --raw-rate 48000 --raw-chan 2 - \"o.opus\"",
         48000, 2},
    };
    // clang-format on
    for (const auto& r : rows)
        EXPECT_EQ(std::tuple(r.cmd.commandLine, r.cmd.sampleRate, r.cmd.channels),
                  std::tuple(r.line, r.rate, r.channels));
    // MP3 rates snap to the nearest the encoder takes; a low bitrate caps at 22050, a high lifts.
    const int32_t snaps[][3] = {{12000, 11025, 64}, {46000, 44100, 64}, {96000, 48000, 64},
                                {25000, 32000, 64}, {23000, 22050, 64}, {16000, 16000, 64},
                                {6000, 8000, 64},   {48000, 22050, 24}, {8000, 44100, 192},
                                {32000, 32000, 192}};
    for (const auto& c : snaps)
        EXPECT_EQ(lame([&](auto& s) { s.cbrBitRate = uint16_t(c[2]); }, 2, c[0]).sampleRate, c[1])
            << c[0] << " " << c[2];
    // Left to right in double: other evaluation orders give 26 for the first.
    EXPECT_EQ(std::tuple(LEncoderBitRateLimit(1, 6000), LEncoderBitRateLimit(1, 8000),
                         LEncoderBitRateLimit(2, 44100)),
              std::tuple(27, 36, 396));
}

TEST(SplitCommandLine, QuotesAndBlanks) {
    EXPECT_EQ(LSplitCommandLine("\"/a b/dec\" -d  -o \"/t/x y.wav\" \"in.aac\""),
              (std::vector<std::string>{"/a b/dec", "-d", "-o", "/t/x y.wav", "in.aac"}));
    EXPECT_EQ(LSplitCommandLine("x \"\" \"unterminated arg"),
              (std::vector<std::string>{"x", "", "unterminated arg"}));
    // Quoting gives every name back whole; plain Windows paths are only wrapped in quotes.
    EXPECT_EQ(LQuotedArgument("C:\\Program Files\\lame.exe"), "\"C:\\Program Files\\lame.exe\"");
    for (const char* name : {"/m/a\"b.ogg", "/m/x\\\"y\\", "/m/$(touch z) 'q'.wav", "\\", ""})
        EXPECT_EQ(LSplitCommandLine(("\"/dec\" -o " + LQuotedArgument(name) + " next").c_str()),
                  (std::vector<std::string>{"/dec", "-o", name, "next"}));
}
