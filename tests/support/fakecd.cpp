// The in-memory audio CD and the drive that serves it.
#include "tests/support/fakecd.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

namespace testutil {

constexpr double kPi = 3.14159265358979323846;

std::vector<int16_t> DiscImage::TrackPCM(int t) const {
    return std::vector<int16_t>(pcm.begin() + ptrdiff_t(starts[size_t(t)]) * 1176,
                                pcm.begin() + ptrdiff_t(starts[size_t(t) + 1]) * 1176);
}

std::vector<uint8_t> DiscImage::TocResponse() const {
    std::vector<uint8_t> r(4);
    auto entry = [&r](int number, uint32_t lba) {
        uint8_t e[8] = {0,
                        0x10,
                        uint8_t(number),
                        0,
                        uint8_t(lba >> 24),
                        uint8_t(lba >> 16),
                        uint8_t(lba >> 8),
                        uint8_t(lba)};
        r.insert(r.end(), e, e + 8);
    };
    for (int t = 0; t < Tracks(); ++t) entry(t + 1, starts[size_t(t)]);
    entry(0xAA, starts.back());
    uint16_t length = uint16_t(r.size() - 2);
    r[0] = uint8_t(length >> 8), r[1] = uint8_t(length);
    r[2] = 1, r[3] = uint8_t(Tracks());
    return r;
}

bool DiscImage::Save(const std::string& path) const {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    uint32_t n = uint32_t(Tracks());
    bool ok = std::fwrite("TMBRCDI1", 1, 8, f) == 8 && std::fwrite(&n, 4, 1, f) == 1 &&
              std::fwrite(starts.data(), 4, starts.size(), f) == starts.size() &&
              std::fwrite(pcm.data(), 2, pcm.size(), f) == pcm.size();
    return std::fclose(f) == 0 && ok;
}

DiscImage MakeTestDisc(uint32_t firstSector, int scale) {
    // Sector counts and tones (0: silence) of the five tracks.
    const uint32_t sectors[] = {10, 40, 1013 * uint32_t(scale), 301, 777 * uint32_t(scale)};
    const double tones[] = {440, 1000, 261.63, 0, 523.25};
    DiscImage d;
    uint32_t lba = firstSector;
    d.pcm.assign(size_t(firstSector) * 1176, 0);
    for (size_t t = 0; t < std::size(sectors); ++t) {
        const double hz = tones[t];
        d.starts.push_back(lba);
        for (uint32_t i = 0; i < sectors[t] * 588; ++i) {
            double x = double(i) / 44100.0;
            double l = 9000 * std::sin(2 * kPi * hz * x) + 3000 * std::sin(2 * kPi * 3.1 * hz * x);
            double r = 8000 * std::sin(2 * kPi * hz * 1.5 * x + 0.3 * double(t));
            d.pcm.push_back(int16_t(std::lrint(l)));
            d.pcm.push_back(int16_t(std::lrint(r)));
        }
        lba += sectors[t];
    }
    d.starts.push_back(lba);
    return d;
}

}  // namespace testutil

#ifndef _WIN32
namespace testutil {

FakeCDDrive::FakeCDDrive(const DiscImage& image, std::vector<std::string> names)
    : image_(image), names_(std::move(names)) {
    LSGSetDevicesForTesting(this);
}

FakeCDDrive::~FakeCDDrive() {
    LSGSetDevicesForTesting(nullptr);
}

int FakeCDDrive::Open(const char* path) {
    for (size_t i = 0; i < names_.size(); ++i)
        if (names_[i] == path) {
            ++openFiles;
            return 1000 + int(i);
        }
    errno = ENOENT;
    return -1;
}

void FakeCDDrive::Close(int fd) {
    --openFiles;
}

std::vector<std::vector<uint8_t>> FakeCDDrive::Commands() {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

int FakeCDDrive::ReadCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_;
}

int FakeCDDrive::Execute(int fd, sg_io_hdr_t* rq) {
    const uint8_t* cdb = rq->cmdp;
    int readIndex = -1;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.emplace_back(cdb, cdb + rq->cmd_len);
        if (cdb[0] == 0xBE) readIndex = reads_++;
    }
    if (neverComplete) {
        // The kernel ends a command at the request's own time limit.
        std::this_thread::sleep_for(std::chrono::milliseconds(rq->timeout));
        rq->host_status = 0x03;  // timed out
        return 0;
    }
    if (readIndex >= 0 && vanishAfter >= 0 && readIndex >= vanishAfter) {
        errno = ENODEV;
        return -1;
    }
    auto* out = static_cast<uint8_t*>(rq->dxferp);
    if (cdb[0] == 0x43) {
        std::vector<uint8_t> toc = tocOverride.empty() ? image_.TocResponse() : tocOverride;
        std::memset(out, 0, rq->dxfer_len);
        std::memcpy(out, toc.data(), std::min<size_t>(toc.size(), rq->dxfer_len));
        return 0;
    }
    if (cdb[0] == 0xBE) {
        uint32_t lba =
            uint32_t(cdb[2]) << 24 | uint32_t(cdb[3]) << 16 | uint32_t(cdb[4]) << 8 | cdb[5];
        uint32_t count = uint32_t(cdb[6]) << 16 | uint32_t(cdb[7]) << 8 | cdb[8];
        bool fail = failReadAfter >= 0 && readIndex >= failReadAfter;
        if (fail || lba + count > image_.starts.back() || count * 2352 > rq->dxfer_len) {
            rq->status = 0x02;  // check condition: illegal request, LBA out of range
            rq->driver_status = 0x08;
            if (rq->sbp && rq->mx_sb_len >= 14) {
                std::memset(rq->sbp, 0, rq->mx_sb_len);
                rq->sbp[0] = 0x70, rq->sbp[2] = fail ? 0x03 : 0x05,
                rq->sbp[12] = fail ? 0x11 : 0x21;
            }
            return 0;
        }
        std::memcpy(out, image_.pcm.data() + size_t(lba) * 1176, size_t(count) * 2352);
        return 0;
    }
    rq->status = 0x02;
    return 0;
}

}  // namespace testutil
#endif
