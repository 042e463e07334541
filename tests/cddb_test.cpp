// CDDB lookup: disc ids against libdiscid, entry rules, and local misbehaving test servers.
#include "cd/cddb.h"

#include <sstream>

#include "store/settings.h"
#include "support/file.h"
#include "tests/support/kit.h"

namespace {

const uint32_t kExample[] = {0, 15000, 30000};  // lead-out 45000

TEST(CDDBDiscId, WorkedExampleAndRandomTablesMatchLibdiscid) {
    EXPECT_EQ(CDDBQueryLine(kExample, 3, 45000), "cddb query 0c025803 3 150 15150 30150 602\n");
    // libdiscid's ids of random tables (1-99 tracks, up to 96 min): "id n lead-out start...".
    std::istringstream tables(testutil::RunOutput(
        "/usr/bin/python3 -c 'import libdiscid, random\nrandom.seed(14)\nfor k in range(300):\n n ="
        " k + 1 if k < 99 else random.randint(1, 99)\n a = [150 + (random.randrange(300) if k % 3 "
        "else 0)]\n for i in range(n): a.append(a[-1] + random.randrange(300, 430000 // n if k % 2 "
        "else 900))\n print(libdiscid.put(1, n, a[n], a[:n]).freedb_id, n, *a)'"));
    int n, count = 0;
    for (uint32_t a[100], id; tables >> std::hex >> id >> std::dec >> n; ++count) {
        for (int i = 0; i <= n; ++i) tables >> a[i], a[i] -= 150;
        EXPECT_EQ(CDDBDiscId(a, n, a[n]), id) << n << " tracks";
    }
    EXPECT_EQ(count, 300);
}

TEST(CDDBEntry, KeywordRulesAndJoinsAcrossLineBreaks) {
    static LCDDBInfo info;
    CDDBFillFromToc(info, kExample, 3, 45000);
    EXPECT_EQ(info.Tracks[2].SectorEnd, 45000u);  // the lead-out
    LCDDBEntryParser p(info);
    p.Feed("DTITLE=No Split: Here?");  // no " / ": the whole value, uncleaned
    EXPECT_EQ(std::string(info.szAlbumName) + "|" + info.szArtist, "No Split: Here?|");
    // " / " and the year straddle the line breaks of continued values.
    for (const char* line : {"DTITLE= Artist ", "DTITLE=/ Al.bum", "EXTD=YEAR YEAR: 19", "EXTD=87"})
        EXPECT_TRUE(p.Feed(line));
    EXPECT_EQ(std::tuple(std::string(info.szArtist), std::string(info.szAlbumName), info.iYear),
              std::tuple("No Split: Here? Artist", "Album", 1987));
    EXPECT_FALSE(p.Feed("."));
}

TEST(CDDBEntry, CleanNamesStayInsideTheFolder) {
    // CDDBCleanName's (text, name) or CDDBSafeComponent's (name, used); "" = nothing usable.
    // clang-format off
    const std::tuple<bool, const char*, const char*> cases[] = {
        {true, "AC/DC: Live?", "ACDC Live"}, {true, "  Caf\xc3\xa9  ", "Caf"}, {true, "con", "_con"},
        {true, "LPT1", "_LPT1"}, {true, "COM10", "COM10"}, {true, "..", ""}, {true, " . ", ""},
        {false, "3. Title. .", "3. Title"}, {false, "aux .mp3", "_aux .mp3"}, {false, " ", ""}};
    // clang-format on
    for (auto [clean, in, expected] : cases) {
        char out[LMAX_PATH];
        std::snprintf(out, sizeof out, "%s", in);
        EXPECT_EQ(clean ? CDDBCleanName(out, in) : CDDBSafeComponent(out), *expected != 0) << in;
        EXPECT_TRUE((!clean && !*expected) || !strcmp(out, expected)) << out;
    }
}

// Whole lookups of the worked-example disc against the test servers.
class CDDBLookup : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testutil::ScratchHome(""); }
    void SetUp() override { info_ = LCDDBInfo{}, info_.bUseCDDB = 1; }
    // Returns the seconds the lookup took.
    double Lookup(const char* mode, int timeoutMs = 1000) {
        testutil::UseCddbTestServer(mode, timeoutMs);
        auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(ProcessCDDBLookup(&dlg_, &info_, kExample, 3, 45000, &outcome_), LPROCESS_OK);
        EXPECT_TRUE(dlg_.errors.empty());
        return testutil::SecondsSince(t0);
    }
    static inline LCDDBInfo info_;
    testutil::FakeProgress dlg_;
    LCDDBOutcome outcome_ = LCDDBOutcome::TocOnly;
};

// A match in one packet, split or slow; the first of inexact matches; long lines.
TEST_F(CDDBLookup, MatchesNameTheDisc) {
    for (const char* mode : {"good", "split", "slow"}) {
        SetUp();
        Lookup(mode);
        EXPECT_EQ(std::string(info_.szArtist) + "|" + info_.szAlbumName + "|" + info_.szCategory +
                      "|" + info_.Tracks[0].TrackName + "|" + info_.Tracks[1].TrackName + "|" +
                      info_.Tracks[0].szExtendedData + "|" + dlg_.lines[0],
                  "AC/DC|Live at Donington|rock|T.N.T.|Caf\xc3\xa9 del Mar \xe2\x80\x93 Sunset|"
                  "Recorded live|Connected to freedb server");
        // The third title: two lines joined, then cut.
        EXPECT_EQ(std::tuple(outcome_, info_.iYear, strlen(info_.Tracks[2].TrackName),
                             info_.Tracks[2].iTrackNumber),
                  std::tuple(LCDDBOutcome::Found, 1992, 259u, 3))
            << mode;
    }
    SetUp();
    info_.iYear = 1977;  // an earlier disc's
    Lookup("inexact");   // the first of several matches is read; "EXTD=YEAR" ends before a year
    EXPECT_EQ(std::tuple(outcome_, std::string(info_.szCategory) + "|" + info_.Tracks[2].TrackName,
                         info_.iYear),
              std::tuple(LCDDBOutcome::Found, "misc|Third", 0));
    SetUp();
    Lookup("long");  // lines are cut at 259 characters, keyword included
    EXPECT_EQ(std::string(info_.szAlbumName) + "|" + info_.Tracks[0].TrackName + "|" +
                  info_.Tracks[1].TrackName,
              std::string(259 - 7, 'A') + "|" + std::string(259 - 8, 'B') + "|After Long");
}

TEST_F(CDDBLookup, NetworkFailuresAreSilentAndBounded) {
    // mode, time-out, longest it may take; "drip" and "midentry" keep what came before.
    const std::tuple<const char*, int, double> cases[] = {
        {"refuse", 1000, 0.5}, {"silent", 500, 1.0}, {"late", 1000, 1.6},    {"endless", 1000, 5},
        {"flood", 500, 1.0},   {"drip", 500, 3.6},   {"midentry", 1000, 1.5}};
    for (const auto& [mode, timeout, limit] : cases) {
        SetUp();
        EXPECT_LT(Lookup(mode, timeout), limit) << mode;
        EXPECT_EQ(outcome_, LCDDBOutcome::Failed) << mode;
        const bool kept = !strcmp(mode, "drip") || !strcmp(mode, "midentry");
        EXPECT_TRUE(kept || !strcmp(info_.Tracks[2].TrackName, "Track 03")) << mode;
    }
    SetUp();
    info_.bUseCDDB = 0;
    Lookup("good");
    EXPECT_EQ(outcome_, LCDDBOutcome::TocOnly);
}

}  // namespace
