// A stand-in ASPI layer: one host adapter with one CD-ROM drive that plays a disc image.
// Settings come from the environment of the process that loads it:
//   TAMBER_ASPI_IMAGE  the image ("TMBRCDI1", track count, start table, 16-bit samples)
//   TAMBER_ASPI_TARGET the drive's target id (default 1)
//   TAMBER_ASPI_MODE   "busy:N" the first N commands find the target busy; "sense:N" READ CD
//                      number N (from 0) and later fail with sense data; "never:N" READ CD
//                      number N and later never complete
//   TAMBER_ASPI_LOG    a file that receives one line per request (fields as submitted)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cd/win32/aspi.h"

namespace {

CRITICAL_SECTION g_lock;
int g_commands = 0, g_reads = 0;
std::string g_lastMode;

std::string Env(const char* name) {
    char buf[1024];
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf, n) : std::string();
}

int ModeValue(const std::string& mode, const char* key) {
    size_t k = std::strlen(key);
    return mode.compare(0, k, key) == 0 && mode.size() > k && mode[k] == ':'
               ? std::atoi(mode.c_str() + k + 1)
               : -1;
}

void Log(const char* line) {
    std::string path = Env("TAMBER_ASPI_LOG");
    if (path.empty()) return;
    if (FILE* f = std::fopen(path.c_str(), "a")) {
        std::fprintf(f, "%lu %s\n", GetTickCount(), line);
        std::fclose(f);
    }
}

// Reads from the image: the start table, or count sectors at lba. False beyond the image.
bool ReadImage(uint32_t* tracks, uint32_t starts[257], uint32_t lba, uint32_t count, void* out) {
    FILE* f = std::fopen(Env("TAMBER_ASPI_IMAGE").c_str(), "rb");
    if (!f) return false;
    char magic[8];
    bool ok = std::fread(magic, 1, 8, f) == 8 && std::memcmp(magic, "TMBRCDI1", 8) == 0 &&
              std::fread(tracks, 4, 1, f) == 1 && *tracks <= 99 &&
              std::fread(starts, 4, *tracks + 1, f) == *tracks + 1;
    if (ok && out) {
        ok = lba + count <= starts[*tracks] &&
             std::fseek(f, long(12 + 4 * (*tracks + 1) + size_t(lba) * 2352), SEEK_SET) == 0 &&
             std::fread(out, 2352, count, f) == count;
    }
    std::fclose(f);
    return ok;
}

void Sense(SRB_ExecSCSICmd* srb, uint8_t key, uint8_t asc, uint8_t ascq) {
    std::memset(srb->SenseArea, 0, sizeof srb->SenseArea);
    srb->SenseArea[0] = 0x70;
    srb->SenseArea[2] = key;
    srb->SenseArea[7] = 10;
    srb->SenseArea[12] = asc;
    srb->SenseArea[13] = ascq;
    srb->SRB_TargStat = 0x02;
    srb->SRB_Status = SS_ERR;
}

struct Job {
    SRB_ExecSCSICmd* srb;
    int command, read;
    std::string mode;
};

DWORD WINAPI Execute(void* param) {
    Job* job = static_cast<Job*>(param);
    SRB_ExecSCSICmd* srb = job->srb;
    const std::string& mode = job->mode;
    int never = ModeValue(mode, "never"), senseFrom = ModeValue(mode, "sense");
    if (job->read >= 0 && never >= 0 && job->read >= never) {
        delete job;
        return 0;  // stays pending
    }
    const uint8_t* cdb = srb->CDBByte;
    auto* out = reinterpret_cast<uint8_t*>(uintptr_t(srb->SRB_BufPointer));
    uint32_t tracks = 0, starts[257] = {};
    if (job->command < ModeValue(mode, "busy")) {
        Sense(srb, 0x02, 0x04, 0x01);  // not ready, becoming ready
        srb->SRB_TargStat = STATUS_BUSY;
    } else if (cdb[0] == 0x43 && ReadImage(&tracks, starts, 0, 0, nullptr)) {
        std::memset(out, 0, srb->SRB_BufLen);
        uint8_t* p = out + 4;
        for (uint32_t t = 0; t <= tracks; ++t, p += 8) {
            p[1] = 0x10;
            p[2] = uint8_t(t == tracks ? 0xAA : t + 1);
            p[4] = uint8_t(starts[t] >> 24), p[5] = uint8_t(starts[t] >> 16);
            p[6] = uint8_t(starts[t] >> 8), p[7] = uint8_t(starts[t]);
        }
        uint16_t length = uint16_t(2 + 8 * (tracks + 1));
        out[0] = uint8_t(length >> 8), out[1] = uint8_t(length), out[2] = 1,
        out[3] = uint8_t(tracks);
        srb->SRB_Status = SS_COMP;
    } else if (cdb[0] == 0xBE) {
        uint32_t lba =
            uint32_t(cdb[2]) << 24 | uint32_t(cdb[3]) << 16 | uint32_t(cdb[4]) << 8 | cdb[5];
        uint32_t count = uint32_t(cdb[6]) << 16 | uint32_t(cdb[7]) << 8 | cdb[8];
        if (senseFrom >= 0 && job->read >= senseFrom)
            Sense(srb, 0x03, 0x11, 0x00);  // medium error, unrecovered read error
        else if (count * 2352 > srb->SRB_BufLen || !ReadImage(&tracks, starts, lba, count, out))
            Sense(srb, 0x05, 0x21, 0x00);  // illegal request, LBA out of range
        else
            srb->SRB_Status = SS_COMP;
    } else {
        Sense(srb, 0x05, 0x20, 0x00);  // invalid command
    }
    HANDLE event = reinterpret_cast<HANDLE>(uintptr_t(srb->SRB_PostProc));
    if (srb->SRB_Flags & SRB_EVENT_NOTIFY) SetEvent(event);
    delete job;
    return 0;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&g_lock);
    return TRUE;
}

