// Window, process and registry helpers for the Wine suites.
#include "tests/win32/support/wintest.h"

#include <algorithm>
#include <cstring>

#include "support/win32/wide.h"

namespace wintest {

namespace {

BOOL CALLBACK AddText(HWND w, LPARAM all) {
    *reinterpret_cast<std::string*>(all) += Text(w) + "\n";
    return TRUE;
}

std::string AllTexts(HWND parent) {
    std::string all;
    EnumChildWindows(parent, AddText, reinterpret_cast<LPARAM>(&all));
    return all;
}

}  // namespace

std::string WinPath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return !path.empty() && path[0] == '\\' ? "Z:" + path : path;
}

std::string Built(const char* relative) {
    return WinPath(std::string(TAMBER_BINARY_DIR) + "/" + relative);
}

HANDLE Start(const std::string& exe, const std::vector<std::string>& args, DWORD flags) {
    std::string line = "\"" + exe + "\"";
    for (const std::string& a : args) line += " \"" + a + "\"";
    std::wstring wide = LWide(line.c_str());  // UTF-8 arguments arrive as they are
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(LWide(exe.c_str()).c_str(), wide.data(), nullptr, nullptr, FALSE, flags,
                        nullptr, nullptr, &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

bool Ended(HANDLE process, int ms) {
    if (!process) return false;
    const bool ended = WaitForSingleObject(process, DWORD(ms)) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(process, 1);
    CloseHandle(process);
    return ended;
}

HWND WaitDialog(const char* caption, int ms) {
    HWND w = nullptr;
    const auto shown = [&] {
        return (w = FindWindowA(MAKEINTATOM(0x8002), caption)) && IsWindowVisible(w);
    };
    return WaitFor(shown, ms) ? w : nullptr;
}

HWND MainWindow() {
    HWND w = FindWindowA(MAKEINTATOM(0x8002), "Tamber Plus");
    return w ? w : FindWindowA(MAKEINTATOM(0x8002), "Tamber");
}

HWND SheetPage(HWND sheet) {
    return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

bool Answer(const char* caption, int id, const std::string& text, int ms) {
    HWND box = WaitDialog(caption, ms);
    if (!box) return false;
    EXPECT_TRUE(text.empty() || Shows(box, text)) << caption << ": " << AllTexts(box);
    Command(box, id);
    return WaitFor([&] { return !IsWindow(box); }, ms);
}

std::string Text(HWND w) {
    wchar_t buf[4096] = {};
    SendMessageW(w, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buf));
    return LUtf8(buf);
}

void Click(HWND dlg, int id) {
    SendMessageA(GetDlgItem(dlg, id), BM_CLICK, 0, 0);
}

void Command(HWND w, int id) {
    PostMessageA(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

bool Shows(HWND parent, const std::string& text) {
    return AllTexts(parent).find(text) != std::string::npos;
}

Remote::Remote(HWND w) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    proc_ = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
    mem_ = static_cast<char*>(
        VirtualAllocEx(proc_, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

Remote::~Remote() {
    VirtualFreeEx(proc_, mem_, 0, MEM_RELEASE);
    CloseHandle(proc_);
}

std::string Remote::ListText(HWND list, int item, int sub) {
    LVITEMW it{};
    it.iSubItem = sub;
    it.pszText = reinterpret_cast<wchar_t*>(mem_ + 512);
    it.cchTextMax = 1024;
    WriteProcessMemory(proc_, mem_, &it, sizeof it, nullptr);
    SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(mem_));
    wchar_t buf[1024] = {};
    ReadProcessMemory(proc_, mem_ + 512, buf, sizeof buf - sizeof(wchar_t), nullptr);
    return LUtf8(buf);
}

void Remote::Drop(HWND w, const std::vector<std::string>& paths) {
    std::vector<char> block(20, 0);
    block[0] = 20;  // offset of the names
    block[16] = 1;  // in UTF-16, as the shell drops them
    for (const std::string& p : paths) {
        const std::wstring wide = LWide(p.c_str());
        const char* bytes = reinterpret_cast<const char*>(wide.c_str());
        block.insert(block.end(), bytes, bytes + (wide.size() + 1) * sizeof(wchar_t));
    }
    block.insert(block.end(), {0, 0});
    // The receiver frees the block (DragFinish), so it gets its own.
    void* mem =
        VirtualAllocEx(proc_, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    WriteProcessMemory(proc_, mem, block.data(), block.size(), nullptr);
    PostMessageA(w, WM_DROPFILES, reinterpret_cast<WPARAM>(mem), 0);
}

std::string RegRead(HKEY root, const std::string& key, const char* value, DWORD* type,
                    DWORD* size) {
    HKEY k;
    if (RegOpenKeyExW(root, LWide(key.c_str()).c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return "<none>";
    wchar_t buf[600] = {};
    DWORD n = sizeof buf - sizeof(wchar_t);
    const LONG r = RegQueryValueExW(k, value ? LWide(value).c_str() : nullptr, nullptr, type,
                                    reinterpret_cast<BYTE*>(buf), &n);
    if (size) *size = n;
    RegCloseKey(k);
    return r == ERROR_SUCCESS ? LUtf8(buf) : "<none>";
}

void RegWrite(HKEY root, const std::string& key, const char* value, const char* text) {
    const std::wstring wideKey = LWide(key.c_str()), name = LWide(value);
    if (text) {
        const std::wstring wide = LWide(text);
        RegSetKeyValueW(root, wideKey.c_str(), value ? name.c_str() : nullptr, REG_SZ, wide.c_str(),
                        DWORD((wide.size() + 1) * sizeof(wchar_t)));
    } else {
        RegDeleteKeyValueW(root, wideKey.c_str(), value ? name.c_str() : nullptr);
    }
}

std::string Setting(const char* section, const char* value) {
    return RegRead(HKEY_LOCAL_MACHINE, std::string("Software\\Velmora\\Tamber\\") + section, value);
}

void SetSetting(const char* section, const char* value, const char* text) {
    RegWrite(HKEY_LOCAL_MACHINE, std::string("Software\\Velmora\\Tamber\\") + section, value, text);
}

}  // namespace wintest
