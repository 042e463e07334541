// The CD-TEXT pack parser on arbitrary drive responses: no read beyond the response, every text
// ends inside its buffer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "cd/cdtext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that any read past the response is caught.
    std::vector<uint8_t> response(data, data + size);
    static LCDText text;
    LCDParseText(response.data(), int(size > 65536 ? 65536 : size), text);
    for (auto& type : text.texts)
        for (auto& t : type)
            if (!std::memchr(t, 0, LCD_TEXT_CHARS)) std::abort();
    static LCDDBInfo info;
    info.iTracks = uint8_t(size);
    LCDApplyText(text, info);
    return 0;
}
