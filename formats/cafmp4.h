// Apple Lossless in CAF rewrapped as MP4: the platform decoders read ALAC in MP4 (and no CAF at
// all), so the packets are copied into an MP4 file with the tables its readers need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The stream a CAF file describes and the packet table ('pakt') of its data.
struct LCafPackets {
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    uint32_t framesPerPacket = 0;  // 0: each packet lists its own frame count
    int64_t validFrames = 0;       // frames to play, less priming and remainder
    uint32_t primingFrames = 0;
    std::vector<uint32_t> bytes;   // per packet
    std::vector<uint32_t> frames;  // per packet, only when framesPerPacket is 0
    uint64_t dataBytes = 0;        // the packets' sum
};

// Bounds of what is rewrapped: the MP4 tables hold 32-bit sizes and offsets.
inline constexpr uint64_t kCafMp4MaxDataBytes = 0xF0000000ull;
inline constexpr size_t kCafMaxPacketTableBytes = size_t(8) << 20;  // days of audio

// Reads the 'pakt' chunk body into p (whose framesPerPacket is set): false when it is damaged,
// lists no packet, or a packet or the sum does not fit the bounds.
bool LCafParsePackets(const uint8_t* body, size_t size, LCafPackets& p);

// The ALAC decoder configuration (24 bytes) inside a 'kuki' chunk body, which holds it either
// bare or inside the 'frma' and 'alac' atoms; null when there is none.
const uint8_t* LCafAlacConfig(const uint8_t* cookie, size_t size);

// The MP4 file's boxes around the packets: "ftyp" and the "mdat" header (head, which the
// packets follow at once), and the "moov" box that comes after them (tail).
void LCafMp4Boxes(const LCafPackets& p, const uint8_t* alacConfig, std::vector<uint8_t>& head,
                  std::vector<uint8_t>& tail);

// Writes the MP4 file of an ALAC CAF file; false (and no file) for anything else or a damaged
// one.
bool LCafRewrapToMp4(const char* cafPath, const char* mp4Path);
