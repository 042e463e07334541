// Child processes on Windows: hidden consoles and the anonymous pipe into an encoder.
#include "external/process.h"

#include <windows.h>

#include <mutex>
#include <string>

#include "support/trace.h"
#include "support/win32/wide.h"

namespace {

HANDLE AsHandle(intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

// The text in the ANSI code page, or false when that cannot hold it.
bool FitsAnsi(const std::wstring& wide) {
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0,
                                      nullptr, &lossy);
    return n > 0 && !lossy;
}

// The short form of an existing path, or the empty text.
std::wstring ShortForm(const std::wstring& path) {
    wchar_t buffer[MAX_PATH * 2];
    const DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH * 2);
    return n > 0 && n < MAX_PATH * 2 ? std::wstring(buffer, n) : std::wstring();
}

}  // namespace

std::string LChildPath(const char* path) {
    const std::wstring wide = LWide(path);
    if (FitsAnsi(wide)) return path ? path : "";
    std::wstring shorter = ShortForm(wide);
    if (shorter.empty()) {
        // Not made yet: the folder's short form and the name, where the name fits.
        const size_t cut = wide.find_last_of(L"\\/");
        if (cut != std::wstring::npos) {
            const std::wstring folder = ShortForm(wide.substr(0, cut));
            if (!folder.empty()) shorter = folder + wide.substr(cut);
        }
    }
    return !shorter.empty() && FitsAnsi(shorter) ? LUtf8(shorter.c_str()) : std::string(path);
}

bool LChildProcess::StartHidden(const char* commandLine) {
    Release();
    // The command line is UTF-8 here; the child gets it in UTF-16, so any file name reaches it.
    std::wstring cmd = LWide(commandLine);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                        nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    handle_ = reinterpret_cast<intptr_t>(pi.hProcess);
    ended_ = false;
    return true;
}

bool LChildProcess::WaitFor(uint32_t ms) {
    if (handle_ == kNone || ended_) return true;
    DWORD r = WaitForSingleObject(AsHandle(handle_), ms);
    if (r == WAIT_TIMEOUT) return false;
    ended_ = true;
    DWORD code = 0;
    badExit_ = r == WAIT_OBJECT_0 && GetExitCodeProcess(AsHandle(handle_), &code) && code != 0;
    return true;
}

void LChildProcess::Kill() {
    if (handle_ == kNone || ended_) return;
    TerminateProcess(AsHandle(handle_), 1);
    // The process's files are closed once it is gone, so that its output can be deleted.
    WaitForSingleObject(AsHandle(handle_), 5000);
    ended_ = true;
    badExit_ = true;
}

void LChildProcess::Release() {
    if (handle_ == kNone) return;
    if (!ended_ && !WaitFor(0)) Kill();
    CloseHandle(AsHandle(handle_));
    handle_ = kNone;
    ended_ = false;
    badExit_ = false;
}

namespace {
// Pipes and the encoders they feed are made one at a time: an encoder started by another thread
// while this pipe's ends can be inherited would hold them, and neither would ever see the end of
// its input.
std::mutex g_inheritLock;
}  // namespace

bool LPipeOut::Open(const char* commandLine) {
    Close();
    std::lock_guard<std::mutex> inheriting(g_inheritLock);
    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof sa;
    sa.bInheritHandle = TRUE;
    HANDLE readEnd = nullptr;
    HANDLE writeInheritable = nullptr;
    // A megabyte of sound in the pipe keeps the encoder busy while this side waits for room
    // without spinning (several encoders at once would lose a core to that).
    if (!CreatePipe(&readEnd, &writeInheritable, &sa, 1 << 20)) {
        LTrace("LPipeOut::Open CreatePipe FAILED");
        return false;
    }
    // The encoder must not hold the write end, or it would never see the end of its input.
    HANDLE writeEnd = nullptr;
    HANDLE self = GetCurrentProcess();
    BOOL dup =
        DuplicateHandle(self, writeInheritable, self, &writeEnd, 0, FALSE, DUPLICATE_SAME_ACCESS);
    CloseHandle(writeInheritable);
    if (!dup) {
        LTrace("LPipeOut::Open DuplicateHandle FAILED");
        CloseHandle(readEnd);
        return false;
    }

    std::wstring cmd = LWide(commandLine);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    si.hStdInput = readEnd;
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    BOOL started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE,
                                  nullptr, nullptr, &si, &pi);
    CloseHandle(readEnd);
    if (!started) {
        LTrace("LPipeOut::Open CreateProcess FAILED");
        CloseHandle(writeEnd);
        return false;
    }
    CloseHandle(pi.hThread);
    // Writes return at once with what fitted, so that an encoder that stops reading cannot
    // hold this program for ever; where that mode is refused the writes simply block.
    DWORD mode = PIPE_NOWAIT;
    SetNamedPipeHandleState(writeEnd, &mode, nullptr, nullptr);
    process_.handle_ = reinterpret_cast<intptr_t>(pi.hProcess);
    process_.ended_ = false;
    write_ = reinterpret_cast<intptr_t>(writeEnd);
    return true;
}

bool LPipeOut::Write(const void* data, int32_t bytes) {
    if (write_ == kNoPipe || bytes < 0) return false;
    const char* p = static_cast<const char*>(data);
    DWORD idleSince = 0;
    int idleRounds = 0;
    while (bytes > 0) {
        DWORD done = 0;
        if (!WriteFile(AsHandle(write_), p, DWORD(bytes), &done, nullptr)) return false;
        if (done > 0) {
            p += done;
            bytes -= int32_t(done);
            idleRounds = 0;
            continue;
        }
        // The pipe is full (the write end does not block): give the encoder time to read.
        if (idleRounds++ == 0) idleSince = GetTickCount();
        if (GetTickCount() - idleSince >= stallLimitMs) {
            LTrace("LPipeOut::Write encoder takes no input");
            CloseWriteEnd();
            return false;
        }
        Sleep(1);
    }
    return true;
}

void LPipeOut::CloseWriteEnd() {
    if (write_ == kNoPipe) return;
    CloseHandle(AsHandle(write_));
    write_ = kNoPipe;
}
