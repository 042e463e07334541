// Lossless outputs read back and compared with the samples they were given.
#pragma once

#include <cstdint>

#include "core/sound.h"
#include "support/progress.h"
#include "support/streamhash.h"

// The form a lossless output stores its samples in: what a digest of them is taken in, so that
// the samples as they went in and as they read back compare alike.
enum class LStoredForm : uint8_t { None, Unsigned8, Signed16 };

// A running digest of samples in their stored form, with their count. No buffer grows with
// the audio: the samples pass through a small one of its own.
class LSampleDigest {
  public:
    LSampleDigest() = default;
    explicit LSampleDigest(LStoredForm form) : form_(form) {}
    LStoredForm Form() const { return form_; }
    // Internal samples, quantised as the output's writer does.
    void Add(const int32_t* samples, int64_t count);
    // 16-bit little-endian PCM bytes as a writer stores them.
    void AddPcm16(const uint8_t* bytes, int64_t samples);
    uint64_t Samples() const { return samples_; }
    void Final(uint8_t digest[32]) { hash_.Final(digest); }

  private:
    LStoredForm form_ = LStoredForm::None;
    LStreamHash hash_;
    uint64_t samples_ = 0;
    uint8_t buffer_[4096];
};

// What the output was given, filled by the tap in front of its sink.
struct LOutputCheck {
    bool active = false;   // a lossless output with a tap in front of it
    bool rewound = false;  // frames were taken back: the digest no longer speaks for the file
    int32_t sampleRate = 0;
    int channels = 0;
    LSampleDigest digest;
};

// The message for an output that does not read back as written ("%s": the output's path).
constexpr const char* kOutputNotVerifiedMessage =
    "The output file \"%s\" does not read back as the sound that was written into it: it is "
    "not kept.";

// For a lossless output (WAV PCM, AIFF, FLAC by its extension and sink): a sink in front of
// `sink` that takes the digest into `check` and passes every frame on unchanged. Any other
// output gets its sink back and check stays inactive.
LSinkRef LOutputCheckTap(const char* extension, const LSinkRef& sink, LOutputCheck& check);

// Reads the finished file at `path` back through the program's own readers (FLAC through its
// decoder component into a temporary WAV, removed afterwards) and compares it with `check`:
// LPROCESS_OK when it holds exactly what was written, LPROCESS_STOPPED when the user cancelled
// the reading, LPROCESS_FAILED otherwise.
int LVerifyOutput(LProgressDialog* dlg, const char* path, const char* extension,
                  LOutputCheck& check);
