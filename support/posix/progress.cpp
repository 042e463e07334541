// The headless progress surface: a progress line on standard error, Ctrl+C cancels.
#include "support/progress.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "support/posix/childgroups.h"
#include "support/posix/progressline.h"
#include "support/thread.h"
#include "support/trace.h"
#include "support/waitable.h"

namespace {

// Ctrl+C while a process runs asks it to stop; a second Ctrl+C ends the program at once, with
// every child it started.
volatile sig_atomic_t g_interrupted = 0;
int g_depth = 0;  // nested Run calls (user-interface thread only)
struct sigaction g_oldAction;

void OnInterrupt(int) {
    if (g_interrupted) {
        LEndChildrenAndProgram(SIGINT);
        return;
    }
    g_interrupted = 1;
}

void InstallInterrupt() {
    if (g_depth++ > 0) return;
    g_interrupted = 0;
    struct sigaction sa = {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, &g_oldAction);
}

void RemoveInterrupt() {
    if (--g_depth > 0) return;
    sigaction(SIGINT, &g_oldAction, nullptr);
}

bool IsTerminal() {
    static const bool tty = isatty(STDERR_FILENO) != 0;
    return tty;
}

void CopyText(char* dest, size_t size, const char* text) {
    std::snprintf(dest, size, "%s", text ? text : "");
}

std::atomic<LProgressLineFormatter> g_formatter{nullptr};

// Milliseconds to sleep next: at most 10, never past the remaining time.
uint32_t Slice(uint32_t remaining) {
    return remaining < 10 ? remaining : 10;
}

}  // namespace

bool LInterruptRequested() {
    return g_interrupted != 0;
}

// Access for the free helpers that draw the line.
struct LProgressDialogAccess {
    static void ClearBar(LProgressDialog& d) {
        if (d.barShown_) std::fputs("\r\033[K", stderr);
        d.barShown_ = false;
    }
    static void DrawBar(LProgressDialog& d) {
        if (!IsTerminal()) return;
        char bar[21];
        int filled = d.percent_ < 0 ? 0 : d.percent_ / 5;
        for (int i = 0; i < 20; ++i) bar[i] = i < filled ? '#' : '.';
        bar[20] = 0;
        const char* what = d.text_[0][0] ? d.text_[0] : d.title_;
        if (LProgressLineFormatter f = g_formatter.load()) {
            char line[512];
            f(line, sizeof line, what ? what : "", d.text_[1], d.percent_ < 0 ? 0 : d.percent_);
            std::fprintf(stderr, "\r\033[K%s", line);
        } else {
            std::fprintf(stderr, "\r\033[K%.30s %.30s [%s] %3d%%", what ? what : "", d.text_[1],
                         bar, d.percent_ < 0 ? 0 : d.percent_);
        }
        std::fflush(stderr);
        d.barShown_ = true;
    }
};

void LSetProgressLineFormatter(LProgressLineFormatter formatter) {
    g_formatter = formatter;
}

LProgressDialog::LProgressDialog(const char* title) : title_(title ? title : "") {}

LProgressDialog::~LProgressDialog() = default;

bool LProgressDialog::Run(LWindowHandle owner) {
    if (window_) {
        LTrace("LProgressDialog::Open Called when already open!");
        return false;
    }
    stop_ = false;
    percent_ = -1;
    text_[0][0] = text_[1][0] = 0;
    InstallInterrupt();
    window_ = this;
    bool result = ProcessBody();
    LProgressDialogAccess::ClearBar(*this);
    window_ = nullptr;
    RemoveInterrupt();
    return result;
}

bool LProgressDialog::PumpMessages() {
    // Notifications from worker threads run here, as posted messages would on Windows.
    LThreadQueuedNotify::DeliverPending();
    if (window_ && (stop_ || g_interrupted)) {
        LProgressDialogAccess::ClearBar(*this);
        window_ = nullptr;
    }
    return window_ == nullptr;
}

void LProgressDialog::SetText(const char* text, int line) {
    if (!window_ || line < 0 || line > 1) return;
    char next[sizeof text_[0]];
    CopyText(next, sizeof next, text);
    if (std::strcmp(next, text_[line]) == 0) return;
    std::memcpy(text_[line], next, sizeof next);
    if (IsTerminal()) {
        LProgressDialogAccess::DrawBar(*this);
    } else if (text_[line][0] && !g_formatter.load()) {
        std::fprintf(stderr, "%s\n", text_[line]);
    }
}

void LProgressDialog::SetProgress(double fraction) {
    if (!window_) return;
    int percent = static_cast<int>(fraction * 100);
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    if (percent == percent_) return;
    percent_ = percent;
    LProgressDialogAccess::DrawBar(*this);
}

int LProgressDialog::WaitTimed(uint32_t ms) {
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (PumpMessages()) return LPROCESS_STOPPED;
        auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
        if (ms != LWAIT_INFINITE && elapsed >= ms) return 0;
        uint32_t remaining = ms == LWAIT_INFINITE ? 10 : ms - static_cast<uint32_t>(elapsed);
        std::this_thread::sleep_for(std::chrono::milliseconds(Slice(remaining)));
    }
}

int LProgressDialog::WaitForObject(LWaitable& object, uint32_t ms) {
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
        uint32_t remaining = ms == LWAIT_INFINITE ? 10
                             : elapsed >= ms      ? 0
                                                  : ms - static_cast<uint32_t>(elapsed);
        if (object.WaitFor(Slice(remaining))) return 0;
        if (PumpMessages()) return LPROCESS_STOPPED;
        if (remaining == 0) return LPROCESS_FAILED;
    }
}

void LProgressDialog::ShowError(const char* text) {
    LProgressDialogAccess::ClearBar(*this);
    std::fprintf(stderr, "%s\n", text ? text : "");
    std::fflush(stderr);
}

void LProgressDialog::RequestStop() {
    stop_ = true;
}

void LProgressDialog::SetRows(int) {}

void LProgressDialog::SetRow(int, const char*, double) {}
