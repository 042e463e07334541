// The sound output device on Win32 wave-out: one WAVEHDR per buffer, completion by event.
#include "app/sounddevice.h"

#include <windows.h>
// windows.h first: mmsystem.h depends on it.
#include <mmsystem.h>

#include <cstdio>

#include "support/trace.h"

namespace {

WAVEHDR* Hdr(const LSoundOutBuffer& b) {
    return static_cast<WAVEHDR*>(b.device);
}

class LWaveOut : public LSoundOutDevice {
  public:
    ~LWaveOut() override { Close(); }

    bool Open(int32_t device, int32_t rate, int channels, bool mapped,
              LSignalObject& completion) override {
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = WORD(channels);
        format.nSamplesPerSec = DWORD(rate);
        format.wBitsPerSample = 16;
        format.nBlockAlign = WORD(channels * 2);
        format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
        const UINT id = device <= 0 ? WAVE_MAPPER : UINT(device - 1);
        DWORD flags = CALLBACK_EVENT;
        if (mapped) flags |= WAVE_ALLOWSYNC | WAVE_MAPPED;
        return waveOutOpen(&wave_, id, &format, DWORD_PTR(completion.NativeHandle()), 0, flags) ==
               MMSYSERR_NOERROR;
    }

    bool Close() override {
        if (!wave_) return true;
        const bool ok = waveOutClose(wave_) == MMSYSERR_NOERROR;
        wave_ = nullptr;
        return ok;
    }

    bool Prepare(LSoundOutBuffer& b) override {
        auto* h = new WAVEHDR{};
        h->lpData = reinterpret_cast<LPSTR>(b.data);
        h->dwBufferLength = b.length;
        b.device = h;
        return waveOutPrepareHeader(wave_, h, sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
    }

    int Unprepare(LSoundOutBuffer& b) override {
        WAVEHDR* h = Hdr(b);
        if (!h) return LSOUNDOUT_OK;
        const MMRESULT r = waveOutUnprepareHeader(wave_, h, sizeof(WAVEHDR));
        if (r == WAVERR_STILLPLAYING) return LSOUNDOUT_STILL_PLAYING;
        delete h;
        b.device = nullptr;
        return r == MMSYSERR_NOERROR ? LSOUNDOUT_OK : LSOUNDOUT_ERROR;
    }

    bool Write(LSoundOutBuffer& b) override {
        WAVEHDR* h = Hdr(b);
        h->dwBufferLength = b.length;
        h->dwUser = DWORD_PTR(b.user);
        h->dwFlags &= ~DWORD(WHDR_DONE | WHDR_BEGINLOOP | WHDR_ENDLOOP);
        h->dwLoops = 0;
        if (b.loops > 1) {
            h->dwFlags |= WHDR_BEGINLOOP | WHDR_ENDLOOP;
            h->dwLoops = b.loops;
        }
        return waveOutWrite(wave_, h, sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
    }

    bool IsDone(const LSoundOutBuffer& b) override {
        const WAVEHDR* h = Hdr(b);
        return h && (static_cast<volatile const DWORD&>(h->dwFlags) & WHDR_DONE) != 0;
    }

    void ClearDone(LSoundOutBuffer& b) override {
        if (WAVEHDR* h = Hdr(b)) h->dwFlags &= ~DWORD(WHDR_DONE | WHDR_BEGINLOOP | WHDR_ENDLOOP);
    }

    bool Pause() override { return waveOutPause(wave_) == MMSYSERR_NOERROR; }
    bool Restart() override { return waveOutRestart(wave_) == MMSYSERR_NOERROR; }
    bool Reset() override {
        const bool ok = waveOutReset(wave_) == MMSYSERR_NOERROR;
        waveOutRestart(wave_);  // a reset device plays again once written to
        return ok;
    }

  private:
    HWAVEOUT wave_ = nullptr;
};

}  // namespace

std::unique_ptr<LSoundOutDevice> LSoundOutDevice::Create() {
    return std::make_unique<LWaveOut>();
}

int LSoundPlayDevice::Count() {
    return int(waveOutGetNumDevs());
}

void LSoundPlayDevice::GetText(int32_t device, char text[32]) {
    text[0] = 0;
    if (device <= 0) {
        std::snprintf(text, 32, "%s", "[Default Sound Out]");
        return;
    }
    WAVEOUTCAPSA caps{};
    if (waveOutGetDevCapsA(UINT(device - 1), &caps, sizeof caps) != MMSYSERR_NOERROR) {
        LTrace("LSoundPlayDevice::GetText waveOutGetDevCaps FAILED");
        return;
    }
    std::snprintf(text, 32, "%s", caps.szPname);
}
