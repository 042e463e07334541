// The "-settings" values of each format: read in order, stored when the list is complete.
#include "convert/settingsargs.h"

#include <strings.h>

#include <algorithm>

#include "convert/gensink.h"
#include "formats/acm.h"
#include "store/settings.h"

namespace {

bool Is(const char* a, const char* b) {
    return strcasecmp(a, b) == 0;
}
int Number(const char* text) {
    return SettingsParseInt(text, 0);
}
// The rates and channel counts the output settings dialogs accept.
bool UsableRate(int32_t rate) {
    return rate >= 1 && rate <= 196000;
}
bool UsableChannels(int channels) {
    return channels == 1 || channels == 2;
}
bool Flag(const char* text) {
    return Is(text, "true");
}

// The channel mode word: stereo 0, joint 1, force 2, mono 3; -1 for another word.
int ChannelMode(const char* word) {
    const char* const modes[] = {"stereo", "joint", "force", "mono"};
    for (int m = 0; m < 4; ++m)
        if (Is(word, modes[m])) return m;
    return -1;
}

}  // namespace

int LParseMp3Settings(LSettingsRecords& r, const char* const* argv, int count, int i,
                      std::string&) {
    LMP3EncodeSettings& s = r.mp3;
    s.Load();
    if (i + 1 >= count) return 0;
    const char* mode = argv[i + 1];
    int read = 1;
    auto next = [&](int k) { return i + k < count ? argv[i + k] : nullptr; };
    if (Is(mode, "CBR")) {
        s.constantBitRate = true;
        const char* v;
        if (!(v = next(2))) return read;
        s.cbrBitRate = uint16_t(Number(v)), ++read;
        if (!(v = next(3))) return read;
        s.highQuality = Flag(v), ++read;
        if (!(v = next(4))) return read;
        if (int m = ChannelMode(v); m >= 0) s.channelMode = uint8_t(m);
        ++read;
        if (!(v = next(5))) return read;
        s.errorProtection = Flag(v), ++read;
    } else if (Is(mode, "VBR")) {
        s.constantBitRate = false;
        const char* v;
        if (!(v = next(2))) return read;
        s.vbrMinBitRate = uint16_t(Number(v)), ++read;
        if (!(v = next(3))) return read;
        s.vbrMaxBitRate = uint16_t(Number(v)), ++read;
        if (!(v = next(4))) return read;
        s.vbrQuality = uint8_t(Number(v)), ++read;
        if (!(v = next(5))) return read;
        if (int m = ChannelMode(v); m >= 0) s.channelMode = uint8_t(m);
        ++read;
        if (!(v = next(6))) return read;
        s.errorProtection = Flag(v), ++read;
    }
    s.Store();
    return read;
}

int LParseOggSettings(LSettingsRecords& r, const char* const* argv, int count, int i,
                      std::string&) {
    LOggEncodeSettings& s = r.ogg;
    s.Load();
    if (i + 1 >= count) return 0;
    const char* mode = argv[i + 1];
    int read = 1;
    auto next = [&](int k) { return i + k < count ? argv[i + k] : nullptr; };
    const char* v;
    if (Is(mode, "Quality")) {
        s.quality = true;
        if (!(v = next(2))) return read;
        s.vbrQuality = uint8_t(Number(v)), ++read;
        if (!(v = next(3))) return read;
        s.channels = uint8_t(Number(v)), ++read;
        if (!(v = next(4))) return read;
        s.stripComments = Flag(v), ++read;
    } else if (Is(mode, "VBR")) {
        s.quality = false;
        if (!(v = next(2))) return read;
        s.vbrMinBitRate = uint16_t(Number(v)), ++read;
        if (!(v = next(3))) return read;
        s.vbrMaxBitRate = uint16_t(Number(v)), ++read;
        if (!(v = next(4))) return read;
        s.channels = uint8_t(Number(v)), ++read;
        if (!(v = next(5))) return read;
        s.stripComments = Flag(v), ++read;
    }
    s.Store();
    return read;
}

