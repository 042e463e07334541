// User folders and folder deletion on POSIX systems (XDG base directories).
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/file.h"
#include "support/trace.h"

namespace {

// Copies a folder path without its trailing separators (a lone "/" stays).
void CopyPath(char* dest, const char* src) {
    LCopyPath(dest, src);
    size_t n = std::strlen(dest);
    while (n > 1 && dest[n - 1] == '/') dest[--n] = 0;
}

const char* Env(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? v : nullptr;
}

const char* HomeFolder() {
    if (const char* h = Env("HOME")) return h;
    const passwd* pw = getpwuid(getuid());
    return pw && pw->pw_dir ? pw->pw_dir : "/tmp";
}

bool IsFolder(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates the folder and its missing parents (mkdir -p); failures show up later when used.
void MakeFolders(const char* path) {
    if (IsFolder(path)) return;  // the usual case: one look instead of a mkdir per level
    char buf[LMAX_PATH];
    CopyPath(buf, path);
    for (char* p = buf + 1; *p; ++p) {
        if (*p != '/') continue;
        *p = 0;
        ::mkdir(buf, 0777);
        *p = '/';
    }
    ::mkdir(buf, 0777);
}

// Creates the folder (mode 0700) unless present; true when it is a real folder (not a link)
// owned by this user, its rights then narrowed to the user alone.
bool PrivateFolder(const char* path) {
    ::mkdir(path, 0700);
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
              ((st.st_mode & 077) == 0 || ::fchmod(fd, 0700) == 0);
    ::close(fd);
    return ok;
}

// A folder under TAMBER_HOME when that is set, else the base folder (joined with sub when given).
void Folder(char* dest, const char* homeSub, const char* base, const char* sub, bool create) {
    dest[0] = 0;
    if (const char* home = Env("TAMBER_HOME")) {
        CopyPath(dest, home);
        LFile::FilePathCat(dest, homeSub);
        create = true;
    } else {
        CopyPath(dest, base);
        if (sub) LFile::FilePathCat(dest, sub);
    }
    if (create) MakeFolders(dest);
}

// $VAR, or the home folder joined with fallback.
void XdgBase(char* dest, const char* var, const char* fallback) {
    if (const char* v = Env(var); v && v[0] == '/') {
        CopyPath(dest, v);
        return;
    }
    CopyPath(dest, HomeFolder());
    LFile::FilePathCat(dest, fallback);
}

// Joins folder and name; false when the result would not fit (never act on a cut path).
bool Join(char* dest, const char* folder, const char* name) {
    if (std::strlen(folder) + 1 + std::strlen(name) > LMAX_PATH - 1) return false;
    CopyPath(dest, folder);
    LFile::FilePathCat(dest, name);
    return true;
}

// A folder named in the user's XDG user-dirs file (for example XDG_DOCUMENTS_DIR="$HOME/..."),
// when that names an existing folder.
bool UserDirsFolder(char* dest, const char* name) {
    char file[LMAX_PATH];
    XdgBase(file, "XDG_CONFIG_HOME", ".config");
    LFile::FilePathCat(file, "user-dirs.dirs");
    FILE* f = std::fopen(file, "r");
    if (!f) return false;
    char line[1024];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f)) {
        char key[64];
        std::snprintf(key, sizeof key, "%s=\"", name);
        if (std::strncmp(line, key, std::strlen(key)) != 0) continue;
        char* value = line + std::strlen(key);
        char* end = std::strchr(value, '"');
        if (!end) break;
        *end = 0;
        char path[LMAX_PATH];
        int n;
        if (std::strncmp(value, "$HOME", 5) == 0 && (value[5] == '/' || value[5] == 0))
            n = std::snprintf(path, sizeof path, "%s%s", HomeFolder(), value + 5);
        else if (value[0] == '/')
            n = std::snprintf(path, sizeof path, "%s", value);
        else
            break;
        // A folder name too long for a path buffer would be cut into another folder's name.
        if (n < 0 || n >= int(sizeof path)) break;
        if (IsFolder(path)) {
            CopyPath(dest, path);
            found = true;
        }
    }
    std::fclose(f);
    return found;
}

}  // namespace

void LFile::GetUserDocumentsFolder(char* dest) {
    char base[LMAX_PATH];
    if (const char* d = Env("XDG_DOCUMENTS_DIR"); d && IsFolder(d)) {
        CopyPath(base, d);
    } else if (!UserDirsFolder(base, "XDG_DOCUMENTS_DIR")) {
        CopyPath(base, HomeFolder());
        char docs[LMAX_PATH];
        CopyPath(docs, base);
        FilePathCat(docs, "Documents");
        if (IsFolder(docs)) CopyPath(base, docs);
    }
    Folder(dest, "Documents", base, nullptr, false);
}

