// Engine prompts without a window system: standard error.
#include "convert/ui.h"

#include <cstdio>

void LShowErrorBox(LWindowHandle, const char* text) {
    std::fprintf(stderr, "%s\n", text);
}
