// The setup file: its built-in file table, the trailer layout and the additive checksum.
#pragma once

#include <cstddef>
#include <cstdint>

// The last word of the executable selects its role.
constexpr uint32_t LSETUP_INSTALL_MODE = 0x0F0FF0F0;
constexpr uint32_t LSETUP_UNINSTALL_MODE = 0xF0F00F0F;

// One payload file: the folder inside the installation folder (null: the folder itself, as
// are "ProgramFiles" and "DataFiles") and the file name; the table ends with an empty name.
struct LSetupEntry {
    const char* folder;
    const char* name;
};
extern const LSetupEntry kSetupFiles[];

// Entries before the end of the table.
int SetupFileCount();

// The trailer after the payload: N sizes, the checksum, the mode word (all 32-bit LE).
constexpr size_t SetupTrailerSize(int count) {
    return 4 * (static_cast<size_t>(count) + 2);
}

// Adds every byte, taken as unsigned, to sum (modulo 2^32).
uint32_t SetupChecksumAdd(uint32_t sum, const uint8_t* bytes, size_t count);

// The target of an entry inside the installation folder (at most 259 characters); false when
// it does not fit.
bool SetupTargetPath(char* dest, const char* folder, const LSetupEntry& entry);
