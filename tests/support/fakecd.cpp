// The in-memory audio CD and the drive that serves it.
#include "tests/support/fakecd.h"

#include <algorithm>
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
        r.insert(r.end(), {0, 0x10, uint8_t(number), 0});
        for (int shift = 24; shift >= 0; shift -= 8) r.push_back(uint8_t(lba >> shift));
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

bool DiscImage::Load(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char magic[8];
    uint32_t n = 0;
    bool ok = std::fread(magic, 1, 8, f) == 8 && std::memcmp(magic, "TMBRCDI1", 8) == 0 &&
              std::fread(&n, 4, 1, f) == 1 && n < 100;
    if (ok) {
        starts.resize(n + 1);
        ok = std::fread(starts.data(), 4, n + 1, f) == n + 1;
    }
    if (ok) {
        pcm.resize(size_t(starts.back()) * 1176);
        ok = std::fread(pcm.data(), 2, pcm.size(), f) == pcm.size();
    }
    std::fclose(f);
    return ok;
}

int DiscImage::Answer(const uint8_t* cdb, uint8_t* out, uint32_t outBytes, uint8_t* sense,
                      bool failRead) const {
    auto check = [sense](uint8_t key, uint8_t asc) {
        std::memset(sense, 0, 14);
        sense[0] = 0x70, sense[2] = key, sense[7] = 6, sense[12] = asc;
        return 2;
    };
    if (cdb[0] == 0x43) {
        std::vector<uint8_t> toc = TocResponse();
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
    std::vector<uint8_t> toc = cdb[0] == 0x43 ? tocOverride : std::vector<uint8_t>();
    if (!toc.empty()) {
        std::memset(rq->dxferp, 0, rq->dxfer_len);
        std::memcpy(rq->dxferp, toc.data(), std::min<size_t>(toc.size(), rq->dxfer_len));
        return 0;
    }
    uint8_t sense[14];
    bool fail = readIndex >= 0 && failReadAfter >= 0 && readIndex >= failReadAfter;
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
