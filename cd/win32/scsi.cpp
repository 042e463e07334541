// LSCSI on Windows: the ASPI layer "WNASPI32" on systems outside the NT family, the SCSI
// pass-through control of the drive's device (overlapped) everywhere else.
#include "cd/scsi.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "cd/win32/aspi.h"
#include "cd/win32/hooks.h"
#include "support/trace.h"
#include "support/win32/procaddress.h"

namespace {

using SendASPI32CommandFn = DWORD(__cdecl*)(void*);
using GetASPI32SupportInfoFn = DWORD(__cdecl*)();

// The route, chosen once per run: -1 undecided, 0 pass-through, 1 ASPI.
int g_useASPI = -1;
SendASPI32CommandFn g_send = nullptr;
GetASPI32SupportInfoFn g_info = nullptr;
LSCSISystemCalls g_calls;

void DetectRoute() {
    if (g_useASPI >= 0) return;
    g_useASPI = 0;
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
    if (!g_calls.getVersionEx(&v) || v.dwPlatformId == VER_PLATFORM_WIN32_NT) return;
    HMODULE lib = g_calls.loadLibrary("WNASPI32");  // never freed
    if (!lib) return;
    auto send = LProcAddress<SendASPI32CommandFn>(lib, "SendASPI32Command");
    auto info = LProcAddress<GetASPI32SupportInfoFn>(lib, "GetASPI32SupportInfo");
    if (send && info) {
        g_send = send;
        g_info = info;
        g_useASPI = 1;
    }
}

// The CD-ROM drive roots in the system's order ("D:\").
int ListCDRoots(char roots[][4], int max) {
    char list[512] = {};
    DWORD n = g_calls.getLogicalDriveStrings(511, list);
    if (n == 0 || n > 511) return 0;
    int count = 0;
    for (const char* p = list; *p && count < max; p += std::strlen(p) + 1) {
        if (g_calls.getDriveType(p) != DRIVE_CDROM || std::strlen(p) > 3) continue;
        std::strcpy(roots[count++], p);
    }
    return count;
}

}  // namespace

LSCSISystemCalls& LSCSIGetSystemCalls() {
    return g_calls;
}

void LSCSIForgetRouteForTesting() {
    g_useASPI = -1;
    g_send = nullptr;
    g_info = nullptr;
}

struct LSCSI::Platform {
    HANDLE device = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped{};
    SRB_ExecSCSICmd srb{};
    LSPTDRequest sptd{};
};

LSCSI::LSCSI() : platform_(new Platform) {
    event_.Set();
    platform_->overlapped.hEvent = reinterpret_cast<HANDLE>(event_.NativeHandle());
}

LSCSI::~LSCSI() {
    Close();
}

bool LSCSI::UseASPI32() {
    DetectRoute();
    return g_useASPI == 1;
}

int LSCSI::GetASPIAdapterCount() {
    if (!UseASPI32()) {
        LTrace("LSCSI::GetASPIAdapterCount() called when !UseASPI32");
        return 0;
    }
    DWORD status = g_info();
    if (HIBYTE(LOWORD(status)) != SS_COMP) {
        LTrace(
            "LSCSI::GetAdapterCount() GetASPI32SupportInfo() HIBYTE(LOWORD(ASPI32Status)) != "
            "SS_COMP");
        return 0;
    }
    return LOBYTE(LOWORD(status));
}

namespace {

// Walks the ASPI devices of type CD-ROM; stops at the index-th one (-1: count them all).
int WalkASPIDrives(int index, uint8_t* ha, uint8_t* target, uint8_t* lun) {
    int found = 0;
    int adapters = LSCSI::GetASPIAdapterCount();
    for (int a = 0; a < adapters; ++a)
        for (int t = 0; t < 7; ++t)
            for (int l = 0; l < 8; ++l) {
                SRB_GDEVBlock srb{};
                srb.SRB_Cmd = SC_GET_DEV_TYPE;
                srb.SRB_Status = 0xFF;
                srb.SRB_HaId = uint8_t(a);
                srb.SRB_Target = uint8_t(t);
                srb.SRB_Lun = uint8_t(l);
                srb.SRB_DeviceType = 0x1F;
                g_send(&srb);
                if (srb.SRB_DeviceType != DTYPE_CDROM) continue;
                if (found == index) {
                    *ha = uint8_t(a), *target = uint8_t(t), *lun = uint8_t(l);
                    return found;
                }
                ++found;
            }
    return index < 0 ? found : -1;
}

}  // namespace

int LSCSI::GetCDROMDriveCount() {
    uint8_t a, t, l;
    if (UseASPI32()) return WalkASPIDrives(-1, &a, &t, &l);
    char roots[26][4];
    return ListCDRoots(roots, 26);
}

bool LSCSI::OpenCDROMDrive(int index) {
    if (index < 0) return false;
    if (UseASPI32()) return WalkASPIDrives(index, &haId_, &target_, &lun_) == index;
    char roots[26][4];
    if (index >= ListCDRoots(roots, 26)) return false;
    return OpenSPTD(roots[index]);
}

