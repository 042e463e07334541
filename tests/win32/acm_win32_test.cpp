// Compressed WAV through the platform's Audio Compression Manager (Wine's real ACM drivers):
// ffmpeg-made files decode like ffmpeg decodes them, our outputs read back in ffmpeg.
#include <cstdio>
#include <cstring>

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
    std::filesystem::remove_all(d.win, ec);
    std::filesystem::create_directories(d.win, ec);
    return d;
}

// Runs a peer tool (a host program) through the host shell and waits for it: Wine cannot wait
// for a host process, so the shell leaves a marker file when the tool has finished.
bool RunHost(const std::string& tool, const std::string& args) {
    static int serial = 0;
    const std::string id = std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++serial);
    const std::string marker = "/tmp/tamber-acm-win32/done" + id;
    const std::string markerWin = "Z:\\tmp\\tamber-acm-win32\\done" + id;
    std::error_code ec;
    std::filesystem::remove(markerWin, ec);
    std::string cmd = "Z:\\bin\\sh -c \"" + tool + " " + args + " ; echo x > " + marker + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    for (int i = 0; i < 6000 && !std::filesystem::exists(markerWin); ++i) Sleep(10);
    return std::filesystem::remove(markerWin, ec);
}

bool HavePeers() {
    return std::filesystem::exists("Z:\\usr\\bin\\ffmpeg");
}

std::vector<int16_t> FfmpegDecode(const SharedDir& d, const std::string& name) {
    std::remove((d.win + "\\ff.raw").c_str());
    RunHost("ffmpeg", "-nostdin -loglevel error -y -i " + d.unix + "/" + name +
                          " -f s16le -acodec pcm_s16le " + d.unix + "/ff.raw");
    return ReadRaw16(d.win + "\\ff.raw");
}

struct PeerEncoding {
    const char* label;
    const char* args;
    bool exact;  // the platform codec must match ffmpeg sample for sample
    bool gsm;
};

const PeerEncoding kPeerEncodings[] = {
    {"A-law", "-c:a pcm_alaw", true, false},
    {"u-law", "-c:a pcm_mulaw", true, false},
    {"IMA ADPCM", "-c:a adpcm_ima_wav", false, false},
    {"MS ADPCM", "-c:a adpcm_ms", false, false},
    {"GSM 6.10", "-c:a libgsm_ms", false, true},
    {"MP3", "-c:a libmp3lame -b:a 96k", false, false},
};

}  // namespace

TEST(AcmPlatform, PeerFilesDecodeLikeFfmpeg) {
    if (!HavePeers()) GTEST_SKIP() << "ffmpeg missing";
    SharedDir d = Scratch("peer");
    for (int32_t rate : {8000, 22050, 44100}) {
        for (int ch : {1, 2}) {
            ASSERT_TRUE(
                WriteWav16(d.win + "\\src.wav", rate, ch, ToneMix(rate, ch, rate * 3 / 10)));
            for (const PeerEncoding& e : kPeerEncodings) {
                if (e.gsm && (rate != 8000 || ch != 1)) continue;
                std::remove((d.win + "\\peer.wav").c_str());
                std::string in = d.unix + "/src.wav", out = d.unix + "/peer.wav";
                RunHost("ffmpeg",
                        "-nostdin -loglevel error -y -i " + in + " " + e.args + " " + out);
                ASSERT_TRUE(std::filesystem::exists(d.win + "\\peer.wav")) << e.label;
                std::vector<int16_t> ref = FfmpegDecode(d, "peer.wav");
                uint8_t err = 0;
                std::vector<int16_t> ours = DecodeWithReader(d.win + "\\peer.wav", &err);
                if (err == 5) {  // no ACM codec on this machine
                    EXPECT_TRUE(e.gsm || std::string(e.label) == "MP3")
                        << "only GSM and MP3 may lack a codec under Wine: " << e.label;
                    continue;
                }
                ASSERT_EQ(err, 0) << e.label;
                if (e.exact)
                    EXPECT_EQ(MaxDiff(ours, ref), 0) << e.label << " " << rate << " " << ch;
                else
                    EXPECT_GT(SnrDb(ref, ours), 20.0) << e.label << " " << rate;
            }
        }
    }
}

TEST(AcmPlatform, OutputsReadBackInPeers) {
    if (!HavePeers()) GTEST_SKIP() << "ffmpeg missing";
    SharedDir d = Scratch("out");
    for (int32_t rate : {8000, 22050, 44100}) {
        for (int ch : {1, 2}) {
            std::vector<int16_t> signal = ToneMix(rate, ch, rate / 2);
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

TEST(AcmPlatform, EdgesThroughTheAcm) {
    SharedDir d = Scratch("edges");
    // Seeking in IMA ADPCM lands on the exact frame.
    const std::string ima = d.win + "\\ima.wav";
    ASSERT_TRUE(EncodeWithWriter(ima, ImaRecord(22050, 1), ToneMix(22050, 1, 22050)));
    std::vector<int16_t> all = DecodeWithReader(ima);
    ASSERT_GE(all.size(), 22050u);
    LSourceRef src = LWaveFile::OpenSource(ima.c_str());
    ASSERT_EQ(src->GetError(), 0);
    std::vector<int32_t> buf(1000);
    for (int32_t t : {1, 1017, 1018, 7777, 20000}) {
        src->Seek(t);
        src->Read(buf.data(), 1000);
        for (int32_t i = 0; i < 1000 && size_t(t + i) < all.size(); ++i)
            ASSERT_EQ(LSampleTo16(buf[size_t(i)]), all[size_t(t + i)])
                << "seek " << t << " frame " << i;
    }
    // A tag no codec handles.
    std::vector<uint8_t> fmt(18, 0);
    LWaveFormatEx w{0x1234, 1, 8000, 8000, 1, 8, 0};
    std::memcpy(fmt.data(), &w, 18);
    ASSERT_TRUE(WriteWavRaw(d.win + "\\bad.wav", fmt, std::vector<uint8_t>(1000, 1)));
    uint8_t err = 0;
    DecodeWithReader(d.win + "\\bad.wav", &err);
    EXPECT_EQ(err, 5);
    LWaveFileFormat bad(8000, 1, "ALAW");
    bad.Format().wFormatTag = 0x1234;
    EXPECT_FALSE(bad.TestSupportedRecord());
}
