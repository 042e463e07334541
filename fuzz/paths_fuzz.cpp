// Path helpers on arbitrary text: every result fits its 260-character buffer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/file.h"
#include "support/fileops.h"

namespace {

// A buffer with a guard zone behind it, filled with a marker that must survive.
struct Guarded {
    char buf[LMAX_PATH + 64];
    Guarded() { std::memset(buf, 0x5A, sizeof buf); }
    void Check() const {
        if (std::strlen(buf) > LMAX_PATH - 1) std::abort();
        for (size_t i = LMAX_PATH; i < sizeof buf; ++i)
            if (buf[i] != 0x5A) std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Two zero-terminated texts: a path and a name/extension.
    std::string all(reinterpret_cast<const char*>(data), size);
    size_t cut = all.find('\0');
    std::string path = all.substr(0, cut);
    std::string name = cut == std::string::npos ? "" : all.substr(cut + 1);
    name = name.substr(0, name.find('\0'));

    Guarded g;
    LFile::_GetFileFromPath(g.buf, path.c_str());
    g.Check();
    LFile::_GetFolderFromPath(g.buf, path.c_str());
    g.Check();
    LFile::_ApplyNewFileExtension(g.buf, path.c_str(), name.c_str());
    g.Check();
    GetFileExtension(g.buf, path.c_str());
    g.Check();
    GetFileNameNoExtension(g.buf, path.c_str());
    g.Check();
    CleanFileName(g.buf, path.c_str());
    g.Check();
    for (const char* c = g.buf; *c; ++c)
        if (std::strchr("\"*./:<>?\\|", *c) || static_cast<unsigned char>(*c) < 32) std::abort();
    GetLockFilePath(g.buf, path.c_str());
    g.Check();

    Guarded cat;
    std::snprintf(cat.buf, LMAX_PATH, "%s", path.c_str());
    LFile::FilePathCat(cat.buf, name.c_str(), path.c_str());
    cat.Check();
    return 0;
}
