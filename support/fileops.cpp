// Platform-neutral parts of the file operations: lock file names and temporary slots.
#include "support/fileops.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "support/fspath.h"

void GetLockFilePath(char* dest, const char* path) {
    char ext[LMAX_PATH];
    GetFileExtension(ext, path);
    char file[LMAX_PATH];
    LFile::_GetFileFromPath(file, path);
    // The lock must never be the file itself: without an extension, or with ".lck" already,
    // ".lck" is appended instead of replacing the extension.
    bool isLock = std::strlen(ext) == 4 && std::tolower(ext[1]) == 'l' &&
                  std::tolower(ext[2]) == 'c' && std::tolower(ext[3]) == 'k';
    if (ext[0] && std::strcmp(ext, file) != 0 && !isLock) {
        LFile::_ApplyNewFileExtension(dest, path, ".lck");
        return;
    }
    char buf[LMAX_PATH];
    std::snprintf(buf, sizeof buf, "%s", path);
    // A full buffer gives up its last four characters for ".lck".
    size_t len = std::strlen(buf);
    if (len > LMAX_PATH - 5) len = LMAX_PATH - 5;
    std::memcpy(buf + len, ".lck", 5);
    std::memcpy(dest, buf, len + 5);
}

bool ReserveTempWavName(LPathLock& lock, char* path) {
    char folder[LMAX_PATH];
    LFile::GetTempFolder(folder);
    lock.Release();
    path[0] = 0;
    if (!folder[0]) return false;
    for (int n = 1; n <= 9999; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "Temp%d.wav", n);
        char candidate[LMAX_PATH];
        std::memcpy(candidate, folder, sizeof folder);
        LFile::FilePathCat(candidate, name);
        lock.Release();
        if (!CreatePathLock(lock, candidate)) continue;  // another instance owns this slot
        if (LFileExists(candidate) && (IsFileInUse(candidate) || !LDeleteFile(candidate))) continue;
        std::memcpy(path, candidate, sizeof candidate);
        return true;
    }
    lock.Release();
    path[0] = 0;
    return false;
}

bool LReplaceFile(const char* from, const char* to) {
    if (!LFlushFile(from)) return false;
    std::error_code ec;
    std::filesystem::rename(LFsPath(from), LFsPath(to), ec);
    return !ec;
}
