// The configuration store on Windows: REG_SZ values in the registry, UTF-16 there and UTF-8 here.
#include "store/registry.h"

#include <windows.h>

#include <cstring>

#include "support/file.h"
#include "support/win32/wide.h"

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

std::wstring NameOrDefault(const char* valueName) {
    return LWide(valueName ? valueName : "");
}

}  // namespace

bool RegistryReadString(LRegistryRoot root, const char* keyPath, const char* valueName, char* out,
                        const char* defaultText) {
    out[0] = 0;
    HKEY key;
    if (RegOpenKeyExW(RootKey(root), LWide(keyPath).c_str(), 0, KEY_QUERY_VALUE, &key) ==
        ERROR_SUCCESS) {
        wchar_t buffer[LMAX_PATH + 1];
        DWORD size = LMAX_PATH * sizeof(wchar_t);
        DWORD type = 0;
        LONG rc = RegQueryValueExW(key, NameOrDefault(valueName).c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
        if (rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
            buffer[size / sizeof(wchar_t)] = 0;
            // A value whose text does not fit is not read at all, rather than cut.
            if (LUtf8To(out, LMAX_PATH, buffer)) return true;
        }
    }
    LCopyPath(out, defaultText ? defaultText : "");
    return false;
}

bool RegistryWriteString(LRegistryRoot root, const char* keyPath, const char* valueName,
                         const char* text) {
    HKEY key;
    // Set-value access only: a key may allow that to a user who may not change its rights.
    if (RegCreateKeyExW(RootKey(root), LWide(keyPath).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring wide = LWide(text);
    const LONG rc = RegSetValueExW(key, NameOrDefault(valueName).c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(wide.c_str()),
                                   DWORD((wide.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

void RegistryDeleteValue(LRegistryRoot root, const char* keyPath, const char* valueName) {
    HKEY key;
    if (RegOpenKeyExW(RootKey(root), LWide(keyPath).c_str(), 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, NameOrDefault(valueName).c_str());
    RegCloseKey(key);
}

bool RegistryDeleteKey(LRegistryRoot root, const char* keyPath) {
    return RegDeleteKeyW(RootKey(root), LWide(keyPath).c_str()) == ERROR_SUCCESS;
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
