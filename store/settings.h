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

// Machine-wide store. A user who may not write the machine-wide store (a standard account on
// current Windows) keeps his own values under the same key path of the per-user store: reads
// look there first, a write goes machine-wide when it can (and then drops the per-user copy),
// else per user. Each write reports whether the value was stored; one that could be stored
// nowhere is also passed to the write-failure handler.
// out holds at most 259 characters and a terminating zero.
bool SettingsReadString(const char* section, const char* name, char* out, const char* defaultText);
bool SettingsWriteString(const char* section, const char* name, const char* text);
int32_t SettingsReadInt(const char* section, const char* name, int32_t defaultValue);
bool SettingsWriteInt(const char* section, const char* name, int32_t value);
bool SettingsReadBool(const char* section, const char* name, bool defaultValue);
bool SettingsWriteBool(const char* section, const char* name, bool value);
// Deletes the value from both stores.
void SettingsDeleteValue(const char* section, const char* name);

// Told of every setting that could not be stored (the front end lets the user know); null for
// none. SettingsNoteWriteFailure reports a failure of another configuration write the same way.
using LSettingsWriteFailureHandler = void (*)(const char* section, const char* name);
void SettingsSetWriteFailureHandler(LSettingsWriteFailureHandler handler);
void SettingsNoteWriteFailure(const char* section, const char* name);

// Per-user store (combo-box history lists).
bool UserSettingsReadString(const char* section, const char* name, char* out,
                            const char* defaultText);
bool UserSettingsWriteString(const char* section, const char* name, const char* text);
int32_t UserSettingsReadInt(const char* section, const char* name, int32_t defaultValue);
bool UserSettingsWriteInt(const char* section, const char* name, int32_t value);
void UserSettingsDeleteValue(const char* section, const char* name);
