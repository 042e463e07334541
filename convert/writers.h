// The writers behind LGenSinkOpenSink's table, and the settings dialogs of the output formats.
#pragma once

#include <cstdint>

#include "store/encsettings.h"
#include "core/sound.h"
#include "support/progress.h"

LSinkRef LGenOpenAcmWavWriter(const char* path, const uint8_t* formatBlock);
LSinkRef LGenOpenAuWriter(const char* path, int32_t sampleRate, int channels);
LSinkRef LGenOpenAiffWriter(const char* path, int32_t sampleRate, int channels);
LSinkRef LGenOpenGsmWriter(const char* path);
LSinkRef LGenOpenRawWriter(const char* path, const LRawSettings& settings);
LSinkRef LGenOpenMp3Writer(const char* path, const LMP3EncodeSettings& s, int channels,
                           int32_t rate);
LSinkRef LGenOpenOggWriter(const char* path, const LOggEncodeSettings& s, int channels,
                           int32_t rate);
LSinkRef LGenOpenFlacWriter(const char* path, const LFlacEncodeSettings& s);
LSinkRef LGenOpenAacWriter(const char* path, const LAACEncodeSettings& s, int channels,
                           int32_t rate);

// Whether an encoder component is installed, and installing it on demand behind a progress
// dialog titled "Install-on-Demand" (true when it ended with LPROCESS_OK).
bool LGenComponentInstalled(const char* component);
bool LGenInstallComponent(const char* component, LWindowHandle owner);

// Settings dialogs: 1 when confirmed (the dialog stores the choice), anything else when
// cancelled or where the platform has no such dialog.
int LGenWaveFormatDialog(LWindowHandle owner, uint8_t* formatBlock, int channels);
int LGenEncoderDialog(const char* extension, LWindowHandle owner, void* record);

// A sink that writes nothing and is marked unusable: an output that cannot be written.
class LSNKUnusable : public LSoundSinkBase {
  public:
    LSNKUnusable(int32_t sampleRate, int channels);
    int32_t Write(const int32_t*, int32_t n) override {
        sPosition += n;
        return 0;
    }
};
