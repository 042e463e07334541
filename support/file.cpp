// Path helpers on fixed-size path buffers, shared by both platforms.
#include "support/file.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "support/fspath.h"
#include "support/trace.h"

namespace {

constexpr size_t kMaxLen = LMAX_PATH - 1;

// Index of the first character of the file part (after the last separator).
size_t FilePartStart(const char* path, size_t len) {
    size_t start = 0;
    for (size_t i = 0; i < len; ++i)
        if (LIsPathSeparator(path[i])) start = i + 1;
    return start;
}

// Index of the last "." inside the file part, or len when there is none.
size_t LastDot(const char* path, size_t len) {
    size_t start = FilePartStart(path, len);
    for (size_t i = len; i > start; --i)
        if (path[i - 1] == '.') return i - 1;
    return len;
}

}  // namespace

bool LCopyPath(char* dest, const char* src) {
    size_t n = 0;
    while (n < kMaxLen && src[n]) {
        dest[n] = src[n];
        ++n;
    }
    dest[n] = 0;
    return src[n] != 0;
}

bool LPathFits(const char* path) {
    return std::strlen(path) < size_t(LMAX_PATH);
}

bool ExtIs(const char* ext, const char* wanted) {
    return strcasecmp(ext, wanted) == 0;
}

bool LSamePathText(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char x = *a, y = *b;
#ifdef _WIN32
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x == '/') x = '\\';
        if (y == '/') y = '\\';
#endif
        if (x != y) return false;
        if (!x) return true;
    }
}

std::string LPathTextKey(const char* path) {
    std::string key = path ? path : "";
#ifdef _WIN32
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c == '/') c = '\\';
    }
#endif
    return key;
}

bool LSameFile(const char* a, const char* b) {
    if (LSamePathText(a, b)) return true;
    std::error_code ec;
    return std::filesystem::equivalent(LFsPath(a), LFsPath(b), ec) && !ec;
}

LFile::LFile(LFile&& o) noexcept
    : handle_(o.handle_), bytes_(o.bytes_), byteCount_(o.byteCount_), bytePos_(o.bytePos_) {
    o.handle_ = kInvalid;
    o.bytes_ = nullptr;
}

LFile& LFile::operator=(LFile&& o) noexcept {
    if (this != &o) {
        Close();
        handle_ = o.handle_, bytes_ = o.bytes_, byteCount_ = o.byteCount_, bytePos_ = o.bytePos_;
        o.handle_ = kInvalid;
        o.bytes_ = nullptr;
    }
    return *this;
}

void LFile::OpenBytes(const uint8_t* data, size_t size) {
    Close();
    static const uint8_t kNone = 0;
    bytes_ = data ? data : &kNone;
    byteCount_ = data ? int64_t(size) : 0;
    bytePos_ = 0;
}

void LFile::Close() {
    bytes_ = nullptr;
    byteCount_ = bytePos_ = 0;
    SysClose();
}

int32_t LFile::Read(void* buffer, int32_t bytes) {
    if (!bytes_) return SysRead(buffer, bytes);
    if (bytes < 0) return -1;
    const int32_t n =
        int32_t(std::min<int64_t>(bytes, std::max<int64_t>(byteCount_ - bytePos_, 0)));
    if (n > 0) std::memcpy(buffer, bytes_ + bytePos_, size_t(n));
    bytePos_ += n;
    return n;
}

int32_t LFile::Write(const void* buffer, int32_t bytes) {
    return bytes_ ? -1 : SysWrite(buffer, bytes);
}

bool LFile::Seek(int64_t position) {
    if (!bytes_) return SysSeek(position);
    if (position < 0) return false;
    bytePos_ = position;  // past the end, as a file allows: reads then give nothing
    return true;
}

int64_t LFile::Tell() {
    return bytes_ ? bytePos_ : SysTell();
}

int64_t LFile::GetFileSizeBytes() {
    return bytes_ ? byteCount_ : SysGetFileSizeBytes();
}

bool LFile::Truncate() {
    return bytes_ ? false : SysTruncate();
}

void LFile::Attach(Handle handle) {
    Close();
    handle_ = handle;
}

LFile::Handle LFile::Release() {
    Handle h = handle_;
    handle_ = kInvalid;
    return h;
}

void LFile::_GetFileFromPath(char* dest, const char* path) {
    char buf[LMAX_PATH];
    if (LCopyPath(buf, path)) LTrace("LFile::_GetFileFromPath szPath is too long");
    size_t len = std::strlen(buf);
    std::memmove(dest, buf + FilePartStart(buf, len), len - FilePartStart(buf, len) + 1);
}

void LFile::_GetFolderFromPath(char* dest, const char* path) {
    char buf[LMAX_PATH];
    if (LCopyPath(buf, path)) LTrace("LFile::_GetFolderFromPath szPath is too long");
    size_t start = FilePartStart(buf, std::strlen(buf));
    size_t end = start ? start - 1 : 0;
    buf[end] = 0;
    std::memcpy(dest, buf, end + 1);
}

void LFile::_ApplyNewFileExtension(char* dest, const char* path, const char* extension) {
    char buf[LMAX_PATH];
    bool cut = LCopyPath(buf, path);
    size_t len = std::strlen(buf);
    size_t dot = LastDot(buf, len);
    if (dot < len && dot > FilePartStart(buf, len)) {
        len = dot;
        for (const char* p = extension ? extension : ""; *p; ++p) {
            if (len == kMaxLen) {
                cut = true;
                break;
            }
            buf[len++] = *p;
        }
        buf[len] = 0;
    }
    if (cut) LTrace("LFile::_ApplyNewFileExtension path too long");
    std::memcpy(dest, buf, len + 1);
}

void LFile::FilePathCat(char* folder, const char* name) {
    FilePathCat(folder, name, "");
}

void LFile::FilePathCat(char* folder, const char* name, const char* extension) {
    size_t len = std::strlen(folder);
    if (len >= kMaxLen) {
        LTrace("LFile::FilePathCat szFolderPath too long");
        return;
    }
    if (len && !LIsPathSeparator(folder[len - 1])) {
        folder[len++] = LPATH_SEP;
        folder[len] = 0;
    }
    bool cut = false;
    for (const char* part : {name, extension}) {
        for (const char* p = part ? part : ""; *p; ++p) {
            if (len == kMaxLen) {
                cut = true;
                break;
            }
            folder[len++] = *p;
        }
    }
    folder[len] = 0;
    if (cut) LTrace("LFile::FilePathCat szFolderPath too long");
}

const char* LPathExtension(const char* path) {
    return path + LastDot(path, std::strlen(path));
}

void GetFileExtension(char* dest, const char* path) {
    char buf[LMAX_PATH];
    LCopyPath(buf, path);
    size_t len = std::strlen(buf);
    size_t dot = LastDot(buf, len);
    std::memmove(dest, buf + dot, len - dot + 1);
}

void GetFileNameNoExtension(char* dest, const char* path) {
    char buf[LMAX_PATH];
    LCopyPath(buf, path);
    size_t len = std::strlen(buf);
    size_t start = FilePartStart(buf, len);
    buf[LastDot(buf, len)] = 0;
    std::memmove(dest, buf + start, std::strlen(buf + start) + 1);
}

bool CleanFileName(char* dest, const char* text) {
    static const char kBad[] = "\"*./:<>?\\|";
    size_t n = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p < 32 || *p >= 128 || std::strchr(kBad, *p)) continue;
        if (n == kMaxLen) break;
        dest[n++] = static_cast<char>(*p);
    }
    dest[n] = 0;
    return n > 0;
}
