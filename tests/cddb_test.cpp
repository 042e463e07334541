// CDDB lookup: disc ids against libdiscid, the entry rules, name cleaning, and whole lookups
// against local test servers (tests/cddb_server.py) that misbehave in every way a network can.
#include "cd/cddb.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <tuple>

#include "app/settings.h"
#include "support/file.h"
#include "support/socket.h"
#include "tests/support/fakeprogress.h"
#include "tests/support/testutil.h"

extern char** environ;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

TEST(CDDBDiscId, WorkedExampleAndRandomTablesMatchLibdiscid) {
    const uint32_t example[] = {0, 15000, 30000};
    EXPECT_EQ(CDDBDiscId(example, 3, 45000), 0x0c025803u);
    EXPECT_EQ(CDDBQueryLine(example, 3, 45000), "cddb query 0c025803 3 150 15150 30150 602\n");

    std::mt19937 rng(14);
    std::ostringstream script, expected;
    script << "import libdiscid\nfor n, lead, starts in [\n";
    for (int k = 0; k < 300; ++k) {
        int n = k < 99 ? k + 1 : int(rng() % 99) + 1;
        uint32_t tracks[99], a = k % 3 ? rng() % 300 : 0;
        uint32_t spread = k % 2 ? 430000 / n - 300 : 600;  // long discs up to 96 minutes
        for (int i = 0; i < n; ++i) tracks[i] = a, a += 300 + rng() % spread;
        uint32_t lead = a + rng() % 5000;
        script << "(" << n << "," << lead + 150 << ",[";
        for (int i = 0; i < n; ++i) script << tracks[i] + 150 << ",";
        script << "]),\n";
        char id[16];
        std::snprintf(id, sizeof id, "%08x\n", CDDBDiscId(tracks, n, lead));
        expected << id;
    }
    script << "]: print(libdiscid.put(1, n, lead, starts).freedb_id)\n";
    std::string file = testutil::ScratchDir() + "/ids.py";
    std::string text = script.str();
    testutil::WriteFileBytes(file, std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(testutil::RunOutput("/usr/bin/python3 " + file), expected.str());
}

TEST(CDDBEntry, KeywordRulesJoinsAndBounds) {
    static LCDDBInfo info;
    info = LCDDBInfo{};
    const uint32_t starts[] = {0, 15000, 30000};
    CDDBFillFromToc(info, starts, 3, 45000);
    EXPECT_STREQ(info.Tracks[2].TrackName, "Track 03");
    EXPECT_EQ(info.Tracks[2].SectorEnd, 45000u);
    EXPECT_EQ(info.Tracks[0].iLength, 200);

    LCDDBEntryParser p(info);
    for (const char* line : {"DTITLE=No Split: Here?", "TTITLE256=x", "TTITLE0=First", "EXTD=YEAR",
                             "TTITLE=nonumber", "EXTT1=a", "EXTT1=b", "# comment"})
        EXPECT_TRUE(p.Feed(line));
    EXPECT_STREQ(info.szAlbumName, "No Split: Here?");  // no " / ": whole value, uncleaned
    EXPECT_STREQ(info.szArtist, "");
    EXPECT_EQ(info.iYear, 0);  // "YEAR" with nothing after it
    EXPECT_STREQ(info.Tracks[0].TrackName, "First");
    EXPECT_EQ(info.Tracks[0].iTrackNumber, 1);
    EXPECT_STREQ(info.Tracks[1].szExtendedData, "ab");
    // A continued disc title whose " / " and year straddle the line break.
    EXPECT_TRUE(p.Feed("DTITLE= Artist "));
    EXPECT_TRUE(p.Feed("DTITLE=/ Al.bum"));
    EXPECT_STREQ(info.szArtist, "No Split: Here? Artist");
    EXPECT_STREQ(info.szAlbumName, "Album");
    EXPECT_TRUE(p.Feed("EXTD= YEAR: 19"));
    EXPECT_TRUE(p.Feed("EXTD=87 more"));
    EXPECT_EQ(info.iYear, 1987);
    for (int i = 0; i < 5; ++i) p.Feed(("TTITLE1=" + std::string(100, 'x')).c_str());
    EXPECT_EQ(std::string(info.Tracks[1].TrackName), std::string(259, 'x'));
    EXPECT_FALSE(p.Feed("."));
}

TEST(CDDBEntry, CleanNamesStayInsideTheFolder) {
    char out[LMAX_PATH];
    const std::map<std::string, std::string> named = {
        {"AC/DC: Live?", "ACDC Live"}, {"../../etc/passwd", "etcpasswd"},
        {"C:\\Windows\\x", "CWindowsx"}, {"\\\\server\\", "server"}, {"  Caf\xc3\xa9  ", "Caf"}, {"con", "_con"},
        {"LPT1", "_LPT1"}, {"COM10", "COM10"}};
    for (const auto& [text, want] : named) {
        EXPECT_TRUE(CDDBCleanName(out, text.c_str())) << text;
        EXPECT_EQ(std::string(out), want) << text;
    }
    for (const char* nothing : {"..", "/", " . ", "\x01\x80"})
        EXPECT_FALSE(CDDBCleanName(out, nothing)) << nothing;
    char name[LMAX_PATH] = "3. Title. .";
    EXPECT_TRUE(CDDBSafeComponent(name));
    EXPECT_STREQ(name, "3. Title");
    for (const char* bad : {"..", ".", "a/b", "a\\b", "C:x", " "}) {
        std::snprintf(name, sizeof name, "%s", bad);
        EXPECT_FALSE(CDDBSafeComponent(name)) << bad;
    }
    std::snprintf(name, sizeof name, "aux .mp3");
    EXPECT_TRUE(CDDBSafeComponent(name));
    EXPECT_STREQ(name, "_aux .mp3");
}

// The socket layer on a connected pair: line ends, the 259-character cut, split packets.
TEST(SocketLines, LinesAreCutJoinedAndEndAtTheTimeOut) {
    int fd[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fd), 0);
    LIPSocketTCP s;
    s.handle = LIPSocket::Handle(fd[0]);
    testutil::FakeProgress dlg;
    char line[LMAX_PATH];
    std::string data = "210 OK\r\n" + std::string(300, 'L') + "\nnext\npart";
    ASSERT_EQ(write(fd[1], data.data(), data.size()), ssize_t(data.size()));
    EXPECT_EQ(ProcessRecvLine(&dlg, line, 1000, s), LPROCESS_OK);
    EXPECT_STREQ(line, "210 OK");
    EXPECT_EQ(ProcessRecvLine(&dlg, line, 1000, s), LPROCESS_OK);
    EXPECT_EQ(std::string(line), std::string(259, 'L'));
    EXPECT_EQ(ProcessRecvLine(&dlg, line, 1000, s), LPROCESS_OK);
    EXPECT_STREQ(line, "next");
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ProcessRecvLine(&dlg, line, 700, s), LPROCESS_FAILED);  // "part" never ends
    EXPECT_NEAR(Seconds(t0), 0.7, 0.3);
    ASSERT_EQ(write(fd[1], "ial\n", 4), 4);
    EXPECT_EQ(ProcessRecvLine(&dlg, line, 1000, s), LPROCESS_OK);
    EXPECT_STREQ(line, "ial");  // the failed call's bytes were consumed
    EXPECT_EQ(ProcessSendString(&dlg, "cddb quit\n", 1000, s), LPROCESS_OK);
    close(fd[1]);
    EXPECT_EQ(ProcessRecvLine(&dlg, line, 1000, s), LPROCESS_FAILED);  // peer closed
}

