// Content sniffing: container signatures, the first Ogg packet's codec, MPEG frame headers.
#include "formats/sniff.h"

#include <cstring>

#include "formats/mp3_frame.h"

namespace {

using K = LContentKind;
using E = LContentEvidence;

bool At(const uint8_t* d, size_t size, size_t offset, const void* text, size_t n) {
    return offset <= size && n <= size - offset && std::memcmp(d + offset, text, n) == 0;
}

// The codec of the first packet of an Ogg stream's first page.
K OggCodec(const uint8_t* d, size_t size) {
    if (size < 27) return K::Ogg;
    const size_t segments = d[26], body = 27 + segments;
    if (body > size) return K::Ogg;
    if (At(d, size, body, "OpusHead", 8)) return K::OggOpus;
    if (At(d, size, body, "\x01vorbis", 7)) return K::OggVorbis;
    if (At(d, size, body,
           "\x7F"
           "FLAC",
           5))
        return K::OggFlac;
    if (At(d, size, body, "Speex   ", 8)) return K::OggSpeex;
    return K::Ogg;
}

// MPEG audio frames at offset: Layer III when two headers in a row agree (or the first is all
// the bytes hold), Layer I/II and ADTS by their sync words.
LContentSniff Frames(const uint8_t* d, size_t size, size_t at) {
    if (at > size || size - at < 4 || d[at] != 0xFF) return {};
    const uint8_t b1 = d[at + 1];
    if ((b1 & 0xF6) == 0xF0) return {K::Adts, E::Frames};
    MP3Header h;
    if (h.Parse(d + at)) {
        if (h.bitrateIndex == 0) return {K::Mp3, E::Frames};
        const size_t length =
            size_t(h.SizeFactor()) * size_t(h.Bitrate()) / size_t(h.SampleRate()) +
            size_t(h.padding);
        MP3Header next;
        if (length >= 4 && (size - at < length + 4 || next.Parse(d + at + length)))
            return {K::Mp3, E::Frames};
        return {};
    }
    const int layer = (b1 >> 1) & 3;  // 3: Layer I, 2: Layer II
    if ((b1 & 0xE0) == 0xE0 && ((b1 >> 3) & 3) != 1 && (layer == 2 || layer == 3) &&
        (d[at + 2] >> 4) != 15 && ((d[at + 2] >> 2) & 3) != 3)
        return {K::MpegAudio, E::Frames};
    return {};
}

}  // namespace

LContentSniff LSniffContent(const uint8_t* d, size_t size) {
    if (!d) return {};
    auto magic = [](K kind) { return LContentSniff{kind, E::Magic}; };
    if ((At(d, size, 0, "RIFF", 4) || At(d, size, 0, "RF64", 4) || At(d, size, 0, "BW64", 4)) &&
        At(d, size, 8, "WAVE", 4))
        return magic(K::Wave);
    static const uint8_t kW64Riff[16] = {'r',  'i',  'f',  'f',  0x2E, 0x91, 0xCF, 0x11,
                                         0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
    if (At(d, size, 0, kW64Riff, 16) && At(d, size, 24, "wave", 4)) return magic(K::Wave64);
    if (At(d, size, 0, "FORM", 4) && (At(d, size, 8, "AIFF", 4) || At(d, size, 8, "AIFC", 4)))
        return magic(K::Aiff);
    if (At(d, size, 0, ".snd", 4)) return magic(K::Au);
    if (At(d, size, 0, "caff", 4)) return magic(K::Caf);
    if (At(d, size, 0, "OggS", 4)) return magic(OggCodec(d, size));
    if (At(d, size, 0, "fLaC", 4)) return magic(K::Flac);
    if (At(d, size, 4, "ftyp", 4)) return magic(K::Mp4);
    if (At(d, size, 0, "wvpk", 4)) return magic(K::WavPack);
    if (At(d, size, 0, "#!AMR", 5)) return magic(K::Amr);
    static const uint8_t kAsf[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                     0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    if (At(d, size, 0, kAsf, 16)) return magic(K::Asf);
    // ID3v2: a tag of a syncsafe size (and a footer when flagged), then the audio.
    if (At(d, size, 0, "ID3", 3) && size >= 10 && d[3] < 0xFF && d[4] < 0xFF &&
        !((d[6] | d[7] | d[8] | d[9]) & 0x80)) {
        const size_t tag =
            10 + (size_t(d[6]) << 21 | size_t(d[7]) << 14 | size_t(d[8]) << 7 | size_t(d[9])) +
            ((d[5] & 0x10) ? 10 : 0);
        if (At(d, size, tag, "fLaC", 4)) return magic(K::Flac);
        const LContentSniff after = Frames(d, size, tag);
        if (after.kind != K::Unknown) return {after.kind, E::Magic};
        // A tag that runs past the bytes given: tags of this kind belong to MP3 files. One
        // followed by bytes that are no frame may still be (padding), or may not.
        return {K::Mp3, tag + 4 > size ? E::Magic : E::Frames};
    }
    return Frames(d, size, 0);
}
