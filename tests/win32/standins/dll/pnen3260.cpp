// Stand-in for the RealPlayer engine in the Windows suites. The "RealAudio file" is text:
// "rate channels bits blocks failure" (blocks -1: never ends; failure 1: the file does not
// open, 3: the device is never opened). With STANDIN_RMA_NO_DEVICES set the engine has no audio
// device manager. Block i holds 1000 bytes (i * 7 + j) & 0xFF at time 10 i ms; the next block
// comes only once the device has reported the previous block's time.
#include <cstdio>
#include <cstring>

#include "external/win32/rma.h"

namespace {

int g_rate, g_channels, g_bits, g_blocks, g_failure;

template <class Base>
struct Object : Base {
    virtual ~Object() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        return *out = nullptr, E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

struct Buffer : Object<IRMABuffer> {
    unsigned char bytes[1000];
    HRESULT STDMETHODCALLTYPE Get(unsigned char*& data, unsigned long& length) override {
        return data = bytes, length = sizeof bytes, S_OK;
    }
    HRESULT STDMETHODCALLTYPE Set(const unsigned char*, unsigned long) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE SetSize(unsigned long) override { return E_FAIL; }
    unsigned long STDMETHODCALLTYPE GetSize() override { return sizeof bytes; }
    unsigned char* STDMETHODCALLTYPE GetBuffer() override { return bytes; }
};

struct Response : Object<IRMAAudioDeviceResponse> {
    long synced = -1;
    HRESULT STDMETHODCALLTYPE OnTimeSync(unsigned long time) override {
        return synced = long(time), S_OK;
    }
};

// Held by the engine and by its caller; the last Release deletes it.
struct Player : Object<IRMAPlayer> {
    ULONG refs = 2;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        if (--refs) return refs;
        delete this;
        return 0;
    }
    IRMAAudioDevice* device = nullptr;
    Response response;
    Buffer buffer;
    bool begun = false, opened = false;
    int next = 0;
    HRESULT STDMETHODCALLTYPE GetClientEngine(IRMAClientEngine*&) override { return E_FAIL; }
    BOOL STDMETHODCALLTYPE IsDone() override {
        if (!begun || g_failure == 3 || !device) return TRUE;
        if (!opened) {
            RMAAudioFormat f{uint16_t(g_channels), uint16_t(g_bits), unsigned(g_rate), 4096};
            if (FAILED(device->Open(&f, &response))) return TRUE;
            opened = true;
        }
        if (g_blocks >= 0 && next >= g_blocks) return TRUE;
        if (next > 0 && response.synced != (next - 1) * 10) return FALSE;  // waits for the device
        for (int j = 0; j < 1000; ++j) buffer.bytes[j] = (unsigned char)(next * 7 + j);
        RMAAudioData data{&buffer, unsigned(next * 10), 0};
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
        const int n =
            std::fscanf(f, "%d %d %d %d %d", &g_rate, &g_channels, &g_bits, &g_blocks, &g_failure);
        std::fclose(f);
        return n == 5 && g_failure != 1 ? S_OK : E_FAIL;
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
};

struct Devices : Object<IRMAAudioDeviceManager> {
    Player* player = nullptr;
    HRESULT STDMETHODCALLTYPE Replace(IRMAAudioDevice* device) override {
        return player->device = device, S_OK;
    }
    HRESULT STDMETHODCALLTYPE Remove(IRMAAudioDevice* device) override {
        if (player && player->device == device) player->device = nullptr;
        return S_OK;
    }
};

struct Engine : Object<IRMAClientEngine> {
    Player* player = nullptr;
    Devices devices;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid != kIidRmaAudioDeviceManager ||
            GetEnvironmentVariableA("STANDIN_RMA_NO_DEVICES", nullptr, 0) || !player)
            return E_NOINTERFACE;
        devices.player = player;
        *out = static_cast<IRMAAudioDeviceManager*>(&devices);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreatePlayer(IRMAPlayer*& out) override {
        return out = player = new Player, S_OK;
    }
    HRESULT STDMETHODCALLTYPE ClosePlayer(IRMAPlayer* p) override {
        if (p != player) return E_FAIL;
        player = devices.player = nullptr;
        p->Release();
        return S_OK;
    }
    uint16_t STDMETHODCALLTYPE GetPlayerCount() override { return player ? 1 : 0; }
    HRESULT STDMETHODCALLTYPE GetPlayer(uint16_t, IUnknown*&) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE EventOccurred(RmaEvent*) override { return S_OK; }
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
