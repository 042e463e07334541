// Fuzzes the source and sink adapters and the limiter with arbitrary rates and samples.
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/adapt.h"
#include "core/sink_adapt.h"
#include "tests/support/soundutil.h"

static uint32_t Take32(const uint8_t*& p, size_t& left) {
    uint32_t v = 0;
    for (int i = 0; i < 4 && left; ++i, --left) v |= uint32_t(*p++) << (8 * i);
    return v;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* p = data;
    size_t left = size;
    const int32_t inRate = int32_t(Take32(p, left) % 196000) + 1;
    const int32_t outRate = int32_t(Take32(p, left) % 200001) - 1000;  // some below 1
    const uint32_t shape = Take32(p, left);
    const int inCh = 1 + shape % 2, outCh = 1 + (shape >> 1) % 2;
    const int32_t seekTo = int32_t(Take32(p, left) % 20000) - 100;

    std::vector<int32_t> samples(left / 4 / size_t(inCh) * size_t(inCh));
    if (!samples.empty()) std::memcpy(samples.data(), p, samples.size() * 4);
    LSourceRef src(new testutil::MemorySource(inRate, inCh, samples, 0x7FFFFFFF));
    ConvertSourceFormat(outRate, outCh, src);
    LSourceRef limited;
    LSPPeakLimit(0x7FFF0).OpenSource(limited, src);
    static std::vector<int32_t> buf(2 * 8192);
    // Bounded work: very large ratios read many input blocks per output frame.
    const int32_t frames = outRate > 0 && outRate < inRate / 1000 ? 4 : 1000;
    limited->Read(buf.data(), frames);
    limited->Seek(seekTo);
    limited->Read(buf.data(), frames);
    (void)limited->GetPosition();
    (void)limited->GetEndSample();

    // Sink side: the same samples pushed through the sink adapters.
    LSinkRef inner(new testutil::MemorySink(outRate > 0 ? outRate : 8000, outCh)), rate, chans;
    LSinkConvertRate::OpenSink(rate, inRate, inner);
    LSinkConvertChannels::OpenSink(chans, rate, inCh);
    if (chans) chans->Write(samples.data(), int32_t(std::min<size_t>(samples.size() / inCh, 8192)));
    return 0;
}
