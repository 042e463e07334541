// Command-line decoders: a hidden child process with a time-out, and the decoder records.
#pragma once

#include <cstdint>

#include "support/file.h"
#include "support/progress.h"

// Runs the command line as a hidden child and waits for it (at most timeoutMs), moving the
// progress bar slowly. 0 when the child ended with exit code 0, LPROCESS_STOPPED on a cancel,
// LPROCESS_FAILED when it cannot be started, does not end in time, or ends with another exit
// code or by a signal (a crash). A child that is still running when this returns is left
// running.
int ProcessRunCommandLineProcess(LProgressDialog* dlg, const char* commandLine, uint32_t timeoutMs);

// What a decoder that could not be started, did not end in time or ended with an error shows
// (input path, component name).
inline constexpr const char* kDecoderFailedMessage =
    "Cannot open the file \"%s\": the decoder \"%s\" could not complete it.";

// The wait granted to every command-line decoder: one hour.
inline constexpr uint32_t kDecoderTimeoutMs = 3600000;

// Decoder records: input path, then the WAV file to write (both owned by the caller).
struct LAACDecode {
    char szAACInFilePath[LMAX_PATH];
    char szWavOutFilePath[LMAX_PATH];
};
struct LOggDecode {
    char szOggInFilePath[LMAX_PATH];
    char szWavOutFilePath[LMAX_PATH];
};
struct LFLACDecode {
    char szFLACInFilePath[LMAX_PATH];
    char szWavOutFilePath[LMAX_PATH];
};
struct LACTDecode {
    char szACTInFilePath[LMAX_PATH];
    char szWavOutFilePath[LMAX_PATH];
};
struct LShnDecode {
    char szShnInFilePath[LMAX_PATH];
    char szWavOutFilePath[LMAX_PATH];
};
struct LOpusDecode {
    char szOpusInFilePath[LMAX_PATH];
    char szWavOutFilePath[LMAX_PATH];
};
struct LVoiceItDecode {
    char szSriInFilePath[LMAX_PATH];
    char szWavOutFilePath[LMAX_PATH];
};

int LDecodeAAC(LProgressDialog* dlg, LAACDecode* data);
int LDecodeOgg(LProgressDialog* dlg, LOggDecode* data);
int LDecodeFLAC(LProgressDialog* dlg, LFLACDecode* data);
int LDecodeACT(LProgressDialog* dlg, LACTDecode* data);
int LDecodeShn(LProgressDialog* dlg, LShnDecode* data);
// The "opusdec" component: a 16-bit WAV file (at the rate the encoder was given, else 48 kHz).
int LDecodeOpus(LProgressDialog* dlg, LOpusDecode* data);
// Calls the VoiceIt library "SrPump.dll"; where it cannot be loaded the user is told where to
// get it and the result is LPROCESS_FAILED.
int LDecodeVoiceIt(LProgressDialog* dlg, LVoiceItDecode* data);

// The message shown when the VoiceIt library cannot be loaded.
const char* VoiceItMissingMessage();
