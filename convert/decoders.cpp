// The outside decoders: decoder process, progress title, which failures are reported for them.
#include "convert/decoders.h"

#include <cstdio>

#include "external/decoders.h"
#include "external/platdec.h"
#include "formats/dct.h"
#include "support/file.h"

namespace {

int RunDirectShow(LProgressDialog* d, const char* in, const char* out) {
    LDxLoadToWav r{};
    std::snprintf(r.szInFilePath, LMAX_PATH, "%s", in);
    std::snprintf(r.szWavOutFilePath, LMAX_PATH, "%s", out);
    return Process(d, &r);
}
int RunDss(LProgressDialog* d, const char* in, const char* out) {
    LDSSDecode r{};
    std::snprintf(r.szDSSInFilePath, LMAX_PATH, "%s", in);
    std::snprintf(r.szWavOutFilePath, LMAX_PATH, "%s", out);
    return Process(d, &r);
}
int RunRealAudio(LProgressDialog* d, const char* in, const char* out) {
    LReadAudioDecode r{};
    std::snprintf(r.szRAInFilePath, LMAX_PATH, "%s", in);
    std::snprintf(r.szWavOutFilePath, LMAX_PATH, "%s", out);
    return Process(d, &r);
}
int RunAac(LProgressDialog* d, const char* in, const char* out) {
    LAACDecode r{};
    std::snprintf(r.szAACInFilePath, LMAX_PATH, "%s", in);
    std::snprintf(r.szWavOutFilePath, LMAX_PATH, "%s", out);
    return Process(d, &r);
}
int RunOgg(LProgressDialog* d, const char* in, const char* out) {
    LOggDecode r{};
    std::snprintf(r.szOggInFilePath, LMAX_PATH, "%s", in);
    std::snprintf(r.szWavOutFilePath, LMAX_PATH, "%s", out);
    return Process(d, &r);
}
int RunFlac(LProgressDialog* d, const char* in, const char* out) {
    LFLACDecode r{};
    std::snprintf(r.szFLACInFilePath, LMAX_PATH, "%s", in);
    std::snprintf(r.szWavOutFilePath, LMAX_PATH, "%s", out);
    return Process(d, &r);
}
int RunVoiceIt(LProgressDialog* d, const char* in, const char* out) {
    LVoiceItDecode r{};
    std::snprintf(r.szSriInFilePath, LMAX_PATH, "%s", in);
    std::snprintf(r.szWavOutFilePath, LMAX_PATH, "%s", out);
    return Process(d, &r);
}
int RunAct(LProgressDialog* d, const char* in, const char* out) {
    LACTDecode r{};
    std::snprintf(r.szACTInFilePath, LMAX_PATH, "%s", in);
    std::snprintf(r.szWavOutFilePath, LMAX_PATH, "%s", out);
    return Process(d, &r);
}
int RunShn(LProgressDialog* d, const char* in, const char* out) {
    LShnDecode r{};
    std::snprintf(r.szShnInFilePath, LMAX_PATH, "%s", in);
    std::snprintf(r.szWavOutFilePath, LMAX_PATH, "%s", out);
    return Process(d, &r);
}
int RunDct(LProgressDialog* d, const char* in, const char* out) {
    LDCTDecode r{};
    std::snprintf(r.szDCTInFilePath, LMAX_PATH, "%s", in);
    std::snprintf(r.szWavOutFilePath, LMAX_PATH, "%s", out);
    return Process(d, &r);
}

// The record handed to a progress dialog of its own.
struct DecodeJob {
    const LGenDecoder* decoder;
    const char* input;
    const char* wav;
};

// Found through the record's namespace by LProgressProcess.
int Process(LProgressDialog* dlg, DecodeJob* job) {
    return job->decoder->run(dlg, job->input, job->wav);
}

using M = LGenDecoderMessages;

}  // namespace

const LGenDecoder kWmaDecoder = {"Loading WMA file", RunDirectShow, M::All};
const LGenDecoder kDssDecoder = {"Loading DSS file", RunDss, M::None};
const LGenDecoder kRealDecoder = {"Loading RealAudio file", RunRealAudio, M::None};
const LGenDecoder kAacDecoder = {"Loading AAC file", RunAac, M::None};
const LGenDecoder kOggDecoder = {"Loading OGG file", RunOgg, M::None};
const LGenDecoder kFlacDecoder = {"Loading FLAC file", RunFlac, M::None};
const LGenDecoder kSriDecoder = {"Loading SRI file", RunVoiceIt, M::None};
const LGenDecoder kActDecoder = {"Loading Record file", RunAct, M::None};
const LGenDecoder kShnDecoder = {"Loading Shorten file", RunShn, M::None};
const LGenDecoder kDctDecoder = {"Loading DCT file", RunDct, M::MissingFile};
const LGenDecoder kPlatformDecoder = {"Loading with DirectX", RunDirectShow, M::All};

int LGenRunDecoderDialog(const LGenDecoder& decoder, LWindowHandle owner, const char* input,
                         const char* wav) {
    DecodeJob job{&decoder, input, wav};
    LProgressProcess<DecodeJob> dlg(decoder.title, &job);
    if (!dlg.Run(owner)) return LPROCESS_FAILED;
    return dlg.status;
}
