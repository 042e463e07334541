// Child processes: the encoder pipe (LPipeOut), hidden command-line children, command-line parsing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/waitable.h"

class LProgressDialog;  // support/progress.h

// A started child process. Destroying or releasing a child that still runs ends it (with
// what it started where the platform keeps them together) and waits for it, so that nothing
// it does outlives its use.
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
    // Ends the child if it still runs (Kill), then closes the process handle.
    void Release();
    // Ends a child that still runs, with its process group on POSIX systems, and waits for it
    // to be gone (it then counts as ended badly).
    void Kill();

    intptr_t NativeHandle() const override { return handle_; }
    // True once the child has ended (waits at most ms milliseconds).
    bool WaitFor(uint32_t ms) override;
    // True once the child is seen to have ended with a non-zero exit code, a signal, or an
    // end that could not be seen (another part of the program reaped it).
    bool EndedBadly() const { return ended_ && badExit_; }
    // How long Kill waits for the rest of a killed child's process group to be gone.
    static constexpr int kGroupEndWaitMs = 2000;

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
    // kCloseWaitMs for the encoder to end; an encoder still running then is ended, as its
    // file is not going to be used. False when the encoder did not end well within the wait.
    bool Close();
    // The end of a complete conversion: closes the write end and waits for the encoder to
    // finish its file, behind the progress surface (messages pumped, Cancel works) when dlg is
    // given. An encoder still running after finishLimitMs is ended and the file fails; a
    // cancelled wait ends it too. LPROCESS_OK only when the encoder exited with code 0.
    int Finish(LProgressDialog* dlg);
    // Writes all bytes; false when the pipe is broken (the encoder ended or crashed) or when
    // the encoder took nothing for stallLimitMs: the input is then ended early, so that an
    // encoder that never reads cannot hold the conversion for ever.
    bool Write(const void* data, int32_t bytes);
    bool IsOpen() const { return write_ != kNoPipe; }

    static constexpr uint32_t kCloseWaitMs = 3000;
    // How long a finished conversion waits for its encoder (tests shorten it). Once its input
    // has ended an encoder has at most the pipe's 64 KiB and its own frame buffers left to
    // encode and its file to close, well under a second for every encoder we run even on a
    // slow machine; a minute covers a loaded machine and slow network folders many times
    // over, and Cancel ends the wait at any time.
    static inline uint32_t finishLimitMs = 60000;
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
// A path as an outside program can open it. On Windows such programs read their arguments in
// the ANSI code page: a path that code page cannot hold is given by its short form (of the file,
// or of its folder for a file not made yet) where the file system has one. Elsewhere, and where
// the path needs nothing, the path itself.
std::string LChildPath(const char* path);
