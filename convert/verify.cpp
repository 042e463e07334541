// The read-back check of lossless outputs: the tap that takes the digest on the way in, and the
// comparison with the finished file.
#include "convert/verify.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "convert/decoders.h"
#include "formats/aiff.h"
#include "formats/wav.h"
#include "support/byteorder.h"
#include "support/file.h"
#include "support/fileops.h"
#include "support/trace.h"

void LSampleDigest::Add(const int32_t* samples, int64_t count) {
    const int64_t per = form_ == LStoredForm::Unsigned8 ? 1 : 2;
    const int64_t room = int64_t(sizeof buffer_) / per;
    for (int64_t at = 0; at < count;) {
        const int64_t part = std::min(count - at, room);
        if (form_ == LStoredForm::Unsigned8) {
            for (int64_t i = 0; i < part; ++i) buffer_[i] = LSampleToU8(samples[at + i]);
        } else {
            for (int64_t i = 0; i < part; ++i)
                StoreLE16(buffer_ + 2 * i, uint16_t(LSampleTo16(samples[at + i])));
        }
        hash_.Update(buffer_, size_t(part * per));
        at += part;
    }
    samples_ += uint64_t(count);
}

void LSampleDigest::AddPcm16(const uint8_t* bytes, int64_t samples) {
    hash_.Update(bytes, size_t(samples) * 2);
    samples_ += uint64_t(samples);
}

namespace {

// Passes every frame on to the output's sink and takes the digest of it on the way.
class LSinkCheckTap : public LSoundSinkBase {
  public:
    LSinkCheckTap(const LSinkRef& inner, LOutputCheck& check)
        : LSoundSinkBase(inner->GetSampleRate(), inner->GetChannels()),
          inner_(inner),
          check_(check) {
        TakeFlags();
    }
    int32_t Write(const int32_t* buffer, int32_t n) override {
        if (n > 0) check_.digest.Add(buffer, int64_t(n) * channels_);
        sPosition += n;
        const int32_t written = inner_->Write(buffer, n);
        TakeFlags();
        return written;
    }
    bool TakesPcm16() override {
        return check_.digest.Form() == LStoredForm::Signed16 && inner_->TakesPcm16();
    }
    void WritePcm16(const uint8_t* bytes, int32_t n) override {
        if (n > 0) check_.digest.AddPcm16(bytes, int64_t(n) * channels_);
        sPosition += n;
        inner_->WritePcm16(bytes, n);
        TakeFlags();
    }
    void Seek(int32_t frame) override {
        if (frame != sPosition) check_.rewound = true;
        sPosition = frame;
        inner_->Seek(frame);
        TakeFlags();
    }
    int Finish(LProgressDialog* dlg) override {
        const int status = inner_->Finish(dlg);
        TakeFlags();
        return status;
    }
    const char* GetFailureMessage() const override { return inner_->GetFailureMessage(); }

  private:
    void TakeFlags() { SetErrorFlags(inner_->GetErrorFlags()); }

