// CD drives by drive letter on Windows.
#include "cd/drives.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "cd/win32/hooks.h"

uint8_t LCDDriveOfLetter(char letter) {
    char root[4] = {letter, ':', '\\', 0};
    char list[512] = {};
    LSCSISystemCalls& sys = LSCSIGetSystemCalls();
    DWORD n = sys.getLogicalDriveStrings(511, list);
    if (n == 0 || n > 511) return LCD_NO_DRIVE;
    int count = 0;
    for (const char* p = list; *p; p += std::strlen(p) + 1) {
        if (sys.getDriveType(p) != DRIVE_CDROM) continue;
        if (lstrcmpiA(p, root) == 0) return uint8_t(count);
        ++count;
    }
    return LCD_NO_DRIVE;
}

uint8_t LCDMapPathToDrive(const char* path) {
    return path && path[0] ? LCDDriveOfLetter(path[0]) : LCD_NO_DRIVE;
}

uint8_t LCDDriveOfArgument(const char* a) {
    if (!a || !a[0]) return LCD_NO_DRIVE;
    // A letter alone, with its colon, or with its root's backslash; otherwise an index.
    const char low = char(a[0] | 0x20);
    if (low >= 'a' && low <= 'z' &&
        (a[1] == 0 || (a[1] == ':' && (a[2] == 0 || (a[2] == '\\' && a[3] == 0)))))
        return LCDDriveOfLetter(a[0]);
    char* end = nullptr;
    const long index = std::strtol(a, &end, 10);
    return *end == 0 && index >= 0 && index < LCD_NO_DRIVE ? uint8_t(index) : LCD_NO_DRIVE;
}

bool LCDTrackArguments(const char*, std::vector<std::string>&, std::vector<uint32_t>&) {
    return false;
}
