// The parallel batch: entries planned in list order here, converted by child processes.
#include "cli/batch.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "convert/entrypaths.h"
#include "convert/job.h"
#include "convert/overwrite.h"
#include "external/posix/spawn.h"
#include "store/registry.h"

extern char** environ;

namespace {

volatile sig_atomic_t g_interrupts = 0;

void OnInterrupt(int) {
    g_interrupts = g_interrupts + 1;
}

// A worker: "tamber -jobs 1 -format ext -outfolder folder" in its own process group (Ctrl+C
// reaches it through this process only) that converts the inputs written to its standard
// input (each as its output folder, then the input), one at a time, and answers each with its
// exit status on its standard output; its messages go to a memory file.
struct Worker {
    pid_t pid = -1;
    int input = -1;   // its standard input (entries: folder and input, each ended by a zero)
    int status = -1;  // its standard output (one status line per entry)
    int output = -1;  // its standard error
    off_t relayed = 0;
    std::string pending;  // status text not yet a whole line
    // The entry it converts (-1: idle) and the files that entry reads and writes.
    int index = -1;
    std::string source, written;
};

bool StartWorker(Worker& w, const char* ext, const char* folder) {
    char self[LMAX_PATH * 4];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return false;
    self[n] = 0;
    std::vector<std::string> args = {self, "-jobs", "1", "-format", ext, "-outfolder", folder};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.push_back(*e);
    env.push_back(std::string(kBatchChildVariable) + "=1");
    env.push_back(std::string(kBatchWorkerVariable) + "=1");
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return false;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]), close(in[1]);
        return false;
    }
    w.output = memfd_create("tamber-batch-worker", MFD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    LInitChildSpawnAttributes(attr);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, w.output, 2);
    const int rc =
        w.output < 0 ? -1 : posix_spawn(&w.pid, self, &actions, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    if (rc != 0) {
        close(in[1]), close(out[0]);
        if (w.output >= 0) close(w.output);
        return false;
    }
    w.input = in[1];
    w.status = out[0];
    fcntl(w.status, F_SETFL, fcntl(w.status, F_GETFL) | O_NONBLOCK);
    return true;
}

// Hands the worker an entry and its output folder; false when it no longer takes input.
bool Assign(Worker& w, int index, const std::string& input, const char* folder,
            const char* written) {
    const std::string text = std::string(folder) + '\0' + input + '\0';
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = write(w.input, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    w.index = index;
    w.source = input;
    w.written = written;
    return true;
}

// What the worker said since the last time (the messages of its entry), shown as it said them.
void Relay(Worker& w) {
    const off_t end = lseek(w.output, 0, SEEK_END);
    if (end <= w.relayed) return;
    std::string text(size_t(end - w.relayed), '\0');
    const ssize_t n = pread(w.output, text.data(), text.size(), w.relayed);
    if (n > 0) std::fwrite(text.data(), 1, size_t(n), stderr);
    w.relayed = end;
}

// Ends the worker (no more input, then waits for it), shows what it said last and lets it go;
// LPROCESS_STOPPED for a worker that Ctrl+C ended.
int EndWorker(Worker& w) {
    close(w.input);
    int status = 0;
    while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
    }
    Relay(w);
    close(w.status);
    close(w.output);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGINT ? LPROCESS_STOPPED : LPROCESS_FAILED;
}

// Two entries that must not run at once: one writes or replaces a file the other reads or writes.
bool Collide(const Worker& w, const LEntryPaths& p, const char* input) {
    if (w.index < 0) return false;
    for (const char* a : {w.source.c_str(), w.written.c_str()})
        for (const char* b : {input, p.finalPath})
            if (std::strcmp(a, b) == 0) return true;
    return false;
}

}  // namespace

