// DSS dictation files decoded by the "dss32" component's library into a 16-bit mono WAV file.
#include <windows.h>

#include <cstdio>

#include "external/components.h"
#include "external/platdec.h"
#include "support/trace.h"
#include "support/win32/procaddress.h"

namespace {

// The library's exports (all looked up by name).
using InitDecoder = int(WINAPI*)(uint32_t mode);
using StartDecoding = int(WINAPI*)(int32_t flags);
// Next block: the pointer and its flag out; the result says whether more blocks follow.
using DecodeToPcm = int(WINAPI*)(const uint8_t** block, int32_t* flagged);
using ActiveFolder = int(WINAPI*)(const char* folder, int32_t flags);
// The file: its length (in the decoder's time units) and its kind out.
using ActiveFile = int(WINAPI*)(const char* path, int32_t* length, int32_t* kind);

template <class F>
bool Find(HMODULE lib, const char* name, F& out) {
    out = LProcAddress<F>(lib, name);
    return out != nullptr;
}

constexpr uint32_t kModeWord = 0xA0065;
constexpr uint32_t kModeLongBlocks = 0x40;

int Decode(LProgressDialog* dlg, LDSSDecode* d, HMODULE lib, LDecodedWav& wav) {
    InitDecoder init;
    StartDecoding start;
    DecodeToPcm next;
    ActiveFolder folder;
    ActiveFile file;
    if (!Find(lib, "DSSInitDecoder", init) || !Find(lib, "DSSStartDecoding", start) ||
        !Find(lib, "DSSDecodeToPCM", next) || !Find(lib, "DSSActiveFolder", folder) ||
        !Find(lib, "DSSActiveFile", file)) {
        LTrace("Process(LDSSDecode) unable to load dsscore.dll");
        return LPROCESS_FAILED;
    }
    uint32_t mode = kModeWord;
    if (init(mode) != 0) {
        LTrace("Process(LDSSDecode) DSSInitDecoder FAILED");
        return LPROCESS_FAILED;
    }
    char dir[LMAX_PATH];
    LFile::_GetFolderFromPath(dir, d->szDSSInFilePath);
    int32_t length = 0, kind = 0;
    if (folder(dir, 0) != 0 || file(d->szDSSInFilePath, &length, &kind) != 0) {
        dlg->ShowError(kDssOpenFailedMessage);
        return LPROCESS_FAILED;
    }
    uint32_t rate = 11025;
    if (kind == 2) {
        rate = 8000;
        mode &= ~kModeLongBlocks;
    } else if (kind == 3) {
        mode |= kModeLongBlocks;
    }
    uint8_t format[18];
    LPcmFormat(format, 1, rate, 16, 2);
    if (!wav.Create(d->szWavOutFilePath, format, 0)) return LPROCESS_FAILED;
    if (start(0) != 0) {
        LTrace("Process(LDSSDecode) DSSStartDecoding FAILED");
        dlg->ShowError(kDssStartFailedMessage);
        return LPROCESS_FAILED;
    }
    const double span = length > 0 ? double(length) : 1.0;
    double decoded = 0;
    for (;;) {
        const uint8_t* block = nullptr;
        int32_t flagged = 0;
        const bool more = next(&block, &flagged) != 0;
        if (!block) return LPROCESS_OK;
        uint32_t bytes = 528;
        if (flagged) {
            bytes = (mode & kModeLongBlocks) && kind == 3 ? 660 : 480;
            decoded += 30;
        } else {
            decoded += 24;
        }
        if (!wav.Append(block, bytes)) return LPROCESS_FAILED;
        if (!more) return LPROCESS_OK;
        if (dlg->PumpMessages()) return LPROCESS_STOPPED;
        dlg->SetProgress(decoded / span);
        if (decoded >= span) return LPROCESS_OK;
    }
}

}  // namespace

int LDecodeDSS(LProgressDialog* dlg, LDSSDecode* d) {
    dlg->SetText("Decoding DSS File", 0);
    dlg->SetText(d->szDSSInFilePath, 1);
    dlg->SetProgress(0.0);
    LProcessGetComponentPath component;
    component.name = "dss32";
    if (int status = ProcessGetComponentPath(dlg, &component)) return status;
    HMODULE lib = LoadLibraryA(component.path);
    if (!lib) {
        LTrace("Process(LDSSDecode) unable to load dsscore.dll");
        return LPROCESS_FAILED;
    }
    LDecodedWav wav;
    int result = Decode(dlg, d, lib, wav);
    if (result == LPROCESS_OK && !wav.Finish()) result = LPROCESS_FAILED;
    if (result != LPROCESS_OK) wav.Abandon();
    FreeLibrary(lib);
    return result;
}
