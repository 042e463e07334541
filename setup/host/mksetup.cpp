// Build-host tool: writes the setup file from the program image and the other payload files,
// then the size table, the additive checksum and the install mode word.
// Usage: mksetup <output> <file 1> ... <file N>, in the order of the built-in table.
#include <cstdio>
#include <vector>

#include "setup/payload.h"

namespace {

bool ReadAll(const char* path, std::vector<uint8_t>& out) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

void PutWord(std::vector<uint8_t>& out, uint32_t w) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(w >> (8 * i)));
}

}  // namespace

int main(int argc, char** argv) {
    const int count = SetupFileCount();
    if (argc != count + 2) {
        std::fprintf(stderr, "usage: mksetup <output> and %d payload files\n", count);
        return 2;
    }
    std::vector<uint8_t> out;
    std::vector<uint32_t> sizes;
    for (int i = 0; i < count; ++i) {
        const size_t start = out.size();
        if (!ReadAll(argv[i + 2], out)) {
            std::fprintf(stderr, "mksetup: cannot read %s\n", argv[i + 2]);
            return 1;
        }
        sizes.push_back(static_cast<uint32_t>(out.size() - start));
    }
    const uint32_t sum = SetupChecksumAdd(0, out.data(), out.size());
    for (uint32_t s : sizes) PutWord(out, s);
    PutWord(out, sum);
    PutWord(out, LSETUP_INSTALL_MODE);
    FILE* f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "mksetup: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
