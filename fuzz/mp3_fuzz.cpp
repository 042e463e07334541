// Fuzzes the whole MP3 reader: stream analysis, frame loop, reading and seeking.
#include "formats/mp3.h"
#include "fuzz/fuzzfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LMP3Source src(data, int64_t(size));
    if (src.GetError() == LSRC_OK) FuzzExercise(src, data, size);
    return 0;
}
