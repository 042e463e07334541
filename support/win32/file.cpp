// LFile on Win32 file handles.
#include "support/file.h"

#include <windows.h>

#include "support/trace.h"
#include "support/win32/wide.h"

namespace {

LFile::Handle OpenHandle(const char* path, DWORD access, DWORD share, DWORD creation) {
    if (!path || !*path) return LFile::kInvalid;
    HANDLE h = CreateFileW(LWide(path).c_str(), access, share, nullptr, creation,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    return reinterpret_cast<LFile::Handle>(h);
}

HANDLE H(LFile::Handle h) {
    return reinterpret_cast<HANDLE>(h);
}

}  // namespace

bool LFile::Open(const char* path) {
    Close();
    handle_ = OpenHandle(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    return IsOpen();
}

bool LFile::OpenReadWrite(const char* path) {
    Close();
    handle_ = OpenHandle(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
    return IsOpen();
}

bool LFile::Create(const char* path) {
    Close();
    handle_ = OpenHandle(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
    return IsOpen();
}

bool LFile::CreateNew(const char* path) {
    Close();
    handle_ = OpenHandle(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW);
    return IsOpen();
}

void LFile::SysClose() {
    if (handle_ != kInvalid) CloseHandle(H(handle_));
    handle_ = kInvalid;
}

int32_t LFile::SysRead(void* buffer, int32_t bytes) {
    if (!IsOpen() || bytes < 0) return -1;
    DWORD done = 0;
    if (!ReadFile(H(handle_), buffer, static_cast<DWORD>(bytes), &done, nullptr)) return -1;
    return static_cast<int32_t>(done);
}

int32_t LFile::SysWrite(const void* buffer, int32_t bytes) {
    if (!IsOpen() || bytes < 0) return -1;
    DWORD done = 0;
    if (!WriteFile(H(handle_), buffer, static_cast<DWORD>(bytes), &done, nullptr)) return -1;
    return static_cast<int32_t>(done);
}

bool LFile::SysSeek(int64_t position) {
    if (!IsOpen()) {
        LTrace("LFile::Seek Called on an invalid file");
        return false;
    }
    if (position < 0) return false;
    LARGE_INTEGER to;
    to.QuadPart = position;
    return SetFilePointerEx(H(handle_), to, nullptr, FILE_BEGIN) != 0;
}

int64_t LFile::SysTell() {
    LARGE_INTEGER zero, pos;
    zero.QuadPart = 0;
    if (!IsOpen() || !SetFilePointerEx(H(handle_), zero, &pos, FILE_CURRENT)) {
        LTrace("LFile::Tell() Failed");
        return -1;
    }
    return pos.QuadPart;
}

int64_t LFile::SysGetFileSizeBytes() {
    LARGE_INTEGER size;
    if (!IsOpen() || !GetFileSizeEx(H(handle_), &size)) {
        LTrace("LFile::GetFileSizeBytes() FAILED");
        return -1;
    }
    return size.QuadPart;
}

bool LFile::SysTruncate() {
    return IsOpen() && SetEndOfFile(H(handle_)) != 0;
}
