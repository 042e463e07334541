// The input format table: the built-in readers, the headerless formats and the outside decoders.
#include <strings.h>

#include "convert/formattable.h"
#include "convert/settingsargs.h"
#include "formats/aiff.h"
#include "formats/au.h"
#include "formats/gsm.h"
#include "formats/mp3.h"
#include "formats/wav.h"

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

constexpr LInputFormat kInputs[] = {
    {".wav", LWaveFile::OpenSource, nullptr, nullptr, M::Wav, nullptr},
    {".mp3", OpenMp3, nullptr, nullptr, M::Mp3, nullptr},
    {".aif", LAifFile::OpenSource, nullptr, nullptr, M::Aiff, nullptr},
    {".aiff", LAifFile::OpenSource, nullptr, nullptr, M::Aiff, nullptr},
    {".aifc", LAifFile::OpenSource, nullptr, nullptr, M::Aiff, nullptr},
    {".au", LAuFile::OpenSource, nullptr, nullptr, M::Corrupt, nullptr},
    {".gsm", OpenGsm, nullptr, nullptr, M::Exists, nullptr},
    {".vox", nullptr, kVox, nullptr, M::Exists, LParseVoxSettings},
    {".raw", nullptr, kRaw, nullptr, M::Exists, LParseRawSettings},
    {".snd", nullptr, kRaw, nullptr, M::Exists, nullptr},
    {".wma", nullptr, nullptr, &kWmaDecoder, M::Exists, nullptr},
    {".dss", nullptr, nullptr, &kDssDecoder, M::Exists, nullptr},
    {".ra", nullptr, nullptr, &kRealDecoder, M::Exists, nullptr},
    {".ram", nullptr, nullptr, &kRealDecoder, M::Exists, nullptr},
    {".rm", nullptr, nullptr, &kRealDecoder, M::Exists, nullptr},
    {".rmj", nullptr, nullptr, &kRealDecoder, M::Exists, nullptr},
    {".aac", nullptr, nullptr, &kAacDecoder, M::Exists, nullptr},
    {".m4a", nullptr, nullptr, &kAacDecoder, M::Exists, nullptr},
    {".ogg", nullptr, nullptr, &kOggDecoder, M::Exists, nullptr},
    {".flac", nullptr, nullptr, &kFlacDecoder, M::Exists, nullptr},
    {".sri", nullptr, nullptr, &kSriDecoder, M::Exists, nullptr},
    {".act", nullptr, nullptr, &kActDecoder, M::Exists, nullptr},
    {".rec", nullptr, nullptr, &kActDecoder, M::Exists, nullptr},
    {".rcd", nullptr, nullptr, &kActDecoder, M::Exists, nullptr},
    {".shn", nullptr, nullptr, &kShnDecoder, M::Exists, nullptr},
    {".dct", nullptr, nullptr, &kDctDecoder, M::Exists, nullptr},
};
const LInputFormat kOtherInput = {"", nullptr, nullptr, &kPlatformDecoder, M::Exists, nullptr};

}  // namespace

const LInputFormat& LFindInputFormat(const char* extension) {
    for (const LInputFormat& row : kInputs)
        if (strcasecmp(extension, row.extension) == 0) return row;
    return kOtherInput;
}
