// Everything the platform can play: Media Foundation's source reader first, then a DirectShow
// filter graph whose renderer is replaced by a sample grabber and a null renderer; the
// grabber's buffers go into the temporary WAV file.
#include <windows.h>
// windows.h first
#include <dshow.h>
#include <qedit.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "external/platdec.h"
#include "external/win32/mfdecode.h"
#include "support/thread.h"
#include "support/trace.h"
#include "support/win32/wide.h"

namespace {

// The sample grabber and null renderer (qedit.dll) as the DirectShow documentation gives them.
constexpr GUID kClsidSampleGrabber = {
    0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
constexpr GUID kClsidNullRenderer = {
    0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
constexpr GUID kIidSampleGrabber = {
    0x6B652FFF, 0x11FE, 0x4FCE, {0x92, 0xAD, 0x02, 0x66, 0xB5, 0xD7, 0xC7, 0x8F}};
constexpr GUID kIidSampleGrabberCB = {
    0x0579154A, 0x2B53, 0x4994, {0xB0, 0xD0, 0xE7, 0x73, 0x14, 0x8E, 0xFF, 0x85}};

void Trace(const char* text) {
    LTrace(text);
}

template <class T>
void SafeRelease(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// The grabber's callback: appends every buffer to the file on the graph's streaming thread.
class LDxSampleCallback : public ISampleGrabberCB {
  public:
    explicit LDxSampleCallback(LDecodedWav* wav) : wav_(wav) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (IsEqualGUID(riid, kIidSampleGrabberCB) || IsEqualGUID(riid, IID_IUnknown)) {
            *out = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Owned by the decoder, which outlives the graph's use of it.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SampleCB(double, IMediaSample*) override { return S_OK; }
    STDMETHODIMP BufferCB(double sampleTime, BYTE* buffer, LONG length) override {
        seconds = sampleTime > 0 ? uint32_t(sampleTime) : 0;
        if (length > 0 && !toInt16) wav_->Append(buffer, uint32_t(length));
        // Float samples are rounded to 16 bits (nearest, clipped) in slices.
        for (LONG done = 0; toInt16 && done + 4 <= length;) {
            const LONG n = (length - done) / 4 < kSlice ? (length - done) / 4 : kSlice;
            for (LONG i = 0; i < n; ++i) {
                float f;
                std::memcpy(&f, buffer + done + 4 * i, 4);
                const long v = std::lrintf(f * 32768.0f);
                slice_[i] = int16_t(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
            }
            wav_->Append(slice_, uint32_t(n * 2));
            done += n * 4;
        }
        return S_OK;
    }
    std::atomic<uint32_t> seconds{0};
    bool toInt16 = false;  // the graph delivers 32-bit float

  private:
    static constexpr LONG kSlice = 4096;
    LDecodedWav* wav_;
    int16_t slice_[kSlice];
};

// KSDATAFORMAT_SUBTYPE_IEEE_FLOAT.
constexpr GUID kSubtypeFloat = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

bool IsFloat32(const uint8_t* format, uint32_t bytes) {
    const WAVEFORMATEX* wf = reinterpret_cast<const WAVEFORMATEX*>(format);
    if (wf->wBitsPerSample != 32) return false;
    if (wf->wFormatTag == 3) return true;
    GUID sub;
    if (wf->wFormatTag != 0xFFFE || bytes < 18 + 22) return false;
    std::memcpy(&sub, format + 18 + 6, sizeof sub);
    return IsEqualGUID(sub, kSubtypeFloat);
}

IPin* FirstPin(IBaseFilter* filter, PIN_DIRECTION want) {
    IEnumPins* pins = nullptr;
    if (FAILED(filter->EnumPins(&pins))) return nullptr;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION dir;
        if (SUCCEEDED(pin->QueryDirection(&dir)) && dir == want) break;
        SafeRelease(pin);
    }
    pins->Release();
    return pin;
}

bool Connect(IGraphBuilder* graph, IBaseFilter* from, IBaseFilter* to) {
    IPin* out = FirstPin(from, PINDIR_OUTPUT);
    IPin* in = FirstPin(to, PINDIR_INPUT);
    bool ok = out && in && SUCCEEDED(graph->Connect(out, in));
    SafeRelease(out);
    SafeRelease(in);
    return ok;
}

void FreeType(AM_MEDIA_TYPE& mt) {
    if (mt.cbFormat) CoTaskMemFree(mt.pbFormat);
    mt.cbFormat = 0;
    mt.pbFormat = nullptr;
    SafeRelease(mt.pUnk);
}

// Everything the decode makes, released in one place whatever step failed.
struct Graph {
    IGraphBuilder* graph = nullptr;
    IMediaControl* control = nullptr;
    IMediaEvent* events = nullptr;
    IMediaSeeking* seeking = nullptr;
    IBaseFilter* upstream = nullptr;
    IBaseFilter* grabberFilter = nullptr;
    ISampleGrabber* grabber = nullptr;
    IBaseFilter* nullRenderer = nullptr;
    AM_MEDIA_TYPE type{};
    bool haveType = false;
    ~Graph() { Release(); }
    void Release() {
        if (grabber) grabber->SetCallback(nullptr, 1);
        if (haveType) FreeType(type);
        haveType = false;
        SafeRelease(nullRenderer);
        SafeRelease(grabber);
        SafeRelease(grabberFilter);
        SafeRelease(upstream);
        SafeRelease(seeking);
        SafeRelease(events);
        SafeRelease(control);
        SafeRelease(graph);
    }
};

// Steps 2 to 7: the graph, rendered, its renderer replaced by grabber and null renderer.
bool BuildGraph(Graph& g, const char* path) {
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&g.graph)))) {
        Trace("Process(LDxLoadToWav) Could not create filter graph");
        return false;
    }
    IMediaFilter* filter = nullptr;
    if (SUCCEEDED(g.graph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&filter)))) {
        filter->SetSyncSource(nullptr);
        filter->Release();
    }
    if (FAILED(g.graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&g.control))))
        return false;
    const std::wstring wide = LWide(path);  // the path is UTF-8
    const HRESULT rendered = g.graph->RenderFile(wide.c_str(), nullptr);
    if (FAILED(rendered)) {
        char line[80];
        std::snprintf(line, sizeof line, "Process(LDxLoadToWav) Cannot find source filter (%08lx)",
                      static_cast<unsigned long>(rendered));
        Trace(line);
        return false;
    }
    IEnumFilters* list = nullptr;
    IBaseFilter* renderer = nullptr;
    if (SUCCEEDED(g.graph->EnumFilters(&list))) {
        list->Next(1, &renderer, nullptr);
        list->Next(1, &g.upstream, nullptr);
        list->Release();
    }
    const bool removed = renderer && g.upstream && SUCCEEDED(g.graph->RemoveFilter(renderer));
    SafeRelease(renderer);
    if (!removed) {
        Trace("Process(LDxLoadToWav) Could not remove last filter");
        return false;
    }
    if (FAILED(CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(&g.grabberFilter))) ||
        FAILED(g.graph->AddFilter(g.grabberFilter, L"SampleGrabber")) ||
        FAILED(g.grabberFilter->QueryInterface(kIidSampleGrabber,
                                               reinterpret_cast<void**>(&g.grabber))))
        return false;
    AM_MEDIA_TYPE want{};
    want.majortype = MEDIATYPE_Audio;
    want.subtype = GUID_NULL;
    want.formattype = FORMAT_WaveFormatEx;
    if (FAILED(g.grabber->SetMediaType(&want))) return false;
    g.grabber->SetOneShot(FALSE);
    g.grabber->SetBufferSamples(TRUE);
    if (!Connect(g.graph, g.upstream, g.grabberFilter)) {
        Trace("Process(LDxLoadToWav) connect failed Source -> SampleGrabber");
        return false;
    }
    if (FAILED(CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(&g.nullRenderer))) ||
        FAILED(g.graph->AddFilter(g.nullRenderer, L"Null Renderer")) ||
        !Connect(g.graph, g.grabberFilter, g.nullRenderer)) {
        Trace("Process(LDxLoadToWav) connect failed SampleGrabber -> NullRenderer");
        return false;
    }
    return true;
}

