// The parallel batch: entries planned in list order here, converted by child processes.
#include "cli/batch.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/clihost.h"
#include "convert/job.h"
#include "external/posix/spawn.h"
#include "store/registry.h"

extern char** environ;

namespace {

volatile sig_atomic_t g_interrupts = 0;

void OnInterrupt(int) {
    g_interrupts = g_interrupts + 1;
}

struct Running {
    int index;
    pid_t pid;
    int output;  // the child's standard error (a memory file)
    std::string input, written;
    int ended = -1;  // readable when the child has ended (-1 where the system has no such file)
};

// Waits until a child ends, Ctrl+C arrives, or the progress line is due again (a short poll
// where the system cannot tell a child's end through a file).
void WaitForChange(const std::vector<Running>& running) {
    std::vector<pollfd> fds;
    bool all = true;
    for (const Running& r : running) {
        if (r.ended >= 0)
            fds.push_back({r.ended, POLLIN, 0});
        else
            all = false;
    }
    poll(fds.data(), fds.size(), all && !fds.empty() ? 200 : 5);
}

// Starts "tamber -jobs 1 -format ext -outfolder folder input -convert" in its own process
// group (Ctrl+C reaches it through this process only), standard error into a memory file.
bool Start(Running& r, const char* ext, const char* folder) {
    char self[LMAX_PATH * 4];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return false;
    self[n] = 0;
    std::vector<std::string> args = {self,         "-jobs", "1",     "-format", ext,
                                     "-outfolder", folder,  r.input, "-convert"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.push_back(*e);
    env.push_back(std::string(kBatchChildVariable) + "=1");
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    r.output = memfd_create("tamber-batch-entry", MFD_CLOEXEC);
    if (r.output < 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    LInitChildSpawnAttributes(attr);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, r.output, 2);
    const int rc = posix_spawn(&r.pid, self, &actions, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        close(r.output);
        return false;
    }
#ifdef SYS_pidfd_open
    r.ended = int(syscall(SYS_pidfd_open, r.pid, 0));
#endif
    return true;
}

// What the child said (its messages), shown as it said them.
void Relay(int fd) {
    const off_t end = lseek(fd, 0, SEEK_END);
    std::string text(size_t(end > 0 ? end : 0), '\0');
    const ssize_t n = pread(fd, text.data(), text.size(), 0);
    if (n > 0) std::fwrite(text.data(), 1, size_t(n), stderr);
    close(fd);
}

// Two entries that must not run at once: one writes or replaces a file the other reads or writes.
bool Collide(const Running& r, const LEntryPaths& p, const char* input) {
    for (const char* a : {r.input.c_str(), r.written.c_str()})
        for (const char* b : {input, p.finalPath})
            if (std::strcmp(a, b) == 0) return true;
    return false;
}

}  // namespace

bool LRunParallelBatch(LCliHost& host, int jobs, int* outcome) {
    *outcome = LPROCESS_FAILED;
    char ext[LMAX_PATH], folder[LMAX_PATH];
    host.GetOutputFormat(ext);
    if (!LPrepareConvert(host, ext)) return false;
    host.GetOutputFolder(folder);
    // The children read the settings this run has stored so far.
    RegistryReleaseWrites();
    RegistryHoldWrites();

    bool anySelected = false;
    for (int i = 0; i < host.EntryCount(); ++i)
        anySelected = anySelected || host.IsEntrySelected(i);
    if (!anySelected) host.SelectAll();
    for (int i = 0; i < host.EntryCount(); ++i)
        if (host.IsEntrySelected(i)) host.SetEntryImage(i, LENTRY_NONE);

    struct sigaction sa = {}, old = {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old);
    g_interrupts = 0;
    int forwarded = 0;

    LOverwriteState overwrite;
    std::vector<Running> running;
    int next = 0, failedIndex = -1, failedStatus = LPROCESS_OK;
    bool stopNew = false, cancelled = false;
    for (;;) {
        // Children that ended.
        for (size_t k = 0; k < running.size();) {
            int status = 0;
            const pid_t r = waitpid(running[k].pid, &status, WNOHANG);
            if (r == 0) {
                ++k;
                continue;
            }
            const int code = r < 0               ? LPROCESS_FAILED
                             : WIFEXITED(status) ? WEXITSTATUS(status)
                                                 : (WTERMSIG(status) == SIGINT ? LPROCESS_STOPPED
                                                                               : LPROCESS_FAILED);
            host.ClearProgressLine();
            Relay(running[k].output);
            if (running[k].ended >= 0) close(running[k].ended);
            host.SetEntryImage(running[k].index, code == 0 ? LENTRY_DONE : LENTRY_FAILED);
            if (code != 0) {
                stopNew = true;
                if (failedIndex < 0 || running[k].index < failedIndex) {
                    failedIndex = running[k].index;
                    failedStatus = code == LPROCESS_STOPPED ? LPROCESS_STOPPED : LPROCESS_FAILED;
                }
            }
            running.erase(running.begin() + long(k));
        }
        // Ctrl+C: each one passed on once to every running child.
        while (forwarded < g_interrupts) {
            ++forwarded;
            stopNew = true;
            for (const Running& r : running) kill(r.pid, SIGINT);
        }
        while (!stopNew && next < host.EntryCount() && int(running.size()) < jobs) {
            if (!host.IsEntrySelected(next)) {
                ++next;
                continue;
            }
            char input[LMAX_PATH];
            host.GetEntryPath(next, input);
            LEntryPaths paths;
            LPlanEntryPaths(input, folder, ext, paths);
            bool wait = false;
            for (const Running& r : running) wait = wait || Collide(r, paths, input);
            if (wait) break;  // after the entry it depends on, as one at a time
            bool proceed = true, skip = false;
            host.ClearProgressLine();
            // The rule as one at a time applies it: to the file the user gets, not to an input
            // that is replaced by its own conversion.
            if (!paths.sameFile) CmTestFileExists(host, paths.finalPath, overwrite, proceed, skip);
            if (!proceed) {
                for (int i = next; i < host.EntryCount(); ++i) host.SetEntryImage(i, LENTRY_FAILED);
                stopNew = cancelled = true;
                break;
            }
            if (skip) {
                host.SetEntryImage(next++, LENTRY_FAILED);
                continue;
            }
            Running r{next, 0, -1, input, paths.finalPath};
            host.SetEntryImage(next, LENTRY_CONVERTING);
            if (!Start(r, ext, folder)) {
                host.SetEntryImage(next, LENTRY_FAILED);
                std::fprintf(stderr, "tamber: cannot start a conversion of \"%s\"\n", input);
                failedIndex = next, failedStatus = LPROCESS_FAILED, stopNew = true;
                break;
            }
            running.push_back(std::move(r));
            ++next;
        }
        if (running.empty() && (stopNew || next >= host.EntryCount())) break;
        host.DrawBatchLine();
        WaitForChange(running);
    }
    host.ClearProgressLine();
    sigaction(SIGINT, &old, nullptr);
    if (failedIndex >= 0)
        *outcome = failedStatus;
    else if (forwarded > 0 || cancelled)
        *outcome = LPROCESS_STOPPED;
    else
        *outcome = LPROCESS_OK;
    if (*outcome == LPROCESS_OK) host.EndOfConvertBatch();
    return true;
}