int LParseAACSettings(LSettingsRecords& r, const char* const* argv, int count, int i,
                      std::string&) {
    LAACEncodeSettings& s = r.aac;
    s.Load();
    if (i + 1 >= count) return 0;
    const char* mode = argv[i + 1];
    int read = 1;
    auto next = [&](int k) { return i + k < count ? argv[i + k] : nullptr; };
    const char* v;
    int flagsAt = 2;  // an unknown mode word: the flags follow it directly
    if (Is(mode, "ABR") || Is(mode, "VBR")) {
        const bool abr = Is(mode, "ABR");
        s.averageBitRate = abr;
        if (!(v = next(2))) return read;
        if (abr)
            s.abrBitRate = uint16_t(Number(v));
        else
            s.vbrQuality = uint16_t(Number(v));
        ++read;
        flagsAt = 3;
    }
    if (!(v = next(flagsAt))) return read;
    s.forceMPEG2 = Flag(v), ++read;
    if (!(v = next(flagsAt + 1))) return read;
    s.disableTNS = Flag(v), ++read;
    s.Store();
    return read;
}

int LParseFlacSettings(LSettingsRecords& r, const char* const* argv, int count, int i,
                       std::string&) {
    LFlacEncodeSettings& s = r.flac;
    s.Load();
    // A level the encoder does not know would fail every later conversion just the same.
    if (i + 1 < count && !LFlacEncodeSettings::UsableLevel(Number(argv[i + 1])))
        return std::min(3, count - 1 - i);
    if (i + 3 < count) {
        // A rate or channel count no encoder takes would fail every later conversion: the whole
        // list is left alone.
        const int32_t rate = Number(argv[i + 2]);
        const int channels = Number(argv[i + 3]);
        if (!UsableRate(rate) || !UsableChannels(channels)) return 3;
    }
    int read = 0;
    if (i + 1 >= count) return read;
    s.compression = uint8_t(Number(argv[i + 1])), ++read;
    if (i + 2 >= count) return read;
    s.sampleRate = uint32_t(Number(argv[i + 2])), ++read;
    if (i + 3 >= count) return read;
    s.channels = uint8_t(Number(argv[i + 3])), ++read;
    s.Store();
    return read;
}

namespace {

int ParseRaw(LRawSettings& s, const char* const* argv, int count, int i) {
    s.Load();
    int read = 0;
    if (i + 1 >= count) return read;
    s.codec = uint32_t(Number(argv[i + 1])), ++read;
    if (i + 2 >= count) return read;
    s.sampleRate = uint32_t(Number(argv[i + 2])), ++read;
    if (i + 3 >= count) return read;
    s.channels = uint8_t(Number(argv[i + 3])), ++read;
    if (s.channels == 0) s.channels = 1;
    s.Store();
    return read;
}

}  // namespace

int LParseVoxSettings(LSettingsRecords& r, const char* const* argv, int count, int i,
                      std::string&) {
    return ParseRaw(r.vox, argv, count, i);
}

int LParseRawSettings(LSettingsRecords& r, const char* const* argv, int count, int i,
                      std::string&) {
    return ParseRaw(r.raw, argv, count, i);
}

int LParseWavSettings(LSettingsRecords&, const char* const* argv, int count, int i,
                      std::string& failure) {
    if (i + 3 >= count) return count - 1 - i;
    const char* codec = argv[i + 1];
    const int32_t rate = Number(argv[i + 2]);
    const int channels = Number(argv[i + 3]);
    if (!UsableRate(rate) || !UsableChannels(channels)) return 3;  // the file stays as it is
    if (!LGenSaveWavFormat(LWaveFileFormat(rate, channels, codec).Bytes()))
        failure = LGenWavFormatNotSaved();
    return 3;
}