void LFile::GetUserMusicFolder(char* dest) {
    char base[LMAX_PATH];
    if (const char* d = Env("XDG_MUSIC_DIR"); d && IsFolder(d)) {
        CopyPath(base, d);
    } else if (!UserDirsFolder(base, "XDG_MUSIC_DIR")) {
        CopyPath(base, HomeFolder());
        FilePathCat(base, "Music");
        if (!IsFolder(base) && !Env("TAMBER_HOME")) {
            GetUserDocumentsFolder(dest);
            return;
        }
    }
    Folder(dest, "Music", base, nullptr, false);
}

void LFile::GetUserDataFolder(char* dest) {
    char base[LMAX_PATH];
    XdgBase(base, "XDG_DATA_HOME", ".local/share");
    Folder(dest, "data", base, "tamber", true);
}

void LFile::GetUserConfigFolder(char* dest) {
    char base[LMAX_PATH];
    XdgBase(base, "XDG_CONFIG_HOME", ".config");
    Folder(dest, "config", base, "tamber", true);
}

void LFile::GetSharedDataFolder(char* dest) {
    // Machine-wide data: the system's state folder; usually written only by an administrator.
    Folder(dest, "shared", "/var/lib", "tamber", false);
}

void LFile::GetTempFolder(char* dest) {
    // Temporary files and their locks go into a folder of this user's own: in the shared /tmp
    // anyone could foresee, take or link the names of the slots.
    char base[LMAX_PATH];
    char name[32] = "tmp";
    const char* home = Env("TAMBER_HOME");
    if (home) {
        CopyPath(base, home);
        MakeFolders(base);
    } else {
        const char* tmp = Env("TMPDIR");
        CopyPath(base, tmp && IsFolder(tmp) ? tmp : "/tmp");
        std::snprintf(name, sizeof name, "tamber-%u", unsigned(::geteuid()));
    }
    if (Join(dest, base, name) && PrivateFolder(dest)) return;
    if (!home) {
        // Someone else holds that name: the user's cache folder serves instead.
        XdgBase(base, "XDG_CACHE_HOME", ".cache");
        LFile::FilePathCat(base, "tamber");
        MakeFolders(base);
        if (Join(dest, base, "tmp") && PrivateFolder(dest)) return;
    }
    LTrace("LFile::GetTempFolder no private temporary folder:");
    dest[0] = 0;
}

namespace {

// Calls visit(path, isFolder, size) for each entry of the folder whose name does not start with
// "." (a link is no folder here: it is never entered; the size is that of the regular file it
// leads to, 0 for anything else).
template <class Visit>
void ForEachEntry(const char* folder, Visit visit) {
    DIR* dir = ::opendir(folder);
    if (!dir) return;
    while (const dirent* e = ::readdir(dir)) {
        char path[LMAX_PATH];
        if (e->d_name[0] == '.' || !Join(path, folder, e->d_name)) continue;
        struct stat st;
        const bool seen = ::lstat(path, &st) == 0;
        const bool isFolder = seen && S_ISDIR(st.st_mode);
        // What a link leads to gives its size; anything but a regular file has none.
        const bool file =
            seen && (S_ISREG(st.st_mode) ||
                     (S_ISLNK(st.st_mode) && ::stat(path, &st) == 0 && S_ISREG(st.st_mode)));
        visit(path, isFolder, file ? uint64_t(st.st_size) : uint64_t(0));
    }
    ::closedir(dir);
}

}  // namespace

bool LFile::DeleteFolderAndFiles(const char* folder) {
    if (!folder || !*folder) return false;
    ForEachEntry(folder, [](const char* path, bool isFolder, uint64_t) {
        if (!isFolder && ::unlink(path) != 0)
            LTrace("LFile::DeleteFolderAndFiles unable to DeleteFile:");
    });
    if (::rmdir(folder) != 0) {
        LTrace("LFile::DeleteFolderAndFiles unable to DeleteFolder:");
        return false;
    }
    return true;
}

bool DeleteFolderTree(const char* folder) {
    if (!folder || !*folder) return false;
    ForEachEntry(folder, [](const char* path, bool isFolder, uint64_t) {
        if (isFolder) DeleteFolderTree(path);
    });
    return LFile::DeleteFolderAndFiles(folder);
}

bool LWalkFolderTree(const char* folder,
                     const std::function<bool(const char* path, uint64_t size)>& visit) {
    bool going = true;
    ForEachEntry(folder, [&](const char* path, bool isFolder, uint64_t size) {
        if (going) going = isFolder ? LWalkFolderTree(path, visit) : visit(path, size);
    });
    return going;
}
