// The outside decoders: decoder process, progress title, which failures are reported for them.
#include "convert/decoders.h"

#include <cstdio>

#include "external/decoders.h"
#include "external/platdec.h"
#include "formats/dct.h"
#include "support/file.h"

namespace {

// Runs a decoder record: the input path into its own field, the WAV path into the output field.
template <class R, char (R::*input)[LMAX_PATH]>
int Run(LProgressDialog* d, const char* in, const char* out) {
    R r{};
    std::snprintf(r.*input, LMAX_PATH, "%s", in);
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

const LGenDecoder kWmaDecoder = {"Loading WMA file", Run<LDxLoadToWav, &LDxLoadToWav::szInFilePath>,
                                 M::Protected};
const LGenDecoder kDssDecoder = {"Loading DSS file", Run<LDSSDecode, &LDSSDecode::szDSSInFilePath>,
                                 M::None};
const LGenDecoder kRealDecoder = {
    "Loading RealAudio file", Run<LReadAudioDecode, &LReadAudioDecode::szRAInFilePath>, M::None};
const LGenDecoder kAacDecoder = {"Loading AAC file", Run<LAACDecode, &LAACDecode::szAACInFilePath>,
                                 M::None};
const LGenDecoder kOggDecoder = {"Loading OGG file", Run<LOggDecode, &LOggDecode::szOggInFilePath>,
                                 M::None};
const LGenDecoder kFlacDecoder = {"Loading FLAC file",
                                  Run<LFLACDecode, &LFLACDecode::szFLACInFilePath>, M::None};
const LGenDecoder kSriDecoder = {"Loading SRI file",
                                 Run<LVoiceItDecode, &LVoiceItDecode::szSriInFilePath>, M::None};
const LGenDecoder kActDecoder = {"Loading Record file",
                                 Run<LACTDecode, &LACTDecode::szACTInFilePath>, M::None};
const LGenDecoder kShnDecoder = {"Loading Shorten file",
                                 Run<LShnDecode, &LShnDecode::szShnInFilePath>, M::None};
const LGenDecoder kDctDecoder = {"Loading DCT file", Run<LDCTDecode, &LDCTDecode::szDCTInFilePath>,
                                 M::MissingFile};
const LGenDecoder kPlatformDecoder = {"Loading with DirectX",
                                      Run<LDxLoadToWav, &LDxLoadToWav::szInFilePath>, M::All};
const LGenDecoder kSonyDecoder = {"Loading with DirectX",
                                  Run<LDxLoadToWav, &LDxLoadToWav::szInFilePath>, M::SonyCodec};

int LGenRunDecoderDialog(const LGenDecoder& decoder, LWindowHandle owner, const char* input,
                         const char* wav) {
    DecodeJob job{&decoder, input, wav};
    LProgressProcess<DecodeJob> dlg(decoder.title, &job);
    if (!dlg.Run(owner)) return LPROCESS_FAILED;
    return dlg.status;
}