TEST(SocketConnect, CancelAndTimeOutWhileTheHandshakeHangs) {
    // A listener whose queue is full leaves further connection attempts waiting.
    LIPAddress local("127.0.0.1:0", 0);
    int lfd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa = {};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = local.address;
    socklen_t len = sizeof sa;
    ASSERT_EQ(bind(lfd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(listen(lfd, 0), 0);
    getsockname(lfd, reinterpret_cast<sockaddr*>(&sa), &len);
    LIPAddress target(("127.0.0.1:" + std::to_string(ntohs(sa.sin_port))).c_str(), 1);
    ASSERT_TRUE(target.IsValid());
    testutil::FakeProgress dlg;
    LIPSocketTCP fill[3];
    for (auto& f : fill) ProcessConnect(&dlg, f, target, false, 300);
    LIPSocketTCP s;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ProcessConnect(&dlg, s, target, true, 800), LPROCESS_FAILED);
    EXPECT_NEAR(Seconds(t0), 0.8, 0.4);
    EXPECT_FALSE(s.IsOpen());
    dlg.CancelAfter(300);
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ProcessConnect(&dlg, s, target, true, 10000), LPROCESS_STOPPED);
    EXPECT_LT(Seconds(t0), 1.5);
    EXPECT_FALSE(s.IsOpen());
    close(lfd);
    EXPECT_FALSE(LIPAddress("no-such-host.invalid", 8880).IsValid());
    LIPAddress byName("localhost:8881", 8880, &dlg, 5000);
    EXPECT_TRUE(byName.IsValid());
    EXPECT_EQ(byName.port, 8881);
    EXPECT_FALSE(LIPAddress("127.0.0.1:99999", 8880).IsValid());
    EXPECT_EQ(LIPAddress("10.1.2.3", 8880).port, 8880);
}

