// Output sinks by type (the output format table): whether a format can be written, its
// settings, and the sink itself; the WAV output format file.
#pragma once

#include <cstdint>
#include <string>

#include "convert/user.h"
#include "core/sound.h"

// True when the format (an extension such as ".mp3", any case) can be written now; the user is
// asked to install the encoder component of a format whose component is missing.
bool LGenSinkIsSupported(const char* extension, LUser& user);
// Shows the format's settings dialog and stores the choice: 1 confirmed (or nothing to set),
// 0 cancelled, an unknown extension, or a choice that could not be stored (the user is told). Hints
// of 0 keep the stored rate and channel count.
int LGenSinkCheckSettings(const char* extension, LUser& user, int32_t sampleRateHint,
                          int channelHint);
// The sink for one output file, by the path's extension, with the stored settings (read fresh);
// empty for an extension that is not an output format. The sink may carry error bit 0.
void LGenSinkOpenSink(LSinkRef& out, const char* path, int32_t sampleRate, int channels);
// Installs an encoder component behind a progress dialog titled "Install-on-Demand" (owner:
// its window, or null): true when it ended with LPROCESS_OK. For the front ends' users.
bool LGenInstallComponent(const char* component, LWindowHandle owner);

// "WavCodec.wff" in the user's application-data folder (LMAX_PATH characters).
void LGenWavFormatFilePath(char* dest);
// The 1024-byte WAV output format block: the default 16-bit PCM record for the rate and
// channel count, overlaid with up to 1024 bytes of "WavCodec.wff" when it exists.
constexpr int LWAV_FORMAT_FILE_BYTES = 1024;
void LGenLoadWavFormat(uint8_t* block, int32_t sampleRate, int channels);
// Writes an 18-byte wave format record as the start of a new 1024-byte "WavCodec.wff". False
// when it could not be written whole; the previous file then stays as it was.
bool LGenSaveWavFormat(const uint8_t* block);
// The message for a format that could not be saved, naming the file.
std::string LGenWavFormatNotSaved();
