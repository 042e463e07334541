// Start-up pieces shared by the entry point: the forwarded argument block and the setup roles.
#pragma once

#include <cstdint>
#include <string>
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

// A start's arguments (the program's path first): up to 32 in one block as they are; more in
// blocks of up to 28, each ending with LFORWARD_MARKER, "part/parts/process id" and the folder
// the start was made in (relative paths are read against it). Every argument fits a slot
// (longer ones are refused before).
constexpr const char* LFORWARD_MARKER = "-forwarded";
std::vector<std::vector<char>> BuildArgumentBlocks(const std::vector<std::string>& args,
                                                   const char* folder, unsigned long process);

// The window's side: the blocks of one start put together in order.
struct LForwardedArguments {
    // Takes a block's arguments; true when the start's command line is complete in args (the
    // program's path first) with its starting folder (empty for a block from elsewhere).
    bool Take(std::vector<std::string> block);
    std::vector<std::string> args;
    std::string folder;

  private:
    int next_ = 0;
    unsigned long process_ = 0;
};

// Runs the installer (install true) or the uninstaller of the setup payload.
void RunSetupRole(bool install);
