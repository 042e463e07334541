// Fuzzes the DCT container checks and the copy-out.
#include <cstdio>
#include <string>

#include "formats/dct.h"
#include "fuzz/fuzzfile.h"
#include "tests/support/fakeprogress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = FuzzFile("dct", data, size);
    if (!path) return 0;
    static const std::string out = std::string(path) + ".wav";
    LDCTDecode rec{};
    std::snprintf(rec.szDCTInFilePath, sizeof rec.szDCTInFilePath, "%s", path);
    std::snprintf(rec.szWavOutFilePath, sizeof rec.szWavOutFilePath, "%s", out.c_str());
    testutil::FakeProgress dlg;
    const int status = LDecodeDCT(&dlg, &rec);
    if (status < 0 || status > 2) __builtin_trap();
    std::remove(out.c_str());
    return 0;
}
