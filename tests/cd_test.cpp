// CD extraction against a drive served from a disc image at the SCSI generic seam.

#include "cd/rip.h"
#include "cd/scsi.h"
#include "tests/support/fakecd.h"
#include "tests/support/kit.h"

namespace {

using namespace testutil;

const testutil::DiscImage& Disc() {
    static DiscImage disc = MakeTestDisc(0);
    return disc;
}

int RipTrack(int track, const LSinkRef& sink, FakeProgress& dlg, uint8_t drive = 0) {
    LCDROMRipTrack rec{drive, uint8_t(track), sink};
    return Process(&dlg, &rec);
}

// Every track's samples through the command line: the conversion test.
TEST(CdRip, TrackEqualsTheImageInBlockSizedWrites) {
    FakeCDDrive drive(Disc());
    FakeProgress dlg;
    auto* sink = new MemorySink(44100, 2);
    LSinkRef hold(sink);
    ASSERT_EQ(RipTrack(2, hold, dlg), LPROCESS_OK);
    EXPECT_EQ(sink->samples, Internal(Disc().TrackPCM(2)));
    EXPECT_EQ(dlg.line0History.back(), "Loading Track 3");
    for (int n : sink->writeSizes) EXPECT_LE(n, LSOUND_BLOCK_FRAMES);
    EXPECT_EQ(drive.openFiles, 0);
}

TEST(CdRip, CancelAndFailuresEndCleanly) {
    FakeCDDrive drive(Disc());
    FakeProgress dlg;
    dlg.stopped = true;  // the first look at the queue already reports the cancel
    auto* sink = new MemorySink(44100, 2);
    LCDROMRipSectors rec;
    rec.firstSector = Disc().starts[2], rec.endSector = Disc().starts[3];
    rec.sink = LSinkRef(sink);
    EXPECT_EQ(Process(&dlg, &rec), LPROCESS_STOPPED);
    EXPECT_EQ(sink->samples.size(), 13u * 588 * 2);  // the one read asked for, delivered
    auto fails = [](int track, uint8_t index = 0) {
        FakeProgress quiet;
        return RipTrack(track, LSinkRef(new MemorySink(44100, 2)), quiet, index) == LPROCESS_FAILED;
    };
    // A drive index past the list, and a track index equal to the track count: no read at all.
    EXPECT_TRUE(fails(0, 1) && fails(5));
    EXPECT_EQ(drive.ReadSizes(), std::vector<int>{13});
    drive.failReadAfter = 2;  // a read failing with sense data
    EXPECT_TRUE(fails(2));
    drive.failReadAfter = -1;
    drive.vanishAfter = int(drive.ReadSizes().size()) + 3;  // a drive that goes away mid-rip
    EXPECT_TRUE(fails(2));
    // A READ that never completes ends at the wait's time limit.
    LCDSetTimeoutsForTesting({300, 300, 500, 1});
    drive.neverComplete = true;
    dlg.stopped = false;
    rec.firstSector = 0, rec.endSector = 50;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Process(&dlg, &rec), LPROCESS_FAILED);
    EXPECT_LT(SecondsSince(t0), 5);
    LCDSetTimeoutsForTesting(LCDTimeouts());
    EXPECT_EQ(drive.openFiles, 0);
}

}  // namespace
