// Install on demand under Windows: downloads over anonymous passive FTP from local servers that
// the harness script starts (ports in FTP_GOOD, FTP_REFUSE, FTP_NOSIZE, FTP_SLOW, FTP_DEAD).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "external/components.h"
#include "store/registry.h"
#include "store/settings.h"
#include "tests/support/fakeprogress.h"

namespace fs = std::filesystem;

namespace {

std::string Server(const char* which) {
    const char* port = std::getenv((std::string("FTP_") + which).c_str());
    return std::string("127.0.0.1:") + (port ? port : "1");
}

void UseServers(const char* first, const char* second) {
    SettingsWriteString(kInstallSection, "FirstServer", Server(first).c_str());
    SettingsWriteString(kInstallSection, "SecondServer", Server(second).c_str());
}

void Forget(const char* component) {
    char key[LMAX_PATH];
    ComponentKeyPath(key, component);
    RegistryDeleteValue(LRegistryRoot::LocalMachine, key, "Path");
}

std::string TempInstaller(const char* component) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + component + ".exe";
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

class InstallOnDemand : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("FTP_GOOD"), nullptr) << "run through external_ftp_test.py";
    }
    void TearDown() override {
        for (const char* value : {"FirstServer", "SecondServer", "InstallerWait"})
            SettingsDeleteValue(kInstallSection, value);
    }
    int Get(const char* component) {
        rec = LProcessGetComponentPath{};
        rec.name = component;
        return ProcessGetComponentPath(&dlg, &rec);
    }
    testutil::FakeProgress dlg;
    LProcessGetComponentPath rec;
};

std::string Message(const char* component) {
    return std::string("Tamber cannot install the required install-on-demand component \"") +
           component +
           "\". Please download it from http://www.velmora.com/components.html and install it "
           "manually.";
}

}  // namespace

TEST_F(InstallOnDemand, RecordedPathNeedsNoNetwork) {
    char key[LMAX_PATH];
    ComponentKeyPath(key, "ftpknown");
    RegistryWriteString(LRegistryRoot::LocalMachine, key, "Path", "");  // empty counts as found
    UseServers("DEAD", "DEAD");
    EXPECT_EQ(Get("ftpknown"), LPROCESS_OK);
    EXPECT_STREQ(rec.path, "");
    EXPECT_TRUE(dlg.line0History.empty());
    EXPECT_TRUE(dlg.errors.empty());
}

TEST_F(InstallOnDemand, FirstServerRefusesSecondServes) {
    Forget("ftpsecond");
    UseServers("REFUSE", "GOOD");
    EXPECT_EQ(Get("ftpsecond"), LPROCESS_OK);
    EXPECT_STREQ(rec.path, "C:\\Components\\ftpsecond.exe");
    EXPECT_TRUE(dlg.errors.empty());
    auto& h = dlg.line0History;
    EXPECT_NE(std::find(h.begin(), h.end(), "Download install-on-demand"), h.end());
    EXPECT_NE(std::find(h.begin(), h.end(), "Downloading"), h.end());
    EXPECT_EQ(h.back(), "Running install-on-demand");
    EXPECT_FALSE(fs::exists(TempInstaller("ftpsecond")));
    ASSERT_GE(dlg.progress.size(), 2u);
    EXPECT_EQ(std::vector<double>(dlg.progress.begin(), dlg.progress.begin() + 2),
              (std::vector<double>{0.05, 0.1}));
    // A related program installs through the same download.
    Forget("qusetup");
    EXPECT_EQ(ProcessInstallProgram(&dlg, "qusetup"), LPROCESS_OK);
    char path[LMAX_PATH];
    EXPECT_TRUE(ComponentReadPath("qusetup", path));
    EXPECT_FALSE(fs::exists(TempInstaller("qusetup")));
}

// Both servers failing, a file that is on neither, and an installer that never ends (left
// running after the wait) all show the same message.
TEST_F(InstallOnDemand, FailuresShowTheMessage) {
    SettingsWriteInt(kInstallSection, "InstallerWait", 1500);
    const struct {
        const char *component, *first, *second;
        double seconds;  // at least
    } cases[] = {{"ftpfirst", "DEAD", "REFUSE", 0},
                 {"ftpmissing", "GOOD", "NOSIZE", 0},
                 {"hangcomp", "GOOD", "DEAD", 1.4}};
    for (const auto& c : cases) {
        Forget(c.component);
        UseServers(c.first, c.second);
        testutil::FakeProgress failed;
        LProcessGetComponentPath r{};
        r.name = c.component;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ProcessGetComponentPath(&failed, &r), LPROCESS_FAILED) << c.component;
        const double took = Seconds(start);
        EXPECT_GE(took, c.seconds) << c.component;
        EXPECT_LT(took, 6.0) << c.component;
        EXPECT_EQ(failed.errors, std::vector<std::string>{Message(c.component)});
    }
    EXPECT_FALSE(fs::exists(TempInstaller("ftpfirst")));
}

TEST_F(InstallOnDemand, ServerWithoutSizeStillDeliversTheWholeFile) {
    Forget("ftpnosize");
    UseServers("NOSIZE", "DEAD");
    EXPECT_EQ(Get("ftpnosize"), LPROCESS_OK);
    EXPECT_STREQ(rec.path, "C:\\Components\\ftpnosize.exe");  // the whole installer ran
    // The bar moves as if the file were 1 MB: 230.4 / 1048576 per 256-byte block.
    ASSERT_GE(dlg.progress.size(), 4u);
    EXPECT_NEAR(dlg.progress[3] - dlg.progress[2], 230.4 / 1048576, 1e-12);
    EXPECT_LT(*std::max_element(dlg.progress.begin(), dlg.progress.end()), 1.0);
}

TEST_F(InstallOnDemand, CancelDuringDownloadDeletesTheFileSilently) {
    Forget("ftpslow");
    UseServers("SLOW", "GOOD");
    dlg.CancelAfter(1500);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Get("ftpslow"), LPROCESS_STOPPED);
    EXPECT_LT(Seconds(start), 5.0);
    EXPECT_TRUE(dlg.errors.empty());
    EXPECT_FALSE(fs::exists(TempInstaller("ftpslow")));
    char path[LMAX_PATH];
    EXPECT_FALSE(ComponentReadPath("ftpslow", path));  // the second server was not tried
}
