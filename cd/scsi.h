// LSCSI: finds the n-th CD drive and sends it SCSI commands without blocking; one event reports
// the end of each command.
#pragma once

#include <cstdint>
#include <memory>

#include "support/progress.h"
#include "support/thread.h"

// Data direction of a command.
enum : int { LSCSI_DATA_IN = 1, LSCSI_DATA_OUT = 0 };

// Time limits of the CD commands. The product always uses the defaults; tests may shorten them.
struct LCDTimeouts {
    uint32_t tocMs = 20000;        // READ TOC
    uint32_t readMs = 40000;       // each READ CD of an extraction
    uint32_t busyRetryMs = 500;    // pause before a busy target is asked again
    uint32_t deviceSeconds = 200;  // the limit written into a pass-through request
};
const LCDTimeouts& LCDGetTimeouts();
void LCDSetTimeoutsForTesting(const LCDTimeouts& t);

class LSCSI {
  public:
    LSCSI();
    ~LSCSI();
    LSCSI(const LSCSI&) = delete;
    LSCSI& operator=(const LSCSI&) = delete;

    // ASPI route only: the number of host adapters (0 without ASPI or when the layer fails).
    static int GetASPIAdapterCount();
    // True when the run uses the ASPI layer (detected on first use).
    static bool UseASPI32();

    // CD drives in enumeration order; OpenCDROMDrive takes the 0-based index among them.
    int GetCDROMDriveCount();
    bool OpenCDROMDrive(int index);
    // Opens a drive by its root ("D:\" on Windows, a device path such as "/dev/sr0" elsewhere).
    bool OpenSPTD(const char* root);
    void Close();

    // Starts a command: 0 when accepted (the completion event fires when it ends), or
    // LPROCESS_FAILED at once (the event is signalled too).
    int ExecuteAsync(const uint8_t* cdb, int cdbLength, int direction, uint32_t dataLength,
                     void* data);
    // After the completion event fired: true when the command failed (error status with sense
    // data, or the request never reached the drive).
    bool CommandFailed();
    // After a failed command: the ASPI route reported a busy target (status 8).
    bool TargetBusy();

    // Fires when the current command ends; manual-reset, signalled while no command runs.
    LSignalObject& CompletionEvent() { return event_; }

    struct Platform;  // the route's request blocks and device state

  private:
    uint8_t haId_ = 0, target_ = 0, lun_ = 0;  // ASPI address of the found drive
    LSignalObject event_;
    std::unique_ptr<Platform> platform_;
    friend struct Platform;
};

// The command functions of the two routes.
int ProcessSCSIExecuteCommandAsync(LSCSI& drive, const uint8_t* cdb, int cdbLength, int direction,
                                   uint32_t dataLength, void* data);
// Starts the command, waits up to timeoutMs pumping messages, checks the outcome and asks a busy
// ASPI target again every 500 ms while the time lasts. A process status.
int ProcessSCSIExecuteCommand(LProgressDialog* dlg, LSCSI& drive, const uint8_t* cdb, int cdbLength,
                              int direction, uint32_t dataLength, void* data, uint32_t timeoutMs);
