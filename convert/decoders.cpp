// The outside decoders: decoder process, progress title, which failures are reported for them.
#include "convert/decoders.h"

#include <cstdio>

#include "external/decoders.h"
#include "external/platdec.h"
#include "formats/dct.h"
#include "support/file.h"

namespace {

// Runs a decoder record: the input path into its own field, the WAV path into the output field.
template <class R, char (R::*input)[LMAX_PATH], int (*Body)(LProgressDialog*, R*)>
int Run(LProgressDialog* d, const char* in, const char* out) {
    R r{};
    std::snprintf(r.*input, LMAX_PATH, "%s", in);
    std::snprintf(r.szWavOutFilePath, LMAX_PATH, "%s", out);
    return Body(d, &r);
}

// Passes everything on to the dialog it wraps but the errors, which it keeps.
class DeferringDialog final : public LProgressDialog {
  public:
    DeferringDialog(LProgressDialog& inner, std::vector<std::string>& errors)
        : LProgressDialog(inner.GetTitle()), inner_(inner), errors_(errors) {
        window_ = inner.GetWindow();
    }
    ~DeferringDialog() override { window_ = nullptr; }  // the inner dialog's own
    bool PumpMessages() override { return inner_.PumpMessages(); }
    void SetText(const char* text, int line) override { inner_.SetText(text, line); }
    void SetProgress(double fraction) override { inner_.SetProgress(fraction); }
    int WaitTimed(uint32_t ms) override { return inner_.WaitTimed(ms); }
    int WaitForObject(LWaitable& object, uint32_t ms) override {
        return inner_.WaitForObject(object, ms);
    }
    void ShowError(const char* text) override { errors_.emplace_back(text); }
    void RequestStop() override { inner_.RequestStop(); }

  protected:
    bool ProcessBody() override { return false; }

  private:
    LProgressDialog& inner_;
    std::vector<std::string>& errors_;
};

// The record handed to a progress dialog of its own.
struct DecodeJob {
    const LGenDecoder* decoder;
    const char* input;
    const char* wav;
    std::vector<std::string>* deferred;
};

int RunDecodeJob(LProgressDialog* dlg, DecodeJob* job) {
    return LGenRunDecoder(*job->decoder, dlg, job->input, job->wav, job->deferred);
}

using M = LGenDecoderMessages;

}  // namespace

const LGenDecoder kWmaDecoder = {
    "Loading WMA file", Run<LDxLoadToWav, &LDxLoadToWav::szInFilePath, LPlatformDecodeToWav>,
    M::Protected};
const LGenDecoder kDssDecoder = {
    "Loading DSS file", Run<LDSSDecode, &LDSSDecode::szDSSInFilePath, LDecodeDSS>, M::None};
const LGenDecoder kRealDecoder = {
    "Loading RealAudio file",
    Run<LReadAudioDecode, &LReadAudioDecode::szRAInFilePath, LDecodeRealAudio>, M::None};
const LGenDecoder kAacDecoder = {
    "Loading AAC file", Run<LAACDecode, &LAACDecode::szAACInFilePath, LDecodeAAC>, M::None};
const LGenDecoder kOggDecoder = {
    "Loading OGG file", Run<LOggDecode, &LOggDecode::szOggInFilePath, LDecodeOgg>, M::None};
const LGenDecoder kFlacDecoder = {
    "Loading FLAC file", Run<LFLACDecode, &LFLACDecode::szFLACInFilePath, LDecodeFLAC>, M::None};
const LGenDecoder kSriDecoder = {
    "Loading SRI file", Run<LVoiceItDecode, &LVoiceItDecode::szSriInFilePath, LDecodeVoiceIt>,
    M::None};
const LGenDecoder kActDecoder = {
    "Loading Record file", Run<LACTDecode, &LACTDecode::szACTInFilePath, LDecodeACT>, M::None};
const LGenDecoder kShnDecoder = {
    "Loading Shorten file", Run<LShnDecode, &LShnDecode::szShnInFilePath, LDecodeShn>, M::None};
const LGenDecoder kDctDecoder = {
    "Loading DCT file", Run<LDCTDecode, &LDCTDecode::szDCTInFilePath, LDecodeDCT>, M::MissingFile};
const LGenDecoder kPlatformDecoder = {
    "Loading with DirectX", Run<LDxLoadToWav, &LDxLoadToWav::szInFilePath, LPlatformDecodeToWav>,
    M::All};
const LGenDecoder kCafDecoder = {
    "Loading with DirectX", Run<LCafDecode, &LCafDecode::szCafInFilePath, LDecodeCafAsMp4>, M::All};
const LGenDecoder kSonyDecoder = {
    "Loading with DirectX", Run<LDxLoadToWav, &LDxLoadToWav::szInFilePath, LPlatformDecodeToWav>,
    M::SonyCodec};

const LGenDecoder kOpusDecoder =
    kPlatformDecodesOpus
        ? kPlatformDecoder
        : LGenDecoder{"Loading Opus file",
                      Run<LOpusDecode, &LOpusDecode::szOpusInFilePath, LDecodeOpus>, M::None};

int LGenRunDecoder(const LGenDecoder& decoder, LProgressDialog* dlg, const char* input,
                   const char* wav, std::vector<std::string>* deferred) {
    if (!deferred) return decoder.run(dlg, input, wav);
    DeferringDialog quiet(*dlg, *deferred);
    return decoder.run(&quiet, input, wav);
}

int LGenRunDecoderDialog(const LGenDecoder& decoder, LWindowHandle owner, const char* input,
                         const char* wav, std::vector<std::string>* deferred) {
    DecodeJob job{&decoder, input, wav, deferred};
    LProgressProcess<DecodeJob, RunDecodeJob> dlg(decoder.title, &job);
    if (!dlg.Run(owner)) return LPROCESS_FAILED;
    return dlg.status;
}