// Building the graph on a worker of its own: a source that never answers (Wine's reader of a
// tiny junk file, a pipe that never delivers) would otherwise hold the decode for ever. The
// worker keeps the graph until the caller is done with it; when the caller gave up waiting, it
// releases the graph whenever building returns.
struct GraphJob {
    LSignalObject built, finished;
    char path[LMAX_PATH] = {};
    Graph graph;
    std::atomic<bool> ok{false};
};

// 0 with the graph built, LPROCESS_STOPPED on Cancel, LPROCESS_FAILED when building failed or
// did not end within ms. The caller sets finished once it no longer uses the graph.
int BuildGraphWaiting(LProgressDialog* dlg, const std::shared_ptr<GraphJob>& job, uint32_t ms) {
    try {
        std::thread([job] {
            const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            job->ok = BuildGraph(job->graph, job->path);
            job->built.Set();
            job->finished.WaitFor(LWAIT_INFINITE);
            job->graph.Release();
            if (SUCCEEDED(init)) CoUninitialize();
        }).detach();
    } catch (...) {
        return LPROCESS_FAILED;
    }
    const int status = dlg->WaitForObject(job->built, ms);
    if (status == LPROCESS_FAILED) Trace("Process(LDxLoadToWav) building the graph stalled");
    if (status != LPROCESS_OK) return status;
    return job->ok ? LPROCESS_OK : LPROCESS_FAILED;
}

// The graph's output, a whole stream or at least the given share of its duration.
bool Covers(const LDecodedWav& wav, const WAVEFORMATEX* wf, LONGLONG duration, double share) {
    if (duration <= 0 || !wf->nAvgBytesPerSec) return false;
    const double decoded = double(wav.DataBytes()) / wf->nAvgBytesPerSec;
    return decoded + 0.5 >= share * double(duration) * 1e-7;
}

