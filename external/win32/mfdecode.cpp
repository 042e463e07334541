// Media Foundation's source reader into the temporary WAV file: the first audio stream asked
// for as 16-bit PCM, read on a worker thread. mfplat.dll and mfreadwrite.dll are loaded by name
// on first use, so that the program starts where they are missing.
#include "external/win32/mfdecode.h"

#include <windows.h>
// windows.h first
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "support/thread.h"
#include "support/trace.h"
#include "support/win32/wide.h"

namespace {

template <class T>
void SafeRelease(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// The entry points, looked up by name; null where a library or one of them is missing.
struct MfLibrary {
    decltype(&MFStartup) startup = nullptr;
    decltype(&MFShutdown) shutdown = nullptr;
    decltype(&MFCreateMediaType) createMediaType = nullptr;
    decltype(&MFCreateSourceReaderFromURL) createSourceReader = nullptr;
};

template <class F>
void Find(F& f, HMODULE module, const char* name) {
    f = module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)))
               : nullptr;
}

// Loaded once per run and kept (the worker of a decode that was given up may still use it).
const MfLibrary* Library() {
    static const MfLibrary* loaded = []() -> const MfLibrary* {
        static MfLibrary mf;
        const HMODULE plat = LoadLibraryA("mfplat.dll");
        const HMODULE readwrite = plat ? LoadLibraryA("mfreadwrite.dll") : nullptr;
        Find(mf.startup, plat, "MFStartup");
        Find(mf.shutdown, plat, "MFShutdown");
        Find(mf.createMediaType, plat, "MFCreateMediaType");
        Find(mf.createSourceReader, readwrite, "MFCreateSourceReaderFromURL");
        if (mf.startup && mf.shutdown && mf.createMediaType && mf.createSourceReader) return &mf;
        LTrace("LMfDecodeToWav Media Foundation's source reader is not available");
        return nullptr;
    }();
    return loaded;
}

// What the worker and the waiting dialog share. Every use of the file is under the lock; once
// the dialog has given up (abandoned), the worker writes nothing more.
struct MfJob {
    char input[LMAX_PATH] = {};
    char output[LMAX_PATH] = {};
    std::mutex lock;
    bool abandoned = false;
    LDecodedWav wav;
    std::atomic<int64_t> position{0};  // 100 ns units
    std::atomic<int64_t> duration{0};
    std::atomic<int> result{LPROCESS_FAILED};
    LSignalObject done;
};

constexpr DWORD kAudio = DWORD(MF_SOURCE_READER_FIRST_AUDIO_STREAM);

// What the reader delivers: 16-bit PCM or 32-bit float, its channels and rate.
struct StreamType {
    bool isFloat = false;
    UINT32 channels = 0;
    UINT32 rate = 0;
    bool operator==(const StreamType&) const = default;
};

// The stream's current type; false for anything but the two sample kinds asked for.
bool CurrentType(IMFSourceReader* reader, StreamType& t) {
    IMFMediaType* type = nullptr;
    if (FAILED(reader->GetCurrentMediaType(kAudio, &type))) return false;
    GUID subtype{};
    UINT32 bits = 0;
    bool ok = SUCCEEDED(type->GetGUID(MF_MT_SUBTYPE, &subtype)) &&
              SUCCEEDED(type->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits)) &&
              SUCCEEDED(type->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &t.channels)) &&
              SUCCEEDED(type->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &t.rate)) &&
              t.channels >= 1 && t.channels <= 255 && t.rate >= 1;
    t.isFloat = IsEqualGUID(subtype, MFAudioFormat_Float);
    ok = ok &&
         ((t.isFloat && bits == 32) || (IsEqualGUID(subtype, MFAudioFormat_PCM) && bits == 16));
    SafeRelease(type);
    return ok;
}

// Asks the reader for one sample kind.
bool AskFor(const MfLibrary& mf, IMFSourceReader* reader, const GUID& subtype, UINT32 bits) {
    IMFMediaType* want = nullptr;
    const bool ok = SUCCEEDED(mf.createMediaType(&want)) &&
                    SUCCEEDED(want->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio)) &&
                    SUCCEEDED(want->SetGUID(MF_MT_SUBTYPE, subtype)) &&
                    SUCCEEDED(want->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, bits)) &&
                    SUCCEEDED(reader->SetCurrentMediaType(kAudio, nullptr, want));
    SafeRelease(want);
    return ok;
}

// Opens the reader on the first audio stream and asks for 32-bit float, else 16-bit PCM. Float
// comes first: some decoders reach 16 bits only through a dithered conversion of their own,
// while a float of 16-bit content rounds back to it exactly.
bool OpenReader(const MfLibrary& mf, MfJob& job, IMFSourceReader*& reader) {
    const std::wstring wide = LWide(job.input);  // the path is UTF-8
    if (wide.empty()) return false;
    const HRESULT made = mf.createSourceReader(wide.c_str(), nullptr, &reader);
    if (FAILED(made)) {
        char line[80];
        std::snprintf(line, sizeof line, "LMfDecodeToWav no source reader for the file (%08lx)",
                      static_cast<unsigned long>(made));
        LTrace(line);
        return false;
    }
    bool ok =
        SUCCEEDED(reader->SetStreamSelection(DWORD(MF_SOURCE_READER_ALL_STREAMS), FALSE)) &&
        SUCCEEDED(reader->SetStreamSelection(kAudio, TRUE)) &&
        (AskFor(mf, reader, MFAudioFormat_Float, 32) || AskFor(mf, reader, MFAudioFormat_PCM, 16));
    if (!ok) LTrace("LMfDecodeToWav the file has no audio stream that decodes to PCM");
    PROPVARIANT var;
    PropVariantInit(&var);
    if (ok &&
        SUCCEEDED(reader->GetPresentationAttribute(DWORD(MF_SOURCE_READER_MEDIASOURCE),
                                                   MF_PD_DURATION, &var)) &&
        var.vt == VT_UI8)
        job.duration = int64_t(var.uhVal.QuadPart);
    PropVariantClear(&var);
    return ok;
}