// Whole lookups against the test servers.
class CDDBLookup : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("TAMBER_HOME", testutil::ScratchDir().c_str(), 1);
        int in[2], out[2];
        ASSERT_EQ(pipe(in), 0);
        ASSERT_EQ(pipe(out), 0);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_addclose(&fa, in[1]);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        std::string script = TAMBER_SOURCE_DIR "/tests/cddb_server.py";
        char* argv[] = {const_cast<char*>("/usr/bin/python3"), script.data(), nullptr};
        pid_t pid;
        int spawned = posix_spawn(&pid, argv[0], &fa, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&fa);
        ASSERT_EQ(spawned, 0);
        close(in[0]);
        close(out[1]);
        // The server runs until this end of its input closes, that is until the suite ends.
        FILE* f = fdopen(out[0], "r");
        char name[64];
        int port;
        while (std::fscanf(f, "%63s", name) == 1 && std::string(name) != "ready")
            if (std::fscanf(f, "%d", &port) == 1) ports_[name] = port;
    }
    void SetUp() override { info_ = LCDDBInfo{}, info_.bUseCDDB = 1; }
    // Looks the worked-example disc up at the named server; returns the seconds it took.
    double Lookup(const char* mode, int timeoutMs = 1000) {
        if (!ports_.count(mode)) {
            ADD_FAILURE() << "no test server " << mode;
            return 0;
        }
        std::string server = "127.0.0.1:" + std::to_string(ports_[mode]);
        SettingsWriteString(kCDDBSection, "Server", server.c_str());
        SettingsWriteInt(kCDDBSection, "Timeout", timeoutMs);
        const uint32_t starts[] = {0, 15000, 30000};
        auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(ProcessCDDBLookup(&dlg_, &info_, starts, 3, 45000, &outcome_), LPROCESS_OK);
        EXPECT_TRUE(dlg_.errors.empty());
        return Seconds(t0);
    }
    void ExpectDefaults() {
        EXPECT_STREQ(info_.Tracks[0].TrackName, "Track 01");
        EXPECT_STREQ(info_.Tracks[2].TrackName, "Track 03");
    }
    static inline std::map<std::string, int> ports_;
    static inline LCDDBInfo info_;
    testutil::FakeProgress dlg_;
    LCDDBOutcome outcome_ = LCDDBOutcome::TocOnly;
};

