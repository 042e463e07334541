// Engine prompts on Windows: message boxes.
#include "convert/ui.h"

#include <windows.h>

void LShowErrorBox(LWindowHandle owner, const char* text) {
    MessageBoxA(static_cast<HWND>(owner), text, nullptr, MB_OK | MB_ICONERROR);
}
