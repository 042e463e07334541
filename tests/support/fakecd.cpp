// The in-memory audio CD and the drive that serves it.
#include "tests/support/fakecd.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>
#include <thread>

namespace testutil {

std::vector<int16_t> DiscImage::TrackPCM(int t) const {
    return std::vector<int16_t>(pcm.begin() + ptrdiff_t(starts[size_t(t)]) * 1176,
                                pcm.begin() + ptrdiff_t(starts[size_t(t) + 1]) * 1176);
}

bool DiscImage::Save(const std::string& path) const {
    std::ofstream f(path, std::ios::binary);
    const uint32_t n = uint32_t(Tracks());
    f.write("TMBRCDI1", 8).write(reinterpret_cast<const char*>(&n), 4);
    f.write(reinterpret_cast<const char*>(starts.data()), std::streamsize(starts.size() * 4));
    f.write(reinterpret_cast<const char*>(pcm.data()), std::streamsize(pcm.size() * 2));
    return f.flush().good();
}

bool DiscImage::Load(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    char magic[8] = {};
    uint32_t n = 0;
    f.read(magic, 8).read(reinterpret_cast<char*>(&n), 4);
    if (!f || std::memcmp(magic, "TMBRCDI1", 8) || n >= 100) return false;
    starts.resize(n + 1);
    f.read(reinterpret_cast<char*>(starts.data()), std::streamsize(starts.size() * 4));
    pcm.resize(f ? size_t(starts.back()) * 1176 : 0);
    return bool(f.read(reinterpret_cast<char*>(pcm.data()), std::streamsize(pcm.size() * 2)));
}

int DiscImage::Answer(const uint8_t* cdb, uint8_t* out, uint32_t outBytes, uint8_t* sense,
                      bool failRead) const {
    auto check = [sense](uint8_t key, uint8_t asc) {
        std::memset(sense, 0, 14);
        sense[0] = 0x70, sense[2] = key, sense[7] = 6, sense[12] = asc;
        return 2;
    };
    if (cdb[0] == 0x43) {  // READ TOC, LBA addressing
        const size_t length = 8 * starts.size() + 2;
        std::vector<uint8_t> toc = {uint8_t(length >> 8), uint8_t(length), 1, uint8_t(Tracks())};
        for (size_t t = 0; t < starts.size(); ++t)
            toc.insert(toc.end(), {0, 0x10, uint8_t(t + 1 < starts.size() ? t + 1 : 0xAA), 0,
                                   uint8_t(starts[t] >> 24), uint8_t(starts[t] >> 16),
                                   uint8_t(starts[t] >> 8), uint8_t(starts[t])});
        std::memset(out, 0, outBytes);
        std::memcpy(out, toc.data(), std::min<size_t>(toc.size(), outBytes));
        return 0;
    }
    if (cdb[0] != 0xBE) return check(0x05, 0x20);  // invalid command
    uint32_t lba = uint32_t(cdb[2]) << 24 | uint32_t(cdb[3]) << 16 | uint32_t(cdb[4]) << 8 | cdb[5];
    uint32_t count = uint32_t(cdb[6]) << 16 | uint32_t(cdb[7]) << 8 | cdb[8];
    if (failRead) return check(0x03, 0x11);  // medium error, unrecovered read error
    if (lba + count > starts.back() || count * 2352 > outBytes)
        return check(0x05, 0x21);  // illegal request, LBA out of range
    std::memcpy(out, pcm.data() + size_t(lba) * 1176, size_t(count) * 2352);
    return 0;
}

DiscImage MakeTestDisc(uint32_t firstSector, int scale) {
    // Sector counts and tones (0: silence) of the five tracks.
    const uint32_t sectors[] = {10, 40, 1013 * uint32_t(scale), 301, 777 * uint32_t(scale)};
    const double tones[] = {440, 1000, 261.63, 0, 523.25}, w = 2 * std::numbers::pi / 44100;
    DiscImage d{{firstSector}, std::vector<int16_t>(size_t(firstSector) * 1176)};
    for (size_t t = 0; t < std::size(sectors); ++t) {
        for (uint32_t i = 0; i < sectors[t] * 588; ++i) {
            const double l =
                9000 * std::sin(w * tones[t] * i) + 3000 * std::sin(w * 3.1 * tones[t] * i);
            d.pcm.push_back(int16_t(std::lrint(l)));
            d.pcm.push_back(
                int16_t(std::lrint(8000 * std::sin(w * tones[t] * 1.5 * i + 0.3 * double(t)))));
        }
        d.starts.push_back(d.starts.back() + sectors[t]);
    }
    return d;
}

}  // namespace testutil

#ifndef _WIN32
namespace testutil {

int FakeCDDrive::Open(const char* path) {
    if (std::strcmp(path, "/dev/fakesr0") == 0) return ++openFiles, 1000;
    errno = ENOENT;
    return -1;
}

int FakeCDDrive::Execute(int, sg_io_hdr_t* rq) {
    const uint8_t* cdb = rq->cmdp;
    const int read = cdb[0] == 0xBE ? reads++ : -1;  // the number of this READ CD, from 0
    if (neverComplete) {
        // The kernel ends a command at the request's own time limit.
        std::this_thread::sleep_for(std::chrono::milliseconds(rq->timeout));
        rq->host_status = 0x03;  // timed out
        return 0;
    }
    if (read >= 0 && vanishAfter >= 0 && read >= vanishAfter) return errno = ENODEV, -1;
    uint8_t sense[14];
    const bool fail = read >= 0 && failReadAfter >= 0 && read >= failReadAfter;
    rq->status =
        uint8_t(image_.Answer(cdb, static_cast<uint8_t*>(rq->dxferp), rq->dxfer_len, sense, fail));
    if (rq->status) {
        rq->driver_status = 0x08;  // sense data follows
        std::memcpy(rq->sbp, sense, std::min<size_t>(14, rq->mx_sb_len));
    }
    return 0;
}

}  // namespace testutil
#endif
