// The encoder and raw-audio settings records, loaded from and stored to their store sections.
#pragma once

#include <cstdint>

// Section "MP3Encoder". Loading raises a VBR minimum below 32 to 32 when the maximum is above 160.
struct LMP3EncodeSettings {
    bool constantBitRate = true;   // "ConstantBitRate": 1 CBR, 0 VBR
    uint16_t cbrBitRate = 128;     // "CBRBitRate", kbit/s
    bool highQuality = true;       // "HighQuality"
    uint16_t vbrMinBitRate = 32;   // "VBRMinBitRate", kbit/s
    uint16_t vbrMaxBitRate = 128;  // "VBRMaxBitRate", kbit/s
    uint8_t vbrQuality = 4;        // "VBRQuality"
    bool errorProtection = false;  // "ErrorProtection"
    uint8_t channelMode = 1;       // "ChannelMode": 0 stereo, 1 joint, 2 force, 3 mono

    static constexpr const char* kSection = "MP3Encoder";
    void Load();
    void Store() const;
};

// Section "OggEncoder".
struct LOggEncodeSettings {
    bool quality = true;           // "Quality": 1 quality mode, 0 VBR bitrate mode
    uint8_t vbrQuality = 4;        // "VBRQuality"
    uint16_t vbrMinBitRate = 96;   // "VBRMinBitRate"
    uint16_t vbrMaxBitRate = 128;  // "VBRMaxBitRate"
    uint8_t channels = 1;          // "Channels": 1 mono, 2 stereo
    bool stripComments = false;    // "StripComments"

    static constexpr const char* kSection = "OggEncoder";
    void Load();
    void Store() const;
};

// Section "AACEncoder".
struct LAACEncodeSettings {
    bool averageBitRate = false;  // "AverageBitRate": 1 ABR, 0 VBR quality
    uint16_t abrBitRate = 128;    // "ABRBitRate"
    uint16_t vbrQuality = 100;    // "VBRQuality", percent
    bool forceMPEG2 = false;      // "ForceMPEG2"
    bool disableTNS = false;      // "DisableTNS"

    static constexpr const char* kSection = "AACEncoder";
    void Load();
    void Store() const;
};

// Section "FlacEncoder".
struct LFlacEncodeSettings {
    uint8_t compression = 4;  // "Compression", 0 to 8
    // 0: the source's own ("Same as source"); a stored non-zero value is used as it is.
    uint8_t channels = 0;     // "Channels"
    uint32_t sampleRate = 0;  // "SampleRate"

    static constexpr const char* kSection = "FlacEncoder";
    static constexpr bool UsableLevel(int32_t level) { return level >= 0 && level <= 8; }
    void Load();
    void Store() const;
};

// Section "OpusEncoder". Loading keeps the bitrate within what the encoder takes.
struct LOpusEncodeSettings {
    uint16_t bitRate = 96;  // "BitRate", kbit/s, 6 to 256
    uint8_t tuning = 0;     // "Tuning": 0 the encoder's own choice, 1 speech, 2 music

    static constexpr const char* kSection = "OpusEncoder";
    static constexpr bool UsableBitRate(int32_t kbps) { return kbps >= 6 && kbps <= 256; }
    static constexpr bool UsableTuning(int32_t tuning) { return tuning >= 0 && tuning <= 2; }
    void Load();
    void Store() const;
};

// Sections "VoxAudio" (defaults 8000 Hz, 1 channel, codec 0) and "RawAudio" (44100 Hz,
// 1 channel, codec 3). A stored channel count of 0 loads as 1.
struct LRawSettings {
    static constexpr const char* kVoxSection = "VoxAudio";
    static constexpr const char* kRawSection = "RawAudio";

    // section must be kVoxSection or kRawSection (the pointer is kept); sets the defaults.
    explicit LRawSettings(const char* section);

    const char* section;
    uint32_t sampleRate;  // "SampleRate"
    uint8_t channels;     // "Channels"
    uint32_t codec;       // "Codec": codec index of the raw reader and writer

    void Load();
    void Store() const;
};

// The records the main window holds, loaded at start-up and changed by the command line.
struct LSettingsRecords {
    LMP3EncodeSettings mp3;
    LOggEncodeSettings ogg;
    LAACEncodeSettings aac;
    LFlacEncodeSettings flac;
    LOpusEncodeSettings opus;
    LRawSettings vox{LRawSettings::kVoxSection};
    LRawSettings raw{LRawSettings::kRawSection};

    void LoadAll() {
        mp3.Load();
        ogg.Load();
        aac.Load();
        flac.Load();
        opus.Load();
        vox.Load();
        raw.Load();
    }
};
