// The input format table: the built-in readers, the headerless formats and the outside decoders.
#include <strings.h>

#include "convert/formattable.h"
#include "convert/settingsargs.h"
#include "formats/aiff.h"
#include "formats/au.h"
#include "formats/caf.h"
#include "formats/gsm.h"
#include "formats/mp3.h"
#include "formats/wav.h"
#include "support/file.h"

namespace {

LSourceRef OpenMp3(const char* path) {
    return new LMP3Source(path);
}
LSourceRef OpenGsm(const char* path) {
    return new LGSMFileSource(path);
}

using M = LReaderMessages;
constexpr const char* kVox = LRawSettings::kVoxSection;
constexpr const char* kRaw = LRawSettings::kRawSection;

// The listed rows in the order the file list has always named them.
constexpr LInputFormat kInputs[] = {
    {".wav", true, LWaveFile::OpenSource, nullptr, nullptr, M::Wav, nullptr, true},
    {".mp3", true, OpenMp3, nullptr, nullptr, M::Mp3, nullptr, true},
    {".ogg", true, nullptr, nullptr, &kOggDecoder, M::Exists, nullptr, true},
    {".wma", true, nullptr, nullptr, &kWmaDecoder, M::Exists, nullptr},
    {".aif", true, LAifFile::OpenSource, nullptr, nullptr, M::Aiff, nullptr, true},
    {".aiff", true, LAifFile::OpenSource, nullptr, nullptr, M::Aiff, nullptr, true},
    {".au", true, LAuFile::OpenSource, nullptr, nullptr, M::Corrupt, nullptr},
    {".ra", true, nullptr, nullptr, &kRealDecoder, M::Exists, nullptr},
    {".ram", true, nullptr, nullptr, &kRealDecoder, M::Exists, nullptr},
    {".flac", true, nullptr, nullptr, &kFlacDecoder, M::Exists, nullptr, true},
    {".aac", true, nullptr, nullptr, &kAacDecoder, M::Exists, nullptr},
    {".gsm", true, OpenGsm, nullptr, nullptr, M::Exists, nullptr},
    {".vox", true, nullptr, kVox, nullptr, M::Exists, LParseVoxSettings},
    {".raw", true, nullptr, kRaw, nullptr, M::Exists, LParseRawSettings},
    {".dss", true, nullptr, nullptr, &kDssDecoder, M::Exists, nullptr},
    {".dct", true, nullptr, nullptr, &kDctDecoder, M::Exists, nullptr},
    {".m4a", true, nullptr, nullptr, &kAacDecoder, M::Exists, nullptr, true},
    {".mp2", true, nullptr, nullptr, &kPlatformDecoder, M::Exists, nullptr},
    {".sri", true, nullptr, nullptr, &kSriDecoder, M::Exists, nullptr},
    {".mpga", true, nullptr, nullptr, &kPlatformDecoder, M::Exists, nullptr},
    {".msv", true, nullptr, nullptr, &kSonyDecoder, M::Exists, nullptr},
    {".dvf", true, nullptr, nullptr, &kSonyDecoder, M::Exists, nullptr},
    {".act", true, nullptr, nullptr, &kActDecoder, M::Exists, nullptr},
    {".rcd", true, nullptr, nullptr, &kActDecoder, M::Exists, nullptr},
    {".rec", true, nullptr, nullptr, &kActDecoder, M::Exists, nullptr},
    {".shn", true, nullptr, nullptr, &kShnDecoder, M::Exists, nullptr},
    {".asf", true, nullptr, nullptr, &kPlatformDecoder, M::Exists, nullptr},
    // CD tracks: the conversion host converts them and the player reads the drive.
    {".cda", true, nullptr, nullptr, &kPlatformDecoder, M::Exists, nullptr},
    {".rm", true, nullptr, nullptr, &kRealDecoder, M::Exists, nullptr},
    {".rmj", true, nullptr, nullptr, &kRealDecoder, M::Exists, nullptr},
    {".opus", true, nullptr, nullptr, &kOpusDecoder, M::Exists, nullptr, true},
    // Our own reader; the codecs it does not read go to the platform decoder.
    {".caf", true, LCafFile::OpenSource, nullptr, &kCafDecoder, M::Corrupt, nullptr},
    {".wv", true, nullptr, nullptr, &kPlatformDecoder, M::Exists, nullptr},
    {".amr", true, nullptr, nullptr, &kPlatformDecoder, M::Exists, nullptr},
    {".aifc", false, LAifFile::OpenSource, nullptr, nullptr, M::Aiff, nullptr, true},
    {".snd", false, nullptr, kRaw, nullptr, M::Exists, nullptr},
};
const LInputFormat kOtherInput = {"",        false,  nullptr, nullptr, &kPlatformDecoder,
                                  M::Exists, nullptr};

}  // namespace

const LInputFormat& LFindInputFormat(const char* extension) {
    for (const LInputFormat& row : kInputs)
        if (ExtIs(extension, row.extension)) return row;
    return kOtherInput;
}

const LInputFormat* LFindContentFormat(LContentKind kind) {
    using K = LContentKind;
    switch (kind) {
        case K::Unknown:
            return nullptr;
        case K::Wave:
            return &LFindInputFormat(".wav");
        case K::Aiff:
            return &LFindInputFormat(".aiff");
        case K::Au:
            return &LFindInputFormat(".au");
        case K::Caf:
            return &LFindInputFormat(".caf");
        case K::Mp3:
            return &LFindInputFormat(".mp3");
        case K::Adts:
        case K::Mp4:
            return &LFindInputFormat(".m4a");
        case K::OggVorbis:
            return &LFindInputFormat(".ogg");
        case K::Flac:
            return &LFindInputFormat(".flac");
        case K::OggOpus:
            return &LFindInputFormat(".opus");
        default:  // the platform decoder's: Ogg FLAC, Speex, WavPack, AMR, ASF, Wave64
            return &kOtherInput;
    }
}
