// Codec-layer entry for WAV data that is not 8/16-bit PCM: none in this build yet, so such a
// file reports that its codec is not available.
#include "formats/wav.h"
#include "support/trace.h"

LSoundSourceBase* LWaveOpenCodecSource(LFile&& file, const LWaveFormatRecord& format,
                                       uint32_t dataSize) {
    LTrace("LWaveFile::OpenSource no codec for this format");
    file.Close();
    return new LSRCNull(LSRC_ERR_CODEC);
}
