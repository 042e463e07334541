// Retried opens, in-use tests and lock files on POSIX, kept through advisory flock() locks.
#include "support/fileops.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

// Opens and locks; -1 on failure with *busy set when the lock is held by someone else.
int TryOpen(const char* path, int flags, int lockMode, bool truncate, bool* busy) {
    *busy = false;
    int fd;
    do fd = ::open(path, flags | O_CLOEXEC | O_NONBLOCK, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {  // folders, pipes, devices
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (::flock(fd, lockMode | LOCK_NB) != 0) {
        *busy = errno == EWOULDBLOCK;
        ::close(fd);
        return -1;
    }
    // Cut only once the file is ours: a refused open must leave the holder's data alone.
    if (truncate && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

bool OpenFileRetrying(LFile& file, const char* path, uint32_t access, uint32_t sharing,
                      uint32_t budgetMs, LFileCreation creation) {
    file.Close();
    if (!path || !*path) return false;
    int flags = (access & LFILE_WRITE) ? ((access & LFILE_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
    if (creation != LOPEN_EXISTING) flags |= O_CREAT;
    int lockMode = sharing == LSHARE_NONE ? LOCK_EX : LOCK_SH;
    // Wait at least 1 ms each time, so that every budget runs out.
    uint32_t wait = (budgetMs + 127) / 256;
    if (wait == 0) wait = 1;
    uint32_t remaining = budgetMs;
    for (;;) {
        bool busy;
        int fd = TryOpen(path, flags, lockMode, creation == LCREATE_ALWAYS, &busy);
        if (fd >= 0) {
            file.Attach(fd);
            return true;
        }
        if (!busy || remaining == 0) return false;
        uint32_t w = wait < remaining ? wait : remaining;
        std::this_thread::sleep_for(std::chrono::milliseconds(w));
        remaining -= w;
        if (wait < 0x40000000u) wait *= 2;
    }
}

bool IsFileInUse(const char* path) {
    bool busy;
    int fd = TryOpen(path, O_RDONLY, LOCK_EX, false, &busy);
    if (fd >= 0) ::close(fd);
    return busy;
}

bool LFlushFile(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int rc;
    do rc = ::fsync(fd);
    while (rc != 0 && errno == EINTR);
    ::close(fd);
    return rc == 0;
}

bool LFileExists(const char* path) {
    struct stat st;
    return path && *path && ::lstat(path, &st) == 0;
}

bool LDeleteFile(const char* path) {
    return ::unlink(path) == 0 || errno == ENOENT;
}

void LPathLock::Release() {
    if (file_.IsOpen()) {
        // Delete while still holding the lock; a waiter that opened the old file notices that
        // the name no longer leads to it (see CreatePathLock).
        ::unlink(lockPath_);
        file_.Close();
    }
    lockPath_[0] = 0;
}

bool CreatePathLock(LPathLock& lock, const char* path) {
    lock.Release();
    char lockPath[LMAX_PATH];
    GetLockFilePath(lockPath, path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = ::open(lockPath, O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
        if (fd < 0) return true;  // cannot be created: nobody else holds it either
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            bool busy = errno == EWOULDBLOCK;
            ::close(fd);
            return !busy;
        }
        struct stat held, named;
        if (::fstat(fd, &held) == 0 && ::stat(lockPath, &named) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
            lock.file_.Attach(fd);
            std::memcpy(lock.lockPath_, lockPath, sizeof lockPath);
            return true;
        }
        ::close(fd);  // the previous holder deleted it meanwhile: take the new one
    }
    return false;
}