TEST_F(CDDBLookup, MatchNamesTheDiscInOnePacketOrSplitOrSlow) {
    for (const char* mode : {"good", "split", "slow"}) {
        SetUp();
        Lookup(mode);
        EXPECT_EQ(outcome_, LCDDBOutcome::Found) << mode;
        EXPECT_STREQ(info_.szArtist, "AC/DC");
        EXPECT_STREQ(info_.szAlbumName, "Live at Donington");
        EXPECT_STREQ(info_.szCategory, "rock");
        EXPECT_EQ(info_.iYear, 1992);
        EXPECT_STREQ(info_.Tracks[0].TrackName, "T.N.T.");
        EXPECT_STREQ(info_.Tracks[1].TrackName, "Caf\xc3\xa9 del Mar \xe2\x80\x93 Sunset");
        EXPECT_EQ(strlen(info_.Tracks[2].TrackName), 259u);  // two lines joined, then cut
        EXPECT_STREQ(info_.Tracks[0].szExtendedData, "Recorded live");
        EXPECT_EQ(info_.Tracks[2].iTrackNumber, 3);
        EXPECT_EQ(dlg_.lines[0], "Connected to freedb server");
    }
}

TEST_F(CDDBLookup, InexactMatchesLongLinesAndNoMatch) {
    Lookup("inexact");
    EXPECT_EQ(outcome_, LCDDBOutcome::Found);
    EXPECT_STREQ(info_.szCategory, "misc");
    EXPECT_STREQ(info_.szAlbumName, "Near Match");
    EXPECT_STREQ(info_.Tracks[2].TrackName, "Third");
    EXPECT_EQ(info_.iYear, 0);

    SetUp();
    Lookup("long");
    EXPECT_EQ(outcome_, LCDDBOutcome::Found);
    // Lines are cut at 259 characters, keyword included.
    EXPECT_EQ(std::string(info_.szAlbumName), std::string(259 - 7, 'A'));
    EXPECT_EQ(std::string(info_.Tracks[0].TrackName), std::string(259 - 8, 'B'));
    EXPECT_STREQ(info_.Tracks[1].TrackName, "After Long");

    SetUp();
    Lookup("nomatch");
    EXPECT_EQ(outcome_, LCDDBOutcome::NoMatch);
    ExpectDefaults();
}

TEST_F(CDDBLookup, NetworkFailuresAreSilentAndBounded) {
    // mode, time-out, longest it may take
    const std::tuple<const char*, int, double> cases[] = {
        {"refuse", 1000, 0.5}, {"silent", 500, 1.0},   {"late", 1000, 1.6},
        {"endless", 1000, 5}, {"dribble", 500, 1.0}, {"drip", 500, 3.6}, {"midentry", 1000, 1.5}};
    for (const auto& [mode, timeout, limit] : cases) {
        SetUp();
        double took = Lookup(mode, timeout);
        EXPECT_EQ(outcome_, LCDDBOutcome::Failed) << mode;
        EXPECT_LT(took, limit) << mode;
        if (std::string(mode) != "midentry" && std::string(mode) != "drip") ExpectDefaults();
    }
    SetUp();
    dlg_.CancelAfter(300);
    EXPECT_LT(Lookup("silent", 10000), 1.0);
    EXPECT_EQ(outcome_, LCDDBOutcome::Cancelled);
    ExpectDefaults();
    SetUp();
    info_.bUseCDDB = 0;
    Lookup("good");
    EXPECT_EQ(outcome_, LCDDBOutcome::TocOnly);
    // The record's own table of contents, as the drive code leaves it, serves as well.
    info_.bUseCDDB = 1;
    testutil::FakeProgress fresh;
    EXPECT_EQ(ProcessCDDBLookup(&fresh, &info_, &outcome_), LPROCESS_OK);
    EXPECT_EQ(outcome_, LCDDBOutcome::Found);
    EXPECT_STREQ(info_.Tracks[0].TrackName, "T.N.T.");
}

}  // namespace
