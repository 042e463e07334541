// Child processes on POSIX systems: posix_spawn with a pipe on standard input.
#include "external/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/falloc.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "external/posix/childoutput.h"
#include "external/posix/spawn.h"
#include "support/posix/childgroups.h"
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
struct Output {
    int fd = -1;
    std::string program;
    off_t freed = 0;  // the bytes before this offset have been given back (a hole)
};
std::mutex g_outputsLock;
std::map<pid_t, Output> g_outputs;

constexpr off_t kReportedBytes = 4096;  // the end of the output is what explains a failure
// What a chatty child's output may hold in memory: past twice this, all but the last
// kKeptBytes is given back (the file keeps its size, its start reads as zeros).
constexpr off_t kKeptBytes = 65536;

// Keeps the captured output of a running child within its bound.
void BoundOutput(pid_t pid) {
    std::lock_guard<std::mutex> hold(g_outputsLock);
    auto it = g_outputs.find(pid);
    if (it == g_outputs.end()) return;
    struct stat st;
    Output& o = it->second;
    if (fstat(o.fd, &st) != 0 || st.st_size - o.freed <= 2 * kKeptBytes) return;
    const off_t upTo = st.st_size - kKeptBytes;
    if (fallocate(o.fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, o.freed, upTo - o.freed) == 0)
        o.freed = upTo;
}

void EndOutput(pid_t pid, bool failed) {
    int fd = -1;
    std::string program;
    {
        std::lock_guard<std::mutex> hold(g_outputsLock);
        auto it = g_outputs.find(pid);
        if (it == g_outputs.end()) return;
        fd = it->second.fd;
        program = std::move(it->second.program);
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

// True while a process of the group still runs (ended ones that wait for their parent to
// reap them, zombies, write nothing any more and do not count).
bool GroupRuns(pid_t group) {
    DIR* proc = opendir("/proc");
    if (!proc) return kill(-group, 0) == 0;
    bool runs = false;
    while (dirent* e = readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        char path[64], text[512];
        std::snprintf(path, sizeof path, "/proc/%s/stat", e->d_name);
        FILE* f = std::fopen(path, "r");
        if (!f) continue;
        const size_t n = std::fread(text, 1, sizeof text - 1, f);
        std::fclose(f);
        text[n] = 0;
        // "pid (name) state ppid pgrp ...": the name may hold blanks, so read after its ")".
        const char* close = std::strrchr(text, ')');
        char state = 0;
        int parent = 0, pgrp = 0;
        if (close && std::sscanf(close + 1, " %c %d %d", &state, &parent, &pgrp) == 3 &&
            pgrp == group && state != 'Z' && state != 'X') {
            runs = true;
            break;
        }
    }
    closedir(proc);
    return runs;
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
    LNoteChildGroup(pid);
    if (output >= 0) {
        std::string program = args[0];
        if (size_t slash = program.find_last_of('/'); slash != std::string::npos)
            program.erase(0, slash + 1);
        std::lock_guard<std::mutex> hold(g_outputsLock);
        g_outputs[pid] = {output, std::move(program), 0};
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
            // Only an exit code 0 seen here is a success: a child whose end cannot be seen
            // (ECHILD, when something reaped it for us) failed as far as anyone can tell.
            LForgetChildGroup(pid_t(handle_));
            ended_ = true;
            badExit_ = r != pid_t(handle_) || !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            if (r != pid_t(handle_)) LTrace("LChildProcess::WaitFor the child's end is unknown");
            EndOutput(pid_t(handle_), badExit_);
            return true;
        }
        BoundOutput(pid_t(handle_));
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
        std::this_thread::sleep_for(std::min(nap, left));
        nap = std::min(nap * 2, std::chrono::microseconds(10000));
    }
}

void LChildProcess::Kill() {
    if (handle_ == kNone || ended_) return;
    const pid_t pid = pid_t(handle_);
    // The child leads its own process group: whatever it started goes with it.
    if (kill(-pid, SIGKILL) != 0) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    // The rest of the group is gone a moment later; until then it may still write into the
    // files that its caller is about to release (a temporary slot, an output).
    for (int ms = 0; ms < kGroupEndWaitMs && GroupRuns(pid); ++ms) usleep(1000);
    LForgetChildGroup(pid);
    EndOutput(pid, false);  // ended on purpose: its output explains nothing
    ended_ = true;
    badExit_ = true;
}

void LChildProcess::Release() {
    if (handle_ == kNone) return;
    if (!ended_ && !WaitFor(0)) Kill();
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
        BoundOutput(pid_t(process_.handle_));
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

std::string LChildPath(const char* path) {
    return path ? path : "";
}
