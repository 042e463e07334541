// The settings that more than one place reads or writes: each name once, with its default.
#pragma once

#include <cstdint>

#include "store/settings.h"

struct LBoolSetting {
    const char* section;
    const char* name;
    bool byDefault;
};
struct LIntSetting {
    const char* section;
    const char* name;
    int32_t byDefault;
};
struct LTextSetting {
    const char* section;
    const char* name;
    const char* byDefault;  // null: the reader gives its own (it depends on the machine)
};

inline constexpr const char* kSettingsSection = "Settings";

// Overwrite rule: exactly one of the four is on.
inline constexpr LBoolSetting kAlwaysPrompt{kSettingsSection, "AlwaysPrompt", true};
inline constexpr LBoolSetting kAlwaysOverwrite{kSettingsSection, "AlwaysOverwrite", false};
inline constexpr LBoolSetting kNeverOverwrite{kSettingsSection, "NeverOverwrite", false};
inline constexpr LBoolSetting kCancelAll{kSettingsSection, "CancelAll", false};

// CD tracks: ask the CDDB server, and the naming scheme (A, B or the custom pattern C).
inline constexpr LBoolSetting kUseCDDB{kSettingsSection, "UseCDDB", false};
inline constexpr LBoolSetting kFormatChoiceA{kSettingsSection, "FormatChoiceA", true};
inline constexpr LBoolSetting kFormatChoiceB{kSettingsSection, "FormatChoiceB", false};
inline constexpr LBoolSetting kFormatChoiceC{kSettingsSection, "FormatChoiceC", false};
inline constexpr LTextSetting kCustomString{kSettingsSection, "CustomString", "[%b]\\{%n %t}"};

// AccurateRip: the database server ("host" or "host:port", port 80 when none is given), and
// a shorter wait for each connect and read (milliseconds, for tests; the product waits 10000).
inline constexpr const char* kAccurateRipSection = "AccurateRip";
inline constexpr LTextSetting kARServer{kAccurateRipSection, "Server", "www.accuraterip.com"};
inline constexpr LIntSetting kARTimeout{kAccurateRipSection, "Timeout", 10000};

// The output boxes (the folder's default is the user's documents folder).
inline constexpr LTextSetting kOutputFolder{kSettingsSection, "OutputFolder", nullptr};
inline constexpr LIntSetting kOutputFormat{kSettingsSection, "OutputFormat", 0};
// Outputs keep the inputs' folders below the folder each was added from.
inline constexpr LBoolSetting kKeepFolders{kSettingsSection, "KeepFolders", false};
// Entries converted at once: 0 (or none) for one per processor, 1 for one after another.
inline constexpr LIntSetting kJobs{kSettingsSection, "Jobs", 0};

// The main window.
inline constexpr LTextSetting kLoadFromFolder{kSettingsSection, "LoadFromFolder", ""};
inline constexpr LTextSetting kLastOutputFolder{kSettingsSection, "LastOutputFolder", ""};
inline constexpr LIntSetting kSoundOutDevice{kSettingsSection, "SoundOutDevice", 0};
inline constexpr LBoolSetting kContextMenu{kSettingsSection, "ContextMenu", true};
inline constexpr LBoolSetting kMaximized{"MainDialog", "Maximized", false};

// CD extraction: the drive's read offset in samples (a drive with +N delivers a sector's audio
// beginning N samples early), reading until two reads agree, and keeping a track whose sectors
// never read the same twice.
inline constexpr LIntSetting kReadOffset{kAccurateRipSection, "ReadOffset", 0};
inline constexpr LBoolSetting kSecureRip{kAccurateRipSection, "Secure", true};
inline constexpr LBoolSetting kKeepDamaged{kAccurateRipSection, "KeepDamaged", false};

inline bool SettingsRead(const LBoolSetting& s) {
    return SettingsReadBool(s.section, s.name, s.byDefault);
}
inline int32_t SettingsRead(const LIntSetting& s) {
    return SettingsReadInt(s.section, s.name, s.byDefault);
}
// out holds LMAX_PATH characters; byDefault stands in for the table's default.
inline bool SettingsRead(const LTextSetting& s, char* out, const char* byDefault = nullptr) {
    return SettingsReadString(s.section, s.name, out, byDefault ? byDefault : s.byDefault);
}
inline bool SettingsWrite(const LBoolSetting& s, bool value) {
    return SettingsWriteBool(s.section, s.name, value);
}
inline bool SettingsWrite(const LIntSetting& s, int32_t value) {
    return SettingsWriteInt(s.section, s.name, value);
}
inline bool SettingsWrite(const LTextSetting& s, const char* text) {
    return SettingsWriteString(s.section, s.name, text);
}
