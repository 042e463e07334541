// READ TOC and READ CD: the command blocks and the table of contents' parse.
#include "cd/toc.h"

#include <cstring>

#include "support/byteorder.h"
#include "support/trace.h"

void LCDBuildReadTOC(uint8_t cdb[10]) {
    const uint8_t bytes[10] = {0x43, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x08, 0x00, 0x00};
    std::memcpy(cdb, bytes, sizeof bytes);
}

void LCDBuildReadCD(uint8_t cdb[12], uint32_t lba, int sectors) {
    cdb[0] = 0xBE;
    cdb[1] = 0x00;
    StoreBE32(cdb + 2, lba);
    cdb[6] = 0x00;
    cdb[7] = 0x00;
    cdb[8] = uint8_t(sectors);
    cdb[9] = 0xF0;
    cdb[10] = 0x00;
    cdb[11] = 0x00;
}

bool LCDParseTOC(const uint8_t* response, int bytes, uint8_t& trackCount, uint32_t addresses[256]) {
    trackCount = 0;
    if (bytes < 2) return false;
    int length = LoadBE16(response);
    if (length - 10 < 0) {
        LTrace("ProcessSCSICDGetTOC iTracks Failed");
        return false;
    }
    int tracks = (length - 10) / 8;
    if (tracks > 255) tracks = 255;
    // Every entry read, the lead-out included, must lie inside the response.
    if (4 + 8 * tracks + 8 > bytes) {
        LTrace("ProcessSCSICDGetTOC iTracks Failed");
        return false;
    }
    for (int i = 0; i <= tracks; ++i) {
        addresses[i] = LoadBE32(response + 4 + 8 * i + 4);
    }
    trackCount = uint8_t(tracks);
    return true;
}

int ProcessSCSICDGetTOC(LProgressDialog* dlg, LSCSI& drive, uint8_t& trackCount,
                        uint32_t addresses[256]) {
    trackCount = 0;
    alignas(16) static thread_local uint8_t buffer[LCD_TOC_BYTES];
    std::memset(buffer, 0, sizeof buffer);
    uint8_t cdb[10];
    LCDBuildReadTOC(cdb);
    int status = ProcessSCSIExecuteCommand(dlg, drive, cdb, 10, LSCSI_DATA_IN, LCD_TOC_BYTES,
                                           buffer, LCDGetTimeouts().tocMs);
    if (status != LPROCESS_OK) {
        LTrace("ProcessSCSICDGetTOC ProcessSCSIExecuteCommand Failed");
        return status;
    }
    return LCDParseTOC(buffer, LCD_TOC_BYTES, trackCount, addresses) ? LPROCESS_OK
                                                                     : LPROCESS_FAILED;
}

int ProcessSCSICDReadDASectors(LSCSI& drive, uint32_t lba, int sectors, int16_t* samples) {
    if (sectors < 1 || sectors > LCD_MAX_READ_SECTORS) return LPROCESS_FAILED;
    uint8_t cdb[12];
    LCDBuildReadCD(cdb, lba, sectors);
    return ProcessSCSIExecuteCommandAsync(drive, cdb, 12, LSCSI_DATA_IN,
                                          uint32_t(sectors) * LCD_SECTOR_BYTES, samples);
}
