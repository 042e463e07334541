// The sound output device on ALSA: a device thread plays the queued buffers in order.
#include "app/sounddevice.h"

#include <alsa/asoundlib.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "support/trace.h"

namespace {

class LAlsaSoundOut : public LSoundOutDevice {
  public:
    ~LAlsaSoundOut() override { Close(); }

    bool Open(int32_t device, int32_t rate, int channels, bool mapped,
              LSignalObject& completion) override {
        Close();
        std::string name = "default";
        if (device > 0) name = (mapped ? "plughw:" : "hw:") + std::to_string(device - 1);
        if (snd_pcm_open(&pcm_, name.c_str(), SND_PCM_STREAM_PLAYBACK, 0) < 0) {
            pcm_ = nullptr;
            return false;
        }
        if (snd_pcm_set_params(pcm_, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                               unsigned(channels), unsigned(rate), mapped ? 1 : 0, 200000) < 0) {
            snd_pcm_close(pcm_);
            pcm_ = nullptr;
            return false;
        }
        frameBytes_ = uint32_t(channels) * 2;
        rate_ = rate;
        completion_ = &completion;
        closing_ = paused_ = false;
        thread_ = std::thread([this] { Run(); });
        return true;
    }

    bool Close() override {
        if (!pcm_) return true;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
            DropQueue();
        }
        changed_.notify_all();
        thread_.join();
        snd_pcm_close(pcm_);
        pcm_ = nullptr;
        return true;
    }

    bool Prepare(LSoundOutBuffer& buffer) override {
        buffer.done = true;
        return pcm_ != nullptr;
    }
    int Unprepare(LSoundOutBuffer& buffer) override {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto* queued : queue_)
            if (queued == &buffer) return LSOUNDOUT_STILL_PLAYING;
        return LSOUNDOUT_OK;
    }

    bool Write(LSoundOutBuffer& buffer) override {
        if (!pcm_) return false;
        buffer.done = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(&buffer);
        }
        changed_.notify_all();
        return true;
    }

    bool IsDone(const LSoundOutBuffer& buffer) override { return buffer.done; }
    void ClearDone(LSoundOutBuffer& buffer) override { buffer.done = false; }

    bool Pause() override { return SetPaused(true); }
    bool Restart() override { return SetPaused(false); }

    // Returns once the device thread has let go of every buffer, as a wave-out reset does.
    bool Reset() override {
        if (!pcm_) return false;
        std::unique_lock<std::mutex> lock(mutex_);
        DropQueue();
        paused_ = false;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !busy_; });
        return true;
    }

  private:
    bool SetPaused(bool on) {
        if (!pcm_) return false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            paused_ = on;
        }
        changed_.notify_all();
        return true;
    }

    // Under the lock: every queued buffer comes back done; the one being played is abandoned.
    void DropQueue() {
        const bool any = !queue_.empty();
        for (auto* b : queue_) b->done = true;
        queue_.clear();
        ++generation_;
        if (any) completion_->Set();
    }

    // Writes frames, recovering from an underrun; false when the device failed.
    bool Put(const uint8_t* data, uint32_t frames) {
        while (frames > 0) {
            snd_pcm_sframes_t r = snd_pcm_writei(pcm_, data, frames);
            if (r < 0) {
                if (snd_pcm_recover(pcm_, int(r), 1) < 0) return false;
                continue;
            }
            data += size_t(r) * frameBytes_;
            frames -= uint32_t(r);
        }
        return true;
    }

    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return closing_ || (!queue_.empty() && !paused_); });
            if (closing_) break;
            LSoundOutBuffer* b = queue_.front();
            const uint64_t generation = generation_;
            const uint32_t frames = b->length / frameBytes_;
            const uint32_t loops = b->loops > 1 ? b->loops : 1;
            // Pieces of about 10 ms, so that a pause or a reset takes effect soon.
            const uint32_t piece = 512;
            bool failed = false;
            const auto start = std::chrono::steady_clock::now();
            const auto pass = std::chrono::microseconds(int64_t(frames) * 1000000 / rate_);
            for (uint32_t loop = 0; loop < loops && !failed; ++loop) {
                // A device that takes sound faster than it plays (a null device) still gets a
                // repeated buffer no faster than in real time.
                if (loop > 0)
                    changed_.wait_until(lock, start + pass * loop,
                                        [&] { return generation != generation_ || closing_; });
                for (uint32_t at = 0; at < frames;) {
                    if (generation != generation_ || closing_) break;
                    if (paused_) {
                        changed_.wait(lock);
                        continue;
                    }
                    const uint32_t n = std::min(piece, frames - at);
                    busy_ = true;
                    lock.unlock();
                    failed = !Put(b->data + size_t(at) * frameBytes_, n);
                    lock.lock();
                    busy_ = false;
                    changed_.notify_all();
                    if (failed) break;
                    at += n;
                }
                if (generation != generation_ || closing_) break;
            }
            if (generation != generation_ || closing_) {
                lock.unlock();
                snd_pcm_drop(pcm_);
                snd_pcm_prepare(pcm_);
                lock.lock();
                continue;
            }
            if (queue_.size() == 1) {
                // Nothing follows: let the device play out before the buffer counts as done.
                lock.unlock();
                snd_pcm_drain(pcm_);
                snd_pcm_prepare(pcm_);
                lock.lock();
                if (generation != generation_ || closing_) continue;
            }
            queue_.pop_front();
            b->done = true;
            completion_->Set();
        }
        lock.unlock();
        snd_pcm_drop(pcm_);
    }

    snd_pcm_t* pcm_ = nullptr;
    uint32_t frameBytes_ = 2;
    int32_t rate_ = 44100;
    LSignalObject* completion_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<LSoundOutBuffer*> queue_;
    uint64_t generation_ = 0;
    bool paused_ = false;
    bool closing_ = false;
    bool busy_ = false;  // the device thread is copying from a buffer
};

}  // namespace

std::unique_ptr<LSoundOutDevice> LSoundOutDevice::Create() {
    return std::make_unique<LAlsaSoundOut>();
}

int LSoundPlayDevice::Count() {
    int count = 0;
    for (int card = -1; snd_card_next(&card) == 0 && card >= 0;) count = card + 1;
    return count;
}

void LSoundPlayDevice::GetText(int32_t device, char text[32]) {
    text[0] = 0;
    if (device <= 0) {
        std::snprintf(text, 32, "%s", "[Default Sound Out]");
        return;
    }
    char* name = nullptr;
    if (snd_card_get_name(device - 1, &name) < 0 || !name) {
        LTrace("LSoundPlayDevice::GetText waveOutGetDevCaps FAILED");
        return;
    }
    std::snprintf(text, 32, "%s", name);
    std::free(name);
}
