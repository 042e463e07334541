// The finishing step after a good extraction, and the removal step of the uninstaller.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/shell.h"
#include "external/components.h"
#include "setup/payload.h"
#include "setup/win32/links.h"
#include "setup/win32/setup.h"
#include "store/registry.h"
#include "store/settings.h"
#include "support/byteorder.h"
#include "support/file.h"
#include "support/win32/procaddress.h"

namespace {

constexpr const char* kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tamber";

void Join(char* dest, const char* folder, const char* name) {
    std::snprintf(dest, MAX_PATH, "%s\\%s", folder, name);
}

bool AppendWord(const char* path, uint32_t word) {
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    uint8_t bytes[4];
    StoreLE32(bytes, word);
    DWORD put = 0;
    const bool ok = SetFilePointer(f, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
                    WriteFile(f, bytes, 4, &put, nullptr) && put == 4;
    CloseHandle(f);
    return ok;
}

// Moves the installed encoder into the shared component folder and registers it.
void InstallEncoderComponent(const char* lame) {
    HANDLE in =
        CreateFileA(lame, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in != INVALID_HANDLE_VALUE) {
        const DWORD size = GetFileSize(in, nullptr);
        std::vector<char> bytes(size == INVALID_FILE_SIZE ? 0 : size);
        DWORD got = 0;
        const bool read = size != INVALID_FILE_SIZE &&
                          ReadFile(in, bytes.data(), size, &got, nullptr) && got == size;
        CloseHandle(in);
        char folder[MAX_PATH], target[MAX_PATH];
        RegistryReadString(LRegistryRoot::LocalMachine,
                           "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
                           folder, "C:\\Program Files");
        for (const char* level : {"Velmora", "Components", "mp3el"}) {
            Join(target, folder, level);
            std::snprintf(folder, sizeof folder, "%s", target);
            CreateDirectoryA(folder, nullptr);
        }
        Join(target, folder, "mp3enc.exe");
        HANDLE out = read
                         ? CreateFileA(target, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)
                         : INVALID_HANDLE_VALUE;
        if (out != INVALID_HANDLE_VALUE) {
            DWORD put = 0;
            const bool all = WriteFile(out, bytes.data(), got, &put, nullptr) && put == got;
            CloseHandle(out);
            char key[MAX_PATH];
            ComponentKeyPath(key, "mp3el");
            if (all) RegistryWriteString(LRegistryRoot::LocalMachine, key, "Path", target);
        }
    }
    DeleteFileA(lame);
}

}  // namespace

void SetupFinish(const char* folder) {
    char exe[MAX_PATH], uninst[MAX_PATH], path[MAX_PATH], text[2 * MAX_PATH];
    Join(exe, folder, "tamber.exe");
    char group[MAX_PATH];
    const bool startMenu = SetupStartMenuGroup(group);
    if (startMenu) {
        CreateDirectoryA(group, nullptr);
        SetupStartMenuItem(path, "Tamber");
        SetupCreateLink(path, exe);
    }
    SetupDesktopLink(path);
    SetupCreateLink(path, exe);

    Join(uninst, folder, "uninst.exe");
    CopyFileA(exe, uninst, FALSE);
    RegistryWriteString(LRegistryRoot::LocalMachine, kUninstallKey, "DisplayName",
                        "Tamber Uninstall");
    RegistryWriteString(LRegistryRoot::LocalMachine, kUninstallKey, "UninstallString", uninst);
    AppendWord(exe, 0);
    AppendWord(uninst, LSETUP_UNINSTALL_MODE);

    Join(path, folder, "lame.exe");
    InstallEncoderComponent(path);

    if (startMenu) {
        char help[MAX_PATH];
        Join(help, folder, "tamber.hlp");
        SetupStartMenuItem(path, "Tamber Help");
        SetupCreateLink(path, help);
    }
    SettingsWriteString("Folders", "ProgramFiles", folder);
    SettingsWriteString("Folders", "DataFiles", folder);
    std::snprintf(text, sizeof text, "\"%s\" \"%%s\"", exe);
    SettingsWriteString("Settings", "Convert", text);
    std::snprintf(text, sizeof text, "\"%s\" %%s", exe);
    SettingsWriteString("Settings", "Load", text);
    for (const char* extension : kShellExtensions) ShellAddVerb(extension, LSHELL_VERB, exe);

    // Quoted: a folder with blanks would otherwise start "C:\Program.exe" first.
    std::snprintf(text, sizeof text, "\"%s\" /install", exe);
    WinExec(text, SW_SHOWNORMAL);
}

void SetupRemove(const char* folder) {
    char path[MAX_PATH];
    SetupDesktopLink(path);
    DeleteFileA(path);
    RegistryDeleteKey(LRegistryRoot::LocalMachine, kUninstallKey);
    for (const char* item : {"Tamber", "Tamber Help"}) {
        if (SetupStartMenuItem(path, item)) DeleteFileA(path);
    }
    if (SetupStartMenuGroup(path)) RemoveDirectoryA(path);
    LFile::DeleteFolderAndFiles(folder);
    std::snprintf(path, sizeof path, "%s", folder);
    if (char* cut = std::strrchr(path, '\\')) {
        *cut = 0;
        RemoveDirectoryA(path);  // "Velmora", when nothing else is in it
    }
    for (const char* extension : kShellExtensions) ShellRemoveVerb(extension, LSHELL_VERB);

    if (HMODULE shlwapi = LoadLibraryA("shlwapi")) {
        using DeleteKey = LONG(WINAPI*)(HKEY, LPCSTR);
        if (auto del = LProcAddress<DeleteKey>(shlwapi, "SHDeleteKeyA")) {
            del(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Tamber");
            del(HKEY_CURRENT_USER, "Software\\Velmora\\Tamber");
        }
        if (auto del = LProcAddress<DeleteKey>(shlwapi, "SHDeleteEmptyKeyA")) {
            del(HKEY_LOCAL_MACHINE, "Software\\Velmora");
            del(HKEY_CURRENT_USER, "Software\\Velmora");
        }
        FreeLibrary(shlwapi);
    }
}
