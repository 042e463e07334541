// CD extraction from a drive served at the SCSI generic seam, and CD track entries in a
// conversion run: whole discs, CDDB names, naming schemes, long texts.
#include "convert/cdconvert.h"

#include "app/cmdline.h"
#include "cd/accuraterip.h"
#include "cd/cddb.h"
#include "cd/cdtext.h"
#include "cd/offsetfind.h"
#include "cd/rip.h"
#include "cd/scsi.h"
#include "store/settingnames.h"
#include "store/settings.h"
#include "tests/support/fakecd.h"
#include "tests/support/fakehost.h"
#include "tests/support/kit.h"

namespace {

using namespace testutil;

// A track in block-sized writes (every track's samples: the command line below), then a cancel,
// a drive past the list, failing reads and a hung drive, each ending cleanly.
TEST(CdRip, TrackInBlockSizedWritesThenCancelAndFailuresEndCleanly) {
    ScratchHome();
    const DiscImage disc = MakeTestDisc(0);
    FakeCDDrive drive(disc);
    FakeProgress dlg;
    auto* sink = new MemorySink(44100, 2);
    LCDROMRipTrack track{0, 2, LSinkRef(sink)};
    ASSERT_EQ(LRipTrack(&dlg, &track), LPROCESS_OK);
    EXPECT_EQ(sink->samples, Internal(disc.TrackPCM(2)));
    EXPECT_EQ(dlg.line0History.back(), "Loading Track 3");
    for (int n : sink->writeSizes) EXPECT_LE(n, LSOUND_BLOCK_FRAMES);
    const int reads = drive.reads;
    dlg.stopped = true;  // the first look at the queue already reports the cancel
    LCDROMRipSectors rec;
    rec.firstSector = disc.starts[2], rec.endSector = disc.starts[3];
    rec.sink = LSinkRef(sink = new MemorySink(44100, 2));
    EXPECT_EQ(LRipSectors(&dlg, &rec), LPROCESS_STOPPED);
    EXPECT_EQ(sink->samples.size(), 13u * 588 * 2);  // the one read asked for, delivered
    auto fails = [](uint8_t index) {
        FakeProgress quiet;
        LCDROMRipTrack rip{index, 2, LSinkRef(new MemorySink(44100, 2))};
        return LRipTrack(&quiet, &rip) == LPROCESS_FAILED;
    };
    EXPECT_TRUE(fails(1));  // a drive index past the list reads nothing
    EXPECT_EQ(drive.reads, reads + 1);
    drive.failReadAfter = reads + 2;  // the second read fails with sense data
    EXPECT_TRUE(fails(0));
    drive.failReadAfter = -1;
    drive.vanishAfter = drive.reads + 3;  // a drive that goes away mid-rip
    EXPECT_TRUE(fails(0));
    // A READ that never completes ends at the wait's time limit.
    LCDSetTimeoutsForTesting({300, 300, 500, 1});
    drive.neverComplete = true;
    dlg.stopped = false;
    rec.firstSector = 0, rec.endSector = 50;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(LRipSectors(&dlg, &rec), LPROCESS_FAILED);
    EXPECT_LT(SecondsSince(t0), 5);
    LCDSetTimeoutsForTesting(LCDTimeouts());
    EXPECT_EQ(drive.openFiles, 0);
}

// The samples of track t as ripped from the served drive, with the report; none on a failure.
std::vector<int32_t> RipTrackSamples(int t, LRipReport* report = nullptr,
                                     FakeProgress* dlg = nullptr) {
    FakeProgress quiet;
    auto* sink = new MemorySink(44100, 2);
    LCDROMRipTrack rip{0, uint8_t(t), LSinkRef(sink), report};
    return LRipTrack(dlg ? dlg : &quiet, &rip) == LPROCESS_OK ? sink->samples
                                                              : std::vector<int32_t>();
}

// A drive that delivers each sector's audio 30 frames early (or late) gives the disc's own
// samples once its offset is set, with zeros where the shift reaches beyond the disc's ends; the
// first and the last track, reading securely and not.
TEST(CdRip, ReadOffsetGivesTheDiscsOwnSamples) {
    ScratchHome();
    DiscImage disc = MakeTestDisc(0);
    FakeCDDrive drive(disc);
    for (bool secure : {false, true}) {
        SettingsWrite(kSecureRip, secure);
        for (int offset : {30, -30}) {
            disc.readOffset = offset;
            SettingsWrite(kReadOffset, offset);
            for (int t : {0, 4}) {
                std::vector<int16_t> want = disc.TrackPCM(t);
                if (offset < 0 && t == 0) std::fill_n(want.begin(), 2 * 30, 0);
                if (offset > 0 && t == 4) std::fill_n(want.end() - 2 * 30, 2 * 30, 0);
                LRipReport report;
                EXPECT_EQ(RipTrackSamples(t, &report), Internal(want)) << offset << " " << t;
                EXPECT_EQ(report.offset, offset);
            }
        }
    }
}

// Secure reading: a clean track costs two passes (and a read far away between them); a sector
// that reads wrong once, or twice alike with C2 errors, comes out right and counts as re-read, on
// a drive that gives C2 pointers and on one that refuses them; one that never reads the same
// twice (or never reads at all) fails its track with a message naming both, or with KeepDamaged
// is kept and reported.
TEST(CdRip, SecureReadingSettlesDoubtfulSectorsAndFailsUnstableOnes) {
    ScratchHome();
    DiscImage disc = MakeTestDisc(0);
    FakeCDDrive drive(disc);
    const std::vector<int32_t> want = Internal(disc.TrackPCM(2));  // sectors 50 to 1062
    LRipReport report;
    int reads = drive.reads;
    EXPECT_EQ(RipTrackSamples(2, &report), want);
    EXPECT_EQ(drive.reads - reads, 2 * 43 + 1);  // 24 sectors a read with C2 pointers
    EXPECT_EQ(report.rereads, 0u);
    for (bool refuseC2 : {false, true}) {
        disc.refuseC2 = refuseC2;
        disc.timesRead.clear();
        disc.wrongReads = {{100, 1}};
        EXPECT_EQ(RipTrackSamples(2, &report), want) << refuseC2;
        EXPECT_EQ(report.rereads, 1u);
        if (refuseC2) continue;
        // Read wrong alike twice: only the C2 pointers tell.
        disc.timesRead.clear();
        disc.wrongReads = {{100, 2}}, disc.wrongFlagged = true;
        EXPECT_EQ(RipTrackSamples(2, &report), want);
        EXPECT_EQ(report.rereads, 1u);
    }
    disc.wrongReads.clear();
    for (bool refused : {false, true}) {  // read differently each time, or refused every time
        (refused ? disc.unreadable : disc.unstable) = {700};
        FakeProgress dlg;
        EXPECT_TRUE(RipTrackSamples(2, &report, &dlg).empty());
        EXPECT_EQ(report.unstable, std::vector<uint32_t>{700});
        ASSERT_EQ(dlg.errors.size(), 1u);
        EXPECT_EQ(dlg.errors[0], "Track 3 cannot be read: sector 700 never reads the same twice.");
        disc.unstable.clear();
    }
    SettingsWrite(kKeepDamaged, true);
    const std::vector<int32_t> kept = RipTrackSamples(2, &report);
    EXPECT_EQ(kept.size(), want.size());
    EXPECT_TRUE(report.damaged);
    EXPECT_EQ(report.rereads, 1u);
    EXPECT_EQ(report.unstable, std::vector<uint32_t>{700});
    // Without secure reading the wrong read goes into the output.
    SettingsWrite(kSecureRip, false);
    disc.unreadable.clear();
    disc.timesRead.clear();
    disc.wrongReads = {{100, 1}};
    EXPECT_NE(RipTrackSamples(2, &report), want);
}

// CD-TEXT packs: texts across packs, a tab for the text before, ISO 8859-1 as UTF-8; a pack with
// a bad CRC loses the texts it touches and no other, and so does a response cut short.
TEST(CdText, PacksParsedWithTheirCrcs) {
    const std::vector<uint8_t> titles =
        MakeCDTextPacks(0x80, {"Album", "First Song", "\t", "Caf\xe9 au lait, a longer title"});
    const std::vector<uint8_t> performers =
        MakeCDTextPacks(0x81, {"Band", "", "", ""}, uint8_t(titles.size() / 18));
    auto parse = [&](int badPack, size_t cut) {
        std::vector<uint8_t> r = {0, 0, 0, 0};
        r.insert(r.end(), titles.begin(), titles.end());
        r.insert(r.end(), performers.begin(), performers.end());
        r[0] = uint8_t((r.size() - 2) >> 8), r[1] = uint8_t(r.size() - 2);
        if (badPack >= 0) r[4 + 18 * size_t(badPack) + 6] ^= 1;
        auto text = std::make_unique<LCDText>();
        LCDParseText(r.data(), int(std::min(cut, r.size())), *text);
        std::string all;
        for (int t = 0; t < 4; ++t) all += std::string(text->texts[0][t]) + "|";
        return all + text->texts[1][0];
    };
    EXPECT_EQ(parse(-1, 1000),
              "Album|First Song|First Song|Caf\xc3\xa9 au lait, a longer title|Band");
    EXPECT_EQ(parse(2, 1000), "Album|First Song|First Song||Band");  // inside track 3's title
    EXPECT_EQ(parse(0, 1000), "|||Caf\xc3\xa9 au lait, a longer title|Band");  // the tab too
    EXPECT_EQ(parse(-1, 4 + 18 * 2), "Album|First Song|First Song||");
}

// The window stand-in with CD track entries; each test starts with no disc record loaded.
class Host : public FakeHost {
  public:
    Host() {
        answer = LANSWER_YES;
        LCDState().tableLoaded = false;
    }
};

class CdConvert : public ::testing::Test {
  protected:
    // The command line against the host, with the served drive.
    LCommandResult Run(std::vector<const char*> args) {
        args.insert(args.begin(), "tamber");
        LSettingsRecords records;
        return LCommandLine(host_, records).Run(int(args.size()), args.data());
    }
    // The name under scheme "A", "B" or a custom pattern, in a folder of the scratch folder.
    std::string Name(const LCDNameTexts& t, const char* scheme, const std::string& folder = "") {
        SettingsWriteBool("Settings", "FormatChoiceA", !strcmp(scheme, "A"));
        SettingsWriteBool("Settings", "FormatChoiceB", !strcmp(scheme, "B"));
        SettingsWriteString("Settings", "CustomString", scheme);
        char out[LMAX_PATH];
        return LCDNameOutput(host_, LReadCDNaming(), t, (dir_ + folder).c_str(), ".wav", out)
                   ? out
                   : "(none)";
    }
    std::string dir_ = ScratchHome();
    // No rip here asks the real database.
    std::string arRoot_ = UseAccurateRipTestServer("missing");
    Host host_;
};

TEST_F(CdConvert, WholeDiscAndOneTrackFromTheCommandLine) {
    DiscImage disc = MakeTestDisc(150);
    FakeCDDrive drive(disc);
    Run({"-format", ".wav", "-outfolder", (dir_ + "/all").c_str(), "/dev/fakesr0", "-convert"});
    for (int t = 0; t < 5; ++t) {
        Wav16 wav = ReadWav16(dir_ + "/all/Track0" + std::to_string(t + 1) + ".wav");
        EXPECT_EQ(std::tuple(wav.rate, wav.samples), std::tuple(44100, disc.TrackPCM(t))) << t;
    }
    EXPECT_EQ(host_.Images(), std::vector<int>(5, LENTRY_DONE));
    // A track beyond the disc fails, leaving no file; an unknown drive or track number adds no
    // entry; "[Same as source file]" is the music folder.
    host_.RemoveAllEntries();
    Run({"-outfolder", "[Same as source file]", "/dev/fakesr0#4", "/dev/fakesr0#6", "/dev/fakesr1",
         "/dev/fakesr0#x", "-convert"});
    EXPECT_EQ(host_.Images(), (std::vector<int>{LENTRY_DONE, LENTRY_FAILED}));
    EXPECT_EQ(ReadWav16(dir_ + "/home/Music/Track04.wav").samples, disc.TrackPCM(3));
    EXPECT_FALSE(fs::exists(dir_ + "/home/Music/Track06.wav"));
    // A stored WAV format of another rate and channel count gets the track in its own shape.
    host_.RemoveAllEntries();
    fs::create_directories(dir_ + "/mono");
    Run({"-settings", ".wav", "PCM", "22050", "1", "-outfolder", (dir_ + "/mono").c_str(),
         "/dev/fakesr0#2", "-convert"});
    Wav16 mono = ReadWav16(dir_ + "/mono/Track02.wav");
    EXPECT_EQ(std::tuple(mono.rate, mono.channels, mono.samples.size()),
              std::tuple(22050, 1, disc.TrackPCM(1).size() / 4));
}

// A track with a sector that never reads the same twice fails alone, its output gone and the
// sector named, and fails the run; the other tracks are ripped. KeepDamaged keeps it.
TEST_F(CdConvert, UnstableSectorFailsItsTrackAndTheRunButNotTheOthers) {
    DiscImage disc = MakeTestDisc(0);
    disc.unstable = {30};  // in track 2
    FakeCDDrive drive(disc);
    const std::string out = dir_ + "/out";
    for (bool keep : {false, true}) {
        SettingsWrite(kKeepDamaged, keep);
        host_.RemoveAllEntries();
        testing::internal::CaptureStderr();
        const LCommandResult result = Run({"-overwrite", "ALWAYS", "-format", ".wav", "-outfolder",
                                           out.c_str(), "/dev/fakesr0", "-convert"});
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(result.outcome, keep ? LPROCESS_OK : LPROCESS_FAILED);
        EXPECT_EQ(said.find("Track 2 cannot be read: sector 30 never reads the same twice.") !=
                      std::string::npos,
                  !keep)
            << said;
        EXPECT_EQ(fs::exists(out + "/Track02.wav"), keep);
        EXPECT_EQ(host_.Images()[1], keep ? LENTRY_DONE : LENTRY_FAILED);
        for (int t : {0, 2, 3, 4})
            EXPECT_EQ(ReadWav16(out + "/Track0" + std::to_string(t + 1) + ".wav").samples,
                      disc.TrackPCM(t));
    }
}

// An encoder that writes other samples than it is given fails its track by name and leaves no
// file; a FLAC rip decodes (by flac itself) to the disc's samples.
TEST_F(CdConvert, FlacRipIsTheDiscAndADamagedOneIsCaught) {
    DiscImage disc = MakeTestDisc(0);
    FakeCDDrive drive(disc);
    const std::string out = dir_ + "/flac", bin = dir_ + "/bin";
    fs::create_directories(bin);
    StandIn(bin + "/flac",
            "for a; do [ \"$a\" = -d ] && exec /usr/bin/flac \"$@\"; done\n"
            "tr '\\001' '\\002' | /usr/bin/flac \"$@\"");
    const std::string path = std::getenv("PATH");
    setenv("PATH", (bin + ":" + path).c_str(), 1);
    testing::internal::CaptureStderr();
    Run({"-format", ".flac", "-outfolder", (dir_ + "/bad").c_str(), "/dev/fakesr0#2", "-convert"});
    const std::string said = testing::internal::GetCapturedStderr();
    setenv("PATH", path.c_str(), 1);
    EXPECT_NE(said.find("The output file \"" + dir_ + "/bad/Track02.flac\" does not read back"),
              std::string::npos)
        << said;
    EXPECT_EQ(host_.Images(), std::vector<int>{LENTRY_FAILED});
    for (auto& e : fs::directory_iterator(dir_ + "/bad"))  // only the rip log
        EXPECT_NE(e.path().extension(), ".flac") << e.path();

    fs::remove(bin + "/flac");  // the recorded stand-in is gone: flac itself is found
    host_.RemoveAllEntries();
    Run({"-format", ".flac", "-outfolder", out.c_str(), "/dev/fakesr0#1", "/dev/fakesr0#5",
         "-convert"});
    for (int t : {1, 5}) {
        const std::string flac = out + "/Track0" + std::to_string(t);
        ASSERT_EQ(testutil::Run("flac -s -d -f -o '" + flac + ".wav' '" + flac + ".flac'"), 0);
        EXPECT_EQ(ReadWav16(flac + ".wav").samples, disc.TrackPCM(t - 1)) << t;
    }
}

// A disc with CD-TEXT names its tracks with CDDB off and when the server knows no match; a drive
// that refuses to give CD-TEXT changes nothing.
TEST_F(CdConvert, CdTextNamesTracksWithoutCddbOrWithoutAMatch) {
    DiscImage disc = MakeTestDisc(0);
    disc.cdText = MakeCDTextPacks(0x80, {"Album", "One", "Two", "Three", "Four", "Five"});
    const std::vector<uint8_t> performers =
        MakeCDTextPacks(0x81, {"Band", "", "", "", "", ""}, uint8_t(disc.cdText.size() / 18));
    disc.cdText.insert(disc.cdText.end(), performers.begin(), performers.end());
    FakeCDDrive drive(disc);
    UseCddbTestServer("nomatch");
    for (bool cddb : {false, true}) {
        SettingsWriteBool("Settings", "UseCDDB", cddb);
        const std::string out = dir_ + "/out" + std::to_string(cddb);
        Run({"-format", ".wav", "-outfolder", out.c_str(), "/dev/fakesr0#2", "-convert"});
        EXPECT_EQ(ReadWav16(out + "/Band - Two.wav").samples, disc.TrackPCM(1)) << cddb;
    }
    disc.cdText.clear();  // the drive refuses the command: the names stay the job's
    SettingsWriteBool("Settings", "UseCDDB", false);
    Run({"-outfolder", (dir_ + "/plain").c_str(), "/dev/fakesr0#2", "-convert"});
    EXPECT_EQ(ReadWav16(dir_ + "/plain/Track02.wav").samples, disc.TrackPCM(1));
}

// The worked example named from the test server under every scheme; an unknown disc is reported;
// long texts are cut, keeping the extension.
TEST_F(CdConvert, NamingSchemesWithNamesFromTheTestServerAndLongTexts) {
    DiscImage disc;
    disc.starts = {0, 15000, 30000, 45000};
    FakeCDDrive drive(disc);
    UseCddbTestServer("good");
    LCDDBInfo& info = *LCDState().info;
    info.bUseCDDB = 1;
    FakeProgress dlg;
    ASSERT_EQ(LCDReadDiscInfo(&dlg, info), LPROCESS_OK);
    ASSERT_EQ(ProcessCDDBLookup(&dlg, &info), LPROCESS_OK);
    LCDNameTexts t;
    LCDCleanTexts(info, 0, t);
    EXPECT_EQ(Name(t, "A"), dir_ + "/ACDC - TNT.wav");
    EXPECT_EQ(Name(t, "B"), dir_ + "/Live at Donington - ACDC - TNT.wav");
    EXPECT_EQ(Name(t, "[%a][%b]{%n %t %y}"), dir_ + "/ACDC/Live at Donington/1. TNT - 1992.wav");
    EXPECT_TRUE(fs::is_directory(dir_ + "/ACDC/Live at Donington"));
    EXPECT_EQ(Name(t, "%t"), "(none)");  // no file part
    // A folder level that cannot be created is reported, naming this program, and passed over.
    WriteFileBytes(dir_ + "/file", {'x'});
    EXPECT_EQ(Name(t, "[%a]{%t}", "/file"), dir_ + "/file/ACDC/TNT.wav");
    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_NE(host_.messages[0].find("running Tamber in Administrator mode."), std::string::npos);
    UseCddbTestServer("nomatch");
    SettingsWriteBool("Settings", "UseCDDB", true);
    LCDState().tableLoaded = false;
    LCDLoadTableForPlay(host_, info.iDrive);
    EXPECT_EQ(host_.messages.back(), kCDDBNoMatchMessage);
    for (char* text : {t.artist, t.album, t.title}) std::memset(text, 'x', 259);
    for (const char* pattern : {"A", "{%n %a %b %t %e %g}", "[%b]{%t}", "[%a][%b][%t]{%t}"}) {
        const std::string name = Name(t, pattern);
        EXPECT_TRUE(name.size() < size_t(LMAX_PATH) && name.ends_with(".wav")) << pattern;
    }
}

// A track named from CDDB goes through a passing name too: a link planted at that name is
// replaced, not written through, and a failed rip leaves the older file there as it was.
TEST_F(CdConvert, NamedTrackNeverWritesThroughItsName) {
    DiscImage disc = MakeTestDisc();
    FakeCDDrive drive(disc);
    UseCddbTestServer("good");
    SettingsWriteBool("Settings", "UseCDDB", true);
    const std::string out = dir_ + "/out", named = out + "/Test Artist - First.wav";
    fs::create_directories(out);
    WriteFileBytes(dir_ + "/victim", {'v'});
    fs::create_symlink(dir_ + "/victim", named);
    for (int failAfter : {-1, 0}) {
        drive.failReadAfter = failAfter;
        Run({"-overwrite", "ALWAYS", "-outfolder", out.c_str(), "/dev/fakesr0#1", "-convert"});
        EXPECT_EQ(ReadFileBytes(dir_ + "/victim"), Bytes{'v'});
        EXPECT_FALSE(fs::is_symlink(named));
        EXPECT_EQ(ReadWav16(named).samples, disc.TrackPCM(0)) << failAfter;
        // The track and the disc's rip log, nothing else.
        EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 2);
    }
}

