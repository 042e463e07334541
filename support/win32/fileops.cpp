// Retried opens, in-use tests and delete-on-close lock files on Windows.
#include "support/fileops.h"

#include <windows.h>

#include <cstring>

#include "support/win32/wide.h"

namespace {

HANDLE Open(const char* path, DWORD access, DWORD share, DWORD creation, DWORD flags) {
    return CreateFileW(LWide(path).c_str(), access, share, nullptr, creation, flags, nullptr);
}

}  // namespace

bool OpenFileRetrying(LFile& file, const char* path, uint32_t access, uint32_t sharing,
                      uint32_t budgetMs, LFileCreation creation) {
    file.Close();
    if (!path || !*path) return false;
    DWORD acc =
        ((access & LFILE_READ) ? GENERIC_READ : 0) | ((access & LFILE_WRITE) ? GENERIC_WRITE : 0);
    DWORD share = ((sharing & LSHARE_READ) ? FILE_SHARE_READ : 0) |
                  ((sharing & LSHARE_WRITE) ? FILE_SHARE_WRITE : 0);
    DWORD create = creation == LOPEN_EXISTING ? OPEN_EXISTING
                   : creation == LOPEN_ALWAYS ? OPEN_ALWAYS
                                              : CREATE_ALWAYS;
    // Wait at least 1 ms each time, so that every budget runs out.
    uint32_t wait = (budgetMs + 127) / 256;
    if (wait == 0) wait = 1;
    uint32_t remaining = budgetMs;
    for (;;) {
        HANDLE h = Open(path, acc, share, create, FILE_ATTRIBUTE_NORMAL);
        if (h != INVALID_HANDLE_VALUE) {
            file.Attach(reinterpret_cast<LFile::Handle>(h));
            return true;
        }
        if (GetLastError() != ERROR_SHARING_VIOLATION || remaining == 0) return false;
        uint32_t w = wait < remaining ? wait : remaining;
        Sleep(w);
        remaining -= w;
        if (wait < 0x40000000u) wait *= 2;
    }
}

bool IsFileInUse(const char* path) {
    HANDLE h = Open(path, GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

bool LFlushFile(const char* path) {
    // Flushing needs write access; others may go on reading and writing meanwhile.
    HANDLE h = Open(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    if (h == INVALID_HANDLE_VALUE) return false;
    const BOOL ok = FlushFileBuffers(h);
    CloseHandle(h);
    return ok != FALSE;
}

bool LFileExists(const char* path) {
    return path && *path && GetFileAttributesW(LWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool LDeleteFile(const char* path) {
    return DeleteFileW(LWide(path).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

void LPathLock::Release() {
    file_.Close();  // the system deletes the lock file
    lockPath_[0] = 0;
}

bool CreatePathLock(LPathLock& lock, const char* path) {
    lock.Release();
    char lockPath[LMAX_PATH];
    GetLockFilePath(lockPath, path);
    HANDLE h = Open(lockPath, GENERIC_WRITE, 0, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_SHARING_VIOLATION;
    lock.file_.Attach(reinterpret_cast<LFile::Handle>(h));
    std::memcpy(lock.lockPath_, lockPath, sizeof lockPath);
    return true;
}
