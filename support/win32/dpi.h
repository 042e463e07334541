// Dots per inch of a window's monitor, scaling from 96-dpi units, and the system's message font.
#pragma once

#include <windows.h>

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// The window's dpi: its monitor's where the system tells it (Windows 10), else the system's.
UINT LWindowDpi(HWND window);
// A length in 96-dpi units at that dpi, and back.
inline int LScaleToDpi(int length96, UINT dpi) {
    return MulDiv(length96, int(dpi), 96);
}
inline int LScaleFromDpi(int length, UINT dpi) {
    return MulDiv(length, 96, int(dpi));
}
// The system's message font at that dpi (kept for the program's life, one per dpi).
HFONT LMessageFont(UINT dpi);
// The image size for that dpi: 16, 24, 32 or 48 pixels.
int LImageSizeForDpi(UINT dpi);
