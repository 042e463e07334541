// Codec layer under the compressed WAV reader and writer: conversion streams between 16-bit PCM
// and a wave format record, converting caller-owned buffers block by block.
#pragma once

#include <cstdint>

// The wave format record as stored in files (WAVEFORMATEX layout, little-endian, packed),
// followed in memory by cbSize extra bytes.
#pragma pack(push, 1)
struct LWaveFormatEx {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(LWaveFormatEx) == 18, "WAVEFORMATEX is 18 bytes");

// Format tags the program knows by name.
enum : uint16_t {
    LWAVE_FORMAT_PCM = 0x0001,
    LWAVE_FORMAT_ADPCM = 0x0002,  // Microsoft ADPCM
    LWAVE_FORMAT_IEEE_FLOAT = 0x0003,
    LWAVE_FORMAT_ALAW = 0x0006,
    LWAVE_FORMAT_MULAW = 0x0007,
    LWAVE_FORMAT_IMA_ADPCM = 0x0011,
    LWAVE_FORMAT_GSM610 = 0x0031,
    LWAVE_FORMAT_MPEGLAYER3 = 0x0055,
    LWAVE_FORMAT_EXTENSIBLE = 0xFFFE,
};

// Flags of LAcmStreamOpen (the values of the platform's ACM flags).
enum : uint32_t {
    LACM_OPEN_NONREALTIME = 0x00000004,
    LACM_OPEN_QUERY = 0x00000001,
};

// Flags of LAcmStream::Convert (the values of the platform's ACM flags).
enum : uint32_t {
    LACM_CONVERT_BLOCKALIGN = 0x00000004,
    LACM_CONVERT_START = 0x00000010,
    LACM_CONVERT_END = 0x00000020,
};

// One open conversion stream. Created by LAcmStreamOpen, destroyed with delete (which closes
// the stream if Close was not called).
class LAcmStream {
  public:
    virtual ~LAcmStream() = default;

    // Source bytes needed to produce at most dstBytes of output (whole blocks); 0 on failure.
    virtual uint32_t SourceSizeFor(uint32_t dstBytes) = 0;
    // Destination bytes that srcBytes of input can produce (whole blocks rounded up); 0 on failure.
    virtual uint32_t DestinationSizeFor(uint32_t srcBytes) = 0;
    // Binds the caller-owned buffers; they must stay in place until Unprepare.
    virtual bool Prepare(uint8_t* src, uint32_t srcCapacity, uint8_t* dst,
                         uint32_t dstCapacity) = 0;
    virtual bool Unprepare() = 0;
    // Converts from the first srcBytes of the bound source buffer into the bound destination
    // buffer; reports source bytes used and destination bytes produced. False when the codec
    // refused the data (nothing is then used or produced).
    virtual bool Convert(uint32_t srcBytes, uint32_t flags, uint32_t* srcUsed,
                         uint32_t* dstProduced) = 0;
    // Closes the stream; false when the platform reports a failure.
    virtual bool Close() = 0;
};

// Opens a stream converting `from` to `to` (each a record followed by its extra bytes, one side
// 16-bit PCM). nullptr when no codec handles the pair. With LACM_OPEN_QUERY nothing is opened
// and the result is nullptr: use LAcmStreamQuery instead.
LAcmStream* LAcmStreamOpen(const LWaveFormatEx* from, const LWaveFormatEx* to, uint32_t flags);
// True when a stream between the two formats could be opened with these flags.
bool LAcmStreamQuery(const LWaveFormatEx* from, const LWaveFormatEx* to, uint32_t flags);

// The 16-bit PCM record on the other side of every stream: the channels and rate given
// (0 channels taken as 1), block align channels x 2, no extra bytes.
LWaveFormatEx LAcmPCM16Format(int channels, uint32_t sampleRate);
