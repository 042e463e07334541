// Stand-in for a component installer in the Windows suites: records the component's "Path"
// (the component is named by this program's own file name). A copy whose name starts with
// "hang" never finishes in time and records nothing.
#include <windows.h>

#include <cctype>
#include <string>

int main() {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string name = self;
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    if (name.rfind("hang", 0) == 0) {
        Sleep(8000);
        return 0;
    }
    std::string key = "Software\\Velmora\\Components\\" + name;
    std::string path = "C:\\Components\\" + name + ".exe";
    HKEY h;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                        nullptr) != ERROR_SUCCESS)
        return 1;
    RegSetValueExA(h, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   DWORD(path.size() + 1));
    RegCloseKey(h);
    return 0;
}
