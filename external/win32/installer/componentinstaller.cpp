// The installer of one install-on-demand component: copies the executable it carries into the
// components folder and records its path where the program looks it up. Exit code 0 on success.
#include <windows.h>
// windows.h first
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "external/win32/installer/componentpayload.h"
#include "support/byteorder.h"

namespace {

// The carried executable and its name, read from this program's own file.
bool ReadPayload(std::string& name, std::vector<uint8_t>& program) {
    char self[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    HANDLE f = CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    bool ok = false;
    LARGE_INTEGER size;
    uint8_t trailer[kComponentTrailerBytes];
    DWORD got = 0;
    LARGE_INTEGER at;
    if (GetFileSizeEx(f, &size) && size.QuadPart > LONGLONG(kComponentTrailerBytes)) {
        at.QuadPart = size.QuadPart - LONGLONG(kComponentTrailerBytes);
        ok = SetFilePointerEx(f, at, nullptr, FILE_BEGIN) &&
             ReadFile(f, trailer, sizeof trailer, &got, nullptr) && got == sizeof trailer &&
             std::memcmp(trailer + kComponentNameBytes + 4, kComponentMagic,
                         kComponentMagicBytes) == 0;
    }
    if (ok) {
        const uint32_t bytes = LoadLE32(trailer + kComponentNameBytes);
        name.assign(reinterpret_cast<const char*>(trailer),
                    strnlen(reinterpret_cast<const char*>(trailer), kComponentNameBytes));
        for (char c : name)
            ok = ok && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'));
        ok = ok && !name.empty() && bytes > 0 && LONGLONG(bytes) <= at.QuadPart;
        if (ok) {
            program.resize(bytes);
            at.QuadPart -= bytes;
            ok = SetFilePointerEx(f, at, nullptr, FILE_BEGIN) &&
                 ReadFile(f, program.data(), bytes, &got, nullptr) && got == bytes;
        }
    }
    CloseHandle(f);
    return ok;
}

// "<Program Files>\Velmora\Components", made when missing.
bool ComponentsFolder(std::string& folder) {
    char base[MAX_PATH];
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, base))) return false;
    folder = base;
    for (const char* part : {"\\Velmora", "\\Components"}) {
        folder += part;
        if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return true;
}

// Written under a passing name first, so that a copy cut short never takes the program's place.
bool WriteProgram(const std::string& path, const std::vector<uint8_t>& program) {
    const std::string passing = path + ".new";
    HANDLE f = CreateFileA(passing.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    const bool written =
        WriteFile(f, program.data(), DWORD(program.size()), &put, nullptr) && put == program.size();
    const bool closed = CloseHandle(f);
    if (written && closed &&
        MoveFileExA(passing.c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileA(passing.c_str());
    return false;
}

bool RecordPath(const std::string& name, const std::string& path) {
    const std::string key = "Software\\Velmora\\Components\\" + name;
    HKEY k;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const LONG r = RegSetValueExA(k, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                                  DWORD(path.size() + 1));
    RegCloseKey(k);
    return r == ERROR_SUCCESS;
}

}  // namespace

int main() {
    std::string name, folder;
    std::vector<uint8_t> program;
    if (!ReadPayload(name, program) || !ComponentsFolder(folder)) return 1;
    const std::string path = folder + "\\" + name + ".exe";
    return WriteProgram(path, program) && RecordPath(name, path) ? 0 : 1;
}
