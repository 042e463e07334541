// The platform socket handle (a SOCKET on Windows, a descriptor elsewhere) and its closed value.
#pragma once

#include <cstdint>

using LSocketHandle = uintptr_t;
// All bits set: no socket.
constexpr LSocketHandle kInvalidSocket = ~LSocketHandle(0);
