// User folders from the shell-folder registry values, and folder deletion, on Windows.
#include <windows.h>

#include <cstring>

#include "support/file.h"
#include "support/trace.h"

namespace {

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

bool ShellFolder(char* dest, HKEY root, const char* value) {
    HKEY key;
    if (RegOpenKeyExA(root, kShellFolders, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char buf[LMAX_PATH + 1] = {};
    DWORD type = 0, size = LMAX_PATH;
    LONG rc = RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || !buf[0]) return false;
    LCopyPath(dest, buf);
    return true;
}

// Test hook: with TAMBER_HOME set, the folder is TAMBER_HOME\sub (created on demand).
bool HomeFolder(char* dest, const char* sub) {
    char home[LMAX_PATH];
    DWORD n = GetEnvironmentVariableA("TAMBER_HOME", home, sizeof home);
    if (n == 0 || n >= sizeof home) return false;
    LCopyPath(dest, home);
    CreateDirectoryA(dest, nullptr);
    LFile::FilePathCat(dest, sub);
    CreateDirectoryA(dest, nullptr);
    return true;
}

bool Join(char* dest, const char* folder, const char* name) {
    if (std::strlen(folder) + 1 + std::strlen(name) > LMAX_PATH - 1) return false;
    LCopyPath(dest, folder);
    LFile::FilePathCat(dest, name);
    return true;
}

}  // namespace

void LFile::GetUserDocumentsFolder(char* dest) {
    if (HomeFolder(dest, "Documents") || ShellFolder(dest, HKEY_CURRENT_USER, "Personal")) return;
    GetUserDataFolder(dest);
}

void LFile::GetUserMusicFolder(char* dest) {
    if (HomeFolder(dest, "Music") || ShellFolder(dest, HKEY_CURRENT_USER, "My Music")) return;
    GetUserDocumentsFolder(dest);
}

void LFile::GetUserDataFolder(char* dest) {
    if (HomeFolder(dest, "data") || ShellFolder(dest, HKEY_CURRENT_USER, "AppData")) return;
    LTrace("LFile::GetUserDataFolder FAILED - attempt to use GetSharedDataFolder");
    GetSharedDataFolder(dest);
}

void LFile::GetSharedDataFolder(char* dest) {
    if (HomeFolder(dest, "shared") || ShellFolder(dest, HKEY_LOCAL_MACHINE, "Common AppData"))
        return;
    LCopyPath(dest, "C:\\");
}

void LFile::GetUserConfigFolder(char* dest) {
    if (!HomeFolder(dest, "config")) GetUserDataFolder(dest);
}

void LFile::GetTempFolder(char* dest) {
    if (HomeFolder(dest, "tmp")) return;
    char buf[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof buf, buf);
    if (n == 0 || n >= sizeof buf) {
        LCopyPath(dest, "C:\\");
        return;
    }
    while (n > 3 && LIsPathSeparator(buf[n - 1])) buf[--n] = 0;
    LCopyPath(dest, buf);
}

namespace {

// Calls visit(path, attributes) for each entry of the folder whose name does not start with
// "." (every entry is looked at: the pattern "*." would miss subfolders whose names hold a dot).
template <class Visit>
void ForEachEntry(const char* folder, Visit visit) {
    char pattern[LMAX_PATH];
    if (!Join(pattern, folder, "*")) return;
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA(pattern, &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        char path[LMAX_PATH];
        if (fd.cFileName[0] != '.' && Join(path, folder, fd.cFileName))
            visit(path, fd.dwFileAttributes);
    } while (FindNextFileA(find, &fd));
    FindClose(find);
}

}  // namespace

bool LFile::DeleteFolderAndFiles(const char* folder) {
    if (!folder || !*folder) return false;
    ForEachEntry(folder, [](const char* path, DWORD attributes) {
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) && !DeleteFileA(path))
            LTrace("LFile::DeleteFolderAndFiles unable to DeleteFile:");
    });
    if (!RemoveDirectoryA(folder)) {
        LTrace("LFile::DeleteFolderAndFiles unable to DeleteFolder:");
        return false;
    }
    return true;
}

bool DeleteFolderTree(const char* folder) {
    if (!folder || !*folder) return false;
    // Folders behind a reparse point (links) are not entered.
    ForEachEntry(folder, [](const char* path, DWORD attributes) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            DeleteFolderTree(path);
    });
    return LFile::DeleteFolderAndFiles(folder);
}

bool LWalkFolderTree(const char* folder, const std::function<bool(const char* path)>& visit) {
    bool going = true;
    ForEachEntry(folder, [&](const char* path, DWORD attributes) {
        if (!going) return;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
            going = visit(path);
        else if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            going = LWalkFolderTree(path, visit);
    });
    return going;
}
