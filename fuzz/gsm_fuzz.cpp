// Fuzzes the GSM 06.10 decoder (both frame packings, through the file source) and the encoder.
#include <cstring>

#include "formats/gsm.h"
#include "fuzz/fuzzfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Frame decoding with one running state, then WAV49 blocks.
    static LGSMFrame codec;
    codec.Reset();
    int32_t pcm[LGSMFrame::kWav49BlockSamples];
    for (size_t off = 0; off + LGSMFrame::kFrameBytes <= size; off += LGSMFrame::kFrameBytes)
        codec.DecodeNormal(data + off, pcm);
    for (size_t off = 0; off + LGSMFrame::kWav49BlockBytes <= size;
         off += LGSMFrame::kWav49BlockBytes)
        codec.DecodeWav49(data + off, pcm);
    // The bytes as extreme internal samples into the encoder.
    uint8_t frame[LGSMFrame::kFrameBytes];
    for (size_t off = 0; off + 4 * LGSMFrame::kSamples <= size; off += 4 * LGSMFrame::kSamples) {
        std::memcpy(pcm, data + off, 4 * LGSMFrame::kSamples);
        codec.EncodeNormal(pcm, frame);
    }
    return FuzzSource("gsm", data, size,
                      [](const char* p) { return LSourceRef(new LGSMFileSource(p)); });
}
