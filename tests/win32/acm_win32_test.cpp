// WAV in the 32-bit program: compressed WAV through Wine's ACM against ffmpeg; past 4 GiB.
#include <cstdio>

#include "formats/acm.h"
#include "formats/wav.h"
#include "tests/support/acm_records.h"
#include "tests/support/signal.h"
#include "tests/win32/support/wintest.h"

using namespace testutil;

namespace {

// A folder that both sides of Wine can name: Z:\tmp\... is /tmp/... for the peer tools.
const std::string kWin = "Z:\\tmp\\tamber-acm-win32", kUnix = "/tmp/tamber-acm-win32";

// Runs a host command through the host shell; Wine cannot wait for it, so it leaves a marker.
bool RunHost(const std::string& command) {
    static int serial = 0;
    const std::string marker =
        "done" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++serial);
    CloseHandle(
        wintest::Start("Z:\\bin\\sh", {"-c", command + " ; echo x > " + kUnix + "/" + marker}));
    const std::string done = kWin + "\\" + marker;
    return wintest::WaitFor([&] { return fs::exists(done); }, 60000) && fs::remove(done);
}

std::vector<int16_t> FfmpegDecode(const std::string& name) {
    fs::remove(kWin + "\\ff.raw");
    RunHost("ffmpeg -nostdin -loglevel error -y -i " + kUnix + "/" + name +
            " -f s16le -acodec pcm_s16le " + kUnix + "/ff.raw");
    return ReadRaw16(kWin + "\\ff.raw");
}

}  // namespace

// Per rate, channels and codec: ffmpeg's file decodes as in ffmpeg (G.711 exactly), ours in ffmpeg.
TEST(AcmPlatform, PeerFilesDecodeLikeFfmpegAndOutputsReadBackInPeers) {
    if (!fs::exists("Z:\\usr\\bin\\ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    std::error_code ec;
    fs::remove_all(kWin, ec);
    fs::create_directories(kWin, ec);
    for (int32_t rate : {8000, 22050, 44100}) {
        for (int ch : {1, 2}) {
            const std::vector<int16_t> signal = ToneMix(rate, ch, rate / 2);
            ASSERT_TRUE(WriteWav16(kWin + "\\src.wav", rate, ch, signal));
            for (auto [name, args, format] :
                 {std::tuple{std::string("A-law"), "pcm_alaw", LWaveFileFormat(rate, ch, "ALAW")},
                  {"u-law", "pcm_mulaw", LWaveFileFormat(rate, ch, "ULAW")},
                  {"IMA ADPCM", "adpcm_ima_wav", ImaRecord(rate, ch)},
                  {"MS ADPCM", "adpcm_ms", MsAdpcmRecord(rate, ch)},
                  {"GSM 6.10", "libgsm_ms", GsmRecord(rate)},
                  {"MP3", "libmp3lame -b:a 96k", LWaveFileFormat()}}) {
                if (name == "GSM 6.10" && (rate != 8000 || ch != 1)) continue;
                SCOPED_TRACE(name + " " + std::to_string(rate) + " " + std::to_string(ch));
                // Wine's GSM and MP3 codecs need host libraries; its msadp32 only decodes.
                const bool mayLack = name == "GSM 6.10" || name == "MP3";
                fs::remove(kWin + "\\peer.wav");
                RunHost("ffmpeg -nostdin -loglevel error -y -i " + kUnix + "/src.wav -c:a " + args +
                        " " + kUnix + "/peer.wav");
                uint8_t err = 0;
                const std::vector<int16_t> ours = DecodeWithReader(kWin + "\\peer.wav", &err);
                EXPECT_TRUE(err == 0 || (err == 5 && mayLack)) << int(err);
                if (err == 0 && name.find("law") != std::string::npos) {
                    EXPECT_EQ(MaxDiff(ours, FfmpegDecode("peer.wav")), 0);
                } else if (err == 0) {
                    EXPECT_GT(SnrDb(FfmpegDecode("peer.wav"), ours), 20.0);
                }
                if (name == "MP3") continue;
                if (!format.TestSupportedRecord()) {
                    EXPECT_TRUE(mayLack || name == "MS ADPCM");
                    // The writer then refuses the format instead of writing a broken file.
                    LSinkRef sink = LWaveOpenSink((kWin + "\\none.wav").c_str(), format);
                    EXPECT_TRUE(sink && sink->IsUnusable());
                    continue;
                }
                ASSERT_TRUE(EncodeWithWriter(kWin + "\\out.wav", format, signal));
                const std::vector<int16_t> ff = FfmpegDecode("out.wav");
                EXPECT_GE(ff.size() + 4096, signal.size());
                EXPECT_GT(SnrDb(signal, ff), 12.0);
            }
        }
    }
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
