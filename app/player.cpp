// LSoundPlayer: start, stop, pause, cue and seek on the owner's thread; the feeder fills free
// buffers, the done handler recycles played ones.
#include "app/player.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "core/peak_limit.h"
#include "support/progress.h"
#include "support/trace.h"

namespace {
constexpr uint32_t kLoopForever = 2147483647u;
// The feeder and the done handler write into the buffers, the device and the source that a stop
// lets go next: a stop waits for them to end, however long a source's read holds them (a thread
// let go after a time-out would write into freed memory).
constexpr uint32_t kThreadStopMs = LWAIT_INFINITE;
}  // namespace

LSoundPlayer::LSoundPlayer()
    : notify_(*this), source_(new LSRCNull(LSRC_ERR_PLACEHOLDER)), doneHandler_(*this) {}

LSoundPlayer::~LSoundPlayer() {
    Stop();
    source_ = LSourceRef(new LSRCNull(LSRC_ERR_PLACEHOLDER));
    StopThreadTimed(kThreadStopMs);
}

int LSoundPlayer::QueuedBuffers() const {
    int n = 0;
    for (const auto& h : headers_) n += h.free ? 0 : 1;
    return n;
}

void LSoundPlayer::SetNotify(LSoundPlayerNotify* handler, void* user) {
    handler_ = handler ? handler : &defaultHandler_;
    user_ = user;
}

int32_t LSoundPlayer::FramesFor(int32_t rate) {
    return std::clamp(rate / 10, 20, 8192);
}

int8_t LSoundPlayer::Level(const int32_t* buffer, int32_t n, int channels) {
    if (n <= 0) return -127;
    double sum = 0;
    for (int32_t i = 0; i < n; ++i) {
        const int64_t s = buffer[size_t(i) * size_t(channels)] >> 5;
        sum += double(s * s);
    }
    const double mean = sum / n;
    if (mean == 0) return -127;
    const long db = std::lround(10.0 * std::log10(mean * std::ldexp(1.0, -23)));
    return int8_t(std::clamp(db, -127L, 127L));
}

uint32_t LSoundPlayer::Pack(const LSoundLevels& l) {
    return uint32_t(l.channels) | uint32_t(uint8_t(l.level[0])) << 8 |
           uint32_t(uint8_t(l.level[1])) << 16;
}

LSoundLevels LSoundPlayer::Unpack(uint32_t packed) {
    LSoundLevels l;
    l.channels = uint8_t(packed);
    l.level[0] = int8_t(uint8_t(packed >> 8));
    l.level[1] = int8_t(uint8_t(packed >> 16));
    return l;
}

bool LSoundPlayer::WaveHeader::Create(LSoundOutDevice& device, uint8_t* memory, uint32_t bytes) {
    size = bytes;
    hdr.data = memory;
    hdr.length = bytes;
    hdr.user = 0;
    hdr.loops = 0;
    free = true;
    if (device.Prepare(hdr)) return true;
    LTrace("LSoundPlayer::WaveHeader::Create waveOutPrepareHeader ERROR");
    return false;
}

bool LSoundPlayer::WaveHeader::Write(LSoundOutDevice& device) {
    if (device.Write(hdr)) return true;
    LTrace("LSoundPlayer::WaveHeader::Write waveOutWrite ERROR");
    return false;
}

void LSoundPlayer::WaveHeader::Destroy(LSoundOutDevice& device, int& budget) {
    for (;;) {
        const int r = device.Unprepare(hdr);
        if (r != LSOUNDOUT_STILL_PLAYING) return;
        if (budget <= 0) {
            LTrace("LSoundPlayer::WaveHeader::Destroy waveOutUnprepareHeader TIMEOUT");
            return;
        }
        LTrace(
            "LSoundPlayer::WaveHeader::Destroy waveOutUnprepareHeader failed wait while "
            "WAVERR_STILLPLAYING");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        budget -= 50;
    }
}

