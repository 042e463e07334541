// A stand-in ASPI layer: one host adapter with one CD-ROM drive that plays a disc image.
// Settings come from the environment of the process that loads it:
//   TAMBER_ASPI_IMAGE  the image ("TMBRCDI1", track count, start table, 16-bit samples)
//   TAMBER_ASPI_TARGET the drive's target id (default 1)
//   TAMBER_ASPI_MODE   "busy:N" the first N commands find the target busy; "sense:N" READ CD
//                      number N (from 0) and later fail with sense data; "never:N" READ CD
//                      number N and later never complete
//   TAMBER_ASPI_LOG    a file that receives a line per command (fields as submitted) and abort
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "cd/win32/aspi.h"
#include "tests/support/fakecd.h"

namespace {

std::mutex g_lock;
int g_commands = 0, g_reads = 0;  // counted from the last change of mode
std::string g_lastMode;

std::string Env(const char* name) {
    char buf[1024];
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf, n) : std::string();
}

// N of the mode "key:N", or -1 for another mode.
int ModeValue(const std::string& mode, const char* key) {
    const size_t k = std::strlen(key);
    return mode.compare(0, k, key) == 0 && mode[k] == ':' ? std::atoi(&mode[k + 1]) : -1;
}

void Log(const char* line) {
    if (FILE* f = std::fopen(Env("TAMBER_ASPI_LOG").c_str(), "a")) {
        std::fprintf(f, "%s\n", line);
        std::fclose(f);
    }
}

// The image named by the environment, read again when the name changes.
const testutil::DiscImage* Image() {
    static testutil::DiscImage image;
    static std::string loaded;
    const std::string path = Env("TAMBER_ASPI_IMAGE");
    if (path != loaded && !(image = testutil::DiscImage()).Load(path)) image.starts.clear();
    loaded = path;
    return image.starts.empty() ? nullptr : &image;
}

struct Job {
    SRB_ExecSCSICmd* srb;
    int command, read;
    std::string mode;
};

void Execute(const Job job) {
    SRB_ExecSCSICmd* srb = job.srb;
    const int never = ModeValue(job.mode, "never"), senseFrom = ModeValue(job.mode, "sense");
    if (job.read >= 0 && never >= 0 && job.read >= never) return;  // stays pending
    auto* out = reinterpret_cast<uint8_t*>(uintptr_t(srb->SRB_BufPointer));
    std::memset(srb->SenseArea, 0, sizeof srb->SenseArea);
    const testutil::DiscImage* image = Image();
    const bool failRead = job.read >= 0 && senseFrom >= 0 && job.read >= senseFrom;
    uint8_t status = SS_ERR;
    if (job.command < ModeValue(job.mode, "busy")) {
        srb->SenseArea[2] = 0x02, srb->SenseArea[12] = 0x04, srb->SenseArea[13] = 0x01;
        srb->SRB_TargStat = STATUS_BUSY;  // not ready, becoming ready
    } else if (!image ||
               image->Answer(srb->CDBByte, out, srb->SRB_BufLen, srb->SenseArea, failRead) != 0) {
        srb->SRB_TargStat = 0x02;  // check condition
    } else {
        status = SS_COMP;
    }
    srb->SRB_Status = status;
    if (srb->SRB_Flags & SRB_EVENT_NOTIFY) SetEvent(HANDLE(uintptr_t(srb->SRB_PostProc)));
}

}  // namespace

extern "C" __declspec(dllexport) DWORD __cdecl GetASPI32SupportInfo() {
    return (SS_COMP << 8) | 1;  // done, one host adapter
}

extern "C" __declspec(dllexport) DWORD __cdecl SendASPI32Command(void* request) {
    auto* head = static_cast<uint8_t*>(request);
    const std::string mode = Env("TAMBER_ASPI_MODE"), targetText = Env("TAMBER_ASPI_TARGET");
    const int target = targetText.empty() ? 1 : std::atoi(targetText.c_str());
    if (head[0] == SC_GET_DEV_TYPE) {
        auto* srb = static_cast<SRB_GDEVBlock*>(request);
        const bool drive = srb->SRB_HaId == 0 && srb->SRB_Target == target && srb->SRB_Lun == 0;
        if (drive) srb->SRB_DeviceType = DTYPE_CDROM;
        return srb->SRB_Status = drive ? SS_COMP : SS_NO_DEVICE;
    }
    if (head[0] != SC_EXEC_SCSI_CMD) {
        if (head[0] == SC_ABORT_SRB) Log("abort");
        return head[1] = SS_COMP;
    }
    auto* srb = static_cast<SRB_ExecSCSICmd*>(request);
    char line[256];
    std::string hex;
    for (int i = 0; i < srb->SRB_CDBLen && i < 16; ++i) {
        char b[4];
        std::snprintf(b, sizeof b, "%02x", srb->CDBByte[i]);
        hex += b;
    }
    std::snprintf(line, sizeof line, "exec flags=%02x buflen=%lu senselen=%d cdb=%s",
                  srb->SRB_Flags, (unsigned long)srb->SRB_BufLen, srb->SRB_SenseLen, hex.c_str());
    Log(line);
    if (srb->SRB_HaId != 0 || srb->SRB_Target != target || srb->SRB_Lun != 0)
        return srb->SRB_Status = SS_NO_DEVICE;
    Job job{srb, 0, -1, mode};
    {
        const std::lock_guard<std::mutex> hold(g_lock);
        if (mode != g_lastMode) g_commands = g_reads = 0, g_lastMode = mode;
        job.command = g_commands++;
        if (srb->CDBByte[0] == 0xBE) job.read = g_reads++;
    }
    srb->SRB_Status = SS_PENDING;
    std::thread(Execute, job).detach();
    return SS_PENDING;
}
