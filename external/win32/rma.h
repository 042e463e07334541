// The RealPlayer engine's interfaces that the RealAudio decoder uses, declared from the vendor's
// published SDK: the engine, a player, the audio device manager and the audio device we supply.
#pragma once

#include <unknwn.h>
#include <windows.h>

#include <cstdint>

// Every interface identifier of the SDK shares its last eight bytes.
constexpr GUID RmaIid(uint32_t first) {
    return GUID{static_cast<unsigned long>(first),
                0x0901,
                0x11D1,
                {0x8B, 0x06, 0x00, 0xA0, 0x24, 0x40, 0x6D, 0x59}};
}
inline constexpr GUID kIidRmaPlayer = RmaIid(0x402);
inline constexpr GUID kIidRmaClientEngine = RmaIid(0x403);
inline constexpr GUID kIidRmaAudioDevice = RmaIid(0x703);
inline constexpr GUID kIidRmaAudioDeviceResponse = RmaIid(0x704);
inline constexpr GUID kIidRmaAudioDeviceManager = RmaIid(0x70A);
inline constexpr GUID kIidRmaBuffer = RmaIid(0x1300);

struct RMAAudioFormat {
    uint16_t uChannels;
    uint16_t uBitsPerSample;
    unsigned long ulSamplesPerSec;
    uint16_t uMaxBlockSize;
};

struct IRMABuffer : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Get(unsigned char*& data, unsigned long& length) = 0;
    virtual HRESULT STDMETHODCALLTYPE Set(const unsigned char* data, unsigned long length) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSize(unsigned long length) = 0;
    virtual unsigned long STDMETHODCALLTYPE GetSize() = 0;
    virtual unsigned char* STDMETHODCALLTYPE GetBuffer() = 0;
};

struct RMAAudioData {
    IRMABuffer* pData;
    unsigned long ulAudioTime;  // start time in milliseconds
    int uAudioStreamType;
};

struct IRMAAudioDeviceResponse : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnTimeSync(unsigned long timeEnd) = 0;
};

struct IRMAAudioDevice : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Open(const RMAAudioFormat* format,
                                           IRMAAudioDeviceResponse* response) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close(const BOOL flush) = 0;
    virtual HRESULT STDMETHODCALLTYPE Resume() = 0;
    virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
    virtual HRESULT STDMETHODCALLTYPE Write(const RMAAudioData* data) = 0;
    virtual BOOL STDMETHODCALLTYPE InitVolume(const uint16_t minimum, const uint16_t maximum) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetVolume(const uint16_t volume) = 0;
    virtual uint16_t STDMETHODCALLTYPE GetVolume() = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Drain() = 0;
    virtual HRESULT STDMETHODCALLTYPE CheckFormat(const RMAAudioFormat* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentAudioTime(unsigned long& time) = 0;
};

// Only the first two methods are called; the engine's object has more after them.
struct IRMAAudioDeviceManager : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Replace(IRMAAudioDevice* device) = 0;
    virtual HRESULT STDMETHODCALLTYPE Remove(IRMAAudioDevice* device) = 0;
};

struct IRMAClientEngine;
struct IRMAPlayer : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetClientEngine(IRMAClientEngine*& engine) = 0;
    virtual BOOL STDMETHODCALLTYPE IsDone() = 0;
    virtual BOOL STDMETHODCALLTYPE IsLive() = 0;
    virtual unsigned long STDMETHODCALLTYPE GetCurrentPlayTime() = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenURL(const char* url) = 0;
    virtual HRESULT STDMETHODCALLTYPE Begin() = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
    virtual HRESULT STDMETHODCALLTYPE Seek(unsigned long time) = 0;
    virtual uint16_t STDMETHODCALLTYPE GetSourceCount() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSource(uint16_t index, IUnknown*& source) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetClientContext(IUnknown* context) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClientContext(IUnknown*& context) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddAdviseSink(IUnknown* sink) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAdviseSink(IUnknown* sink) = 0;
};

struct RmaEvent;
struct IRMAClientEngine : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreatePlayer(IRMAPlayer*& player) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClosePlayer(IRMAPlayer* player) = 0;
    virtual uint16_t STDMETHODCALLTYPE GetPlayerCount() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPlayer(uint16_t index, IUnknown*& player) = 0;
    virtual HRESULT STDMETHODCALLTYPE EventOccurred(RmaEvent* event) = 0;
};

// The engine library's two entry points.
using RmaCreateEngine = HRESULT(STDAPICALLTYPE*)(IRMAClientEngine** engine);
using RmaCloseEngine = HRESULT(STDAPICALLTYPE*)(IRMAClientEngine* engine);
