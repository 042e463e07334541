// The table-of-contents parse on arbitrary drive responses: no read beyond the response.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "cd/toc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that any read past the response is caught.
    std::vector<uint8_t> response(data, data + size);
    uint8_t tracks = 77;
    uint32_t addresses[256];
    bool ok = LCDParseTOC(response.data(), int(size > 4096 ? 4096 : size), tracks, addresses);
    if (!ok && tracks != 0) std::abort();
    if (ok && 4 + 8 * (size_t(tracks) + 1) > size) std::abort();
    return 0;
}
