// The running children's process groups, kept where a signal handler can reach them.
#include "support/posix/childgroups.h"

#include <signal.h>

#include <atomic>

namespace {

// Lock-free slots (0: free): a handler may read them at any moment.
constexpr int kSlots = 64;
std::atomic<pid_t> g_groups[kSlots];
static_assert(std::atomic<pid_t>::is_always_lock_free);

}  // namespace

void LNoteChildGroup(pid_t group) {
    for (auto& slot : g_groups) {
        pid_t free = 0;
        if (slot.compare_exchange_strong(free, group)) return;
    }
}

void LForgetChildGroup(pid_t group) {
    for (auto& slot : g_groups) {
        pid_t mine = group;
        if (slot.compare_exchange_strong(mine, 0)) return;
    }
}

void LEndChildGroups() {
    for (auto& slot : g_groups)
        if (const pid_t group = slot.load(); group > 0) kill(-group, SIGKILL);
}

void LEndChildrenAndProgram(int signal) {
    LEndChildGroups();
    struct sigaction defaults = {};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    sigaction(signal, &defaults, nullptr);
    raise(signal);  // delivered as this handler returns
}

void LEndChildrenOnInterrupt() {
    struct sigaction sa = {};
    sa.sa_handler = LEndChildrenAndProgram;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
}
