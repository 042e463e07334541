// Request layouts of the two Windows routes to a CD drive: the ASPI layer's SCSI request blocks
// and the system's SCSI pass-through request with its sense buffer. Address fields are
// pointer-sized, so that the x86-64 build speaks the 64-bit layouts of both interfaces.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)

// ASPI command codes and status values.
enum : uint8_t {
    SC_HA_INQUIRY = 0x00,
    SC_GET_DEV_TYPE = 0x01,
    SC_EXEC_SCSI_CMD = 0x02,
    SC_ABORT_SRB = 0x03,
    SS_PENDING = 0x00,
    SS_COMP = 0x01,
    SS_ABORTED = 0x02,
    SS_ERR = 0x04,
    SS_NO_DEVICE = 0x82,
    SRB_DIR_IN = 0x08,
    SRB_DIR_OUT = 0x10,
    SRB_EVENT_NOTIFY = 0x40,
    DTYPE_CDROM = 0x05,
    STATUS_BUSY = 0x08,
};

// Get device type.
struct SRB_GDEVBlock {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint8_t SRB_DeviceType;
    uint8_t SRB_Rsvd1;
};
static_assert(sizeof(SRB_GDEVBlock) == 12);

// Abort a pending request.
struct SRB_Abort {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    void* SRB_ToAbort;  // the request to abort
};
static_assert(sizeof(SRB_Abort) == 8 + sizeof(void*));

// Execute a SCSI command: room for a 16-byte CDB and 14 bytes of sense data.
struct SRB_ExecSCSICmd {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint16_t SRB_Rsvd1;
    uint32_t SRB_BufLen;
    void* SRB_BufPointer;
    uint8_t SRB_SenseLen;
    uint8_t SRB_CDBLen;
    uint8_t SRB_HaStat;
    uint8_t SRB_TargStat;
    void* SRB_PostProc;  // the completion event's handle
    uint8_t SRB_Rsvd2[20];
    uint8_t CDBByte[16];
    uint8_t SenseArea[18];
};
static_assert(sizeof(SRB_ExecSCSICmd) == 74 + 2 * sizeof(void*));
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 40 + 2 * sizeof(void*));
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) == 56 + 2 * sizeof(void*));

#pragma pack(pop)

// SCSI_PASS_THROUGH_DIRECT in the platform's natural alignment: 44 bytes on 32-bit Windows,
// 56 on 64-bit (the buffer address is 8-byte aligned there).
struct LSPTD {
    uint16_t Length;  // sizeof(LSPTD)
    uint8_t ScsiStatus;
    uint8_t PathId;
    uint8_t TargetId;
    uint8_t Lun;
    uint8_t CdbLength;
    uint8_t SenseInfoLength;
    uint8_t DataIn;
    uint32_t DataTransferLength;
    uint32_t TimeOutValue;
    void* DataBuffer;
    uint32_t SenseInfoOffset;
    uint8_t Cdb[16];
};

// The request as sent: the pass-through block followed by its sense buffer (80 bytes with the
// sense at offset 48 on 32-bit Windows; 96 bytes with the sense at 60 on 64-bit).
struct LSPTDRequest {
    LSPTD sptd;
    uint32_t Filler;
    uint8_t Sense[32];
};
static_assert(sizeof(LSPTD) == (sizeof(void*) == 4 ? 44 : 56));
static_assert(offsetof(LSPTD, Cdb) == (sizeof(void*) == 4 ? 28 : 36));
static_assert(offsetof(LSPTDRequest, Sense) == (sizeof(void*) == 4 ? 48 : 60));
static_assert(sizeof(LSPTDRequest) == (sizeof(void*) == 4 ? 80 : 96));

constexpr uint32_t LIOCTL_SCSI_PASS_THROUGH_DIRECT = 0x4D014;
