// Window, process and registry helpers for the Wine suites, with the headers they all use: wait
// on state, find and answer dialogs, read controls of other processes, start programs.
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
    for (DWORD start = GetTickCount(); GetTickCount() - start < DWORD(ms); Sleep(20)) {
        if (f()) return true;
    }
    return f();
}

// Runs a decoder's record (its input path, then its output path) on the surface.
template <class Rec>
int Decode(FakeProgress& surface, const std::string& in, const std::string& out, Rec rec = {}) {
    std::snprintf(reinterpret_cast<char*>(&rec), sizeof rec.szWavOutFilePath, "%s", in.c_str());
    std::snprintf(rec.szWavOutFilePath, sizeof rec.szWavOutFilePath, "%s", out.c_str());
    return Process(&surface, &rec);
}

// A path of the build tree (or any Unix path) as Windows sees it ("Z:\...").
std::string WinPath(std::string path);
std::string Built(const char* relative);  // under the build tree

// Starts a program with each argument quoted (and the creation flags); the process, or null.
HANDLE Start(const std::string& exe, const std::vector<std::string>& args = {}, DWORD flags = 0);
// Waits for the process to end (ends it when it does not in time) and closes its handle; whether
// it ended in time.
bool Ended(HANDLE process, int ms = 20000);

// A top-level dialog (any process) by caption; the visible one, waited for.
HWND FindDialog(const char* caption);
HWND WaitDialog(const char* caption, int ms = 15000);
// Waits for the dialog, checks (when text is given) that a child shows text, posts the button's
// command and waits until the dialog is gone.
bool Answer(const char* caption, int id, const std::string& text = "", int ms = 15000);
// A control's text; all children's texts.
std::string Text(HWND w);
std::string AllTexts(HWND parent);
bool Shows(HWND parent, const std::string& text);  // some child's text holds it
// A button click as the user makes it (sent: the dialog has reacted when it returns); a command
// posted to a window.
void Click(HWND dlg, int id);
void Command(HWND w, int id);
// The program's main window (either caption), or null.
HWND MainWindow();
// The page a property sheet or wizard shows now.
HWND SheetPage(HWND sheet);
// Runs run() (a call that shows a modal dialog) while another thread waits for the visible
// dialog of that caption and hands it to drive; returns run()'s answer.
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
    Remote(const Remote&) = delete;
    Remote& operator=(const Remote&) = delete;
    std::string ListText(HWND list, int item, int sub = 0);
    // Drops paths on the window as the shell does: a DROPFILES block in the window's process.
    void Drop(HWND w, const std::vector<std::string>& paths);

  private:
    HANDLE proc_;
    char* mem_;
};

// Registry strings: "<no key>" / "<no value>" when missing; a null text deletes the value.
std::string RegRead(HKEY root, const std::string& key, const char* value, DWORD* type = nullptr,
                    DWORD* size = nullptr);
void RegWrite(HKEY root, const std::string& key, const char* value, const char* text);
// The program's own settings (HKLM\Software\Velmora\Tamber\<section>).
std::string Setting(const char* section, const char* value);
void SetSetting(const char* section, const char* value, const char* text);

// True when the captured bytes hold every frame of pcm in order with only silent frames between
// them: Wine's mixer pads an underrun (a loaded machine) with silence.
bool PlayedInOrder(const std::vector<uint8_t>& played, const std::vector<int16_t>& pcm,
                   int channels);

}  // namespace wintest