// A headless rip of the whole disc checked by the database: each track's report line, the
// disc's log, and the log's checksums against whipper's on the written files; then the same
// disc unknown to the database, and a track whose read fails (never accurate).
TEST_F(CdConvert, AccurateRipReportsAndLogOfAWholeDisc) {
    DiscImage disc = MakeTestDisc(32);
    FakeCDDrive drive(disc);
    const int n = disc.Tracks();
    const LARDiscIds ids = LARComputeDiscIds(disc.starts.data(), n, disc.starts[size_t(n)]);
    std::vector<LARChecksum> sums(disc.starts.size() - 1);
    for (int t = 0; t < n; ++t) {
        const std::vector<int16_t> pcm = disc.TrackPCM(t);
        sums[size_t(t)].Start(t + 1, n, uint32_t(pcm.size() / 2));
        sums[size_t(t)].AddPCM16(pcm.data(), int32_t(pcm.size() / 2));
    }
    auto v1 = [&](int t) { return sums[size_t(t - 1)].V1(); };
    auto v2 = [&](int t) { return sums[size_t(t - 1)].V2(); };
    // Two pressings: track 1 by v2, track 2 by v1 only, track 4 in both (the higher confidence
    // counts), tracks 3 and 5 by neither.
    Bytes file;
    using Entries = std::vector<std::pair<int, uint32_t>>;
    for (const Entries& entries :
         {Entries{{5, v2(1)}, {3, v1(2)}, {4, ~v2(3)}, {7, v2(4)}, {2, 9}},
          Entries{{1, 8}, {6, v2(2) + 1}, {2, v1(3) + 1}, {9, v2(4)}, {1, 7}}}) {
        file.push_back(uint8_t(n));
        for (uint32_t x : {ids.id1, ids.id2, ids.cddb}) PutLE(file, x, 4);
        for (auto [confidence, crc] : entries) {
            file.push_back(uint8_t(confidence));
            PutLE(file, crc, 4);
            PutLE(file, 0, 4);
        }
    }
    const std::string path = arRoot_ + LARDatabasePath(ids);
    fs::create_directories(fs::path(path).parent_path());
    ASSERT_TRUE(WriteFileBytes(path, file));
    UseAccurateRipTestServer("chunked");
    const std::string out = dir_ + "/out";
    Run({"-format", ".wav", "-outfolder", out.c_str(), "/dev/fakesr0", "-convert"});
    char hex[64];
    auto sumsText = [&](int t) {
        std::snprintf(hex, sizeof hex, "[v1 %08X, v2 %08X]", v1(t), v2(t));
        return std::string(hex);
    };
    auto accurate = [&](int t, int confidence, uint32_t crc) {
        std::snprintf(hex, sizeof hex, "accurate (confidence %d) [%08X]", confidence, crc);
        return "AccurateRip: track " + std::to_string(t) + " " + hex;
    };
    EXPECT_EQ(host_.verified,
              (std::vector<std::string>{accurate(1, 5, v2(1)), accurate(2, 3, v1(2)),
                                        "AccurateRip: track 3 not accurate " + sumsText(3),
                                        accurate(4, 9, v2(4)),
                                        "AccurateRip: track 5 not accurate " + sumsText(5)}));
    const std::string log = ReadText(out + "/Tamber rip.log");
    EXPECT_NE(log.find("Drive: /dev/fakesr0\n"), std::string::npos) << log;
    EXPECT_NE(log.find("2 pressing(s)"), std::string::npos) << log;
    EXPECT_NE(log.find("3 of 5 track(s) accurate"), std::string::npos) << log;
    // The log's checksums are whipper's for the written files: first, middle and last track.
    for (int t : {1, 3, 5}) {
        const std::string args = " " + out + "/Track0" + std::to_string(t) + ".wav " +
                                 std::to_string(t) + " " + std::to_string(n);
        std::string row = "\n    " + std::to_string(t) + "  " +
                          RunOutput("accuraterip-checksum --accuraterip-v1" + args) + "     " +
                          RunOutput("accuraterip-checksum --accuraterip-v2" + args);
        row.erase(std::remove(row.begin() + 1, row.end(), '\n'), row.end());
        EXPECT_NE(log.find(row), std::string::npos) << row << "\n" << log;
    }

    // Unknown to the database; a failed read is reported but never accurate.
    host_.verified.clear();
    host_.RemoveAllEntries();
    UseAccurateRipTestServer("missing");
    Run({"-outfolder", out.c_str(), "/dev/fakesr0#5", "-convert"});
    EXPECT_EQ(host_.verified,
              std::vector<std::string>{"AccurateRip: track 5 not in database " + sumsText(5)});
    host_.verified.clear();
    host_.RemoveAllEntries();
    UseAccurateRipTestServer("plain");
    drive.failReadAfter = drive.reads + 1;
    Run({"-outfolder", out.c_str(), "/dev/fakesr0#4", "-convert"});
    ASSERT_EQ(host_.verified.size(), 1u);
    EXPECT_TRUE(host_.verified[0].starts_with("AccurateRip: track 4 not accurate"))
        << host_.verified[0];
    EXPECT_NE(ReadText(out + "/Tamber rip.log").find("read failed"), std::string::npos);
}

