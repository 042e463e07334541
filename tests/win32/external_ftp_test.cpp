// Install on demand under Windows: passive FTP from the harness script's servers (ports in FTP_*).
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "convert/gensource.h"
#include "external/components.h"
#include "external/encoders.h"
#include "store/settings.h"
#include "tests/support/soundutil.h"
#include "tests/win32/support/wintest.h"

namespace {

using testutil::SecondsSince;

// The downloaded installer's place while it runs.
fs::path TempInstaller(const char* component) {
    return fs::temp_directory_path() / (std::string(component) + ".exe");
}

class InstallOnDemand : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("FTP_GOOD"), nullptr) << "run through external_ftp_test.py";
        for (std::string c : {"ftpfirst", "ftpsecond", "ftpmissing", "ftpnosize", "ftpslow",
                              "hangcomp", "ftpwrong", "ftpendless", "opusdec", "opusenc"})
            wintest::RegWrite(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Components\\" + c, "Path",
                              nullptr);
    }
    void TearDown() override {
        for (const char* value : {"FirstServer", "SecondServer", "InstallerWait"})
            SettingsDeleteValue(kInstallSection, value);
    }
    // Asks for a component from the two servers (cancelling after cancelMs); the seconds taken.
    double Get(const char* component, const char* first, const char* second, int expected,
               int cancelMs = -1) {
        int i = 0;
        for (const char* which : {first, second}) {
            const char* port = std::getenv((std::string("FTP_") + which).c_str());
            SettingsWriteString(kInstallSection, i++ ? "SecondServer" : "FirstServer",
                                (std::string("127.0.0.1:") + (port ? port : "1")).c_str());
        }
        surface = std::make_unique<testutil::FakeProgress>();
        if (cancelMs >= 0) surface->CancelAfter(cancelMs);
        rec = LProcessGetComponentPath{};
        rec.name = component;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ProcessGetComponentPath(surface.get(), &rec), expected) << component;
        return SecondsSince(start);
    }
    std::unique_ptr<testutil::FakeProgress> surface;
    LProcessGetComponentPath rec;
};

}  // namespace

TEST_F(InstallOnDemand, FirstServerRefusesSecondServes) {
    Get("ftpsecond", "REFUSE", "GOOD", LPROCESS_OK);
    EXPECT_STREQ(rec.path, "C:\\Components\\ftpsecond.exe");
    EXPECT_TRUE(surface->errors.empty());
    EXPECT_FALSE(fs::exists(TempInstaller("ftpsecond")));
    Get("ftpsecond", "DEAD", "DEAD", LPROCESS_OK);  // recorded now: no network needed
}

// Both servers failing, a file on neither, an installer that never ends: the same message.
TEST_F(InstallOnDemand, FailuresShowTheMessage) {
    SettingsWriteInt(kInstallSection, "InstallerWait", 1500);
    for (auto [component, first, second, atLeast] : {std::tuple{"ftpfirst", "DEAD", "REFUSE", 0.0},
                                                     {"ftpmissing", "GOOD", "NOSIZE", 0.0},
                                                     {"hangcomp", "GOOD", "DEAD", 1.4}}) {
        const double took = Get(component, first, second, LPROCESS_FAILED);
        EXPECT_GE(took, atLeast) << component;
        EXPECT_LT(took, 6.0) << component;
        EXPECT_EQ(surface->errors,
                  std::vector<std::string>{
                      "Tamber cannot install the required install-on-demand component \"" +
                      std::string(component) +
                      "\". Please download it from http://www.velmora.com/components.html and "
                      "install it manually."});
        EXPECT_FALSE(fs::exists(TempInstaller(component))) << component;  // also after a time-out
    }
}

// A file with other bytes, or one that does not end: not run, said so, and deleted.
TEST_F(InstallOnDemand, DownloadNotThePublishedFileIsRefused) {
    for (const char* component : {"ftpwrong", "ftpendless"}) {
        Get(component, "GOOD", "DEAD", LPROCESS_FAILED);
        ASSERT_EQ(surface->errors.size(), 2u) << component;
        EXPECT_EQ(surface->errors[0], ComponentDamagedMessage(component));
        EXPECT_EQ(surface->errors[1], ComponentInstallFailedMessage(component));
        EXPECT_FALSE(fs::exists(TempInstaller(component))) << component;
    }
}

TEST_F(InstallOnDemand, ServerWithoutSizeStillDeliversTheWholeFile) {
    Get("ftpnosize", "NOSIZE", "DEAD", LPROCESS_OK);
    EXPECT_STREQ(rec.path, "C:\\Components\\ftpnosize.exe");  // the whole installer ran
    ASSERT_FALSE(surface->progress.empty());                  // the bar moves, never to the end
    EXPECT_LT(*std::max_element(surface->progress.begin(), surface->progress.end()), 1.0);
}

TEST_F(InstallOnDemand, CancelDuringDownloadDeletesTheFileSilently) {
    EXPECT_LT(Get("ftpslow", "SLOW", "GOOD", LPROCESS_STOPPED, 1500), 5.0);
    EXPECT_TRUE(surface->errors.empty());
    EXPECT_FALSE(fs::exists(TempInstaller("ftpslow")));
    char path[LMAX_PATH];
    EXPECT_FALSE(ComponentReadPath("ftpslow", path));  // the second server was not tried
}

// The build's Opus components from the server: the encoder writes a mono note at 16 kHz tuned
// for speech, and the ".opus" row reads it back through the decoder.
TEST_F(InstallOnDemand, OpusComponentsInstallThenEncodeAndDecodeANote) {
    for (const char* component : {"opusenc", "opusdec"}) {
        Get(component, "GOOD", "DEAD", LPROCESS_OK);
        EXPECT_TRUE(surface->errors.empty()) << surface->errors[0];
        EXPECT_TRUE(fs::exists(rec.path)) << rec.path;
    }
    const std::vector<int16_t> pcm = testutil::ToneMix(16000, 1, 32000);
    const std::string note = testutil::ScratchDir() + "\\voice note.opus";
    LOpusEncodeSettings speech;
    speech.tuning = 1;
    LSinkRef sink = LOpusEncodePipe::OpenOpusSink(note.c_str(), speech, 1, 16000);
    ASSERT_TRUE(sink && !sink->IsUnusable());
    testutil::Feed(*sink, testutil::Internal(pcm));
    sink.reset();
    testutil::FakeProgress dlg;
    LSourceRef src;
    ASSERT_EQ(LGenSourceOpen(src, note.c_str(), &dlg), LPROCESS_OK);
    EXPECT_EQ(dlg.lines[0], "Decoding Opus file");
    EXPECT_EQ(std::tuple(src->GetError(), src->GetSampleRate(), src->GetChannels()),
              std::tuple(LSRC_OK, 16000, 1));
    const std::vector<int16_t> back = testutil::ReadAll16(*src);
    EXPECT_NEAR(double(back.size()), double(pcm.size()), 0.01 * double(pcm.size()));
    EXPECT_GE(testutil::Correlation(pcm, back), 0.98);
}
