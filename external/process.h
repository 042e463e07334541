// Child processes: the encoder pipe (LPipeOut), hidden command-line children, command-line parsing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/waitable.h"

// A started child process. Destroying or releasing it never ends the child: a child that is
// still running is left running.
class LChildProcess : public LWaitable {
  public:
    LChildProcess() = default;
    ~LChildProcess() override { Release(); }
    LChildProcess(const LChildProcess&) = delete;
    LChildProcess& operator=(const LChildProcess&) = delete;

    // Starts the command line with no inherited handles, in a new console whose window is
    // hidden, with this program's environment and current folder.
    bool StartHidden(const char* commandLine);
    bool IsStarted() const { return handle_ != kNone; }
    // Closes the process handle; the child goes on if it still runs.
    void Release();

    intptr_t NativeHandle() const override { return handle_; }
    // True once the child has ended (waits at most ms milliseconds).
    bool WaitFor(uint32_t ms) override;
    // True once the child is seen to have ended with a non-zero exit code (or a signal).
    bool EndedBadly() const { return ended_ && badExit_; }

  private:
    friend class LPipeOut;
    static constexpr intptr_t kNone = 0;
    intptr_t handle_ = kNone;  // HANDLE on Windows, process id elsewhere
    bool ended_ = false;
    bool badExit_ = false;
};

// The encoder process and the write end of its input pipe. Both start invalid.
class LPipeOut {
  public:
    LPipeOut() = default;
    ~LPipeOut() { Close(); }
    LPipeOut(const LPipeOut&) = delete;
    LPipeOut& operator=(const LPipeOut&) = delete;

    // Starts the command line with its standard input reading from a new pipe and its
    // standard output and error shared with this program's.
    bool Open(const char* commandLine);
    // Closes the write end (end of input for the encoder), then waits at most
    // kCloseWaitMs for the encoder to end; an encoder still running is left running. False
    // when the encoder ended within the wait with a non-zero exit code.
    bool Close();
    // Writes all bytes; false when the pipe is broken (the encoder ended or crashed) or when
    // the encoder took nothing for stallLimitMs: the input is then ended early, so that an
    // encoder that never reads cannot hold the conversion for ever.
    bool Write(const void* data, int32_t bytes);
    bool IsOpen() const { return write_ != kNoPipe; }

    static constexpr uint32_t kCloseWaitMs = 3000;
    // How long a write may wait for an encoder that takes no input (tests shorten it).
    static inline uint32_t stallLimitMs = 30000;

  private:
    // Ends the encoder's input (platform part).
    void CloseWriteEnd();

    static constexpr intptr_t kNoPipe = -1;
    LChildProcess process_;
    intptr_t write_ = kNoPipe;  // HANDLE on Windows, file descriptor elsewhere
};

// Splits a command line into arguments the way the Windows C runtime reads it: blanks and
// tabs separate, double quotes group (and are removed), backslashes escape a double quote.
std::vector<std::string> LSplitCommandLine(const char* commandLine);
// The text in double quotes, escaped so that LSplitCommandLine (or the C runtime) gives it back
// unchanged; a path without double quotes and without a trailing backslash is only wrapped.
std::string LQuotedArgument(const char* text);
