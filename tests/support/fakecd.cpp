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
    if (cdb[0] == 0x43 && (cdb[2] & 0x0F) == 5) {      // READ TOC, CD-TEXT
        if (cdText.empty()) return check(0x05, 0x24);  // invalid field in the command
        const size_t length = cdText.size() + 2;
        std::vector<uint8_t> answer = {uint8_t(length >> 8), uint8_t(length), 0, 0};
        answer.insert(answer.end(), cdText.begin(), cdText.end());
        std::memset(out, 0, outBytes);
        std::memcpy(out, answer.data(), std::min<size_t>(answer.size(), outBytes));
        return 0;
    }
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
    const int errorField = (cdb[9] >> 1) & 3;  // 1: C2 pointers after each sector
    if (errorField > 1 || (errorField && refuseC2)) return check(0x05, 0x24);
    const uint32_t each = errorField ? 2352 + 294 : 2352;
    if (failRead) return check(0x03, 0x11);  // medium error, unrecovered read error
    if (lba + count > starts.back() || count * each > outBytes)
        return check(0x05, 0x21);  // illegal request, LBA out of range
    if (unreadable.lower_bound(lba) != unreadable.lower_bound(lba + count))
        return check(0x03, 0x11);
    const int64_t discFrames = int64_t(starts.back()) * 588;
    for (uint32_t i = 0; i < count; ++i) {
        auto* samples = reinterpret_cast<int16_t*>(out + size_t(i) * each);
        const int64_t begin = int64_t(lba + i) * 588 - readOffset;
        for (int64_t f = 0; f < 588; ++f) {
            const int64_t q = begin + f;
            const bool on = q >= 0 && q < discFrames;
            samples[2 * f] = on ? pcm[size_t(2 * q)] : 0;
            samples[2 * f + 1] = on ? pcm[size_t(2 * q + 1)] : 0;
        }
        const int n = timesRead[lba + i]++;
        auto wrong = wrongReads.find(lba + i);
        bool flagged = false;
        if (wrong != wrongReads.end() && n < wrong->second) {
            for (int k = 0; k < 32; ++k) samples[k] = int16_t(samples[k] ^ 0x5A5A);
            flagged = wrongFlagged;
        }
        if (unstable.count(lba + i))
            for (int k = 0; k < 32; ++k) samples[k] = int16_t(samples[k] + 1 + n * 31 + k);
        if (errorField) std::memset(out + size_t(i) * each + 2352, flagged ? 0xFF : 0, 294);
    }
    return 0;
}

std::vector<uint8_t> MakeCDTextPacks(uint8_t type, const std::vector<std::string>& texts,
                                     uint8_t firstSequence) {
    // The texts one after another, each ended by a zero, with the track each byte belongs to.
    std::vector<uint8_t> stream, trackOf, position;
    for (size_t t = 0; t < texts.size(); ++t) {
        for (size_t i = 0; i <= texts[t].size(); ++i) {
            stream.push_back(i < texts[t].size() ? uint8_t(texts[t][i]) : 0);
            trackOf.push_back(uint8_t(t));
            position.push_back(uint8_t(std::min<size_t>(i, 15)));
        }
    }
    std::vector<uint8_t> packs;
    uint8_t sequence = firstSequence;
    for (size_t at = 0; at < stream.size(); at += 12) {
        uint8_t pack[18] = {type, trackOf[at], sequence++, position[at]};
        for (size_t i = 0; i < 12 && at + i < stream.size(); ++i) pack[4 + i] = stream[at + i];
        uint16_t crc = 0;  // CRC-16, polynomial x^16 + x^12 + x^5 + 1, stored inverted
        for (int i = 0; i < 16; ++i) {
            crc ^= uint16_t(pack[i] << 8);
            for (int bit = 0; bit < 8; ++bit)
                crc = uint16_t(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
        }
        crc = uint16_t(~crc);
        pack[16] = uint8_t(crc >> 8), pack[17] = uint8_t(crc);
        packs.insert(packs.end(), pack, pack + 18);
    }
    return packs;
}

DiscImage MakeTestDisc(uint32_t firstSector, int scale) {
    // Sector counts and tones (0: silence) of the five tracks.
    const uint32_t sectors[] = {10, 40, 1013 * uint32_t(scale), 301, 777 * uint32_t(scale)};
    const double tones[] = {440, 1000, 261.63, 0, 523.25}, w = 2 * std::numbers::pi / 44100;
    DiscImage d;
    d.starts = {firstSector};
    d.pcm.resize(size_t(firstSector) * 1176);
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
