// The decoder table: extension, decoder process, progress title.
#include "convert/decoders.h"

#include <strings.h>

#include "support/trace.h"

namespace {

// Decoders that are not part of this build fail like a decoder that cannot read the file.
int Unavailable(LProgressDialog*, const char*, const char*) {
    LTrace("LGenSourceOpen decoder not available in this build");
    return LPROCESS_FAILED;
}

int RunDirectShow(LProgressDialog* d, const char* in, const char* out) { return Unavailable(d, in, out); }
int RunDss(LProgressDialog* d, const char* in, const char* out) { return Unavailable(d, in, out); }
int RunRealAudio(LProgressDialog* d, const char* in, const char* out) { return Unavailable(d, in, out); }
int RunAac(LProgressDialog* d, const char* in, const char* out) { return Unavailable(d, in, out); }
int RunOgg(LProgressDialog* d, const char* in, const char* out) { return Unavailable(d, in, out); }
int RunFlac(LProgressDialog* d, const char* in, const char* out) { return Unavailable(d, in, out); }
int RunVoiceIt(LProgressDialog* d, const char* in, const char* out) { return Unavailable(d, in, out); }
int RunAct(LProgressDialog* d, const char* in, const char* out) { return Unavailable(d, in, out); }
int RunShn(LProgressDialog* d, const char* in, const char* out) { return Unavailable(d, in, out); }
int RunDct(LProgressDialog* d, const char* in, const char* out) { return Unavailable(d, in, out); }

// Own-reporting decoders (Parts of the command-line decoders and DCT) are marked false, but
// while they are not in the build nobody would tell the user: report for them too.
constexpr bool kPending = true;

const LGenDecoder kWma = {"Loading WMA file", RunDirectShow, true};
const LGenDecoder kDss = {"Loading DSS file", RunDss, true};
const LGenDecoder kReal = {"Loading RealAudio file", RunRealAudio, true};
const LGenDecoder kAac = {"Loading AAC file", RunAac, kPending};
const LGenDecoder kOgg = {"Loading OGG file", RunOgg, kPending};
const LGenDecoder kFlac = {"Loading FLAC file", RunFlac, kPending};
const LGenDecoder kSri = {"Loading SRI file", RunVoiceIt, kPending};
const LGenDecoder kAct = {"Loading Record file", RunAct, kPending};
const LGenDecoder kShn = {"Loading Shorten file", RunShn, kPending};
const LGenDecoder kDct = {"Loading DCT file", RunDct, kPending};
const LGenDecoder kDirectX = {"Loading with DirectX", RunDirectShow, true};

struct Row {
    const char* ext;
    const LGenDecoder* decoder;
};
constexpr Row kRows[] = {{".wma", &kWma},  {".dss", &kDss},   {".ra", &kReal},  {".ram", &kReal},
                         {".rm", &kReal},  {".rmj", &kReal},  {".aac", &kAac},  {".m4a", &kAac},
                         {".ogg", &kOgg},  {".flac", &kFlac}, {".sri", &kSri},  {".act", &kAct},
                         {".rec", &kAct},  {".rcd", &kAct},   {".shn", &kShn},  {".dct", &kDct}};

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

}  // namespace

const LGenDecoder& LGenFindDecoder(const char* extension) {
    for (const Row& r : kRows)
        if (strcasecmp(extension, r.ext) == 0) return *r.decoder;
    return kDirectX;
}

int LGenRunDecoderDialog(const LGenDecoder& decoder, LWindowHandle owner, const char* input,
                         const char* wav) {
    DecodeJob job{&decoder, input, wav};
    LProgressProcess<DecodeJob> dlg(decoder.title, &job);
    if (!dlg.Run(owner)) return LPROCESS_FAILED;
    return dlg.status;
}
