// Install on demand under Windows: downloads over anonymous passive FTP from local servers that
// the harness script starts (ports in FTP_GOOD, FTP_REFUSE, FTP_NOSIZE, FTP_SLOW, FTP_DEAD).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "store/registry.h"
#include "store/settings.h"
#include "external/components.h"
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
        SettingsDeleteValue(kInstallSection, "InstallerWait");
    }
    void TearDown() override {
        SettingsDeleteValue(kInstallSection, "FirstServer");
        SettingsDeleteValue(kInstallSection, "SecondServer");
        SettingsDeleteValue(kInstallSection, "InstallerWait");
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
    ASSERT_FALSE(dlg.progress.empty());
    EXPECT_DOUBLE_EQ(dlg.progress.front(), 0.05);
    EXPECT_DOUBLE_EQ(dlg.progress[1], 0.1);
}

TEST_F(InstallOnDemand, BothServersFailingShowsTheMessage) {
    Forget("ftpfirst");
    UseServers("DEAD", "REFUSE");
    EXPECT_EQ(Get("ftpfirst"), LPROCESS_FAILED);
    ASSERT_EQ(dlg.errors.size(), 1u);
    EXPECT_EQ(dlg.errors[0], Message("ftpfirst"));
    EXPECT_FALSE(fs::exists(TempInstaller("ftpfirst")));

    // A file that is not on the servers fails the same way.
    testutil::FakeProgress other;
    UseServers("GOOD", "NOSIZE");
    LProcessGetComponentPath missing{};
    missing.name = "ftpmissing";
    Forget("ftpmissing");
    EXPECT_EQ(ProcessGetComponentPath(&other, &missing), LPROCESS_FAILED);
    ASSERT_EQ(other.errors.size(), 1u);
    EXPECT_EQ(other.errors[0], Message("ftpmissing"));
}

TEST_F(InstallOnDemand, ServerWithoutSizeStillDeliversTheWholeFile) {
    Forget("ftpnosize");
    UseServers("NOSIZE", "DEAD");
    EXPECT_EQ(Get("ftpnosize"), LPROCESS_OK);
    EXPECT_STREQ(rec.path, "C:\\Components\\ftpnosize.exe");  // the whole installer ran
    // The bar moves as if the file were 1 MB: 230.4 / 1048576 per 256-byte block.
    ASSERT_GE(dlg.progress.size(), 3u);
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

TEST_F(InstallOnDemand, InstallerThatNeverEndsIsLeftAndReported) {
    Forget("hangcomp");
    UseServers("GOOD", "DEAD");
    SettingsWriteInt(kInstallSection, "InstallerWait", 1500);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Get("hangcomp"), LPROCESS_FAILED);
    double took = Seconds(start);
    EXPECT_GE(took, 1.4);
    EXPECT_LT(took, 6.0);
    ASSERT_EQ(dlg.errors.size(), 1u);
    EXPECT_EQ(dlg.errors[0], Message("hangcomp"));
}

TEST_F(InstallOnDemand, RelatedProgramInstallsThroughTheSameDownload) {
    Forget("qusetup");
    UseServers("GOOD", "DEAD");
    EXPECT_EQ(ProcessInstallProgram(&dlg, "qusetup"), LPROCESS_OK);
    char path[LMAX_PATH];
    EXPECT_TRUE(ComponentReadPath("qusetup", path));
    EXPECT_FALSE(fs::exists(TempInstaller("qusetup")));
}