    LSinkRef inner_;
    LOutputCheck& check_;
};

bool IsFlac(const char* extension) {
    return strcasecmp(extension, ".flac") == 0;
}
bool IsAiff(const char* extension) {
    return strcasecmp(extension, ".aiff") == 0 || strcasecmp(extension, ".aif") == 0;
}

// The stored form of the outputs that keep every sample: PCM WAV as its writer stores it, AIFF
// (16-bit), and FLAC, which is given 16-bit PCM. Compressed WAV and the lossy encoders: none.
LStoredForm FormOf(const char* extension, LSoundSinkBase* sink) {
    if (IsFlac(extension) || IsAiff(extension)) return LStoredForm::Signed16;
    if (strcasecmp(extension, ".wav") != 0) return LStoredForm::None;
    if (dynamic_cast<LSNKPCM16File*>(sink)) return LStoredForm::Signed16;
    if (dynamic_cast<LSNKPCM8File*>(sink)) return LStoredForm::Unsigned8;
    return LStoredForm::None;
}

// Reads the whole source into a digest of the form; LPROCESS_STOPPED on a cancel.
int Compare(LProgressDialog* dlg, LSoundSourceBase& source, LOutputCheck& check) {
    if (source.GetError() != LSRC_OK || source.GetSampleRate() != check.sampleRate ||
        source.GetChannels() != check.channels) {
        LTrace("LVerifyOutput the file reads back in another format");
        return LPROCESS_FAILED;
    }
    const int64_t frames = source.GetEndSample();
    if (frames < 0 || uint64_t(frames) * uint64_t(check.channels) != check.digest.Samples()) {
        LTrace("LVerifyOutput the file reads back with another length");
        return LPROCESS_FAILED;
    }
    LSampleDigest back(check.digest.Form());
    // 16-bit PCM is read as the file's own bytes where the reader offers them.
    const bool bytes = back.Form() == LStoredForm::Signed16 && source.OffersPcm16();
    std::vector<int32_t> block(bytes ? 0 : size_t(check.channels) * LSOUND_BLOCK_FRAMES);
    for (int64_t done = 0; bytes && done < frames;) {
        if (dlg && dlg->PumpMessages()) return LPROCESS_STOPPED;
        const uint8_t* raw = nullptr;
        const int32_t n = source.ReadPcm16(raw, LSOUND_BLOCK_FRAMES);
        if (n <= 0) break;
        back.AddPcm16(raw, int64_t(n) * check.channels);
        done += n;
    }
    for (int64_t done = 0; !bytes && done < frames;) {
        if (dlg && dlg->PumpMessages()) return LPROCESS_STOPPED;
        const int32_t n = int32_t(std::min<int64_t>(frames - done, LSOUND_BLOCK_FRAMES));
        source.Read(block.data(), n);
        back.Add(block.data(), int64_t(n) * check.channels);
        done += n;
    }
    uint8_t wrote[32], read[32];
    check.digest.Final(wrote);
    back.Final(read);
    if (std::memcmp(wrote, read, sizeof wrote) != 0) {
        LTrace("LVerifyOutput the file reads back with other samples");
        return LPROCESS_FAILED;
    }
    return LPROCESS_OK;
}

}  // namespace

LSinkRef LOutputCheckTap(const char* extension, const LSinkRef& sink, LOutputCheck& check) {
    check = LOutputCheck{};
    if (!sink || sink->IsUnusable()) return sink;
    const LStoredForm form = FormOf(extension, sink.get());
    if (form == LStoredForm::None) return sink;
    check.active = true;
    check.sampleRate = sink->GetSampleRate();
    check.channels = sink->GetChannels();
    check.digest = LSampleDigest(form);
    return LSinkRef(new LSinkCheckTap(sink, check));
}

int LVerifyOutput(LProgressDialog* dlg, const char* path, const char* extension,
                  LOutputCheck& check) {
    if (!check.active) return LPROCESS_OK;
    if (check.rewound) {
        LTrace("LVerifyOutput frames were taken back: the file cannot be checked");
        return LPROCESS_FAILED;
    }
    if (!IsFlac(extension)) {
        LSourceRef source =
            IsAiff(extension) ? LAifFile::OpenSource(path) : LWaveFile::OpenSource(path);
        return Compare(dlg, *source, check);
    }
    // FLAC: decoded by its component into a temporary WAV, as a FLAC input is.
    LPathLock lock;
    char temp[LMAX_PATH];
    if (!ReserveTempWavName(lock, temp)) {
        LTrace("LVerifyOutput no temporary slot could be claimed");
        return LPROCESS_FAILED;
    }
    std::vector<std::string> messages;  // the check's own message says what went wrong
    int status = LGenRunDecoder(kFlacDecoder, dlg, path, temp, &messages);
    if (status == LPROCESS_OK) {
        LSourceRef source = LWaveFile::OpenSource(temp);
        status = Compare(dlg, *source, check);
    } else if (status != LPROCESS_STOPPED) {
        LTrace("LVerifyOutput the FLAC decoder cannot read the file back");
        status = LPROCESS_FAILED;
    }
    LDeleteFile(temp);
    return status;
}
