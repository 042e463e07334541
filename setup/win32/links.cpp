// Shell links through IShellLink and the folders they go into.
#include "setup/win32/links.h"

#include <windows.h>
// windows.h first.
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>

#include "store/registry.h"

namespace {

constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The machine's folder, else the user's own, else fallback.
void ShellFolder(char* dest, const char* common, const char* own, const char* fallback) {
    RegistryReadString(LRegistryRoot::LocalMachine, kShellFolders, common, dest, "");
    if (!dest[0])
        RegistryReadString(LRegistryRoot::CurrentUser, kShellFolders, own, dest, fallback);
}

}  // namespace

bool SetupCreateLink(const char* linkPath, const char* target) {
    CoInitialize(nullptr);
    bool saved = false;
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        link->SetPath(target);
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            wchar_t wide[MAX_PATH] = {};
            MultiByteToWideChar(CP_ACP, 0, linkPath, -1, wide, MAX_PATH);
            saved = SUCCEEDED(file->Save(wide, TRUE));
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return saved;
}

bool SetupStartMenuGroup(char* dest) {
    char programs[MAX_PATH];
    ShellFolder(programs, "Common Programs", "Programs", "");
    if (!programs[0]) return false;
    const int n = std::snprintf(dest, MAX_PATH, "%s\\Tamber", programs);
    return n > 0 && n < MAX_PATH;
}

bool SetupStartMenuItem(char* dest, const char* name) {
    char group[MAX_PATH];
    if (!SetupStartMenuGroup(group)) return false;
    const int n = std::snprintf(dest, MAX_PATH, "%s\\%s.lnk", group, name);
    return n > 0 && n < MAX_PATH;
}

void SetupDesktopLink(char* dest) {
    char desktop[MAX_PATH];
    ShellFolder(desktop, "Common Desktop", "Desktop", "c:\\Windows\\Desktop");
    std::snprintf(dest, MAX_PATH, "%s\\Tamber.lnk", desktop);
}
