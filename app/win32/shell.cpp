// Shell verb registration under HKEY_CLASSES_ROOT (or the user's own classes) and the program
// folder.
#include "app/shell.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "store/registry.h"
#include "support/file.h"

namespace {

// The file type name of an extension: its key's default value, or "<EXT>file".
void FileTypeName(char* dest, const char* extension) {
    RegistryReadString(LRegistryRoot::ClassesRoot, extension, nullptr, dest, "");
    if (!dest[0])
        std::snprintf(dest, LMAX_PATH, "%sfile", extension[0] == '.' ? extension + 1 : extension);
}

// The same key among the user's own classes, which a standard user may change.
void UserClassKey(char* dest, size_t size, const char* key) {
    std::snprintf(dest, size, "Software\\Classes\\%s", key);
}

// Sets a key's default value among the machine's classes, or else among the user's own.
bool WriteClassValue(const char* key, const char* text) {
    if (RegistryWriteString(LRegistryRoot::ClassesRoot, key, nullptr, text)) return true;
    char user[LMAX_PATH * 2];
    UserClassKey(user, sizeof user, key);
    return RegistryWriteString(LRegistryRoot::CurrentUser, user, nullptr, text);
}

void DeleteClassKey(const char* key) {
    RegistryDeleteKey(LRegistryRoot::ClassesRoot, key);
    char user[LMAX_PATH * 2];
    UserClassKey(user, sizeof user, key);
    RegistryDeleteKey(LRegistryRoot::CurrentUser, user);
}

void AppendFolder(char* dest, const char* name) {
    size_t n = std::strlen(dest);
    if (n && dest[n - 1] != '\\' && dest[n - 1] != '/')
        std::snprintf(dest + n, LMAX_PATH - n, "\\%s", name);
    else
        std::snprintf(dest + n, LMAX_PATH - n, "%s", name);
}

}  // namespace

bool ShellAddVerb(const char* extension, const char* verb, const char* executable) {
    char type[LMAX_PATH], key[LMAX_PATH * 2], command[LMAX_PATH * 2];
    FileTypeName(type, extension);
    std::snprintf(key, sizeof key, "%s\\Shell\\%s\\command", type, verb);
    // The program path in quotes: unquoted, "C:\Program Files\..." would start "C:\Program".
    std::snprintf(command, sizeof command, "\"%s\" \"%%L\"", executable);
    const bool typed = WriteClassValue(extension, type);
    return WriteClassValue(key, command) && typed;
}

void ShellRemoveVerb(const char* extension, const char* verb) {
    char type[LMAX_PATH], key[LMAX_PATH * 2];
    RegistryReadString(LRegistryRoot::ClassesRoot, extension, nullptr, type, "");
    if (!type[0]) return;
    std::snprintf(key, sizeof key, "%s\\Shell\\%s\\command", type, verb);
    DeleteClassKey(key);
    std::snprintf(key, sizeof key, "%s\\Shell\\%s", type, verb);
    DeleteClassKey(key);
}

void ProgramFolder(char* dest) {
    RegistryReadString(LRegistryRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion",
                       "ProgramFilesDir", dest, "C:\\Program Files");
    CreateDirectoryA(dest, nullptr);
    AppendFolder(dest, "Velmora");
    CreateDirectoryA(dest, nullptr);
    AppendFolder(dest, "Tamber");
    // The rights it inherits from the programs folder: users may run the program there, and
    // only administrators may change it.
    CreateDirectoryA(dest, nullptr);
}
