// Child processes on POSIX systems: posix_spawn with a pipe on standard input.
#include "external/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "external/posix/childoutput.h"
#include "external/posix/spawn.h"
#include "support/posix/progressline.h"
#include "support/trace.h"

extern char** environ;

namespace {

// Writes to a pipe whose reader is gone must fail with EPIPE instead of ending this program.
void IgnoreBrokenPipes() {
    static const bool done = [] {
        struct sigaction sa {};
        sigaction(SIGPIPE, nullptr, &sa);
        if (sa.sa_handler == SIG_DFL) {
            sa.sa_handler = SIG_IGN;
            sigemptyset(&sa.sa_mask);
            sa.sa_flags = 0;
            sigaction(SIGPIPE, &sa, nullptr);
        }
        return true;
    }();
    (void)done;
}

// Children's standard output and error go to an anonymous memory file each, kept by process id
// until the child is reaped; a child that fails has its output handed to the reporter.
std::atomic<LChildFailureReporter> g_reporter{nullptr};
std::mutex g_outputsLock;
std::map<pid_t, std::pair<int, std::string>> g_outputs;  // fd, program

constexpr off_t kReportedBytes = 4096;  // the end of the output is what explains a failure

void EndOutput(pid_t pid, bool failed) {
    int fd = -1;
    std::string program;
    {
        std::lock_guard<std::mutex> hold(g_outputsLock);
        auto it = g_outputs.find(pid);
        if (it == g_outputs.end()) return;
        fd = it->second.first;
        program = std::move(it->second.second);
        g_outputs.erase(it);
    }
    LChildFailureReporter reporter = g_reporter.load();
    if (failed && reporter) {
        off_t end = lseek(fd, 0, SEEK_END);
        off_t from = end > kReportedBytes ? end - kReportedBytes : 0;
        std::string text(size_t(end > from ? end - from : 0), '\0');
        ssize_t n = pread(fd, text.data(), text.size(), from);
        text.resize(n > 0 ? size_t(n) : 0);
        reporter(program, text);
    }
    close(fd);
}

// Spawns the command line; stdinFd >= 0 becomes the child's standard input, otherwise it is
// /dev/null; standard output and error are captured (/dev/null when no memory file can be made).
// The child gets default signal handling back and its own process group, the nearest thing to a new
// console here.
pid_t Spawn(const char* commandLine, int stdinFd) {
    std::vector<std::string> args = LSplitCommandLine(commandLine);
    if (args.empty()) return 0;
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    LInitChildSpawnAttributes(attr);
    if (stdinFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdinFd, 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    // The child's own chatter (banners, warnings) reaches no terminal.
    const int output = memfd_create("tamber-child-output", MFD_CLOEXEC);
    if (output >= 0) {
        posix_spawn_file_actions_adddup2(&actions, output, 1);
        posix_spawn_file_actions_adddup2(&actions, output, 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = 0;
    int rc = posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        if (output >= 0) close(output);
        return 0;
    }
    if (output >= 0) {
        std::string program = args[0];
        if (size_t slash = program.find_last_of('/'); slash != std::string::npos)
            program.erase(0, slash + 1);
        std::lock_guard<std::mutex> hold(g_outputsLock);
        g_outputs[pid] = {output, std::move(program)};
    }
    return pid;
}

}  // namespace

void LSetChildFailureReporter(LChildFailureReporter reporter) {
    g_reporter = reporter;
}

bool LChildProcess::StartHidden(const char* commandLine) {
    Release();
    pid_t pid = Spawn(commandLine, -1);
    if (pid <= 0) return false;
    handle_ = pid;
    ended_ = false;
    return true;
}

bool LChildProcess::WaitFor(uint32_t ms) {
    if (handle_ == kNone || ended_) return true;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    auto nap = std::chrono::microseconds(500);
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid_t(handle_), &status, WNOHANG);
        if (r == pid_t(handle_) || (r < 0 && errno != EINTR)) {
            ended_ = true;
            badExit_ = r == pid_t(handle_) && !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            EndOutput(pid_t(handle_), badExit_);
            return true;
        }
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
        std::this_thread::sleep_for(std::min(nap, left));
        nap = std::min(nap * 2, std::chrono::microseconds(10000));
    }
}

void LChildProcess::Kill() {
    if (handle_ == kNone || ended_) return;
    // The child leads its own process group: whatever it started goes with it.
    if (kill(-pid_t(handle_), SIGKILL) != 0) kill(pid_t(handle_), SIGKILL);
    int status = 0;
    while (waitpid(pid_t(handle_), &status, 0) < 0 && errno == EINTR) {
    }
    ended_ = true;
    badExit_ = true;
}

void LChildProcess::Release() {
    if (handle_ == kNone) return;
    if (!ended_ && !WaitFor(0)) {
        // Left running: reap it whenever it ends so that it leaves no zombie behind.
        pid_t pid = pid_t(handle_);
        std::thread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            EndOutput(pid, false);  // nobody waits for this one's result any more
        }).detach();
    }
    handle_ = kNone;
    ended_ = false;
    badExit_ = false;
}

bool LPipeOut::Open(const char* commandLine) {
    Close();
    IgnoreBrokenPipes();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        LTrace("LPipeOut::Open CreatePipe FAILED");
        return false;
    }
    fcntl(fds[1], F_SETPIPE_SZ, 65536);
    fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
    pid_t pid = Spawn(commandLine, fds[0]);
    close(fds[0]);
    if (pid <= 0) {
        LTrace("LPipeOut::Open CreateProcess FAILED");
        close(fds[1]);
        return false;
    }
    process_.handle_ = pid;
    process_.ended_ = false;
    write_ = fds[1];
    return true;
}

bool LPipeOut::Write(const void* data, int32_t bytes) {
    if (write_ == kNoPipe || bytes < 0) return false;
    const char* p = static_cast<const char*>(data);
    while (bytes > 0) {
        ssize_t n = write(int(write_), p, size_t(bytes));
        if (n > 0) {
            p += n;
            bytes -= int32_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        // The pipe is full: wait until the encoder takes some of it (a stop ends the wait).
        pollfd pfd{int(write_), POLLOUT, 0};
        int r = poll(&pfd, 1, int(stallLimitMs));
        if (LInterruptRequested()) {
            CloseWriteEnd();
            return false;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) {
            LTrace("LPipeOut::Write encoder takes no input");
            CloseWriteEnd();
            return false;
        }
        if (r < 0) return false;
    }
    return true;
}

void LPipeOut::CloseWriteEnd() {
    if (write_ == kNoPipe) return;
    close(int(write_));
    write_ = kNoPipe;
}
