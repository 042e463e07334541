// User folders from the shell-folder registry values, and folder deletion, on Windows.
#include <windows.h>

#include <cstring>

#include "support/file.h"
#include "support/trace.h"
#include "support/win32/wide.h"

namespace {

const wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

bool ShellFolder(char* dest, HKEY root, const wchar_t* value) {
    HKEY key;
    if (RegOpenKeyExW(root, kShellFolders, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    wchar_t buf[MAX_PATH + 1] = {};
    DWORD type = 0, size = MAX_PATH * sizeof(wchar_t);
    LONG rc = RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || !buf[0]) return false;
    return LUtf8To(dest, LMAX_PATH, buf);
}

// Test hook: with TAMBER_HOME set, the folder is TAMBER_HOME\sub (created on demand).
bool HomeFolder(char* dest, const char* sub) {
    wchar_t home[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"TAMBER_HOME", home, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || !LUtf8To(dest, LMAX_PATH, home)) return false;
    CreateDirectoryW(LWide(dest).c_str(), nullptr);
    LFile::FilePathCat(dest, sub);
    CreateDirectoryW(LWide(dest).c_str(), nullptr);
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
    if (HomeFolder(dest, "Documents") || ShellFolder(dest, HKEY_CURRENT_USER, L"Personal")) return;
    GetUserDataFolder(dest);
}

void LFile::GetUserMusicFolder(char* dest) {
    if (HomeFolder(dest, "Music") || ShellFolder(dest, HKEY_CURRENT_USER, L"My Music")) return;
    GetUserDocumentsFolder(dest);
}

void LFile::GetUserDataFolder(char* dest) {
    if (HomeFolder(dest, "data") || ShellFolder(dest, HKEY_CURRENT_USER, L"AppData")) return;
    LTrace("LFile::GetUserDataFolder FAILED - attempt to use GetSharedDataFolder");
    GetSharedDataFolder(dest);
}

void LFile::GetSharedDataFolder(char* dest) {
    if (HomeFolder(dest, "shared") || ShellFolder(dest, HKEY_LOCAL_MACHINE, L"Common AppData"))
        return;
    LCopyPath(dest, "C:\\");
}

void LFile::GetUserConfigFolder(char* dest) {
    if (!HomeFolder(dest, "config")) GetUserDataFolder(dest);
}

void LFile::GetTempFolder(char* dest) {
    if (HomeFolder(dest, "tmp")) return;
    wchar_t buf[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, buf);
    if (n == 0 || n > MAX_PATH) {
        LCopyPath(dest, "C:\\");
        return;
    }
    while (n > 3 && (buf[n - 1] == L'\\' || buf[n - 1] == L'/')) buf[--n] = 0;
    if (!LUtf8To(dest, LMAX_PATH, buf)) LCopyPath(dest, "C:\\");
}

namespace {

// Calls visit(path, find data) for each entry of the folder whose name does not start with
// "." (every entry is looked at: the pattern "*." would miss subfolders whose names hold a dot).
template <class Visit>
void ForEachEntry(const char* folder, Visit visit) {
    char pattern[LMAX_PATH];
    if (!Join(pattern, folder, "*")) return;
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(LWide(pattern).c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        // A name that does not fit a path buffer is passed over, never cut into another.
        char name[LMAX_PATH], path[LMAX_PATH];
        if (fd.cFileName[0] != L'.' && LUtf8To(name, sizeof name, fd.cFileName) &&
            Join(path, folder, name))
            visit(path, fd);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

// A found file's size; a link's listing gives its own, so the file it leads to is asked.
uint64_t FoundSize(const char* path, const WIN32_FIND_DATAW& fd) {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return (uint64_t(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    HANDLE file = CreateFileW(LWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    LARGE_INTEGER size{};
    const bool known = GetFileSizeEx(file, &size) != 0;
    CloseHandle(file);
    return known && size.QuadPart > 0 ? uint64_t(size.QuadPart) : 0;
}

}  // namespace

bool LFile::DeleteFolderAndFiles(const char* folder) {
    if (!folder || !*folder) return false;
    ForEachEntry(folder, [](const char* path, const WIN32_FIND_DATAW& fd) {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !DeleteFileW(LWide(path).c_str()))
            LTrace("LFile::DeleteFolderAndFiles unable to DeleteFile:");
    });
    if (!RemoveDirectoryW(LWide(folder).c_str())) {
        LTrace("LFile::DeleteFolderAndFiles unable to DeleteFolder:");
        return false;
    }
    return true;
}

bool DeleteFolderTree(const char* folder) {
    if (!folder || !*folder) return false;
    // Folders behind a reparse point (links) are not entered.
    ForEachEntry(folder, [](const char* path, const WIN32_FIND_DATAW& fd) {
        const DWORD attributes = fd.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            DeleteFolderTree(path);
    });
    return LFile::DeleteFolderAndFiles(folder);
}

bool LWalkFolderTree(const char* folder,
                     const std::function<bool(const char* path, uint64_t size)>& visit) {
    bool going = true;
    ForEachEntry(folder, [&](const char* path, const WIN32_FIND_DATAW& fd) {
        if (!going) return;
        const DWORD attributes = fd.dwFileAttributes;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
            going = visit(path, FoundSize(path, fd));
        else if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            going = LWalkFolderTree(path, visit);
    });
    return going;
}
