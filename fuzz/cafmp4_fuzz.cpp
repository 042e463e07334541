// Fuzzes the rewrap of ALAC CAF files into MP4: the chunk walk, the decoder configuration and
// the packet table; what is written must hold exactly the packets between its boxes.
#include <cstdio>

#include "formats/cafmp4.h"
#include "fuzz/fuzzfile.h"
#include "support/file.h"
#include "support/fileops.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* in = FuzzFile("cafmp4.caf", data, size);
    if (!in) return 0;
    static const std::string out = std::string(in) + ".m4a";
    if (!LCafRewrapToMp4(in, out.c_str())) {
        if (LFileExists(out.c_str())) __builtin_trap();  // a refusal leaves no file
        return 0;
    }
    // The "mdat" box ends where the "moov" box starts, and that one ends the file.
    LFile f;
    uint8_t box[8];
    if (!f.Open(out.c_str()) || f.Read(box, 8) != 8) __builtin_trap();
    const int64_t mdat = int64_t(uint32_t(box[0]) << 24 | box[1] << 16 | box[2] << 8 | box[3]);
    if (!f.Seek(mdat) || f.Read(box, 8) != 8) __builtin_trap();
    const int64_t mdatSize = int64_t(uint32_t(box[0]) << 24 | box[1] << 16 | box[2] << 8 | box[3]);
    if (!f.Seek(mdat + mdatSize) || f.Read(box, 8) != 8) __builtin_trap();
    const int64_t moov = int64_t(uint32_t(box[0]) << 24 | box[1] << 16 | box[2] << 8 | box[3]);
    if (mdat + mdatSize + moov != f.GetFileSizeBytes()) __builtin_trap();
    f.Close();
    std::remove(out.c_str());
    return 0;
}