bool LSoundPlayer::Start(const LSourceRef& source, int mode) {
    Stop();
    if (source->GetError() != LSRC_OK) {
        LTrace("LSoundPlayer::Start Source Error");
        return false;
    }
    source_ = source;
    limited_ = source->GetPeak() > LSAMPLE_FULL_SCALE;
    if (limited_) source_ = LSourceRef(new LSRCPeakLimit(source, LSAMPLE_FULL_SCALE));
    channels_ = uint8_t(source_->GetChannels() == 0 ? 1 : source_->GetChannels());
    const int32_t rate = source_->GetSampleRate();

    wave_ = LSoundOutDevice::Create();
    if (!wave_->Open(device_, rate, channels_, false, deviceEvent_) &&
        !wave_->Open(device_, rate, channels_, true, deviceEvent_)) {
        LTrace("LSoundPlayer::Start waveOutOpen Error");
        wave_.reset();
        source_ = LSourceRef(new LSRCNull(LSRC_ERR_PLACEHOLDER));
        limited_ = false;
        return false;
    }

    framesPerBuffer_ = FramesFor(rate);
    bufferBytes_ = int32_t(channels_) * framesPerBuffer_ * 2;
    conv_.assign(size_t(channels_) * size_t(framesPerBuffer_), 0);
    memory_.assign(size_t(kHeaders) * size_t(bufferBytes_), 0);
    for (int i = 0; i < kHeaders; ++i)
        headers_[i].Create(*wave_, memory_.data() + size_t(i) * size_t(bufferBytes_),
                           uint32_t(bufferBytes_));

    uint16_t flags = OPEN;
    if (mode & (START_PAUSED | START_PREROLL)) {
        wave_->Pause();
        flags |= (mode & START_PAUSED) ? PAUSED : PREROLL;
    }
    flags_ = flags;
    finished_ = false;
    positionChanged_ = false;
    played_ = source_->GetPosition();
    LThread::Start(LTHREAD_PRIORITY_NORMAL);
    if (mode & START_PAUSED) {
        handler_->spntfPause(user_);
    } else {
        handler_->spntfPlay(user_);
    }
    NotifyPosition(played_);
    return true;
}

void LSoundPlayer::Stop() {
    if (!IsOpen()) return;
    StopThreadTimed(kThreadStopMs);
    if (!wave_->Reset()) LTrace("LSoundPlayer::Stop waveOutReset ERROR");
    int budget = 1000;
    for (auto& h : headers_) h.Destroy(*wave_, budget);
    memory_ = std::vector<uint8_t>();
    conv_ = std::vector<int32_t>();
    source_ = LSourceRef(new LSRCNull(LSRC_ERR_PLACEHOLDER));
    limited_ = false;
    if (!wave_->Close()) LTrace("LSoundPlayer::Stop waveOutClose Error");
    wave_.reset();
    played_ = 0;
    flags_ = 0;
    finished_ = false;
    positionChanged_ = false;
    handler_->spntfStop(user_);
}

void LSoundPlayer::Pause() {
    if (!IsOpen() || (flags_ & PAUSED)) return;
    wave_->Pause();
    flags_ |= PAUSED;
    handler_->spntfPause(user_);
}

void LSoundPlayer::Play() {
    if (!IsOpen()) return;
    if (flags_ & CUE) {
        wave_->Reset();
        flags_ &= uint16_t(~CUE);
        LThread::Start(LTHREAD_PRIORITY_NORMAL);
    }
    if (flags_ & PAUSED) {
        wave_->Restart();
        flags_ &= uint16_t(~PAUSED);
    }
    handler_->spntfPlay(user_);
}

void LSoundPlayer::Cue() {
    if (!IsOpen()) return;
    if (flags_ & CUE) {
        if (!(flags_ & PAUSED)) return;
        wave_->Restart();
        flags_ &= uint16_t(~PAUSED);
        return;
    }
    StopThreadTimed(kThreadStopMs);  // the feeder resets the device as it leaves
    source_->Seek(played_);
    played_ = source_->GetPosition();
    WriteCueBuffer();
    flags_ = OPEN | CUE;
    finished_ = false;
    positionChanged_ = false;
    handler_->spntfCue(user_);
    NotifyPosition(played_);
}

void LSoundPlayer::Seek(int32_t frame) {
    if (!IsOpen()) return;
    StopThreadTimed(kThreadStopMs);
    wave_->Reset();
    source_->Seek(frame);
    played_ = source_->GetPosition();
    finished_ = false;
    positionChanged_ = false;
    if (flags_ & PAUSED) wave_->Pause();
    if (flags_ & CUE) {
        WriteCueBuffer();
    } else {
        LThread::Start(LTHREAD_PRIORITY_NORMAL);
    }
    NotifyPosition(played_);
}

void LSoundPlayer::Convert(WaveHeader& h, int32_t n) {
    int16_t* out = reinterpret_cast<int16_t*>(h.hdr.data);
    const size_t samples = size_t(n) * channels_;
    for (size_t k = 0; k < samples; ++k) out[k] = LSampleTo16(conv_[k]);
    LSoundLevels l;
    l.channels = channels_;
    for (int c = 0; c < channels_ && c < 2; ++c) l.level[c] = Level(conv_.data() + c, n, channels_);
    h.levels = Pack(l);
}

