// The CDDB lookup over Winsock against the test servers that the harness script starts (ports
// in CDDB_GOOD, CDDB_SPLIT, CDDB_SILENT, CDDB_REFUSE).
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <cstdlib>
#include <string>

#include "app/settings.h"
#include "cd/cddb.h"
#include "tests/support/fakeprogress.h"

namespace {

class CDDBWinsock : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(std::getenv("CDDB_GOOD"), nullptr) << "run through the .py"; }
    void TearDown() override {
        SettingsDeleteValue(kCDDBSection, "Server");
        SettingsDeleteValue(kCDDBSection, "Timeout");
    }
    // Looks the worked-example disc up; returns the seconds it took.
    double Lookup(const char* which, int timeoutMs = 1000) {
        info = LCDDBInfo{};
        info.bUseCDDB = 1;
        const char* port = std::getenv((std::string("CDDB_") + which).c_str());
        SettingsWriteString(kCDDBSection, "Server",
                            (std::string("127.0.0.1:") + (port ? port : "1")).c_str());
        SettingsWriteInt(kCDDBSection, "Timeout", timeoutMs);
        const uint32_t starts[] = {0, 15000, 30000};
        auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(ProcessCDDBLookup(&dlg, &info, starts, 3, 45000, &outcome), LPROCESS_OK);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    static inline LCDDBInfo info;
    testutil::FakeProgress dlg;
    LCDDBOutcome outcome = LCDDBOutcome::TocOnly;
};

TEST_F(CDDBWinsock, NamesFromOnePacketOrSplitPackets) {
    for (const char* which : {"GOOD", "SPLIT"}) {
        Lookup(which);
        EXPECT_EQ(outcome, LCDDBOutcome::Found) << which;
        EXPECT_STREQ(info.szArtist, "AC/DC");
        EXPECT_STREQ(info.szAlbumName, "Live at Donington");
        EXPECT_STREQ(info.szCategory, "rock");
        EXPECT_EQ(info.iYear, 1992);
        EXPECT_STREQ(info.Tracks[0].TrackName, "T.N.T.");
        EXPECT_EQ(strlen(info.Tracks[2].TrackName), 259u);
    }
}

TEST_F(CDDBWinsock, RefusedSilentAndCancelledEndWithTheDefaults) {
    EXPECT_LT(Lookup("REFUSE", 2000), 2.5);
    EXPECT_EQ(outcome, LCDDBOutcome::Failed);
    EXPECT_LT(Lookup("SILENT", 500), 1.5);
    EXPECT_EQ(outcome, LCDDBOutcome::Failed);
    dlg.CancelAfter(300);
    EXPECT_LT(Lookup("SILENT", 10000), 1.5);
    EXPECT_EQ(outcome, LCDDBOutcome::Cancelled);
    EXPECT_STREQ(info.Tracks[0].TrackName, "Track 01");
    EXPECT_TRUE(dlg.errors.empty());
}

}  // namespace
