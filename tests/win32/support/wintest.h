// Window, process and registry helpers for the Wine suites, with the headers they all use.
#pragma once

#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/fakeprogress.h"
#include "tests/support/testutil.h"

namespace fs = std::filesystem;

namespace wintest {

using testutil::FakeProgress;

// Polls f every 20 ms until it holds or ms have passed; returns its last answer.
template <class F>
bool WaitFor(F f, int ms = 15000) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < DWORD(ms); Sleep(20))
        if (f()) return true;
    return f();
}

// Runs a decoder's record (its input path, then its output path) on the surface.
template <class Rec, int (*Body)(LProgressDialog*, Rec*)>
int Decode(FakeProgress& surface, const std::string& in, const std::string& out, Rec rec = {}) {
    std::snprintf(reinterpret_cast<char*>(&rec), sizeof rec.szWavOutFilePath, "%s", in.c_str());
    std::snprintf(rec.szWavOutFilePath, sizeof rec.szWavOutFilePath, "%s", out.c_str());
    return Body(&surface, &rec);
}

// A path of the build tree (or any Unix path) as Windows sees it ("Z:\...").
std::string WinPath(std::string path);
std::string Built(const char* relative);  // under the build tree

// Starts a program with each argument quoted (and the creation flags); the process, or null.
HANDLE Start(const std::string& exe, const std::vector<std::string>& args = {}, DWORD flags = 0);
// Whether the process ended in time (else it is ended); closes its handle.
bool Ended(HANDLE process, int ms = 20000);

// The visible top-level dialog (any process) of that caption, waited for (0: now), or null.
HWND WaitDialog(const char* caption, int ms = 15000);
// Waits for the dialog, checks a child shows text (if given), posts id, waits until it is gone.
bool Answer(const char* caption, int id, const std::string& text = "", int ms = 15000);
std::string Text(HWND w);                          // a control's text
bool Shows(HWND parent, const std::string& text);  // some child's text holds it
// A button click, sent (the dialog has reacted on return); a command, posted.
void Click(HWND dlg, int id);
void Command(HWND w, int id);
// The program's main window (either caption), or null.
HWND MainWindow();
HWND SheetPage(HWND sheet);
// Runs run() (which shows a modal dialog) while another thread hands that dialog to drive.
template <class Drive, class Run>
auto Driving(const char* caption, Drive drive, Run run) {
    std::thread t([&] {
        if (HWND d = WaitDialog(caption)) drive(d);
    });
    auto result = run();
    t.join();
    return result;
}

// Memory inside a window's process for the messages that carry pointers.
class Remote {
  public:
    explicit Remote(HWND w);
    ~Remote();
    std::string ListText(HWND list, int item, int sub = 0);
    // Drops paths on the window as the shell does: a DROPFILES block in the window's process.
    void Drop(HWND w, const std::vector<std::string>& paths);

  private:
    HANDLE proc_;
    char* mem_;
};

// Registry strings: "<none>" when missing; a null text deletes the value.
std::string RegRead(HKEY root, const std::string& key, const char* value, DWORD* type = nullptr,
                    DWORD* size = nullptr);
void RegWrite(HKEY root, const std::string& key, const char* value, const char* text);
// The program's own settings (HKLM\Software\Velmora\Tamber\<section>).
std::string Setting(const char* section, const char* value);
void SetSetting(const char* section, const char* value, const char* text);

}  // namespace wintest