// Steps 8 to 10: header, callback, run until completion, Cancel, a stall or a full file.
int RunGraph(LProgressDialog* dlg, Graph& g, LDxLoadToWav* d, LDecodedWav& wav) {
    if (FAILED(g.grabber->GetConnectedMediaType(&g.type))) return LPROCESS_FAILED;
    g.haveType = true;
    if (!IsEqualGUID(g.type.formattype, FORMAT_WaveFormatEx) || !g.type.pbFormat ||
        g.type.cbFormat < sizeof(WAVEFORMAT))
        return LPROCESS_FAILED;
    // A plain 16-byte PCM format gets the zero extra-size field of an 18-byte one.
    static uint8_t format[18 + 0xFFFF];
    std::memset(format, 0, 18);
    const uint32_t have = g.type.cbFormat < sizeof format ? g.type.cbFormat : sizeof format;
    std::memcpy(format, g.type.pbFormat, have);
    WAVEFORMATEX* wf = reinterpret_cast<WAVEFORMATEX*>(format);
    uint16_t extra = have > 18 ? uint16_t(wf->cbSize < have - 18 ? wf->cbSize : have - 18) : 0;
    wf->cbSize = extra;
    LDxSampleCallback callback(&wav);
    // 32-bit float (what some decoders give for "any subtype") is written as 16-bit PCM, which
    // every reader of the temporary file understands.
    if (IsFloat32(format, have)) {
        callback.toInt16 = true;
        LPcmFormat(format, wf->nChannels, wf->nSamplesPerSec, 16, uint16_t(wf->nChannels * 2));
        extra = 0;
    }
    if (!wav.Create(d->szWavOutFilePath, format, extra)) return LPROCESS_FAILED;
    if (FAILED(g.grabber->SetCallback(&callback, 1))) return LPROCESS_FAILED;
    if (FAILED(g.graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&g.events))))
        return LPROCESS_FAILED;
    LONGLONG duration = 0;
    if (FAILED(g.graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&g.seeking))) ||
        FAILED(g.seeking->GetDuration(&duration))) {
        Trace("Process(LDxLoadToWav) - Duration not supported");
        duration = 0;
    }
    uint32_t seconds = uint32_t(double(duration) * 1e-7);
    if (!seconds) seconds = 1;
    if (FAILED(g.control->Run())) return LPROCESS_FAILED;
    int result = LPROCESS_FAILED;
    if (dlg->PumpMessages()) {  // cancelled while the graph was being built
        g.control->Stop();
        g.grabber->SetCallback(nullptr, 1);
        return LPROCESS_STOPPED;
    }
    LStallWatch stall(d->stallMs);
    for (;;) {
        long code = 0;
        const HRESULT hr = g.events->WaitForCompletion(1000, &code);
        if (hr != E_ABORT) {
            // A graph that ends with an error counts only when its output is whole; one that
            // ends far before its duration was cut short.
            const bool complete = SUCCEEDED(hr) && code == EC_COMPLETE;
            const bool whole = complete ? duration <= 0 || Covers(wav, wf, duration, 0.9)
                                        : Covers(wav, wf, duration, 1.0);
            if (!whole) Trace("Process(LDxLoadToWav) the graph ended before its duration");
            result = whole ? LPROCESS_OK : LPROCESS_FAILED;
            break;
        }
        if (dlg->PumpMessages()) {
            result = LPROCESS_STOPPED;
            break;
        }
        dlg->SetProgress(double(callback.seconds.load()) / seconds);
        if (wav.Full()) break;
        if (stall.Stalled(wav)) {
            Trace("Process(LDxLoadToWav) the graph stalled");
            break;
        }
    }
    g.control->Stop();
    g.grabber->SetCallback(nullptr, 1);
    if (wav.Full()) result = LPROCESS_FAILED;
    return result;
}

}  // namespace

// Windows comes without an Ogg Opus decoder of its own.
const bool kPlatformDecodesOpus = false;

int LPlatformDecodeToWav(LProgressDialog* dlg, LDxLoadToWav* d) {
    char name[LMAX_PATH];
    LFile::_GetFileFromPath(name, d->szInFilePath);
    dlg->SetText("Decoding with DirectX", 0);
    dlg->SetText(name, 1);
    // Media Foundation decodes what current systems bring (AAC and ALAC in MP4, FLAC, MP3);
    // what it cannot read goes to DirectShow as before.
    if (const int mf = LMfDecodeToWav(dlg, d); mf != LPROCESS_FAILED) return mf;
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    LDecodedWav wav;
    auto job = std::make_shared<GraphJob>();
    std::memcpy(job->path, d->szInFilePath, sizeof job->path);
    int result = BuildGraphWaiting(dlg, job, d->stallMs);
    if (result == LPROCESS_OK) result = RunGraph(dlg, job->graph, d, wav);
    job->finished.Set();
    if (result == LPROCESS_OK && !wav.Finish()) result = LPROCESS_FAILED;
    if (result != LPROCESS_OK) wav.Abandon();
    if (SUCCEEDED(init)) CoUninitialize();
    return result;
}
