// Dialog templates with the message font: the DIALOGEX header's font replaced, items kept.
#include "support/win32/dlgtemplate.h"

#include <cstring>
#include <cwchar>

namespace {

// The message font at 96 dpi, as a template names a font: face, points, weight, italic, set.
struct TemplateFont {
    wchar_t face[LF_FACESIZE] = {};
    WORD points = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
};

bool MessageFont(TemplateFont& font) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return false;
    const LOGFONTW& lf = metrics.lfMessageFont;
    if (!lf.lfFaceName[0] || lf.lfHeight == 0) return false;
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    // A negative height is the character height in pixels at the system's dpi.
    const int pixels = lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight;
    const int points = MulDiv(pixels, 72, dpi > 0 ? dpi : 96);
    if (points < 6 || points > 24) return false;
    std::wcsncpy(font.face, lf.lfFaceName, LF_FACESIZE - 1);
    font.points = WORD(points);
    font.weight = WORD(lf.lfWeight);
    font.italic = lf.lfItalic ? 1 : 0;
    font.charset = lf.lfCharSet;
    return true;
}

// The size of a zero-ended UTF-16 string from at, in bytes with its zero; 0 past the end.
size_t String(const uint8_t* p, size_t at, size_t size) {
    for (size_t i = at; i + 2 <= size; i += 2)
        if (p[i] == 0 && p[i + 1] == 0) return i + 2 - at;
    return 0;
}

// The size of a menu or class field from at (0x0000, 0xFFFF and an ordinal, or a string), in
// bytes; 0 when it runs past the end.
size_t Field(const uint8_t* p, size_t at, size_t size) {
    if (at + 2 > size) return 0;
    WORD first;
    std::memcpy(&first, p + at, 2);
    if (first == 0x0000) return 2;
    if (first == 0xFFFF) return at + 4 <= size ? 4 : 0;
    return String(p, at, size);
}

}  // namespace

LDialogTemplate::LDialogTemplate(HINSTANCE module, const wchar_t* name) {
    HRSRC found = FindResourceW(module, name, MAKEINTRESOURCEW(5));  // RT_DIALOG
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* p = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    const size_t size = found ? SizeofResource(module, found) : 0;
    if (!p || size < 26) return;
    std::vector<uint8_t> out(p, p + size);
    WORD version, signature;
    std::memcpy(&version, p, 2);
    std::memcpy(&signature, p + 2, 2);
    DWORD style;
    std::memcpy(&style, p + 12, 4);
    TemplateFont font;
    // DIALOGEX: version 1, signature 0xFFFF; help id, extended style, style, item count, place.
    if (version == 1 && signature == 0xFFFF && (style & DS_SETFONT) && MessageFont(font)) {
        size_t at = 26;
        const size_t menu = Field(p, at, size);
        const size_t cls = menu ? Field(p, at + menu, size) : 0;
        const size_t title = cls ? String(p, at + menu + cls, size) : 0;
        at += menu + cls + title;
        // The font: points, weight, italic, character set, face.
        const size_t face = title && at + 6 <= size ? String(p, at + 6, size) : 0;
        if (face) {
            size_t items = at + 6 + face;
            items = (items + 3) & ~size_t(3);
            std::vector<uint8_t> patched(p, p + at);
            const size_t faceBytes = (std::wcslen(font.face) + 1) * 2;
            patched.resize(at + 6 + faceBytes);
            std::memcpy(patched.data() + at, &font.points, 2);
            std::memcpy(patched.data() + at + 2, &font.weight, 2);
            patched[at + 4] = font.italic;
            patched[at + 5] = font.charset;
            std::memcpy(patched.data() + at + 6, font.face, faceBytes);
            patched.resize((patched.size() + 3) & ~size_t(3), 0);
            if (items <= size) patched.insert(patched.end(), p + items, p + size);
            out = std::move(patched);
        }
    }
    bytes_.assign((out.size() + 3) / 4, 0);
    std::memcpy(bytes_.data(), out.data(), out.size());
}
