// The configuration store: text values under key paths, machine-wide or per user.
#pragma once

#include <cstdint>

// The roots of the store. On Windows they are the registry hives of the same names; on
// other platforms the machine-wide and per-user roots are plain-text files in the user's
// configuration folder and the classes root does not exist (reads fail, writes do nothing).
enum class LRegistryRoot : uint8_t { LocalMachine, CurrentUser, ClassesRoot };

// Reads the text value (the key's default value when valueName is null or empty) into out
// (at most 259 characters and a terminating zero). When the key or the value cannot be read,
// the default text is copied instead and the result is false. An empty value yields "".
bool RegistryReadString(LRegistryRoot root, const char* keyPath, const char* valueName, char* out,
                        const char* defaultText);
// Creates the key when needed and sets the value as text; false when that failed.
bool RegistryWriteString(LRegistryRoot root, const char* keyPath, const char* valueName,
                         const char* text);
// Deletes one value; nothing happens when the key or the value is missing.
void RegistryDeleteValue(LRegistryRoot root, const char* keyPath, const char* valueName);
// Deletes a key that has no sub-keys, with its values; false when it could not be deleted.
bool RegistryDeleteKey(LRegistryRoot root, const char* keyPath);

// A run that writes many values may hold its writes: from RegistryHoldWrites on, this process
// reads the store once and sees its own writes at once; RegistryReleaseWrites writes them all,
// one file replacement per root, on top of what other processes stored meanwhile (false when
// that failed). Only the plain-text store holds writes; the registry writes at once.
void RegistryHoldWrites();
bool RegistryReleaseWrites();

// The folder holding the plain-text store ("" on Windows, where the registry is used).
// TAMBER_HOME, when set, moves it to "$TAMBER_HOME/config".
void RegistryStoreFolder(char* dest);
// A store file that is there but could not be read when a value was to be written into it (it
// is left as it is, the value not written there): true with its path in dest (false on Windows).
bool RegistryUnreadableFile(char* dest);