// Float samples become 16-bit ones (nearest, clipped) in slices of this many.
constexpr DWORD kSlice = 4096;

// Appends one sample's bytes as 16-bit PCM; false when the file refuses them or the dialog
// gave up. slice: the worker's conversion buffer.
bool AppendSample(MfJob& job, IMFSample* sample, bool isFloat, int16_t* slice) {
    IMFMediaBuffer* buffer = nullptr;
    if (FAILED(sample->ConvertToContiguousBuffer(&buffer))) return false;
    BYTE* bytes = nullptr;
    DWORD length = 0;
    bool ok = false;
    if (SUCCEEDED(buffer->Lock(&bytes, nullptr, &length))) {
        std::lock_guard<std::mutex> hold(job.lock);
        ok = !job.abandoned;
        if (ok && !isFloat) ok = job.wav.Append(bytes, length);
        for (DWORD done = 0; ok && isFloat && done + 4 <= length;) {
            const DWORD n = (length - done) / 4 < kSlice ? (length - done) / 4 : kSlice;
            for (DWORD i = 0; i < n; ++i) {
                float f;
                std::memcpy(&f, bytes + done + 4 * i, 4);
                const long v = std::lrintf(f * 32768.0f);
                slice[i] = int16_t(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
            }
            ok = job.wav.Append(slice, n * 2);
            done += n * 4;
        }
        buffer->Unlock();
    }
    SafeRelease(buffer);
    return ok;
}

// The worker's read: header, then every sample to the end of the stream.
int Read(const MfLibrary& mf, MfJob& job) {
    IMFSourceReader* reader = nullptr;
    StreamType type;
    if (!OpenReader(mf, job, reader) || !CurrentType(reader, type)) {
        SafeRelease(reader);
        return LPROCESS_FAILED;
    }
    uint8_t format[18];
    LPcmFormat(format, uint16_t(type.channels), type.rate, 16, uint16_t(type.channels * 2));
    static thread_local int16_t slice[kSlice];
    bool ok;
    {
        std::lock_guard<std::mutex> hold(job.lock);
        ok = !job.abandoned && job.wav.Create(job.output, format, 0);
    }
    while (ok) {
        DWORD flags = 0;
        LONGLONG time = 0;
        IMFSample* sample = nullptr;
        const HRESULT hr = reader->ReadSample(kAudio, 0, nullptr, &flags, &time, &sample);
        if (FAILED(hr) || (flags & MF_SOURCE_READERF_ERROR)) {
            LTrace("LMfDecodeToWav the reader failed");
            ok = false;
        } else if (flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) {
            // The header is written: a stream that changes its rate or channels midway cannot
            // go on in the same file.
            StreamType now;
            ok = CurrentType(reader, now) && now == type;
            if (!ok) LTrace("LMfDecodeToWav the stream changed its format");
        }
        if (ok && sample) {
            ok = AppendSample(job, sample, type.isFloat, slice);
            job.position = int64_t(time);
        }
        SafeRelease(sample);
        if (flags & MF_SOURCE_READERF_ENDOFSTREAM) break;
    }
    SafeRelease(reader);
    std::lock_guard<std::mutex> hold(job.lock);
    if (ok && !job.abandoned && job.wav.Finish()) return LPROCESS_OK;
    job.wav.Abandon();
    return LPROCESS_FAILED;
}

void Work(const MfLibrary* mf, const std::shared_ptr<MfJob>& job) {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(mf->startup(MF_VERSION, MFSTARTUP_LITE))) {
        job->result = Read(*mf, *job);
        mf->shutdown();
    }
    if (SUCCEEDED(init)) CoUninitialize();
    job->done.Set();
}

}  // namespace

int LMfDecodeToWav(LProgressDialog* dlg, const LDxLoadToWav* d) {
    const MfLibrary* mf = Library();
    if (!mf) return LPROCESS_FAILED;
    auto job = std::make_shared<MfJob>();
    std::memcpy(job->input, d->szInFilePath, sizeof job->input);
    std::memcpy(job->output, d->szWavOutFilePath, sizeof job->output);
    try {
        std::thread(Work, mf, job).detach();
    } catch (...) {
        return LPROCESS_FAILED;
    }
    LStallWatch stall(d->stallMs);
    int result = LPROCESS_FAILED;
    for (;;) {
        const int wait = dlg->WaitForObject(job->done, 500);
        if (wait == LPROCESS_OK) return job->result;
        if (wait == LPROCESS_STOPPED) {
            result = LPROCESS_STOPPED;
            break;
        }
        const int64_t duration = job->duration;
        if (duration > 0) dlg->SetProgress(double(job->position) / double(duration));
        if (stall.Stalled(job->wav)) {
            LTrace("LMfDecodeToWav the reader stalled");
            break;
        }
    }
    // Given up: the worker may still be inside the reader; it writes nothing from now on.
    std::lock_guard<std::mutex> hold(job->lock);
    job->abandoned = true;
    job->wav.Abandon();
    return result;
}
