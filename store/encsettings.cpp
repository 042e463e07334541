// Loading and storing the encoder and raw-audio settings records.
#include "store/encsettings.h"

#include <algorithm>
#include <cstring>

#include "store/settings.h"

void LMP3EncodeSettings::Load() {
    const LMP3EncodeSettings d;
    constantBitRate = SettingsReadBool(kSection, "ConstantBitRate", d.constantBitRate);
    cbrBitRate = uint16_t(SettingsReadInt(kSection, "CBRBitRate", d.cbrBitRate));
    highQuality = SettingsReadBool(kSection, "HighQuality", d.highQuality);
    vbrMinBitRate = uint16_t(SettingsReadInt(kSection, "VBRMinBitRate", d.vbrMinBitRate));
    vbrMaxBitRate = uint16_t(SettingsReadInt(kSection, "VBRMaxBitRate", d.vbrMaxBitRate));
    vbrQuality = uint8_t(SettingsReadInt(kSection, "VBRQuality", d.vbrQuality));
    errorProtection = SettingsReadBool(kSection, "ErrorProtection", d.errorProtection);
    channelMode = uint8_t(SettingsReadInt(kSection, "ChannelMode", d.channelMode));
    // The encoder refuses a VBR range reaching above 160 kbit/s that starts below 32.
    if (vbrMaxBitRate > 160 && vbrMinBitRate < 32) vbrMinBitRate = 32;
}

void LMP3EncodeSettings::Store() const {
    SettingsWriteBool(kSection, "ConstantBitRate", constantBitRate);
    SettingsWriteInt(kSection, "CBRBitRate", cbrBitRate);
    SettingsWriteBool(kSection, "HighQuality", highQuality);
    SettingsWriteInt(kSection, "VBRMinBitRate", vbrMinBitRate);
    SettingsWriteInt(kSection, "VBRMaxBitRate", vbrMaxBitRate);
    SettingsWriteInt(kSection, "VBRQuality", vbrQuality);
    SettingsWriteBool(kSection, "ErrorProtection", errorProtection);
    SettingsWriteInt(kSection, "ChannelMode", channelMode);
}

void LOggEncodeSettings::Load() {
    const LOggEncodeSettings d;
    quality = SettingsReadBool(kSection, "Quality", d.quality);
    vbrQuality = uint8_t(SettingsReadInt(kSection, "VBRQuality", d.vbrQuality));
    vbrMinBitRate = uint16_t(SettingsReadInt(kSection, "VBRMinBitRate", d.vbrMinBitRate));
    vbrMaxBitRate = uint16_t(SettingsReadInt(kSection, "VBRMaxBitRate", d.vbrMaxBitRate));
    channels = uint8_t(SettingsReadInt(kSection, "Channels", d.channels));
    stripComments = SettingsReadBool(kSection, "StripComments", d.stripComments);
}

void LOggEncodeSettings::Store() const {
    SettingsWriteBool(kSection, "Quality", quality);
    SettingsWriteInt(kSection, "VBRQuality", vbrQuality);
    SettingsWriteInt(kSection, "VBRMinBitRate", vbrMinBitRate);
    SettingsWriteInt(kSection, "VBRMaxBitRate", vbrMaxBitRate);
    SettingsWriteInt(kSection, "Channels", channels);
    SettingsWriteBool(kSection, "StripComments", stripComments);
}

void LAACEncodeSettings::Load() {
    const LAACEncodeSettings d;
    averageBitRate = SettingsReadBool(kSection, "AverageBitRate", d.averageBitRate);
    abrBitRate = uint16_t(SettingsReadInt(kSection, "ABRBitRate", d.abrBitRate));
    vbrQuality = uint16_t(SettingsReadInt(kSection, "VBRQuality", d.vbrQuality));
    forceMPEG2 = SettingsReadBool(kSection, "ForceMPEG2", d.forceMPEG2);
    disableTNS = SettingsReadBool(kSection, "DisableTNS", d.disableTNS);
}

void LAACEncodeSettings::Store() const {
    SettingsWriteBool(kSection, "AverageBitRate", averageBitRate);
    SettingsWriteInt(kSection, "ABRBitRate", abrBitRate);
    SettingsWriteInt(kSection, "VBRQuality", vbrQuality);
    SettingsWriteBool(kSection, "ForceMPEG2", forceMPEG2);
    SettingsWriteBool(kSection, "DisableTNS", disableTNS);
}

void LFlacEncodeSettings::Load() {
    const LFlacEncodeSettings d;
    const int32_t level = SettingsReadInt(kSection, "Compression", d.compression);
    compression = UsableLevel(level) ? uint8_t(level) : d.compression;
    channels = uint8_t(SettingsReadInt(kSection, "Channels", d.channels));
    sampleRate = uint32_t(SettingsReadInt(kSection, "SampleRate", int32_t(d.sampleRate)));
}

void LFlacEncodeSettings::Store() const {
    SettingsWriteInt(kSection, "Compression", compression);
    SettingsWriteInt(kSection, "Channels", channels);
    SettingsWriteInt(kSection, "SampleRate", int32_t(sampleRate));
}

void LOpusEncodeSettings::Load() {
    const LOpusEncodeSettings d;
    const int32_t kbps = SettingsReadInt(kSection, "BitRate", d.bitRate);
    bitRate = uint16_t(std::clamp<int32_t>(kbps, 6, 256));
    const int32_t t = SettingsReadInt(kSection, "Tuning", d.tuning);
    tuning = UsableTuning(t) ? uint8_t(t) : d.tuning;
}

void LOpusEncodeSettings::Store() const {
    SettingsWriteInt(kSection, "BitRate", bitRate);
    SettingsWriteInt(kSection, "Tuning", tuning);
}

LRawSettings::LRawSettings(const char* sectionName) : section(sectionName) {
    const bool vox = std::strcmp(section, kVoxSection) == 0;
    sampleRate = vox ? 8000 : 44100;
    channels = 1;
    codec = vox ? 0 : 3;
}

void LRawSettings::Load() {
    const LRawSettings d(section);
    sampleRate = uint32_t(SettingsReadInt(section, "SampleRate", int32_t(d.sampleRate)));
    channels = uint8_t(SettingsReadInt(section, "Channels", d.channels));
    codec = uint32_t(SettingsReadInt(section, "Codec", int32_t(d.codec)));
    if (channels == 0) channels = 1;
}

void LRawSettings::Store() const {
    SettingsWriteInt(section, "SampleRate", int32_t(sampleRate));
    SettingsWriteInt(section, "Channels", channels);
    SettingsWriteInt(section, "Codec", int32_t(codec));
}
