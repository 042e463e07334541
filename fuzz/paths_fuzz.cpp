// Path helpers on arbitrary text: every result fits its 260-character buffer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/file.h"
#include "support/fileops.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Two zero-terminated texts: a path and a name/extension ("" when the input has one text).
    const std::string all = std::string(reinterpret_cast<const char*>(data), size) + '\0';
    const char *p = all.c_str(), *n = p + std::strlen(p) + 1;
    // Each result goes into a buffer with a guard zone behind it that must keep its marker.
    char buf[LMAX_PATH + 64];
    auto guarded = [&buf](auto&& call) {
        std::memset(buf, 0x5A, sizeof buf);
        call(buf);
        if (std::strlen(buf) > LMAX_PATH - 1) std::abort();
        for (size_t i = LMAX_PATH; i < sizeof buf; ++i)
            if (buf[i] != 0x5A) std::abort();
    };
    guarded([&](char* b) { LFile::_GetFileFromPath(b, p); });
    guarded([&](char* b) { LFile::_GetFolderFromPath(b, p); });
    guarded([&](char* b) { LFile::_ApplyNewFileExtension(b, p, n); });
    guarded([&](char* b) { GetFileExtension(b, p); });
    guarded([&](char* b) { GetFileNameNoExtension(b, p); });
    guarded([&](char* b) { GetLockFilePath(b, p); });
    guarded([&](char* b) { std::snprintf(b, LMAX_PATH, "%s", p), LFile::FilePathCat(b, n, p); });
    guarded([&](char* b) { CleanFileName(b, p); });
    for (const char* c = buf; *c; ++c)
        if (std::strchr("\"*./:<>?\\|", *c) || static_cast<unsigned char>(*c) < 32) std::abort();
    return 0;
}
