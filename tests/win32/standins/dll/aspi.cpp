// A stand-in ASPI layer: one adapter with a CD-ROM drive (target 1) playing a disc image; commands
// not submitted as callers must (data in with the event, 14 sense bytes, the command's own length)
// are refused. From the environment: TAMBER_ASPI_IMAGE the image, read once; TAMBER_ASPI_MODE
// "busy:N" (the first N commands find the target busy) or "never:N" (READ CD number N from 0 on
// never completes); TAMBER_ASPI_LOG gets a line per command ("exec") and per abort ("abort").
#include "cd/win32/aspi.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "tests/support/fakecd.h"

namespace {

// Commands complete on one worker thread of the layer's own, in the order they came, as a driver
// would complete them (a thread per command could stall in the runtime's thread start under load).
struct Pending {
    SRB_ExecSCSICmd* srb;
    int command, read, busy, never;
};
CRITICAL_SECTION g_lock;
HANDLE g_wake = nullptr;
std::deque<Pending> g_pending;
int g_commands = 0, g_reads = 0;  // counted from the last change of mode
std::string g_lastMode;

std::string Env(const char* name) {
    char buf[1024];
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf, n) : std::string();
}

void Log(const char* line) {
    if (FILE* f = std::fopen(Env("TAMBER_ASPI_LOG").c_str(), "a")) {
        std::fprintf(f, "%s\n", line);
        std::fclose(f);
    }
}

// Completes command number `command` since the mode was set (READ CD number `read`, or -1).
void Execute(SRB_ExecSCSICmd* srb, int command, int read, int busy, int never) {
    static testutil::DiscImage image;
    static const bool loaded = image.Load(Env("TAMBER_ASPI_IMAGE"));
    if (read >= 0 && never >= 0 && read >= never) return;  // stays pending
    auto* out = static_cast<uint8_t*>(srb->SRB_BufPointer);
    std::memset(srb->SenseArea, 0, sizeof srb->SenseArea);
    uint8_t status = SS_ERR;
    if (command < busy) {
        srb->SenseArea[2] = 0x02, srb->SenseArea[12] = 0x04, srb->SenseArea[13] = 0x01;
        srb->SRB_TargStat = STATUS_BUSY;  // not ready, becoming ready
    } else if (!loaded || image.Answer(srb->CDBByte, out, srb->SRB_BufLen, srb->SenseArea) != 0) {
        srb->SRB_TargStat = 0x02;  // check condition
    } else {
        status = SS_COMP;
    }
    srb->SRB_Status = status;
    if (srb->SRB_Flags & SRB_EVENT_NOTIFY) SetEvent(HANDLE(srb->SRB_PostProc));
}

DWORD WINAPI Worker(void*) {
    for (;;) {
        WaitForSingleObject(g_wake, INFINITE);
        for (;;) {
            EnterCriticalSection(&g_lock);
            const bool any = !g_pending.empty();
            Pending p{};
            if (any) p = g_pending.front(), g_pending.pop_front();
            LeaveCriticalSection(&g_lock);
            if (!any) break;
            Execute(p.srb, p.command, p.read, p.busy, p.never);
        }
    }
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        InitializeCriticalSection(&g_lock);
        g_wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        // Starts once the loader lets go; until then nothing can be queued for it.
        if (HANDLE t = CreateThread(nullptr, 0, Worker, nullptr, 0, nullptr)) CloseHandle(t);
    }
    return TRUE;
}

extern "C" __declspec(dllexport) DWORD __cdecl GetASPI32SupportInfo() {
    return (SS_COMP << 8) | 1;  // done, one host adapter
}

extern "C" __declspec(dllexport) DWORD __cdecl SendASPI32Command(void* request) {
    auto* head = static_cast<uint8_t*>(request);
    const std::string mode = Env("TAMBER_ASPI_MODE");
    if (head[0] == SC_GET_DEV_TYPE) {
        auto* srb = static_cast<SRB_GDEVBlock*>(request);
        const bool drive = srb->SRB_HaId == 0 && srb->SRB_Target == 1 && srb->SRB_Lun == 0;
        if (drive) srb->SRB_DeviceType = DTYPE_CDROM;
        return srb->SRB_Status = drive ? SS_COMP : SS_NO_DEVICE;
    }
    if (head[0] != SC_EXEC_SCSI_CMD) {
        if (head[0] == SC_ABORT_SRB) Log("abort");
        return head[1] = SS_COMP;
    }
    auto* srb = static_cast<SRB_ExecSCSICmd*>(request);
    Log("exec");
    if (srb->SRB_HaId != 0 || srb->SRB_Target != 1 || srb->SRB_Lun != 0)
        return srb->SRB_Status = SS_NO_DEVICE;
    const uint8_t op = srb->CDBByte[0];
    if (srb->SRB_Flags != (SRB_DIR_IN | SRB_EVENT_NOTIFY) || srb->SRB_SenseLen != 14 ||
        srb->SRB_CDBLen != (op == 0x43   ? 10
                            : op == 0xBE ? 12
                                         : srb->SRB_CDBLen))
        return srb->SRB_Status = SS_ERR;
    int busy = -1, never = -1, command = 0, read = -1;
    std::sscanf(mode.c_str(), "busy:%d", &busy);
    std::sscanf(mode.c_str(), "never:%d", &never);
    srb->SRB_Status = SS_PENDING;
    EnterCriticalSection(&g_lock);
    if (mode != g_lastMode) g_commands = g_reads = 0, g_lastMode = mode;
    command = g_commands++;
    if (op == 0xBE) read = g_reads++;
    g_pending.push_back({srb, command, read, busy, never});
    LeaveCriticalSection(&g_lock);
    SetEvent(g_wake);
    return SS_PENDING;
}
