// Spawn attributes shared by every child program: default SIGPIPE and SIGINT handling, nothing
// blocked, and a process group of its own (so a stop reaches the child's whole group).
#pragma once

#include <signal.h>
#include <spawn.h>

inline void LInitChildSpawnAttributes(posix_spawnattr_t& attr) {
    posix_spawnattr_init(&attr);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
}
