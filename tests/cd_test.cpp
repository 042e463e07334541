// CD extraction against a drive served from a disc image at the SCSI generic seam.

#include "cd/rip.h"
#include "cd/scsi.h"
#include "cd/toc.h"
#include "tests/support/fakecd.h"
#include "tests/support/kit.h"

namespace {

using testutil::FakeCDDrive;
using testutil::FakeProgress;
using testutil::MemorySink;

const testutil::DiscImage& Disc() {
    static testutil::DiscImage disc = testutil::MakeTestDisc(0);
    return disc;
}

// The READ CD sizes issued, in order.
std::vector<int> ReadSizes(FakeCDDrive& drive) {
    std::vector<int> sizes;
    for (auto& c : drive.Commands())
        if (c[0] == 0xBE) sizes.push_back(c[8]);
    return sizes;
}

struct ShortTimeouts {
    explicit ShortTimeouts(uint32_t ms) {
        LCDTimeouts t;
        t.tocMs = t.readMs = ms;
        t.deviceSeconds = 1;
        LCDSetTimeoutsForTesting(t);
    }
    ~ShortTimeouts() { LCDSetTimeoutsForTesting(LCDTimeouts()); }
};

int RipTrack(int track, const LSinkRef& sink, FakeProgress& dlg) {
    LCDROMRipTrack rec;
    rec.nTrack = uint8_t(track);
    rec.sink = sink;
    return Process(&dlg, &rec);
}

TEST(CdCommands, TocAndReadBlocksByteForByteAndTheParse) {
    FakeCDDrive drive(Disc());
    FakeProgress dlg;
    LSCSI scsi;
    EXPECT_EQ(scsi.GetCDROMDriveCount(), 1);
    ASSERT_TRUE(!scsi.OpenCDROMDrive(1) && scsi.OpenCDROMDrive(0));
    uint8_t tracks = 0;
    uint32_t addr[256];
    ASSERT_EQ(ProcessSCSICDGetTOC(&dlg, scsi, tracks, addr), LPROCESS_OK);
    ASSERT_EQ(tracks, 5);
    EXPECT_EQ(std::vector<uint32_t>(addr, addr + 6), Disc().starts);
    EXPECT_EQ(drive.Commands()[0],
              (std::vector<uint8_t>{0x43, 0, 0, 0, 0, 0, 0x01, 0x08, 0x00, 0}));

    uint8_t cdb[12];
    LCDBuildReadCD(cdb, 0x01020304, 27);
    EXPECT_EQ(std::vector<uint8_t>(cdb, cdb + 12),
              (std::vector<uint8_t>{0xBE, 0, 1, 2, 3, 4, 0, 0, 27, 0xF0, 0, 0}));

    // A length field below 10, and one claiming more entries than the response holds.
    uint8_t shortToc[LCD_TOC_BYTES] = {0x00, 0x09}, longToc[16] = {0xFF, 0xFF};
    EXPECT_FALSE(LCDParseTOC(shortToc, LCD_TOC_BYTES, tracks, addr) ||
                 LCDParseTOC(longToc, 16, tracks, addr));
    EXPECT_EQ(tracks, 0);
}

TEST(CdRip, EveryTrackEqualsTheImageWithTheReadPattern) {
    FakeCDDrive drive(Disc());
    for (int t = 0; t < Disc().Tracks(); ++t) {
        FakeProgress dlg;
        auto* sink = new MemorySink(44100, 2);
        LSinkRef ref(sink);
        ASSERT_EQ(RipTrack(t, ref, dlg), LPROCESS_OK) << t;
        EXPECT_EQ(sink->samples, testutil::Internal(Disc().TrackPCM(t))) << "track " << t + 1;
        EXPECT_EQ(dlg.line0History.back(), "Loading Track " + std::to_string(t + 1));
        for (int n : sink->writeSizes) EXPECT_LE(n, LSOUND_BLOCK_FRAMES);
    }
    // Track 1 (10 sectors): one read of 10; track 2 (40 sectors): 13 + 27.
    std::vector<int> sizes = ReadSizes(drive);
    ASSERT_GE(sizes.size(), 3u);
    EXPECT_EQ(std::vector<int>(sizes.begin(), sizes.begin() + 3), (std::vector<int>{10, 13, 27}));
    EXPECT_EQ(drive.openFiles, 0);
}

TEST(CdRip, FailuresEndCleanly) {
    FakeCDDrive drive(Disc());
    {  // a track index equal to the track count: no read at all
        FakeProgress dlg;
        EXPECT_EQ(RipTrack(5, LSinkRef(new MemorySink(44100, 2)), dlg), LPROCESS_FAILED);
        EXPECT_EQ(drive.ReadCount(), 0);
    }
    {  // a table of contents shorter than 10 bytes
        drive.tocOverride = {0x00, 0x08, 1, 1, 0, 0, 0, 0, 0, 0};
        FakeProgress dlg;
        EXPECT_EQ(RipTrack(0, LSinkRef(new MemorySink(44100, 2)), dlg), LPROCESS_FAILED);
        drive.tocOverride.clear();
    }
    {  // a read failing with sense data, then a drive that goes away mid-rip
        drive.failReadAfter = 2;
        FakeProgress dlg;
        EXPECT_EQ(RipTrack(2, LSinkRef(new MemorySink(44100, 2)), dlg), LPROCESS_FAILED);
        drive.failReadAfter = -1;
        drive.vanishAfter = drive.ReadCount() + 3;
        EXPECT_EQ(RipTrack(2, LSinkRef(new MemorySink(44100, 2)), dlg), LPROCESS_FAILED);
        drive.vanishAfter = -1;
    }
    {  // a READ that never completes ends at the wait's time limit
        ShortTimeouts shortWaits(300);
        drive.neverComplete = true;
        FakeProgress dlg;
        LCDROMRipSectors rec;
        rec.firstSector = 0, rec.endSector = 50;
        auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(Process(&dlg, &rec), LPROCESS_FAILED);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
        drive.neverComplete = false;
    }
    EXPECT_EQ(drive.openFiles, 0);
}

TEST(CdRip, CancelStopsReadingAndDeliversWhatWasRequested) {
    FakeCDDrive drive(Disc());
    FakeProgress dlg;
    dlg.stopped = true;  // the first look at the queue already reports the cancel
    auto* sink = new MemorySink(44100, 2);
    LCDROMRipSectors rec;
    rec.firstSector = Disc().starts[2], rec.endSector = Disc().starts[3];
    rec.sink = LSinkRef(sink);
    EXPECT_EQ(Process(&dlg, &rec), LPROCESS_STOPPED);
    EXPECT_EQ(ReadSizes(drive), std::vector<int>{13});
    EXPECT_EQ(sink->samples.size(), 13u * 588 * 2);
}

}  // namespace