bool LSCSI::OpenSPTD(const char* root) {
    Close();
    char name[MAX_PATH];
    std::snprintf(name, sizeof name, "\\\\.\\%s", root);
    size_t n = std::strlen(name);
    if (n > 0 && name[n - 1] == '\\') name[n - 1] = 0;
    platform_->device =
        g_calls.createFile(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (platform_->device == INVALID_HANDLE_VALUE) {
        LTrace("LSCSI::OpenSPTD Drive specified cannot be opened");
        return false;
    }
    return true;
}

void LSCSI::Close() {
    Platform& p = *platform_;
    if (g_useASPI == 1 && p.srb.SRB_Cmd == SC_EXEC_SCSI_CMD &&
        *static_cast<volatile uint8_t*>(&p.srb.SRB_Status) == SS_PENDING) {
        // The layer must not write into buffers that are about to go.
        SRB_Abort abort{};
        abort.SRB_Cmd = SC_ABORT_SRB;
        abort.SRB_HaId = haId_;
        abort.SRB_ToAbort = &p.srb;
        g_send(&abort);
        p.srb.SRB_Cmd = 0;
    }
    if (p.device != INVALID_HANDLE_VALUE) {
        // A request still with the driver is let go before its buffer may disappear.
        if (WaitForSingleObject(p.overlapped.hEvent, 0) != WAIT_OBJECT_0) {
            CancelIo(p.device);
            DWORD done = 0;
            g_calls.getOverlappedResult(p.device, &p.overlapped, &done, TRUE);
        }
        g_calls.closeHandle(p.device);
    }
    p.device = INVALID_HANDLE_VALUE;
}

int LSCSI::ExecuteAsync(const uint8_t* cdb, int cdbLength, int direction, uint32_t dataLength,
                        void* data) {
    Platform& p = *platform_;
    if (cdbLength < 1 || cdbLength > 16) {
        event_.Set();
        return LPROCESS_FAILED;
    }
    if (UseASPI32()) {
        std::memset(&p.srb, 0, sizeof p.srb);
        p.srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
        p.srb.SRB_Status = SS_ERR;
        p.srb.SRB_HaId = haId_;
        p.srb.SRB_Target = target_;
        p.srb.SRB_Lun = lun_;
        p.srb.SRB_Flags =
            uint8_t((direction == LSCSI_DATA_IN ? SRB_DIR_IN : SRB_DIR_OUT) | SRB_EVENT_NOTIFY);
        p.srb.SRB_BufLen = dataLength;
        p.srb.SRB_BufPointer = data;
        p.srb.SRB_SenseLen = 14;
        p.srb.SRB_PostProc = reinterpret_cast<void*>(event_.NativeHandle());
        std::memcpy(p.srb.CDBByte, cdb, size_t(cdbLength));
        p.srb.SRB_CDBLen = uint8_t(cdbLength);
        event_.Reset();
        DWORD result = g_send(&p.srb);
        // A pending request is judged by its completion alone: the layer may finish it on another
        // thread at once, and a busy target's error status seen here must still reach the retry.
        if (result == SS_PENDING) return LPROCESS_OK;
        uint8_t status = *static_cast<volatile uint8_t*>(&p.srb.SRB_Status);
        if (status != SS_PENDING) event_.Set();
        if (result == SS_ERR || status == SS_ERR) {
            LTrace("ProcessSCSIExecuteCommandAsync SendASPI32Command FAILED (immediate)");
            event_.Set();
            return LPROCESS_FAILED;
        }
        return LPROCESS_OK;
    }
    if (p.device == INVALID_HANDLE_VALUE) {
        event_.Set();
        return LPROCESS_FAILED;
    }
    std::memset(&p.sptd, 0, sizeof p.sptd);
    LSPTD& r = p.sptd.sptd;
    r.Length = sizeof(LSPTD);
    r.CdbLength = uint8_t(cdbLength);
    r.SenseInfoLength = 14;
    r.DataIn = direction == LSCSI_DATA_IN ? 1 : 0;
    r.DataTransferLength = dataLength;
    r.TimeOutValue = LCDGetTimeouts().deviceSeconds;
    r.DataBuffer = data;
    r.SenseInfoOffset = offsetof(LSPTDRequest, Sense);
    std::memcpy(r.Cdb, cdb, size_t(cdbLength));
    DWORD returned = 0;
    if (g_calls.deviceIoControl(p.device, LIOCTL_SCSI_PASS_THROUGH_DIRECT, &p.sptd, sizeof p.sptd,
                                &p.sptd, sizeof p.sptd, &returned, &p.overlapped)) {
        event_.Set();
        return LPROCESS_OK;
    }
    DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) return LPROCESS_OK;
    char text[96];
    wsprintfA(text, "ProcessSCSIExecuteCommandAsync DeviceIoControl FAILED (immediate) :%lu",
              error);
    LTrace(text);
    event_.Set();
    return LPROCESS_FAILED;
}

bool LSCSI::CommandFailed() {
    Platform& p = *platform_;
    if (UseASPI32()) {
        const uint8_t* s = p.srb.SenseArea;
        const uint8_t status = p.srb.SRB_Status;
        // Besides an error with sense data: a request the layer aborted or could not deliver
        // (the drive went away) left nothing in the buffer either.
        if (status != SS_COMP && status != SS_ERR) return true;
        return status == SS_ERR && (s[2] != 0 || s[12] != 0 || s[13] != 0);
    }
    // The request that never reached the drive (the device went away) fails too.
    DWORD done = 0;
    if (p.device == INVALID_HANDLE_VALUE ||
        !g_calls.getOverlappedResult(p.device, &p.overlapped, &done, FALSE))
        return true;
    const uint8_t* s = p.sptd.Sense;
    return p.sptd.sptd.ScsiStatus != 0 && (s[2] != 0 || s[12] != 0 || s[13] != 0);
}

bool LSCSI::TargetBusy() {
    return UseASPI32() && platform_->srb.SRB_TargStat == STATUS_BUSY;
}
