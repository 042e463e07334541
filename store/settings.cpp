// Typed settings accessors: text values parsed with the store's integer and boolean rules.
#include "store/settings.h"

#include <cstdio>
#include <cstring>

#include "store/registry.h"
#include "support/file.h"

void SettingsKeyPath(char* dest, const char* section) {
    std::snprintf(dest, LMAX_PATH, "Software\\Velmora\\Tamber\\%s", section);
}

int32_t SettingsParseInt(const char* text, int32_t defaultValue) {
    if (!text || !*text) return defaultValue;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    int64_t v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        v = v * 10 + (*p - '0');
        if (v > int64_t(INT32_MAX) + 1) v = int64_t(INT32_MAX) + 1;  // saturate, never overflow
    }
    if (negative) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    return int32_t(v);
}

bool SettingsParseBool(const char* text, bool defaultValue) {
    if (!text || !*text) return defaultValue;
    return text[0] != '0';
}

namespace {

LSettingsWriteFailureHandler writeFailureHandler = nullptr;

bool ReadAt(LRegistryRoot root, const char* section, const char* name, char* out,
            const char* defaultText) {
    char key[LMAX_PATH];
    SettingsKeyPath(key, section);
    return RegistryReadString(root, key, name, out, defaultText);
}

bool WriteAt(LRegistryRoot root, const char* section, const char* name, const char* text) {
    char key[LMAX_PATH];
    SettingsKeyPath(key, section);
    return RegistryWriteString(root, key, name, text);
}

void DeleteAt(LRegistryRoot root, const char* section, const char* name) {
    char key[LMAX_PATH];
    SettingsKeyPath(key, section);
    RegistryDeleteValue(root, key, name);
}

bool Reported(bool written, const char* section, const char* name) {
    if (!written) SettingsNoteWriteFailure(section, name);
    return written;
}

int32_t ReadIntAt(LRegistryRoot root, const char* section, const char* name, int32_t def) {
    char text[LMAX_PATH];
    ReadAt(root, section, name, text, "");
    return SettingsParseInt(text, def);
}

void IntText(char (&text)[16], int32_t value) {
    std::snprintf(text, sizeof text, "%d", int(value));
}

}  // namespace

void SettingsSetWriteFailureHandler(LSettingsWriteFailureHandler handler) {
    writeFailureHandler = handler;
}

void SettingsNoteWriteFailure(const char* section, const char* name) {
    if (writeFailureHandler) writeFailureHandler(section, name);
}

bool SettingsReadString(const char* section, const char* name, char* out, const char* defaultText) {
    if (ReadAt(LRegistryRoot::CurrentUser, section, name, out, "")) return true;
    return ReadAt(LRegistryRoot::LocalMachine, section, name, out, defaultText);
}
bool SettingsWriteString(const char* section, const char* name, const char* text) {
    if (WriteAt(LRegistryRoot::LocalMachine, section, name, text)) {
        // A per-user copy from a run without the rights would hide the value just written.
        DeleteAt(LRegistryRoot::CurrentUser, section, name);
        return true;
    }
    return Reported(WriteAt(LRegistryRoot::CurrentUser, section, name, text), section, name);
}
int32_t SettingsReadInt(const char* section, const char* name, int32_t defaultValue) {
    char text[LMAX_PATH];
    SettingsReadString(section, name, text, "");
    return SettingsParseInt(text, defaultValue);
}
bool SettingsWriteInt(const char* section, const char* name, int32_t value) {
    char text[16];
    IntText(text, value);
    return SettingsWriteString(section, name, text);
}
bool SettingsReadBool(const char* section, const char* name, bool defaultValue) {
    char text[LMAX_PATH];
    SettingsReadString(section, name, text, "");
    return SettingsParseBool(text, defaultValue);
}
bool SettingsWriteBool(const char* section, const char* name, bool value) {
    return SettingsWriteString(section, name, value ? "1" : "0");
}
void SettingsDeleteValue(const char* section, const char* name) {
    DeleteAt(LRegistryRoot::LocalMachine, section, name);
    DeleteAt(LRegistryRoot::CurrentUser, section, name);
}

bool UserSettingsReadString(const char* section, const char* name, char* out,
                            const char* defaultText) {
    return ReadAt(LRegistryRoot::CurrentUser, section, name, out, defaultText);
}
bool UserSettingsWriteString(const char* section, const char* name, const char* text) {
    return Reported(WriteAt(LRegistryRoot::CurrentUser, section, name, text), section, name);
}
int32_t UserSettingsReadInt(const char* section, const char* name, int32_t defaultValue) {
    return ReadIntAt(LRegistryRoot::CurrentUser, section, name, defaultValue);
}
bool UserSettingsWriteInt(const char* section, const char* name, int32_t value) {
    char text[16];
    IntText(text, value);
    return UserSettingsWriteString(section, name, text);
}
void UserSettingsDeleteValue(const char* section, const char* name) {
    DeleteAt(LRegistryRoot::CurrentUser, section, name);
}
