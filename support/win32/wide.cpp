// UTF-8 and UTF-16 conversions for the wide Windows API.
#include "support/win32/wide.h"

#include <windows.h>

#include <cstring>

std::wstring LWide(const char* utf8) {
    if (!utf8 || !*utf8) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), n);
    wide.resize(size_t(n - 1));
    return wide;
}

std::string LUtf8(const wchar_t* wide, int length) {
    if (!wide || length == 0 || (length < 0 && !*wide)) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string text(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, length, text.data(), n, nullptr, nullptr);
    if (length < 0) text.resize(size_t(n - 1));
    return text;
}

bool LUtf8To(char* dest, size_t size, const wchar_t* wide) {
    const std::string text = LUtf8(wide);
    if (size == 0) return false;
    if (text.size() + 1 > size) {
        dest[0] = 0;
        return false;
    }
    std::memcpy(dest, text.c_str(), text.size() + 1);
    return true;
}
