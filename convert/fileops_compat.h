// File operations the engine uses: the support library's, or a minimal stand-in until it has them.
#pragma once

#if __has_include("support/fileops.h")
#include "support/fileops.h"
#else
#include <cstdio>
#include <filesystem>

#include "support/file.h"

inline bool LFileExists(const char* path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}
inline bool LDeleteFile(const char* path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return !LFileExists(path);
}
class LPathLock {};
inline bool ReserveTempWavName(LPathLock&, char* path) {
    for (int n = 1; n < 1000; ++n) {
        LFile::GetTempFolder(path);
        char name[32];
        std::snprintf(name, sizeof name, "Temp%d.wav", n);
        LFile::FilePathCat(path, name);
        if (!LFileExists(path) || LDeleteFile(path)) return true;
    }
    return false;
}
#endif
