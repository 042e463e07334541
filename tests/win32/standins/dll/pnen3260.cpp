// Stand-in RealPlayer engine. A "RealAudio file" is "rate channels bits blocks failure" (-1 blocks:
// endless; failure 1: no open, 3: no device open; STANDIN_RMA_NO_DEVICES: no device manager). Block
// i, 1000 bytes (i * 7 + j) & 0xFF at 10 i ms, follows the device's time sync of the one before.
#include <cstdio>
#include <cstring>

#include "external/win32/rma.h"

namespace {

// One object plays every part: engine, player, device manager, device response and buffer.
struct Engine final : IRMAClientEngine,
                      IRMAPlayer,
                      IRMAAudioDeviceManager,
                      IRMAAudioDeviceResponse,
                      IRMABuffer {
    int rate = 0, channels = 0, bits = 0, blocks = 0, failure = 0, next = 0;
    bool playing = false, begun = false, opened = false;
    long synced = -1;
    IRMAAudioDevice* device = nullptr;
    unsigned char bytes[1000];

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        const bool devices = iid == kIidRmaAudioDeviceManager && playing &&
                             !GetEnvironmentVariableA("STANDIN_RMA_NO_DEVICES", nullptr, 0);
        *out = devices ? static_cast<IRMAAudioDeviceManager*>(this) : nullptr;
        return devices ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreatePlayer(IRMAPlayer*& out) override {
        playing = true, begun = opened = false, next = 0, synced = -1, device = nullptr;
        return out = this, S_OK;
    }
    HRESULT STDMETHODCALLTYPE ClosePlayer(IRMAPlayer* p) override {
        if (p != static_cast<IRMAPlayer*>(this) || !playing) return E_FAIL;
        return playing = false, device = nullptr, S_OK;
    }
    uint16_t STDMETHODCALLTYPE GetPlayerCount() override { return playing ? 1 : 0; }
    HRESULT STDMETHODCALLTYPE GetPlayer(uint16_t, IUnknown*&) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE EventOccurred(RmaEvent*) override { return S_OK; }

    HRESULT STDMETHODCALLTYPE GetClientEngine(IRMAClientEngine*&) override { return E_FAIL; }
    BOOL STDMETHODCALLTYPE IsDone() override {
        if (!begun || failure == 3 || !device) return TRUE;
        if (!opened) {
            RMAAudioFormat f{uint16_t(channels), uint16_t(bits), unsigned(rate), 4096};
            if (FAILED(device->Open(&f, this))) return TRUE;
            opened = true;
        }
        if (blocks >= 0 && next >= blocks) return TRUE;
        if (next > 0 && synced != (next - 1) * 10) return FALSE;  // waits for the device
        for (int j = 0; j < 1000; ++j) bytes[j] = (unsigned char)(next * 7 + j);
        RMAAudioData data{this, unsigned(next * 10), 0};
        device->Write(&data);
        ++next;
        return FALSE;
    }
    BOOL STDMETHODCALLTYPE IsLive() override { return FALSE; }
    unsigned long STDMETHODCALLTYPE GetCurrentPlayTime() override { return 0; }
    HRESULT STDMETHODCALLTYPE OpenURL(const char* url) override {
        if (std::strncmp(url, "file:", 5) != 0) return E_FAIL;
        FILE* f = std::fopen(url + 5, "r");
        if (!f) return E_FAIL;
        const int n = std::fscanf(f, "%d %d %d %d %d", &rate, &channels, &bits, &blocks, &failure);
        std::fclose(f);
        return n == 5 && failure != 1 ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE Begin() override { return begun = true, S_OK; }
    HRESULT STDMETHODCALLTYPE Stop() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Pause() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Seek(unsigned long) override { return S_OK; }
    uint16_t STDMETHODCALLTYPE GetSourceCount() override { return 0; }
    HRESULT STDMETHODCALLTYPE GetSource(uint16_t, IUnknown*&) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE SetClientContext(IUnknown*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetClientContext(IUnknown*&) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE AddAdviseSink(IUnknown*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveAdviseSink(IUnknown*) override { return S_OK; }

    HRESULT STDMETHODCALLTYPE Replace(IRMAAudioDevice* d) override { return device = d, S_OK; }
    HRESULT STDMETHODCALLTYPE Remove(IRMAAudioDevice* d) override {
        if (device == d) device = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnTimeSync(unsigned long time) override {
        return synced = long(time), S_OK;
    }

    HRESULT STDMETHODCALLTYPE Get(unsigned char*& data, unsigned long& length) override {
        return data = bytes, length = sizeof bytes, S_OK;
    }
    HRESULT STDMETHODCALLTYPE Set(const unsigned char*, unsigned long) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE SetSize(unsigned long) override { return E_FAIL; }
    unsigned long STDMETHODCALLTYPE GetSize() override { return sizeof bytes; }
    unsigned char* STDMETHODCALLTYPE GetBuffer() override { return bytes; }
};

}  // namespace

extern "C" {
__declspec(dllexport) HRESULT STDAPICALLTYPE CreateEngine(IRMAClientEngine** engine) {
    return *engine = new Engine, S_OK;
}
__declspec(dllexport) HRESULT STDAPICALLTYPE CloseEngine(IRMAClientEngine* engine) {
    delete static_cast<Engine*>(engine);
    return S_OK;
}
}
