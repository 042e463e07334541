// The configuration store on Windows: REG_SZ values in the registry.
#include "store/registry.h"

#include <windows.h>

#include <cstring>

#include "support/file.h"

namespace {

HKEY RootKey(LRegistryRoot root) {
    switch (root) {
        case LRegistryRoot::LocalMachine:
            return HKEY_LOCAL_MACHINE;
        case LRegistryRoot::CurrentUser:
            return HKEY_CURRENT_USER;
        case LRegistryRoot::ClassesRoot:
            return HKEY_CLASSES_ROOT;
    }
    return HKEY_CURRENT_USER;
}

const char* NameOrDefault(const char* valueName) {
    return valueName ? valueName : "";
}

}  // namespace

bool RegistryReadString(LRegistryRoot root, const char* keyPath, const char* valueName, char* out,
                        const char* defaultText) {
    out[0] = 0;
    HKEY key;
    if (RegOpenKeyExA(RootKey(root), keyPath, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        char buffer[LMAX_PATH + 1];
        DWORD size = LMAX_PATH;
        DWORD type = 0;
        LONG rc = RegQueryValueExA(key, NameOrDefault(valueName), nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
        if (rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
            buffer[size < LMAX_PATH ? size : LMAX_PATH] = 0;
            LCopyPath(out, buffer);
            return true;
        }
    }
    LCopyPath(out, defaultText ? defaultText : "");
    return false;
}

bool RegistryWriteString(LRegistryRoot root, const char* keyPath, const char* valueName,
                         const char* text) {
    HKEY key;
    // Set-value access only: a key may allow that to a user who may not change its rights.
    if (RegCreateKeyExA(RootKey(root), keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG rc =
        RegSetValueExA(key, NameOrDefault(valueName), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text), DWORD(std::strlen(text) + 1));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

void RegistryDeleteValue(LRegistryRoot root, const char* keyPath, const char* valueName) {
    HKEY key;
    if (RegOpenKeyExA(RootKey(root), keyPath, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, NameOrDefault(valueName));
    RegCloseKey(key);
}

bool RegistryDeleteKey(LRegistryRoot root, const char* keyPath) {
    return RegDeleteKeyA(RootKey(root), keyPath) == ERROR_SUCCESS;
}

void RegistryHoldWrites() {}

bool RegistryReleaseWrites() {
    return true;
}

void RegistryStoreFolder(char* dest) {
    dest[0] = 0;
}

bool RegistryUnreadableFile(char* dest) {
    dest[0] = 0;
    return false;
}
