// The output format table: the writers, the settings dialogs and the encoder components. A writer
// that is not part of this build gives an unusable sink (the transfer refuses it and the
// conversion reports the failure).
#include <strings.h>

#include "convert/formattable.h"
#include "convert/gensink.h"
#include "convert/settingsargs.h"
#include "external/components.h"
#include "external/encoders.h"
#include "formats/acm.h"
#include "formats/aiff.h"
#include "formats/au.h"
#include "formats/gsm.h"
#include "formats/raw.h"
#include "support/byteorder.h"
#include "support/file.h"
#include "support/trace.h"

namespace {

// A sink that writes nothing and is marked unusable: an output that cannot be written.
class LSNKUnusable : public LSoundSinkBase {
  public:
    LSNKUnusable(int32_t sampleRate, int channels)
        : LSoundSinkBase(sampleRate > 0 ? sampleRate : 44100, channels > 0 ? channels : 1) {
        SetErrorFlags(LSNK_ERR_UNUSABLE);
    }
    int32_t Write(const int32_t*, int32_t n) override {
        sPosition += n;
        return 0;
    }
};

// WAV: the format of "WavCodec.wff"; PCM is written directly, anything else through its codec.
LSinkRef OpenWav(const char* path, int32_t sampleRate, int channels) {
    LWaveFileFormat format;
    LGenLoadWavFormat(format.Bytes(), sampleRate, channels);
    const uint8_t* block = format.Bytes();
    if (LoadLE16(block) != 1) return LWaveOpenSink(path, format);
    const int ch = int(LoadLE16(block + 2));
    const int32_t rate = int32_t(LoadLE32(block + 4));
    const int bits = int(LoadLE16(block + 14));
    if (ch < 1 || ch > 255 || rate < 1 || rate > 196000 || bits < 1) {
        LTrace("LGenSinkOpenSink WavCodec.wff holds an invalid PCM format");
        return new LSNKUnusable(sampleRate, channels);
    }
    return LWaveFile::OpenSinkPCM(path, rate, bits, ch);
}
int WavSettings(LUser& user, int32_t sampleRateHint, int channelHint) {
    LWaveFileFormat format;
    uint8_t* block = format.Bytes();
    LGenLoadWavFormat(block, sampleRateHint, channelHint);
    if (LoadLE16(block) == 1) {
        if (sampleRateHint) StoreLE32(block + 4, uint32_t(sampleRateHint));
        if (channelHint) StoreLE16(block + 2, uint32_t(channelHint));
    }
    if (!user.ChooseWaveFormat(format, channelHint)) return 0;
    if (!LGenSaveWavFormat(block)) {
        user.ShowErrorMessage(LGenWavFormatNotSaved().c_str(), nullptr);
        return 0;
    }
    return 1;
}

LSinkRef OpenGsm(const char* path, int32_t, int) {
    return new LGSMFileSink(path);
}

// Raw and VOX share the codecs; the output hints apply to raw only.
const char* RawSection(bool raw) {
    return raw ? LRawSettings::kRawSection : LRawSettings::kVoxSection;
}
template <bool raw>
LSinkRef OpenRaw(const char* path, int32_t, int) {
    LRawSettings s(RawSection(raw));
    s.Load();
    return LRawFile::OpenSink(path, s);
}
template <bool raw>
int RawSettings(LUser& user, int32_t sampleRateHint, int channelHint) {
    LRawSettings s(RawSection(raw));
    s.Load();
    if (raw) {
        if (sampleRateHint) s.sampleRate = uint32_t(sampleRateHint);
        if (channelHint) s.channels = uint8_t(channelHint);
    }
    return user.EditSettings(&s) ? 1 : 0;
}

// Encoder formats: the settings dialog gets the record with the hints that apply to it.
template <class S>
int EncoderSettings(LUser& user, int32_t sampleRateHint, int channelHint) {
    S s;
    s.Load();
    if constexpr (requires { s.sampleRate; })
        if (sampleRateHint) s.sampleRate = uint32_t(sampleRateHint);
    if constexpr (requires { s.channels; })
        if (channelHint) s.channels = uint8_t(channelHint);
    return user.EditSettings(&s) ? 1 : 0;
}

// Encoder formats: the sink with the stored record, for the input's rate and channels.
template <class S, LSinkRef (*open)(const char*, const S&, int, int32_t)>
LSinkRef OpenEncoder(const char* path, int32_t sampleRate, int channels) {
    S s;
    s.Load();
    return open(path, s, channels, sampleRate);
}
constexpr auto OpenMp3 = OpenEncoder<LMP3EncodeSettings, LMP3EncodePipe::OpenMp3Sink>;
constexpr auto OpenOgg = OpenEncoder<LOggEncodeSettings, LOggEncodePipe::OpenOggSink>;
constexpr auto OpenAac = OpenEncoder<LAACEncodeSettings, LAACEncodePipe::OpenAACSink>;
constexpr auto OpenOpus = OpenEncoder<LOpusEncodeSettings, LOpusEncodePipe::OpenOpusSink>;

// FLAC encodes at the record's rate and channel count; 0 in either keeps the source's.
LSinkRef OpenFlac(const char* path, int32_t sampleRate, int channels) {
    LFlacEncodeSettings s;
    s.Load();
    if (s.sampleRate == 0) s.sampleRate = uint32_t(sampleRate);
    if (s.channels == 0) s.channels = uint8_t(channels > 255 ? 255 : channels);
    return LFlacEncodePipe::OpenFlacSink(path, s);
}

// The listed rows in the order of the output format box.
constexpr LOutputFormat kOutputs[] = {
    {".wav", true, nullptr, OpenWav, WavSettings, LParseWavSettings},
    {".mp3", true, "mp3el", OpenMp3, EncoderSettings<LMP3EncodeSettings>, LParseMp3Settings},
    {".au", true, nullptr, LAuFile::OpenSink, nullptr, nullptr},
    {".aiff", true, nullptr, LAifFile::OpenSink, nullptr, nullptr},
    {".gsm", true, nullptr, OpenGsm, nullptr, nullptr},
    {".vox", true, nullptr, OpenRaw<false>, RawSettings<false>, LParseVoxSettings},
    {".raw", true, nullptr, OpenRaw<true>, RawSettings<true>, LParseRawSettings},
    {".ogg", true, "oggenc", OpenOgg, EncoderSettings<LOggEncodeSettings>, LParseOggSettings},
    {".flac", true, "flacenc", OpenFlac, EncoderSettings<LFlacEncodeSettings>, LParseFlacSettings},
    {".aac", true, "aacenc", OpenAac, EncoderSettings<LAACEncodeSettings>, LParseAACSettings},
    {".m4a", true, "aacenc", OpenAac, EncoderSettings<LAACEncodeSettings>, LParseAACSettings},
    // Later formats go after the first eleven, whose indexes the stored "OutputFormat" keeps.
    {".opus", true, "opusenc", OpenOpus, EncoderSettings<LOpusEncodeSettings>, LParseOpusSettings},
    {".aif", false, nullptr, LAifFile::OpenSink, nullptr, nullptr},
};
static_assert(LOUTPUT_FORMAT_COUNT == 12 && !kOutputs[LOUTPUT_FORMAT_COUNT].listed);

}  // namespace

const LOutputFormat* LFindOutputFormat(const char* extension) {
    for (const LOutputFormat& row : kOutputs)
        if (ExtIs(extension, row.extension)) return &row;
    return nullptr;
}

const char* LOutputFormatExtension(int index) {
    return kOutputs[index >= 0 && index < LOUTPUT_FORMAT_COUNT ? index : 0].extension;
}

int LOutputFormatIndex(const char* extension) {
    const LOutputFormat* row = LFindOutputFormat(extension);
    return row && row->listed ? int(row - kOutputs) : -1;
}

bool LGenInstallComponent(const char* component, LWindowHandle owner) {
    LProcessGetComponentPath record;
    record.name = component;
    LProgressProcess<LProcessGetComponentPath, ProcessGetComponentPath> dlg("Install-on-Demand",
                                                                            &record);
    return dlg.Run(owner) && dlg.status == LPROCESS_OK;
}
