// The sound output device behind the player: numbered devices, buffers played in the order
// they are written, a completion event signalled whenever a buffer finishes.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "support/thread.h"

// One buffer handed to the device. The player owns it; the device keeps its own record of it
// between Prepare and Unprepare (on Windows a WAVEHDR).
struct LSoundOutBuffer {
    uint8_t* data = nullptr;
    uint32_t length = 0;  // bytes to play
    uintptr_t user = 0;   // the player's word (the source position after the buffer)
    uint32_t loops = 0;   // more than 1: play the buffer that many times (until a reset)
    void* device = nullptr;
    std::atomic<bool> done{false};  // where the platform keeps no flag of its own
};

enum : int { LSOUNDOUT_OK = 0, LSOUNDOUT_STILL_PLAYING = 1, LSOUNDOUT_ERROR = 2 };

class LSoundOutDevice {
  public:
    // The platform's device (wave-out on Windows, ALSA elsewhere).
    static std::unique_ptr<LSoundOutDevice> Create();
    virtual ~LSoundOutDevice() = default;

    // device 0: the system's default device; n > 0: system device n - 1. 16-bit PCM of the
    // given rate and channel count; mapped lets the system convert the format. completion is
    // set whenever a buffer is done.
    virtual bool Open(int32_t device, int32_t rate, int channels, bool mapped,
                      LSignalObject& completion) = 0;
    virtual bool Close() = 0;
    virtual bool Prepare(LSoundOutBuffer& buffer) = 0;
    // LSOUNDOUT_STILL_PLAYING while the device still holds the buffer.
    virtual int Unprepare(LSoundOutBuffer& buffer) = 0;
    // Queues a prepared buffer: its done flag is cleared, and set again once played.
    virtual bool Write(LSoundOutBuffer& buffer) = 0;
    virtual bool IsDone(const LSoundOutBuffer& buffer) = 0;
    // Clears the done flag (and the loop marks) of a buffer the device has given back.
    virtual void ClearDone(LSoundOutBuffer& buffer) = 0;
    virtual bool Pause() = 0;
    virtual bool Restart() = 0;
    // Stops playing, gives every queued buffer back done, and leaves the device unpaused.
    virtual bool Reset() = 0;
};

// The names of the output devices for the settings page.
struct LSoundPlayDevice {
    // The number of system devices (device numbers 1 to Count()).
    static int Count();
    // "[Default Sound Out]" for 0 or less, else the product name of system device n - 1 (empty
    // when it cannot be asked); at most 31 characters and the terminating zero.
    static void GetText(int32_t device, char text[32]);
};
