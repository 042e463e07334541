// Engine prompts without a window system: standard error.
#include <cstdio>

#include "convert/ui.h"

void LShowErrorBox(LWindowHandle, const char* text) { std::fprintf(stderr, "%s\n", text); }
