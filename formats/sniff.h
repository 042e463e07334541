// Telling a file's kind from its first bytes, whatever its name says.
#pragma once

#include <cstddef>
#include <cstdint>

enum class LContentKind : uint8_t {
    Unknown,
    Wave,       // RIFF/WAVE, RF64, BW64
    Wave64,     // Sony Wave64
    Aiff,       // FORM AIFF or AIFC
    Au,         // .snd
    Caf,        // caff
    Mp3,        // MPEG Layer III frames, or an ID3v2 tag before the audio
    MpegAudio,  // MPEG Layer I or II frames
    Adts,       // AAC in ADTS frames
    OggVorbis,
    OggOpus,
    OggFlac,
    OggSpeex,
    Ogg,  // another codec in Ogg
    Flac,
    Mp4,  // an ISO media file (ftyp): AAC, ALAC
    WavPack,
    Amr,
    Asf,
};

// How sure a kind is: Magic for a container's signature, Frames for a stream recognised only by
// its frame headers (which the bytes of other formats may happen to look like).
enum class LContentEvidence : uint8_t { None, Frames, Magic };

struct LContentSniff {
    LContentKind kind = LContentKind::Unknown;
    LContentEvidence evidence = LContentEvidence::None;
};

// The kind of the data that starts with these bytes (any number, the more the surer: a few
// kilobytes see past most tags). Reads nothing beyond size.
LContentSniff LSniffContent(const uint8_t* data, size_t size);

// Bytes worth handing to LSniffContent.
constexpr size_t LSNIFF_HEAD_BYTES = 4096;