extern "C" DWORD __cdecl GetASPI32SupportInfo() {
    return (SS_COMP << 8) | 1;  // done, one host adapter
}

extern "C" DWORD __cdecl SendASPI32Command(void* request) {
    auto* head = static_cast<uint8_t*>(request);
    const std::string mode = Env("TAMBER_ASPI_MODE");
    char line[256];
    EnterCriticalSection(&g_lock);
    if (mode != g_lastMode) g_commands = g_reads = 0, g_lastMode = mode;
    LeaveCriticalSection(&g_lock);
    const int target =
        Env("TAMBER_ASPI_TARGET").empty() ? 1 : std::atoi(Env("TAMBER_ASPI_TARGET").c_str());
    switch (head[0]) {
        case SC_GET_DEV_TYPE: {
            auto* srb = static_cast<SRB_GDEVBlock*>(request);
            std::snprintf(line, sizeof line, "devtype status=%d type=%d ha=%d target=%d lun=%d",
                          srb->SRB_Status, srb->SRB_DeviceType, srb->SRB_HaId, srb->SRB_Target,
                          srb->SRB_Lun);
            Log(line);
            if (srb->SRB_HaId == 0 && srb->SRB_Target == target && srb->SRB_Lun == 0) {
                srb->SRB_DeviceType = DTYPE_CDROM;
                srb->SRB_Status = SS_COMP;
            } else {
                srb->SRB_Status = SS_NO_DEVICE;
            }
            return srb->SRB_Status;
        }
        case SC_EXEC_SCSI_CMD: {
            auto* srb = static_cast<SRB_ExecSCSICmd*>(request);
            std::string hex;
            for (int i = 0; i < srb->SRB_CDBLen && i < 16; ++i) {
                char b[4];
                std::snprintf(b, sizeof b, "%02x", srb->CDBByte[i]);
                hex += b;
            }
            std::snprintf(line, sizeof line,
                          "exec status=%d ha=%d target=%d lun=%d flags=%02x buflen=%lu "
                          "senselen=%d cdblen=%d post=%d cdb=%s",
                          srb->SRB_Status, srb->SRB_HaId, srb->SRB_Target, srb->SRB_Lun,
                          srb->SRB_Flags, (unsigned long)srb->SRB_BufLen, srb->SRB_SenseLen,
                          srb->SRB_CDBLen, srb->SRB_PostProc != 0, hex.c_str());
            Log(line);
            if (srb->SRB_HaId != 0 || srb->SRB_Target != target || srb->SRB_Lun != 0) {
                srb->SRB_Status = SS_NO_DEVICE;
                return SS_NO_DEVICE;
            }
            Job* job = new Job{srb, 0, -1, mode};
            EnterCriticalSection(&g_lock);
            job->command = g_commands++;
            if (srb->CDBByte[0] == 0xBE) job->read = g_reads++;
            LeaveCriticalSection(&g_lock);
            srb->SRB_Status = SS_PENDING;
            HANDLE t = CreateThread(nullptr, 0, Execute, job, 0, nullptr);
            if (!t) {
                delete job;
                srb->SRB_Status = SS_ERR;
                return SS_ERR;
            }
            CloseHandle(t);
            return SS_PENDING;
        }
        case SC_ABORT_SRB: {
            Log("abort");
            head[1] = SS_COMP;
            return SS_COMP;
        }
        default:
            head[1] = SS_COMP;
            return SS_COMP;
    }
}
