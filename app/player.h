// LSoundPlayer: plays a sound source through the output device with a deep buffer queue, a
// feeder thread and a done-handler thread; progress reaches the owner's thread as notifications.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/sounddevice.h"
#include "core/sound.h"
#include "support/thread.h"

// The levels of a stretch of sound: one value per channel, -127 (silence) to 127 dB-like units
// relative to full scale.
struct LSoundLevels {
    uint8_t channels = 0;
    int8_t level[2] = {-127, -127};
};

// What the player tells its owner; every call runs on the thread that owns the player. The
// base ignores everything.
class LSoundPlayerNotify {
  public:
    virtual ~LSoundPlayerNotify() = default;
    virtual void spntfPlay(void* user) {}
    virtual void spntfStop(void* user) {}
    virtual void spntfCue(void* user) {}
    virtual void spntfPause(void* user) {}
    virtual void spntfPosition(void* user, int32_t ms) {}
    virtual void spntfLevels(void* user, const LSoundLevels& levels) {}
};

class LSoundPlayer;

// Recycles the buffers the device has finished with.
class LSoundPlayerDoneHandlerThread : public LThread {
  public:
    explicit LSoundPlayerDoneHandlerThread(LSoundPlayer& player) : player_(player) {}
    ~LSoundPlayerDoneHandlerThread() override { StopThreadTimed(5000); }

  protected:
    void ThreadFunction() override;

  private:
    LSoundPlayer& player_;
};

class LSoundPlayer : public LThread {
  public:
    static constexpr int kHeaders = 64;
    static constexpr int kPreRollHeaders = 42;
    // State flags.
    enum : uint16_t { OPEN = 1, PAUSED = 2, CUE = 4, PREROLL = 8 };
    // Start modes.
    enum : int { START_PAUSED = 1, START_PREROLL = 2 };

    LSoundPlayer();
    ~LSoundPlayer() override;

    void SetNotify(LSoundPlayerNotify* handler, void* user);
    // 0: the system's default device; n > 0: system device n - 1.
    void SetDevice(int32_t device) { device_ = device; }

    // Stops what plays and starts the source; false when the source is in error or no device
    // takes its format (then nothing plays).
    bool Start(const LSourceRef& source, int mode = 0);
    void Stop();
    void Pause();
    // Resumes from pause, or leaves cue mode.
    void Play();
    // Loops a short snippet at the played position.
    void Cue();
    void Seek(int32_t frame);

    // Runs on the owner's thread for every notification from the player's threads.
    void EvNotify();

    bool IsOpen() const { return (flags_ & OPEN) != 0; }
    uint16_t Flags() const { return flags_; }
    int32_t PlayedPosition() const { return played_; }
    int32_t FramesPerBuffer() const { return framesPerBuffer_; }
    int32_t BufferBytes() const { return bufferBytes_; }
    bool HasLimiter() const { return limited_; }
    LSoundLevels CurrentLevels() const { return Unpack(levels_); }
    // Buffers handed to the device and not yet given back.
    int QueuedBuffers() const;

    // Buffer frames for a sample rate: rate / 10, within 20..8192.
    static int32_t FramesFor(int32_t rate);
    // The level of n frames of one channel (every channels-th sample from buffer).
    static int8_t Level(const int32_t* buffer, int32_t n, int channels);

  protected:
    void ThreadFunction() override;  // the feeder

  private:
    friend class LSoundPlayerDoneHandlerThread;

    class Notifier : public LThreadQueuedNotify {
      public:
        explicit Notifier(LSoundPlayer& player) : player_(player) {}

      protected:
        void Notified() override { player_.EvNotify(); }

      private:
        LSoundPlayer& player_;
    };

    struct WaveHeader {
        uint32_t size = 0;
        LSoundOutBuffer hdr;
        std::atomic<uint32_t> levels{0};  // packed LSoundLevels
        std::atomic<bool> free{true};

        bool Create(LSoundOutDevice& device, uint8_t* memory, uint32_t bytes);
        bool Write(LSoundOutDevice& device);
        // Unprepares within the shared budget (ms, counted down).
        void Destroy(LSoundOutDevice& device, int& budget);
    };

    static uint32_t Pack(const LSoundLevels& l);
    static LSoundLevels Unpack(uint32_t packed);
    // 16-bit conversion of n frames into header h, with its levels.
    void Convert(WaveHeader& h, int32_t n);
    void WriteCueBuffer();
    void DoneHandler();
    void RestartDevice();
    void NotifyPosition(int32_t frames);
    void NotifyLevels(const LSoundLevels& levels);

    Notifier notify_;
    LSoundPlayerNotify defaultHandler_;
    LSoundPlayerNotify* handler_ = &defaultHandler_;
    void* user_ = nullptr;
    LSignalObject deviceEvent_;  // a buffer finished
    LSignalObject freedEvent_;   // the done handler freed a header
    int32_t device_ = 0;
    std::atomic<int32_t> played_{0};
    std::atomic<uint16_t> flags_{0};
    std::atomic<bool> finished_{false};
    std::atomic<bool> positionChanged_{false};
    std::vector<uint8_t> memory_;  // the 64 buffers in one block
    LSourceRef source_;
    bool limited_ = false;
    std::atomic<uint32_t> levels_{0};
    std::unique_ptr<LSoundOutDevice> wave_;
    std::vector<int32_t> conv_;
    int32_t framesPerBuffer_ = 0;
    int32_t bufferBytes_ = 0;
    uint8_t channels_ = 1;
    WaveHeader headers_[kHeaders];
    std::atomic<bool> feederRaised_{false};
    std::atomic<uint8_t> finishedCount_{0};
    LSoundPlayerDoneHandlerThread doneHandler_;
};
