// File operations with limits: retried opens, in-use tests, lock files and temporary slots.
#pragma once

#include <cstdint>

#include "support/file.h"

// What OpenFileRetrying asks for and what it lets others do meanwhile (combinable flags).
enum : uint32_t { LFILE_READ = 1, LFILE_WRITE = 2 };
enum : uint32_t { LSHARE_NONE = 0, LSHARE_READ = 1, LSHARE_WRITE = 2 };
enum LFileCreation { LOPEN_EXISTING, LOPEN_ALWAYS, LCREATE_ALWAYS };

// Opens the file into `file`; while another holder's sharing refuses it, waits and retries:
// first (budget + 127) / 256 ms (at least 1), doubling, until the budget is spent. On Linux
// sharing is kept between cooperating programs through advisory locks: no sharing takes an
// exclusive lock, any sharing a shared one; LFile's own opens take shared ones.
bool OpenFileRetrying(LFile& file, const char* path, uint32_t access, uint32_t sharing,
                      uint32_t budgetMs, LFileCreation creation);

// True when something (a file or a folder) exists at the path.
bool LFileExists(const char* path);
// Deletes a file; true when it is gone.
bool LDeleteFile(const char* path);

// Puts the file's bytes on the disk (fsync, FlushFileBuffers); false when that failed.
bool LFlushFile(const char* path);
// Gives the finished file `from` the name `to` in one step (replacing a file there, or a link
// itself rather than what it points to), once its bytes are on the disk: a crash leaves the old
// file or the whole new one, never a cut one. False (nothing renamed) on a failure.
bool LReplaceFile(const char* from, const char* to);

// True when opening the existing file for reading without sharing fails because someone
// holds it open.
bool IsFileInUse(const char* path);

// A held lock file; closing it deletes the lock file.
class LPathLock {
  public:
    LPathLock() = default;
    ~LPathLock() { Release(); }
    LPathLock(const LPathLock&) = delete;
    LPathLock& operator=(const LPathLock&) = delete;

    void Release();
    bool IsHeld() const { return file_.IsOpen(); }
    // The lock file's path ("" when none is held).
    const char* GetLockPath() const { return lockPath_; }

  private:
    friend bool CreatePathLock(LPathLock& lock, const char* path);
    LFile file_;
    char lockPath_[LMAX_PATH] = {};
};

// The lock file of a path: the path with its extension replaced by ".lck" (".lck" appended
// when the file part has no extension or has ".lck" already: a lock never is the file itself).
void GetLockFilePath(char* dest, const char* path);

// Releases the lock's previous file, then creates and holds the lock file of `path`. False only
// when someone else holds that lock file; true otherwise (also when it cannot be created).
bool CreatePathLock(LPathLock& lock, const char* path);

// Claims the lowest free "Temp%d.wav" name (n = 1, 2, ...) in the temporary folder: its lock
// is held in `lock` and the name is written to `path` (LMAX_PATH characters). A name is free
// when its lock could be taken and the file is missing, or is not in use and could be deleted.
// Safe across running instances. False when no name could be claimed.
bool ReserveTempWavName(LPathLock& lock, char* path);
