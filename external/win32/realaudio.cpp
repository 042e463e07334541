// RealAudio files: the installed RealPlayer engine, found through its registry folder and loaded
// once per run, plays the file into our own audio device, which writes the PCM to a WAV file.
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "external/platdec.h"
#include "external/win32/rma.h"
#include "support/trace.h"
#include "support/win32/procaddress.h"

namespace {

// The engine library, loaded on first use and kept for the rest of the run.
HMODULE EngineLibrary() {
    static HMODULE lib = nullptr;
    static bool tried = false;
    if (tried) return lib;
    char folder[MAX_PATH] = {};
    LONG size = sizeof folder;
    if (RegQueryValueA(HKEY_CLASSES_ROOT, "Software\\RealNetworks\\Preferences\\DT_Common", folder,
                       &size) != ERROR_SUCCESS)
        return nullptr;  // not installed yet: look again next time
    tried = true;
    char path[LMAX_PATH];
    std::snprintf(path, sizeof path, "%s", folder);
    LFile::FilePathCat(path, "pnen3260.dll");
    lib = LoadLibraryA(path);
    return lib;
}

// The audio device the engine plays into: every block it writes goes to the WAV file, and its
// time goes straight back, so the engine decodes as fast as it can. Lives on the decoder's stack;
// the engine's references do not own it.
class RMAAudioSink final : public IRMAAudioDevice {
  public:
    explicit RMAAudioSink(const char* path) : path_(path) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == kIidRmaAudioDevice) {
            *out = static_cast<IRMAAudioDevice*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    // The format arrives here: a fresh file with the 46-byte header and no data.
    HRESULT STDMETHODCALLTYPE Open(const RMAAudioFormat* format,
                                   IRMAAudioDeviceResponse* response) override {
        response_ = response;
        wav.Abandon();
        const uint16_t align = uint16_t(format->uChannels * (format->uBitsPerSample > 8 ? 2 : 1));
        uint8_t record[18];
        LPcmFormat(record, format->uChannels, uint32_t(format->ulSamplesPerSec),
                   format->uBitsPerSample, align);
        if (!wav.Create(path_, record, 0)) {
            LTrace("RMAAudioSink::RMAAudioSink Unable to open wav file for writing");
            failed = true;
            return E_FAIL;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const RMAAudioData* data) override {
        unsigned char* bytes = nullptr;
        unsigned long count = 0;
        if (!wav.IsOpen() || !data || !data->pData || FAILED(data->pData->Get(bytes, count)) ||
            !wav.Append(bytes, uint32_t(count))) {
            failed = true;
            return E_FAIL;
        }
        time_ = data->ulAudioTime;
        if (response_) response_->OnTimeSync(time_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentAudioTime(unsigned long& time) override {
        time = time_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Close(const BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Resume() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Pause() override { return S_OK; }
    BOOL STDMETHODCALLTYPE InitVolume(const uint16_t, const uint16_t) override { return TRUE; }
    HRESULT STDMETHODCALLTYPE SetVolume(const uint16_t volume) override {
        volume_ = volume;
        return S_OK;
    }
    uint16_t STDMETHODCALLTYPE GetVolume() override { return volume_; }
    HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drain() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE CheckFormat(const RMAAudioFormat*) override { return S_OK; }

    LDecodedWav wav;
    std::atomic<bool> failed{false};

  private:
    const char* path_;
    IRMAAudioDeviceResponse* response_ = nullptr;
    unsigned long time_ = 0;
    uint16_t volume_ = 0;
};

// Plays the file to its end; the player is open and our device in place.
int Play(LProgressDialog* dlg, LReadAudioDecode* d, IRMAPlayer* player, RMAAudioSink& sink) {
    dlg->SetProgress(0.1);
    char url[LMAX_PATH + 8];
    std::snprintf(url, sizeof url, "file:%s", d->szRAInFilePath);
    if (FAILED(player->OpenURL(url)) || FAILED(player->Begin())) {
        dlg->ShowError(kRealOpenFailedMessage);
        return LPROCESS_FAILED;
    }
    double x = 0.9;
    LStallWatch stall(d->stallMs);
    while (!player->IsDone()) {
        // The engine works through window messages: dispatch them, then give it a moment.
        if (dlg->PumpMessages() || dlg->WaitTimed(10) == LPROCESS_STOPPED) return LPROCESS_STOPPED;
        if (sink.failed) return LPROCESS_FAILED;
        if (stall.Stalled(sink.wav)) {
            LTrace("Process(LReadAudioDecode) the engine stalled");
            return LPROCESS_FAILED;
        }
        x *= 0.999;
        dlg->SetProgress(1.0 - x);
    }
    if (sink.failed) return LPROCESS_FAILED;
    if (!sink.wav.IsOpen()) {  // the engine never opened the device: no audio in the file
        dlg->ShowError(kRealOpenFailedMessage);
        return LPROCESS_FAILED;
    }
    return LPROCESS_OK;
}

}  // namespace

int LDecodeRealAudio(LProgressDialog* dlg, LReadAudioDecode* d) {
    char name[LMAX_PATH];
    LFile::_GetFileFromPath(name, d->szRAInFilePath);
    dlg->SetText("Decoding Real Audio", 0);
    dlg->SetText(name, 1);
    HMODULE lib = EngineLibrary();
    const auto create = lib ? LProcAddress<RmaCreateEngine>(lib, "CreateEngine") : nullptr;
    const auto close = lib ? LProcAddress<RmaCloseEngine>(lib, "CloseEngine") : nullptr;
    IRMAClientEngine* engine = nullptr;
    if (!create || !close || FAILED(create(&engine)) || !engine) {
        dlg->ShowError(kRealMissingMessage);
        return LPROCESS_FAILED;
    }
    RMAAudioSink sink(d->szWavOutFilePath);
    IRMAPlayer* player = nullptr;
    IRMAAudioDeviceManager* devices = nullptr;
    int result = LPROCESS_FAILED;
    if (FAILED(engine->CreatePlayer(player)) || !player) {
        dlg->ShowError(kRealOpenFailedMessage);
    } else if (FAILED(engine->QueryInterface(kIidRmaAudioDeviceManager,
                                             reinterpret_cast<void**>(&devices))) ||
               !devices || FAILED(devices->Replace(&sink))) {
        LTrace("Process(LReadAudioDecode) QueryInterface(IID_IRMAAudioDeviceManager) FAILED!");
        dlg->ShowError(kRealOpenFailedMessage);
    } else {
        result = Play(dlg, d, player, sink);
    }
    if (player) player->Stop();
    if (devices) {
        devices->Remove(&sink);
        devices->Release();
    }
    if (player) {
        engine->ClosePlayer(player);
        player->Release();
    }
    close(engine);
    if (result == LPROCESS_OK && !sink.wav.Finish()) result = LPROCESS_FAILED;
    if (result != LPROCESS_OK) sink.wav.Abandon();
    return result;
}
