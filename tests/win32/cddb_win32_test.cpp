// The CDDB lookup over Winsock against the test servers that the harness script starts.
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "cd/cddb.h"
#include "store/settings.h"
#include "tests/win32/support/wintest.h"

TEST(CDDBWinsock, NamesFromSplitPacketsAndBoundedFailures) {
    static LCDDBInfo info;
    testutil::FakeProgress dlg;
    LCDDBOutcome outcome;
    // Looks the worked-example disc up at the server CDDB_<which>; the seconds it took.
    auto lookup = [&](const char* which, int timeoutMs) {
        const char* port = std::getenv((std::string("CDDB_") + which).c_str());
        SettingsWriteString(kCDDBSection, "Server", (std::string("127.0.0.1:") + port).c_str());
        SettingsWriteInt(kCDDBSection, "Timeout", timeoutMs);
        info = LCDDBInfo{};
        info.bUseCDDB = 1;
        const uint32_t starts[] = {0, 15000, 30000};
        auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(ProcessCDDBLookup(&dlg, &info, starts, 3, 45000, &outcome), LPROCESS_OK);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    };
    ASSERT_NE(std::getenv("CDDB_SPLIT"), nullptr) << "run through engine_win32_test.py";
    lookup("SPLIT", 1000);
    EXPECT_EQ(outcome, LCDDBOutcome::Found);
    EXPECT_STREQ(info.szArtist, "AC/DC");
    EXPECT_STREQ(info.szAlbumName, "Live at Donington");
    EXPECT_STREQ(info.Tracks[0].TrackName, "T.N.T.");
    EXPECT_EQ(strlen(info.Tracks[2].TrackName), 259u);
    for (const char* which : {"REFUSE", "SILENT"}) {
        EXPECT_LT(lookup(which, 500), 2.5) << which;
        EXPECT_EQ(outcome, LCDDBOutcome::Failed) << which;
    }
    dlg.CancelAfter(300);
    EXPECT_LT(lookup("SILENT", 10000), 1.5);
    EXPECT_EQ(outcome, LCDDBOutcome::Cancelled);
    EXPECT_STREQ(info.Tracks[0].TrackName, "Track 01");
    SettingsDeleteValue(kCDDBSection, "Server");
    SettingsDeleteValue(kCDDBSection, "Timeout");
}