void LSoundPlayer::WriteCueBuffer() {
    WaveHeader& h = headers_[0];
    const int32_t q = (framesPerBuffer_ + 3) / 4;
    source_->Read(conv_.data(), q);
    Convert(h, q);
    const size_t piece = size_t(q) * channels_ * 2;
    for (size_t at = piece; at < size_t(h.size); at += piece)
        std::memcpy(h.hdr.data + at, h.hdr.data, std::min(piece, size_t(h.size) - at));
    h.hdr.length = h.size;
    h.hdr.user = uintptr_t(uint32_t(source_->GetPosition()));
    h.hdr.loops = kLoopForever;
    h.free = false;
    h.Write(*wave_);
    NotifyLevels(Unpack(h.levels));
}

void LSoundPlayer::RestartDevice() {
    flags_ &= uint16_t(~PREROLL);
    wave_->Restart();
}

void LSoundPlayer::ThreadFunction() {
    for (auto& h : headers_) {
        wave_->ClearDone(h.hdr);
        h.hdr.loops = 0;
        h.free = true;
    }
    finishedCount_ = 0;
    feederRaised_ = false;
    bool doneRaised = false;
    doneHandler_.Start(LTHREAD_PRIORITY_NORMAL);
    int i = 0;
    int last = -1;
    bool ended = false;
    while (!StopRequested()) {
        freedEvent_.Reset();
        WaveHeader& h = headers_[i];
        if (!h.free) {  // all 64 are queued
            finishedCount_ = 0;
            if (!doneRaised) {
                doneHandler_.SetPriority(LTHREAD_PRIORITY_TIME_CRITICAL);
                doneRaised = true;
            }
            if (feederRaised_) {
                SetPriority(LTHREAD_PRIORITY_BELOW_NORMAL);
                feederRaised_ = false;
            }
            StopSignal().WaitSignalDual(freedEvent_, 1000);
            continue;
        }
        const int32_t available = source_->GetEndSample() - source_->GetPosition();
        if (available <= 0) {
            if (source_->IsStreaming()) {
                if (!feederRaised_) {
                    SetPriority(LTHREAD_PRIORITY_TIME_CRITICAL);
                    feederRaised_ = true;
                }
                if (doneRaised) {
                    doneHandler_.SetPriority(LTHREAD_PRIORITY_NORMAL);
                    doneRaised = false;
                }
                source_->WaitForData(150);
                continue;
            }
            if (flags_ & PREROLL) RestartDevice();
            ended = true;
            break;
        }
        const int32_t n = std::min(available, framesPerBuffer_);
        const int32_t before = source_->GetPosition();
        source_->Read(conv_.data(), n);
        Convert(h, n);
        h.hdr.length = uint32_t(channels_) * uint32_t(n) * 2;
        h.hdr.user = uintptr_t(uint32_t(before + n));
        h.hdr.loops = 0;
        wave_->ClearDone(h.hdr);
        h.free = false;
        h.Write(*wave_);
        last = i;
        i = (i + 1) % kHeaders;
        if (i == kPreRollHeaders && (flags_ & PREROLL)) RestartDevice();
    }
    if (ended) {
        LTrace("LSoundPlayer::ThreadFunction() End detected - so just stop");
        while (!StopRequested()) {
            freedEvent_.Reset();
            if (last < 0 || headers_[last].free) {
                finished_ = true;
                notify_.Notify();
                break;
            }
            StopSignal().WaitSignalDual(freedEvent_, 1000);
        }
    }
    doneHandler_.StopThreadTimed(kThreadStopMs);
    wave_->Reset();
}

void LSoundPlayerDoneHandlerThread::ThreadFunction() {
    player_.DoneHandler();
}

void LSoundPlayer::DoneHandler() {
    int j = 0;
    while (!doneHandler_.StopRequested()) {
        deviceEvent_.Reset();
        WaveHeader& h = headers_[j];
        if (!wave_->IsDone(h.hdr)) {
            doneHandler_.StopSignal().WaitSignalDual(deviceEvent_, 1000);
            continue;
        }
        played_ = int32_t(uint32_t(h.hdr.user));
        levels_ = h.levels.load();
        wave_->ClearDone(h.hdr);
        h.free = true;
        freedEvent_.Set();
        if (++finishedCount_ > 32 && !feederRaised_) {
            SetPriority(LTHREAD_PRIORITY_TIME_CRITICAL);
            feederRaised_ = true;
        }
        positionChanged_ = true;
        notify_.Notify();
        j = (j + 1) % kHeaders;
    }
}

void LSoundPlayer::NotifyPosition(int32_t frames) {
    handler_->spntfPosition(user_, int32_t(LSoundTimeMs(frames, source_->GetSampleRate())));
}

void LSoundPlayer::NotifyLevels(const LSoundLevels& levels) {
    handler_->spntfLevels(user_, levels);
}

void LSoundPlayer::EvNotify() {
    if (finished_) {
        NotifyPosition(source_->GetEndSample());
        Stop();
    } else if (positionChanged_) {
        positionChanged_ = false;
        NotifyPosition(played_);
        NotifyLevels(Unpack(levels_));
    }
}