bool LRunParallelBatch(LBatchHost& host, const LConvertRequest& request, int* outcome) {
    *outcome = LPROCESS_FAILED;
    const char* ext = request.outputExtension.c_str();
    const char* folder = request.outputFolder.c_str();
    const int jobs = request.jobs;
    const auto& entries = request.entries;
    const int count = int(entries.size());
    // The children read the settings this run has stored so far.
    RegistryReleaseWrites();
    RegistryHoldWrites();

    struct sigaction sa = {}, old = {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old);
    // A worker that ended makes a write to it fail instead of ending this process.
    struct sigaction ignore = {}, oldPipe = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &oldPipe);
    g_interrupts = 0;
    int forwarded = 0;

    LOverwriteState overwrite;
    std::vector<Worker> workers;
    int next = 0, failedIndex = -1, failedStatus = LPROCESS_OK;
    bool stopNew = false, cancelled = false;
    auto fail = [&](int index, int code) {
        stopNew = true;
        if (failedIndex < 0 || index < failedIndex) {
            failedIndex = index;
            failedStatus = code == LPROCESS_STOPPED ? LPROCESS_STOPPED : LPROCESS_FAILED;
        }
    };
    // The workers start first: their start overlaps the planning of the first entries.
    for (int i = 0; i < std::min(jobs, count); ++i) {
        workers.emplace_back();
        if (!StartWorker(workers.back(), ext, folder)) workers.pop_back();
    }
    auto busy = [&] {
        int count = 0;
        for (const Worker& w : workers) count += w.index >= 0;
        return count;
    };
    for (;;) {
        // Entries that ended: a status line, or the end of a worker.
        for (size_t k = 0; k < workers.size();) {
            Worker& w = workers[k];
            char buffer[64];
            const ssize_t n = w.index >= 0 ? read(w.status, buffer, sizeof buffer) : -1;
            if (n > 0) w.pending.append(buffer, size_t(n));
            const size_t eol = w.pending.find('\n');
            if (eol != std::string::npos || n == 0) {
                const int code = eol != std::string::npos ? std::atoi(w.pending.c_str()) : -1;
                const bool verified =
                    eol != std::string::npos && w.pending.compare(0, eol, "0 verified") == 0;
                w.pending.erase(0, eol == std::string::npos ? w.pending.size() : eol + 1);
                host.ClearProgressLine();
                const int at = w.index;
                w.index = -1;
                if (code < 0) {  // the worker ended in the middle of its entry
                    const int ended = EndWorker(w);
                    host.EntryFailed(entries[size_t(at)].index);
                    fail(at, ended);
                    workers.erase(workers.begin() + long(k));
                    continue;
                }
                Relay(w);
                if (verified) host.EntryVerified(entries[size_t(at)].index);
                if (code == 0)
                    host.EntryDone(entries[size_t(at)].index);
                else
                    host.EntryFailed(entries[size_t(at)].index);
                if (code != 0) fail(at, code);
            }
            ++k;
        }
        // Ctrl+C: the first is passed on to every worker, which stops its entry, its children
        // and its files itself. Later ones are not: a second would end a worker at once, before
        // it had removed its passing files.
        if (forwarded == 0 && g_interrupts > 0) {
            forwarded = 1;
            stopNew = true;
            for (const Worker& w : workers) kill(w.pid, SIGINT);
        }
        while (!stopNew && next < count && busy() < jobs) {
            const LConvertEntry& entry = entries[size_t(next)];
            const char* input = entry.input.c_str();
            LEntryPaths paths;
            // An output path that does not fit is the worker's to refuse, unasked. The worker
            // converts a mirrored entry as a file named by itself into its folder.
            const bool fits = LPlanEntry(request, entry, paths);
            bool wait = false;
            for (const Worker& w : workers) wait = wait || Collide(w, paths, input);
            if (wait) break;  // after the entry it depends on, as one at a time
            host.ClearProgressLine();
            const LOverwriteVerdict verdict =
                fits ? LEntryOverwrite(host, request, paths, overwrite) : LOverwriteVerdict::Write;
            if (verdict == LOverwriteVerdict::Stop) {
                host.BatchStopped(entry.index);
                stopNew = cancelled = true;
                break;
            }
            if (verdict == LOverwriteVerdict::Skip) {
                host.EntryFailed(entry.index);
                ++next;
                continue;
            }
            Worker* idle = nullptr;
            for (Worker& w : workers)
                if (w.index < 0 && !idle) idle = &w;
            if (!idle) {
                workers.emplace_back();
                if (!StartWorker(workers.back(), ext, folder)) {
                    workers.pop_back();
                } else {
                    idle = &workers.back();
                }
            }
            host.EntryStarted(entry.index);
            if (!idle || !Assign(*idle, next, input, paths.mirrored ? paths.folder : folder,
                                 paths.finalPath)) {
                host.EntryFailed(entry.index);
                std::fprintf(stderr, "tamber: cannot start a conversion of \"%s\"\n", input);
                failedIndex = next, failedStatus = LPROCESS_FAILED, stopNew = true;
                break;
            }
            ++next;
        }
        if (busy() == 0 && (stopNew || next >= count)) break;
        host.DrawBatchLine();
        std::vector<pollfd> fds;
        for (const Worker& w : workers)
            if (w.index >= 0) fds.push_back({w.status, POLLIN, 0});
        poll(fds.data(), fds.size(), fds.empty() ? 5 : 200);
    }
    for (Worker& w : workers) EndWorker(w);
    sigaction(SIGPIPE, &oldPipe, nullptr);
    host.ClearProgressLine();
    sigaction(SIGINT, &old, nullptr);
    if (failedIndex >= 0)
        *outcome = failedStatus;
    else if (forwarded > 0 || cancelled)
        *outcome = LPROCESS_STOPPED;
    else
        *outcome = LPROCESS_OK;
    return true;
}
