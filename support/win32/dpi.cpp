// Window dpi through the per-monitor functions where the system has them, and message fonts.
#include "support/win32/dpi.h"

#include <map>
#include <mutex>

namespace {

template <class F>
F User32(const char* name) {
    HMODULE user = GetModuleHandleW(L"user32.dll");
    return user ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user, name)))
                : nullptr;
}

UINT SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? UINT(dpi) : 96;
}

}  // namespace

UINT LWindowDpi(HWND window) {
    using ForWindow = UINT(WINAPI*)(HWND);
    static const ForWindow forWindow = User32<ForWindow>("GetDpiForWindow");
    const UINT dpi = forWindow && window ? forWindow(window) : 0;
    return dpi >= 48 ? dpi : SystemDpi();
}

HFONT LMessageFont(UINT dpi) {
    static std::mutex lock;
    static std::map<UINT, HFONT> fonts;
    std::lock_guard<std::mutex> hold(lock);
    if (HFONT font = fonts[dpi]) return font;
    using ForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    static const ForDpi forDpi = User32<ForDpi>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    bool got = forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    if (!got && SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        // The system's own dpi: scaled to the one asked for.
        metrics.lfMessageFont.lfHeight =
            MulDiv(metrics.lfMessageFont.lfHeight, int(dpi), int(SystemDpi()));
        got = true;
    }
    if (!got) {
        metrics.lfMessageFont = LOGFONTW{};
        metrics.lfMessageFont.lfHeight = -MulDiv(9, int(dpi), 72);
        lstrcpyW(metrics.lfMessageFont.lfFaceName, L"Segoe UI");
    }
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    fonts[dpi] = font;
    return font;
}

int LImageSizeForDpi(UINT dpi) {
    if (dpi < 120) return 16;
    if (dpi < 168) return 24;
    if (dpi < 240) return 32;
    return 48;
}
