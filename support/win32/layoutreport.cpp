// Writes the layout report the window tests check for clipped and overlapping controls.
#include "support/win32/layoutreport.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "support/win32/wide.h"

namespace {

std::wstring TextOf(HWND window) {
    const int n = GetWindowTextLengthW(window);
    if (n <= 0) return std::wstring();
    std::wstring text(size_t(n) + 1, L'\0');
    text.resize(size_t(std::max(GetWindowTextW(window, text.data(), n + 1), 0)));
    return text;
}

struct Report {
    HWND window;
    std::string caption;
    FILE* file;
};

BOOL CALLBACK ReportChild(HWND child, LPARAM data) {
    auto* report = reinterpret_cast<Report*>(data);
    // The window may not show yet: a control counts when it is visible itself.
    if (GetParent(child) != report->window || !(GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE))
        return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(child, className, 64);
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, report->window, reinterpret_cast<POINT*>(&r), 2);
    const std::wstring text = TextOf(child);
    HDC dc = GetDC(child);
    auto font = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    RECT line{}, wrapped{0, 0, r.right - r.left, 0};
    DrawTextW(dc, text.c_str(), -1, &line, DT_CALCRECT | DT_SINGLELINE);
    DrawTextW(dc, text.c_str(), -1, &wrapped, DT_CALCRECT | DT_WORDBREAK);
    SelectObject(dc, old);
    ReleaseDC(child, dc);
    std::fprintf(report->file, "%s|%s|%d|%lu|%ld %ld %ld %ld|%ld %ld|%ld\n",
                 report->caption.c_str(), LUtf8(className).c_str(), GetDlgCtrlID(child),
                 static_cast<unsigned long>(GetWindowLongW(child, GWL_STYLE)), r.left, r.top,
                 r.right, r.bottom, line.right, line.bottom, wrapped.bottom);
    return TRUE;
}

}  // namespace

void LReportLayout(HWND window) {
    wchar_t path[MAX_PATH] = {};
    if (!window || !GetEnvironmentVariableW(L"TAMBER_LAYOUT_REPORT", path, MAX_PATH)) return;
    FILE* file = _wfopen(path, L"ab");
    if (!file) return;
    Report report{window, LUtf8(TextOf(window).c_str()), file};
    EnumChildWindows(window, ReportChild, reinterpret_cast<LPARAM>(&report));
    std::fclose(file);
}
