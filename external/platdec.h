// Platform decoders: DirectShow (GStreamer on Linux), the DSS library and the RealAudio engine,
// each decoding one input into a temporary WAV file.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "support/file.h"
#include "support/progress.h"

// Whether the platform decoder reads Ogg Opus itself (GStreamer does); where it does not, Opus
// files go to the "opusdec" component (Windows).
extern const bool kPlatformDecodesOpus;

// A decoder that delivers nothing for this long has stalled and fails (milliseconds).
inline constexpr uint32_t kPlatformDecoderStallMs = 60000;

// Decoder records: input path, the WAV file to write (both at most 259 characters), and the
// stall limit.
struct LDxLoadToWav {
    char szInFilePath[LMAX_PATH];
    char szWavOutFilePath[LMAX_PATH];
    uint32_t stallMs = kPlatformDecoderStallMs;
};
struct LDSSDecode {
    char szDSSInFilePath[LMAX_PATH];
    char szWavOutFilePath[LMAX_PATH];
    uint32_t stallMs = kPlatformDecoderStallMs;
};
struct LReadAudioDecode {
    char szRAInFilePath[LMAX_PATH];
    char szWavOutFilePath[LMAX_PATH];
    uint32_t stallMs = kPlatformDecoderStallMs;
};

// CAF files of a codec the CAF reader does not read: Apple Lossless is rewrapped as MP4 beside
// the WAV file (its name and ".m4a") for the platform decoder, anything else goes to it as it is.
struct LCafDecode {
    char szCafInFilePath[LMAX_PATH];
    char szWavOutFilePath[LMAX_PATH];
};

// Each leaves a complete WAV file on LPROCESS_OK and no file otherwise.
int LPlatformDecodeToWav(LProgressDialog* dlg, LDxLoadToWav* data);
int LDecodeCafAsMp4(LProgressDialog* dlg, LCafDecode* data);
int LDecodeDSS(LProgressDialog* dlg, LDSSDecode* data);
int LDecodeRealAudio(LProgressDialog* dlg, LReadAudioDecode* data);

// The texts the DSS and RealAudio decoders show.
inline constexpr const char* kDssOpenFailedMessage =
    "Unable to open DSS file.\r\nThis means the file might not be a true DSS file or the file is "
    "corrupt.";
inline constexpr const char* kDssStartFailedMessage = "Unable to start decoding DSS file.";
inline constexpr const char* kRealMissingMessage =
    "Unable to load Real Audio Core DLL.\r\n\r\nThis software required that the Real Audio "
    "Player be installed on your computer to load these files. Please download and install an "
    "uptodate version of Real Player.";
inline constexpr const char* kRealOpenFailedMessage =
    "Unable to open file with Real Player.\r\n\r\nThis might mean you do not have the codec "
    "installed.\r\n\r\nTo resolve this, attempt to load the file using Real Player manually.";

// The WAV file a platform decoder writes while PCM arrives: "RIFF", size, "WAVE", "fmt ",
// format size, the format block (18 bytes and its extra bytes), "data", size. While decoding
// both sizes hold 0xFFFFFFFF and the format size 18; Finish writes the real ones
// (RIFF size = data + extra + 38). Append may run on another thread than the readers of the
// counters.
class LDecodedWav {
  public:
    // The largest data size whose header does not wrap (RIFF size below 0xFFFFFFFF).
    static constexpr uint64_t kMaxFileBytes = 0xFFFFFFFEull;

    ~LDecodedWav() { Abandon(); }
    // Creates the file (read and write, shared for reading) and writes the provisional header;
    // format: a WAVEFORMATEX of 18 bytes followed by extraBytes more.
    bool Create(const char* path, const uint8_t* format, uint16_t extraBytes);
    // Appends decoded bytes; false on a write failure or when the file would pass 4 GiB (the
    // file is then left as it was and refuses all further data).
    bool Append(const void* bytes, uint32_t count);
    // Rewrites the sizes and closes the file.
    bool Finish();
    // Closes and deletes an unfinished file.
    void Abandon();

    bool IsOpen() const { return file_.IsOpen(); }
    bool Full() const { return full_.load(); }
    uint64_t DataBytes() const { return data_.load(); }
    // Where the file stops growing; tests lower it.
    uint64_t limit = kMaxFileBytes;

  private:
    LFile file_;
    char path_[LMAX_PATH] = {};
    uint16_t extra_ = 0;
    std::atomic<uint64_t> data_{0};
    std::atomic<bool> full_{false};
};

// Watches a decoder's output file: stalled once it has not grown for the limit.
class LStallWatch {
  public:
    explicit LStallWatch(uint32_t limitMs) : limit_(limitMs) {}
    bool Stalled(const LDecodedWav& wav) {
        const auto now = std::chrono::steady_clock::now();
        if (wav.DataBytes() != bytes_) bytes_ = wav.DataBytes(), since_ = now;
        return now - since_ >= limit_;
    }

  private:
    std::chrono::milliseconds limit_;
    uint64_t bytes_ = 0;
    std::chrono::steady_clock::time_point since_ = std::chrono::steady_clock::now();
};

// A WAVEFORMATEX (18 bytes) for integer PCM; byte rate = block align x rate.
void LPcmFormat(uint8_t* format18, uint16_t channels, uint32_t rate, uint16_t bits,
                uint16_t blockAlign);
