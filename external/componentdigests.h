// The published component installers: the size and SHA-256 digest a download must have.
#pragma once

#include <cstdint>

struct LComponentDigest {
    const char* name;    // the installer's name without ".exe" ("mp3el", "qusetup")
    uint32_t size;       // bytes
    const char* sha256;  // 64 lower-case hexadecimal digits
};

// Every installer the servers' "components" folder publishes, ended by a row whose name is
// null. It is defined in a file of its own, so that a program served other installers (the
// test servers) links its own table in its place.
extern const LComponentDigest kComponentDigests[];

// The row of an installer, or null when none is published under that name.
const LComponentDigest* ComponentDigest(const char* name);
