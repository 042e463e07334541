// Typed settings accessors over the store: "Software\Velmora\Tamber\<section>".
#pragma once

#include <cstdint>

// The key of a section: "Software\Velmora\Tamber\%s".
void SettingsKeyPath(char* dest, const char* section);

// Parsing rules shared by the typed readers and the command line.
// Integer: leading white space, optional sign, decimal digits up to the first non-digit;
// text without digits gives 0. Empty text gives the default.
int32_t SettingsParseInt(const char* text, int32_t defaultValue);
// Boolean: true unless the first character is "0". Empty text gives the default.
bool SettingsParseBool(const char* text, bool defaultValue);

// Machine-wide store. out holds at most 259 characters and a terminating zero.
bool SettingsReadString(const char* section, const char* name, char* out, const char* defaultText);
void SettingsWriteString(const char* section, const char* name, const char* text);
int32_t SettingsReadInt(const char* section, const char* name, int32_t defaultValue);
void SettingsWriteInt(const char* section, const char* name, int32_t value);
bool SettingsReadBool(const char* section, const char* name, bool defaultValue);
void SettingsWriteBool(const char* section, const char* name, bool value);
void SettingsDeleteValue(const char* section, const char* name);

// Per-user store (combo-box history lists).
bool UserSettingsReadString(const char* section, const char* name, char* out,
                            const char* defaultText);
void UserSettingsWriteString(const char* section, const char* name, const char* text);
int32_t UserSettingsReadInt(const char* section, const char* name, int32_t defaultValue);
void UserSettingsWriteInt(const char* section, const char* name, int32_t value);
void UserSettingsDeleteValue(const char* section, const char* name);
