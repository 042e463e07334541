// WAV files in the 32-bit program: compressed WAV through the platform's Audio Compression
// Manager (Wine's real ACM drivers), ffmpeg-made files decoding like ffmpeg decodes them and our
// outputs read back in ffmpeg; unknown tags; 64-bit sizes and offsets past 4 GiB.
#include <cstdio>

#include "formats/acm.h"
#include "formats/wav.h"
#include "tests/support/acm_records.h"
#include "tests/support/signal.h"
#include "tests/win32/support/wintest.h"

using namespace testutil;

namespace {

// A folder that both sides of Wine can name: Z:\tmp\... is /tmp/... for the peer tools.
struct SharedDir {
    std::string win, unix;
};

SharedDir Scratch(const char* name) {
    SharedDir d{std::string("Z:\\tmp\\tamber-acm-win32\\") + name,
                std::string("/tmp/tamber-acm-win32/") + name};
    std::error_code ec;
    fs::remove_all(d.win, ec);
    fs::create_directories(d.win, ec);
    return d;
}

// Runs a command of the host (a peer tool) through the host shell and waits for it: Wine cannot
// wait for a host process, so the shell leaves a marker file when the command has finished.
bool RunHost(const std::string& command) {
    static int serial = 0;
    const std::string marker =
        "done" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++serial);
    CloseHandle(wintest::Start("Z:\\bin\\sh",
                               {"-c", command + " ; echo x > /tmp/tamber-acm-win32/" + marker}));
    const std::string done = "Z:\\tmp\\tamber-acm-win32\\" + marker;
    return wintest::WaitFor([&] { return fs::exists(done); }, 60000) && fs::remove(done);
}

std::vector<int16_t> FfmpegDecode(const SharedDir& d, const std::string& name) {
    fs::remove(d.win + "\\ff.raw");
    RunHost("ffmpeg -nostdin -loglevel error -y -i " + d.unix + "/" + name +
            " -f s16le -acodec pcm_s16le " + d.unix + "/ff.raw");
    return ReadRaw16(d.win + "\\ff.raw");
}

}  // namespace

// Both ways per rate and channel count: ffmpeg's files decode here like ffmpeg decodes them, and
// our files decode in ffmpeg.
TEST(AcmPlatform, PeerFilesDecodeLikeFfmpegAndOutputsReadBackInPeers) {
    if (!fs::exists("Z:\\usr\\bin\\ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    SharedDir d = Scratch("peer");
    for (int32_t rate : {8000, 22050, 44100}) {
        for (int ch : {1, 2}) {
            const std::vector<int16_t> signal = ToneMix(rate, ch, rate / 2);
            ASSERT_TRUE(WriteWav16(d.win + "\\src.wav", rate, ch, signal));
            // The platform codec must match ffmpeg sample for sample where exact.
            for (auto [label, args, exact] : {std::tuple{"A-law", "pcm_alaw", true},
                                              {"u-law", "pcm_mulaw", true},
                                              {"IMA ADPCM", "adpcm_ima_wav", false},
                                              {"MS ADPCM", "adpcm_ms", false},
                                              {"GSM 6.10", "libgsm_ms", false},
                                              {"MP3", "libmp3lame -b:a 96k", false}}) {
                const bool gsm = std::string(label) == "GSM 6.10";
                if (gsm && (rate != 8000 || ch != 1)) continue;
                fs::remove(d.win + "\\peer.wav");
                RunHost("ffmpeg -nostdin -loglevel error -y -i " + d.unix + "/src.wav -c:a " +
                        args + " " + d.unix + "/peer.wav");
                ASSERT_TRUE(fs::exists(d.win + "\\peer.wav")) << label;
                std::vector<int16_t> ref = FfmpegDecode(d, "peer.wav");
                uint8_t err = 0;
                std::vector<int16_t> ours = DecodeWithReader(d.win + "\\peer.wav", &err);
                if (err == 5) {  // no ACM codec on this machine
                    EXPECT_TRUE(gsm || std::string(label) == "MP3")
                        << "only GSM and MP3 may lack a codec under Wine: " << label;
                    continue;
                }
                ASSERT_EQ(err, 0) << label;
                if (exact)
                    EXPECT_EQ(MaxDiff(ours, ref), 0) << label << " " << rate << " " << ch;
                else
                    EXPECT_GT(SnrDb(ref, ours), 20.0) << label << " " << rate;
            }
            std::vector<std::pair<const char*, LWaveFileFormat>> targets = {
                {"A-law", LWaveFileFormat(rate, ch, "ALAW")},
                {"u-law", LWaveFileFormat(rate, ch, "ULAW")},
                {"IMA ADPCM", ImaRecord(rate, ch)},
                {"MS ADPCM", MsAdpcmRecord(rate, ch)},
            };
            if (rate == 8000 && ch == 1) targets.push_back({"GSM 6.10", GsmRecord(rate)});
            for (auto& [label, format] : targets) {
                if (!format.TestSupportedRecord()) {
                    // Wine's msadp32 decodes only; its GSM driver needs the host's libgsm.
                    EXPECT_TRUE(std::string(label) == "GSM 6.10" ||
                                std::string(label) == "MS ADPCM");
                    // The writer then refuses the format instead of writing a broken file.
                    LSinkRef sink = LWaveOpenSink((d.win + "\\none.wav").c_str(), format);
                    ASSERT_TRUE(sink);
                    EXPECT_TRUE(sink->IsUnusable());
                    continue;
                }
                ASSERT_TRUE(EncodeWithWriter(d.win + "\\out.wav", format, signal)) << label;
                std::vector<int16_t> ff = FfmpegDecode(d, "out.wav");
                EXPECT_GE(ff.size() + 4096, signal.size()) << label;
                EXPECT_GT(SnrDb(signal, ff), 12.0) << label << " " << rate << " " << ch;
            }
        }
    }
}

// A tag no codec of the system handles is refused with error 5.
TEST(AcmPlatform, UnknownTagGivesError5) {
    const std::string bad = testutil::ScratchDir() + "\\bad.wav";
    ASSERT_TRUE(WriteWavRaw(bad, FmtBody(0x1234, 1, 8000, 8, 18), std::vector<uint8_t>(1000, 1)));
    uint8_t err = 0;
    DecodeWithReader(bad, &err);
    EXPECT_EQ(err, 5);
}

// A sparse RF64 file of 4.1 GiB, read across the 4 GiB mark up to its last frame.
TEST(WaveFileWin32, ReadsRf64PastFourGiB) {
    const std::string path = testutil::ScratchDir() + "\\big.wav";
    const int64_t frames = (int64_t(41) << 30) / 10 / 4;
    const std::vector<int64_t> marks = {0, (int64_t(1) << 30) + 1, frames - 1};
    ASSERT_TRUE(testutil::WriteSparseRf64(path, frames, marks));
    LSourceRef src = LWaveFile::OpenSource(path.c_str());
    ASSERT_EQ(src->GetEndSample(), frames);
    for (int64_t k : marks) {
        int32_t frame[2];
        src->Seek(int32_t(k));
        src->Read(frame, 1);
        EXPECT_EQ(frame[1], LSampleFrom16(testutil::Rf64Mark(k))) << k;
    }
    src.reset();
    std::remove(path.c_str());
}
