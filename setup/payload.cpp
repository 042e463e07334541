// The setup file's built-in table, checksum and target paths.
#include "setup/payload.h"

#include <cstdio>
#include <cstring>

const LSetupEntry kSetupFiles[] = {
    {nullptr, "tamber.exe"}, {nullptr, "tamber.hlp"}, {nullptr, "lame.exe"}, {nullptr, ""}};

int SetupFileCount() {
    int n = 0;
    while (kSetupFiles[n].name[0]) ++n;
    return n;
}

uint32_t SetupChecksumAdd(uint32_t sum, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) sum += bytes[i];
    return sum;
}

bool SetupTargetPath(char* dest, const char* folder, const LSetupEntry& entry) {
    const bool own = entry.folder && std::strcmp(entry.folder, "ProgramFiles") != 0 &&
                     std::strcmp(entry.folder, "DataFiles") != 0;
    const int n = own ? std::snprintf(dest, 260, "%s\\%s\\%s", folder, entry.folder, entry.name)
                      : std::snprintf(dest, 260, "%s\\%s", folder, entry.name);
    return n > 0 && n < 260;
}
