// Start-up pieces shared by the entry point: the forwarded argument block and the setup roles.
#pragma once

#include <vector>

// WM_COPYDATA payload: a 32-bit count, then 32 slots of 260 bytes.
constexpr int LARGUMENT_BLOCK_SIZE = 4 + 32 * 260;

// The block for the first min(argc, 32) arguments, each cut to 259 characters.
std::vector<char> BuildArgumentBlock(int argc, char** argv);

// Runs the installer (install true) or the uninstaller of the setup payload.
void RunSetupRole(bool install);