// The drive's read offset found and stored, for drives that read +30, -30, +667 and 0 samples
// early: one pressing knows the long middle track by its v2 and its offset-finding sum only
// (found through that sum) and the short one by its v1 (found by sliding it). A disc the
// database lacks and records that match at no offset say so and store nothing.
TEST_F(CdConvert, DetectOffsetFindsTheDrivesOffsetAndStoresIt) {
    DiscImage disc = MakeTestDisc(32);
    FakeCDDrive drive(disc);
    const int n = disc.Tracks();
    const LARDiscIds ids = LARComputeDiscIds(disc.starts.data(), n, disc.starts[size_t(n)]);
    auto sums = [&](int t, bool v2) {  // the true samples' checksums of track t (from 1)
        const std::vector<int16_t> pcm = disc.TrackPCM(t - 1);
        std::vector<uint32_t> words(pcm.size() / 2);
        for (size_t i = 0; i < words.size(); ++i)
            words[i] = uint16_t(pcm[2 * i]) | uint32_t(uint16_t(pcm[2 * i + 1])) << 16;
        LARChecksum c;
        c.Start(t, n, uint32_t(words.size()));
        c.AddWords(words.data(), int32_t(words.size()));
        const bool long_ = words.size() >= 451 * 588;
        return std::pair(v2 ? c.V2() : c.V1(), long_ ? LARSectorChecksum(&words[450 * 588]) : 0);
    };
    auto serve = [&](uint32_t spoil) {
        Bytes file = {uint8_t(n)};
        for (uint32_t x : {ids.id1, ids.id2, ids.cddb}) PutLE(file, x, 4);
        for (int t = 1; t <= n; ++t) {
            const auto [crc, offsetCrc] = sums(t, t == 3);
            file.push_back(t == 2 || t == 3 ? 4 : 0);
            PutLE(file, crc ^ spoil, 4);
            PutLE(file, t == 3 ? offsetCrc ^ spoil : 0, 4);
        }
        const std::string path = arRoot_ + LARDatabasePath(ids);
        fs::create_directories(fs::path(path).parent_path());
        ASSERT_TRUE(WriteFileBytes(path, file));
    };
    serve(0);
    UseAccurateRipTestServer("plain");
    for (int offset : {30, -30, 667, 0}) {
        disc.readOffset = offset;
        SettingsWrite(kReadOffset, 12);
        EXPECT_FALSE(Run({"-detectoffset", "/dev/fakesr0"}).settingsFailed);
        EXPECT_EQ(SettingsRead(kReadOffset), offset);
        char want[128];
        std::snprintf(want, sizeof want,
                      "Read offset %+d found and stored (2 of 2 track(s) and 1 pressing(s) agree, "
                      "confidence 4)",
                      offset);
        EXPECT_EQ(host_.messages.back(), want);
    }
    SettingsWrite(kReadOffset, 12);
    serve(0x10000);
    EXPECT_TRUE(Run({"-detectoffset", "/dev/fakesr0"}).settingsFailed);
    EXPECT_EQ(host_.messages.back(),
              "Read offset not found: no offset from -5880 to +5880 samples matches the "
              "AccurateRip database");
    UseAccurateRipTestServer("missing");
    EXPECT_TRUE(Run({"-detectoffset", "/dev/fakesr0", "/dev/fakesr0", "-convert"}).settingsFailed);
    EXPECT_EQ(host_.messages.back(),
              "Read offset not found: the disc is not in the AccurateRip database");
    EXPECT_EQ(SettingsRead(kReadOffset), 12);
    EXPECT_EQ(host_.Images(), std::vector<int>(5, LENTRY_NONE));  // nothing was ripped
}

}  // namespace
