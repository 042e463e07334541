// An audio CD in memory and, on Linux, a drive serving it at the SCSI generic seam.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace testutil {

struct DiscImage {
    std::vector<uint32_t> starts;  // first sector of every track, then the lead-out
    std::vector<int16_t> pcm;      // every sector from 0 to the lead-out, 1176 samples each

    int Tracks() const { return int(starts.size()) - 1; }
    // The 16-bit samples of track t (from 0).
    std::vector<int16_t> TrackPCM(int t) const;
    // The image as one file: "TMBRCDI1", track count (4 bytes LE), the start table, the samples.
    bool Save(const std::string& path) const;
    bool Load(const std::string& path);
    // A drive's answer to READ TOC (formats 0 and 5) or READ CD (with C2 pointers when asked):
    // status 0, or 2 with 14 bytes of sense data.
    int Answer(const uint8_t* cdb, uint8_t* out, uint32_t outBytes, uint8_t* sense,
               bool failRead = false) const;

    // How the drive reads (not saved with the image).
    int readOffset = 0;  // a sector's audio begins this many frames early (zeros off the disc)
    std::map<uint32_t, int> wrongReads;         // sector: its first n reads come back wrong, alike
    bool wrongFlagged = false;                  // those wrong reads carry C2 pointers
    std::set<uint32_t> unstable;                // sectors that never read the same twice
    std::set<uint32_t> unreadable;              // a read that takes one in fails (medium error)
    bool refuseC2 = false;                      // READ CD with C2 pointers is an illegal request
    std::vector<uint8_t> cdText;                // READ TOC format 5's packs; none: format 5 refused
    mutable std::map<uint32_t, int> timesRead;  // reads of each sector so far
};

// CD-TEXT packs of block 0 (ISO 8859-1) with their CRCs: type 0x80 titles or 0x81 performers,
// texts[0] the album's and texts[t] track t's; a "\t" text stands for the one before.
std::vector<uint8_t> MakeCDTextPacks(uint8_t type, const std::vector<std::string>& texts,
                                     uint8_t firstSequence = 0);

// Five tracks of 10, 40, 1013 * scale, 301 and 777 * scale sectors from firstSector on.
DiscImage MakeTestDisc(uint32_t firstSector = 0, int scale = 1);

}  // namespace testutil

#ifndef _WIN32
#include "cd/posix/sgio.h"

namespace testutil {

// The device layer while it lives: one drive, "/dev/fakesr0", serving an image to READ TOC/CD.
class FakeCDDrive : public LSGDevices {
  public:
    explicit FakeCDDrive(const DiscImage& image) : image_(image) { LSGSetDevicesForTesting(this); }
    ~FakeCDDrive() override { LSGSetDevicesForTesting(nullptr); }

    std::vector<std::string> List() override { return {"/dev/fakesr0"}; }
    int Open(const char* path) override;
    int Execute(int fd, sg_io_hdr_t* request) override;
    void Close(int) override { --openFiles; }

    std::atomic<bool> neverComplete{false};  // commands run into their time limit
    std::atomic<int> failReadAfter{-1};      // READ CD number n (from 0) on fails with sense
    std::atomic<int> vanishAfter{-1};        // after n READ CDs the device is gone

    std::atomic<int> reads{0}, openFiles{0};  // READ CDs received, devices open

  private:
    const DiscImage& image_;
};

}  // namespace testutil
#endif
