// The wave format chooser where the platform has none: nothing can be chosen interactively.
#include "formats/acm.h"
#include "support/trace.h"

bool LWaveFormatChoose(void* owner, LWaveFileFormat& format, int channels, const char* title) {
    LTrace("LWaveFormatChoose no format chooser on this platform");
    return false;
}
