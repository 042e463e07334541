// Start-up pieces shared by the entry point: the forwarded argument block and the setup roles.
#pragma once

#include <cstdint>
#include <vector>

// WM_COPYDATA payload: a 32-bit count, then 32 slots of 260 bytes.
constexpr int LARGUMENT_BLOCK_SIZE = 4 + 32 * 260;

// The window property that marks the program's main window: message boxes and other dialogs
// may carry the caption "Tamber" too.
constexpr const char* LMAIN_WINDOW_PROPERTY = "Velmora.Tamber.MainWindow";

// The main window's reply to a forwarded block that it cannot run now, because it is in the
// middle of other work (a conversion, a question, a dialog): the sender keeps the run mutex and
// sends the block again. Any other reply means the block has been run.
constexpr intptr_t LFORWARD_BUSY = 0x42757379;
// How long a sender waits before it sends a refused block again, in milliseconds.
constexpr unsigned LFORWARD_RETRY_MS = 100;

// The block for the first min(argc, 32) arguments, each cut to 259 characters.
std::vector<char> BuildArgumentBlock(int argc, char** argv);

// Runs the installer (install true) or the uninstaller of the setup payload.
void RunSetupRole(bool install);
