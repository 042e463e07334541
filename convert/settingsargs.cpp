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

// The Opus tuning word (auto, speech, music) or its number; -1 for another word.
int Tuning(const char* word) {
    const char* const tunings[] = {"auto", "speech", "music"};
    for (int t = 0; t < 3; ++t)
        if (Is(word, tunings[t])) return t;
    return word[0] >= '0' && word[0] <= '2' && word[1] == 0 ? word[0] - '0' : -1;
}

// The values that follow on the command line, handed in order to their setters; the list is
// complete when every setter got its value.
class Values {
  public:
    Values(const char* const* argv, int count, int at)
        : argv_(argv), count_(count), at_(at), start_(at) {}
    template <class Set>
    Values& operator>>(Set set) {
        if (complete_ && at_ < count_)
            set(argv_[at_++]);
        else
            complete_ = false;
        return *this;
    }
    bool Complete() const { return complete_; }
    int Taken() const { return at_ - start_; }

  private:
    const char* const* argv_;
    int count_, at_, start_;
    bool complete_ = true;
};

template <class T>
auto Num(T& field) {
    return [&field](const char* v) { field = T(Number(v)); };
}
auto FlagOf(bool& field) {
    return [&field](const char* v) { field = Flag(v); };
}
auto ModeOf(uint8_t& field) {
    return [&field](const char* v) {
        if (int m = ChannelMode(v); m >= 0) field = uint8_t(m);
    };
}

// A record is stored only when its list is complete; the count includes the mode word.
template <class Record>
int Finish(Record& s, const Values& v, int before) {
    if (v.Complete()) s.Store();
    return before + v.Taken();
}

int ParseRaw(LRawSettings& s, const char* const* argv, int count, int i) {
    s.Load();
    Values v(argv, count, i + 1);
    v >> Num(s.codec) >> Num(s.sampleRate) >> Num(s.channels);
    if (v.Complete() && s.channels == 0) s.channels = 1;
    return Finish(s, v, 0);
}

}  // namespace

int LParseMp3Settings(LSettingsRecords& r, const char* const* argv, int count, int i,
                      std::string&) {
    LMP3EncodeSettings& s = r.mp3;
    s.Load();
    if (i + 1 >= count) return 0;
    const char* mode = argv[i + 1];
    Values v(argv, count, i + 2);
    if (Is(mode, "CBR")) {
        s.constantBitRate = true;
        v >> Num(s.cbrBitRate) >> FlagOf(s.highQuality) >> ModeOf(s.channelMode) >>
            FlagOf(s.errorProtection);
    } else if (Is(mode, "VBR")) {
        s.constantBitRate = false;
        v >> Num(s.vbrMinBitRate) >> Num(s.vbrMaxBitRate) >> Num(s.vbrQuality) >>
            ModeOf(s.channelMode) >> FlagOf(s.errorProtection);
    }
    return Finish(s, v, 1);
}

int LParseOggSettings(LSettingsRecords& r, const char* const* argv, int count, int i,
                      std::string&) {
    LOggEncodeSettings& s = r.ogg;
    s.Load();
    if (i + 1 >= count) return 0;
    const char* mode = argv[i + 1];
    Values v(argv, count, i + 2);
    if (Is(mode, "Quality")) {
        s.quality = true;
        v >> Num(s.vbrQuality) >> Num(s.channels) >> FlagOf(s.stripComments);
    } else if (Is(mode, "VBR")) {
        s.quality = false;
        v >> Num(s.vbrMinBitRate) >> Num(s.vbrMaxBitRate) >> Num(s.channels) >>
            FlagOf(s.stripComments);
    }
    return Finish(s, v, 1);
}

int LParseAACSettings(LSettingsRecords& r, const char* const* argv, int count, int i,
                      std::string&) {
    LAACEncodeSettings& s = r.aac;
    s.Load();
    if (i + 1 >= count) return 0;
    const char* mode = argv[i + 1];
    Values v(argv, count, i + 2);
    if (Is(mode, "ABR") || Is(mode, "VBR")) {  // an unknown mode word: the flags follow it
        s.averageBitRate = Is(mode, "ABR");
        v >> Num(s.averageBitRate ? s.abrBitRate : s.vbrQuality);
    }
    v >> FlagOf(s.forceMPEG2) >> FlagOf(s.disableTNS);
    return Finish(s, v, 1);
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
        // list is left alone. 0 is the source's own.
        const int32_t rate = Number(argv[i + 2]);
        const int channels = Number(argv[i + 3]);
        if ((rate != 0 && !UsableRate(rate)) || (channels != 0 && !UsableChannels(channels)))
            return 3;
    }
    Values v(argv, count, i + 1);
    v >> Num(s.compression) >> Num(s.sampleRate) >> Num(s.channels);
    return Finish(s, v, 0);
}

int LParseOpusSettings(LSettingsRecords& r, const char* const* argv, int count, int i,
                       std::string&) {
    LOpusEncodeSettings& s = r.opus;
    s.Load();
    // A bitrate or tuning the encoder does not take would fail every later conversion: the
    // whole list is left alone.
    if (i + 2 < count && (!LOpusEncodeSettings::UsableBitRate(Number(argv[i + 1])) ||
                          !LOpusEncodeSettings::UsableTuning(Tuning(argv[i + 2]))))
        return 2;
    Values v(argv, count, i + 1);
    v >> Num(s.bitRate) >> [&s](const char* t) { s.tuning = uint8_t(Tuning(t)); };
    return Finish(s, v, 0);
}

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
