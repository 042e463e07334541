// LFile on POSIX file descriptors.
#include "support/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "support/trace.h"

namespace {

// Opens a regular file. Folders, pipes and devices are refused: open() accepts a folder for
// reading, and opening a pipe would wait for a writer for ever.
intptr_t OpenFd(const char* path, int flags) {
    if (!path || !*path) return -1;
    int fd;
    do fd = ::open(path, flags | O_CLOEXEC | O_NONBLOCK, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // A shared advisory lock tells IsFileInUse in other instances that the file is open.
    ::flock(fd, LOCK_SH | LOCK_NB);
    return fd;
}

}  // namespace

bool LFile::Open(const char* path) {
    Close();
    handle_ = OpenFd(path, O_RDONLY);
    return IsOpen();
}

bool LFile::OpenReadWrite(const char* path) {
    Close();
    handle_ = OpenFd(path, O_RDWR);
    return IsOpen();
}

bool LFile::Create(const char* path) {
    Close();
    // An empty file (a slot just claimed with CreateNew) is not truncated: on ext4 a truncation
    // makes the final close start writing the whole file back and wait on it.
    handle_ = OpenFd(path, O_RDWR | O_CREAT);
    struct stat st;
    if (IsOpen() && (::fstat(static_cast<int>(handle_), &st) != 0 || st.st_size != 0) &&
        ::ftruncate(static_cast<int>(handle_), 0) != 0)
        Close();
    return IsOpen();
}

bool LFile::CreateNew(const char* path) {
    Close();
    handle_ = OpenFd(path, O_RDWR | O_CREAT | O_EXCL);
    return IsOpen();
}

void LFile::SysClose() {
    if (handle_ != kInvalid) ::close(static_cast<int>(handle_));
    handle_ = kInvalid;
}

int32_t LFile::SysRead(void* buffer, int32_t bytes) {
    if (!IsOpen() || bytes < 0) return -1;
    char* p = static_cast<char*>(buffer);
    int32_t done = 0;
    while (done < bytes) {
        ssize_t n = ::read(static_cast<int>(handle_), p + done, static_cast<size_t>(bytes - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return done ? done : -1;
        if (n == 0) break;
        done += static_cast<int32_t>(n);
    }
    return done;
}

int32_t LFile::SysWrite(const void* buffer, int32_t bytes) {
    if (!IsOpen() || bytes < 0) return -1;
    const char* p = static_cast<const char*>(buffer);
    int32_t done = 0;
    while (done < bytes) {
        ssize_t n = ::write(static_cast<int>(handle_), p + done, static_cast<size_t>(bytes - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return done ? done : -1;
        done += static_cast<int32_t>(n);
    }
    return done;
}

bool LFile::SysSeek(int64_t position) {
    if (!IsOpen()) {
        LTrace("LFile::Seek Called on an invalid file");
        return false;
    }
    if (position < 0) return false;
    return ::lseek(static_cast<int>(handle_), static_cast<off_t>(position), SEEK_SET) == position;
}

int64_t LFile::SysTell() {
    off_t pos = IsOpen() ? ::lseek(static_cast<int>(handle_), 0, SEEK_CUR) : -1;
    if (pos < 0) {
        LTrace("LFile::Tell() Failed");
        return -1;
    }
    return pos;
}

int64_t LFile::SysGetFileSizeBytes() {
    struct stat st;
    if (!IsOpen() || ::fstat(static_cast<int>(handle_), &st) != 0) {
        LTrace("LFile::GetFileSizeBytes() FAILED");
        return -1;
    }
    return st.st_size;
}

bool LFile::SysTruncate() {
    int64_t pos = Tell();
    if (pos < 0) return false;
    int rc;
    do rc = ::ftruncate(static_cast<int>(handle_), static_cast<off_t>(pos));
    while (rc != 0 && errno == EINTR);
    return rc == 0;
}
