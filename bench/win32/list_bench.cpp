// The window's list with many files (tamber.exe under Wine): adding 1 000 and 10 000 files by a
// drop of their folder and by a start that names the folder, and removing them all, timed.
//   scripts/wine-run build/win32/tests/list_bench.exe
#include <chrono>
#include <cstdio>
#include <string>

#include "tests/win32/support/wintest.h"

namespace {

using namespace wintest;
using Clock = std::chrono::steady_clock;

// Seconds until the list holds `count` entries (-1: not within a minute).
double Until(HWND list, int count, Clock::time_point start) {
    if (!WaitFor([&] { return ListView_GetItemCount(list) == count; }, 60000)) return -1;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Run(const std::string& exe, const std::vector<std::string>& args) {
    HANDLE p = Start(exe, args);
    WaitForSingleObject(p, 60000);
    CloseHandle(p);
}

}  // namespace

int main() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string root = std::string(temp) + "tamber-list-bench", exe = Built("tamber.exe");
    CreateDirectoryA(root.c_str(), nullptr);
    HANDLE main = Start(exe, {});
    HWND w = nullptr;
    if (!WaitFor([&] { return (w = MainWindow()) && IsWindowVisible(w); })) {
        std::printf("list_bench: the window did not appear\n");
        return 1;
    }
    HWND list = GetDlgItem(w, 102);
    Remote remote(w);
    for (int n : {1000, 10000}) {
        const std::string folder = root + "\\" + std::to_string(n);
        CreateDirectoryA(folder.c_str(), nullptr);
        for (int i = 0; i < n; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "\\%05d track.wav", i);
            HANDLE f = CreateFileA((folder + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, 0, nullptr);
            DWORD done = 0;
            WriteFile(f, "RIFF....WAVE", 12, &done, nullptr);
            CloseHandle(f);
        }
        auto start = Clock::now();
        remote.Drop(w, {folder});
        const double dropped = Until(list, n, start);
        start = Clock::now();
        Run(exe, {"-clear"});
        const double cleared = Until(list, 0, start);
        start = Clock::now();
        Run(exe, {folder});
        const double named = Until(list, n, start);
        Run(exe, {"-clear"});
        std::printf(
            "list_bench: %5d files: drop %.2f s, start naming the folder %.2f s, "
            "removing all %.2f s\n",
            n, dropped, named, cleared);
        std::fflush(stdout);
    }
    PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
    WaitForSingleObject(main, 15000);
    return 0;
}
