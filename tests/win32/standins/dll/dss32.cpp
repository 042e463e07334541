// Stand-in DSS library. A "DSS file" is "kind length blocks failure" (-1 blocks: endless; failure
// 1: open, 2: start fails); block i, flagged when even, holds the bytes (i * 7 + j) & 0xFF.
#include <windows.h>

#include <cstdint>
#include <cstdio>

namespace {
int g_kind = 0, g_length = 0, g_blocks = 0, g_failure = 0, g_next = 0;
uint8_t g_block[660];
}  // namespace

extern "C" {
__declspec(dllexport) int __stdcall DSSInitDecoder(uint32_t mode) {
    return mode == 0xA0065 ? 0 : 1;
}
__declspec(dllexport) int __stdcall DSSActiveFolder(const char*, int32_t) {
    return 0;
}
__declspec(dllexport) int __stdcall DSSActiveFile(const char* path, int32_t* length,
                                                  int32_t* kind) {
    FILE* f = std::fopen(path, "r");
    if (!f) return 1;
    const int n = std::fscanf(f, "%d %d %d %d", &g_kind, &g_length, &g_blocks, &g_failure);
    std::fclose(f);
    if (n != 4 || g_failure == 1) return 1;
    *length = g_length;
    *kind = g_kind;
    g_next = 0;
    return 0;
}
__declspec(dllexport) int __stdcall DSSStartDecoding(int32_t flags) {
    return flags == 0 && g_failure != 2 ? 0 : 1;
}
__declspec(dllexport) int __stdcall DSSDecodeToPCM(const uint8_t** block, int32_t* flagged) {
    *block = nullptr;
    if (g_blocks >= 0 && g_next >= g_blocks) return 0;
    for (int j = 0; j < 660; ++j) g_block[j] = uint8_t(g_next * 7 + j);
    *block = g_block;
    *flagged = g_next % 2 == 0;
    ++g_next;
    return g_blocks < 0 || g_next < g_blocks;
}
}
