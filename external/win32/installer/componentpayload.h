// The layout of a component installer: the installer program, the component's executable, then
// a trailer naming it (written by scripts/pack-component.py).
#pragma once

#include <cstddef>
#include <cstdint>

// The trailer, the file's last bytes: the component name (ASCII letters and digits, padded with
// zero bytes), the executable's size (32-bit little-endian), the magic text.
inline constexpr size_t kComponentNameBytes = 32;
inline constexpr char kComponentMagic[] = "TamberComponent1";  // 16 bytes, no terminator
inline constexpr size_t kComponentMagicBytes = sizeof kComponentMagic - 1;
inline constexpr size_t kComponentTrailerBytes = kComponentNameBytes + 4 + kComponentMagicBytes;
