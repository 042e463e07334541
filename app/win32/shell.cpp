// Shell verb registration under HKEY_CLASSES_ROOT and the program folder with open access.
#include "app/shell.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "app/registry.h"
#include "support/file.h"

namespace {

// The file type name of an extension: its key's default value, or "<EXT>file".
void FileTypeName(char* dest, const char* extension) {
    RegistryReadString(LRegistryRoot::ClassesRoot, extension, nullptr, dest, "");
    if (!dest[0])
        std::snprintf(dest, LMAX_PATH, "%sfile", extension[0] == '.' ? extension + 1 : extension);
}

void CreateOpenFolder(const char* path) {
    SECURITY_DESCRIPTOR sd;
    alignas(DWORD) BYTE aclBuffer[1024];
    PSID world = nullptr;
    SID_IDENTIFIER_AUTHORITY worldAuthority = SECURITY_WORLD_SID_AUTHORITY;
    bool ok =
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
        AllocateAndInitializeSid(&worldAuthority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                 &world) &&
        InitializeAcl(reinterpret_cast<PACL>(aclBuffer), sizeof aclBuffer, ACL_REVISION) &&
        AddAccessAllowedAceEx(reinterpret_cast<PACL>(aclBuffer), ACL_REVISION,
                              OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, GENERIC_ALL, world) &&
        SetSecurityDescriptorDacl(&sd, TRUE, reinterpret_cast<PACL>(aclBuffer), FALSE);
    if (ok) {
        SECURITY_ATTRIBUTES sa = {sizeof sa, &sd, FALSE};
        CreateDirectoryA(path, &sa);
    } else {
        CreateDirectoryA(path, nullptr);
    }
    if (world) FreeSid(world);
}

void AppendFolder(char* dest, const char* name) {
    size_t n = std::strlen(dest);
    if (n && dest[n - 1] != '\\' && dest[n - 1] != '/')
        std::snprintf(dest + n, LMAX_PATH - n, "\\%s", name);
    else
        std::snprintf(dest + n, LMAX_PATH - n, "%s", name);
}

}  // namespace

void ShellAddVerb(const char* extension, const char* verb, const char* executable) {
    char type[LMAX_PATH], key[LMAX_PATH * 2], command[LMAX_PATH * 2];
    FileTypeName(type, extension);
    RegistryWriteString(LRegistryRoot::ClassesRoot, extension, nullptr, type);
    std::snprintf(key, sizeof key, "%s\\Shell\\%s\\command", type, verb);
    std::snprintf(command, sizeof command, "%s \"%%L\"", executable);
    RegistryWriteString(LRegistryRoot::ClassesRoot, key, nullptr, command);
}

void ShellRemoveVerb(const char* extension, const char* verb) {
    char type[LMAX_PATH], key[LMAX_PATH * 2];
    RegistryReadString(LRegistryRoot::ClassesRoot, extension, nullptr, type, "");
    if (!type[0]) return;
    std::snprintf(key, sizeof key, "%s\\Shell\\%s\\command", type, verb);
    RegistryDeleteKey(LRegistryRoot::ClassesRoot, key);
    std::snprintf(key, sizeof key, "%s\\Shell\\%s", type, verb);
    RegistryDeleteKey(LRegistryRoot::ClassesRoot, key);
}

void ProgramFolder(char* dest) {
    RegistryReadString(LRegistryRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion",
                       "ProgramFilesDir", dest, "C:\\Program Files");
    CreateDirectoryA(dest, nullptr);
    AppendFolder(dest, "Velmora");
    CreateDirectoryA(dest, nullptr);
    AppendFolder(dest, "Tamber");
    CreateOpenFolder(dest);
}
