// READ TOC and READ CD: the command blocks and the table of contents' parse.
#include "cd/toc.h"

#include <algorithm>
#include <cstring>

#include "support/byteorder.h"
#include "support/trace.h"

void LCDBuildReadTOC(uint8_t cdb[10], int format, uint16_t allocation) {
    const uint8_t bytes[10] = {0x43, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
    std::memcpy(cdb, bytes, sizeof bytes);
    cdb[2] = uint8_t(format & 0x0F);
    if (format == 5) cdb[6] = 0;  // CD-TEXT has no starting track
    StoreBE16(cdb + 7, allocation);
}

void LCDBuildReadCD(uint8_t cdb[12], uint32_t lba, int sectors, bool c2) {
    cdb[0] = 0xBE;
    cdb[1] = 0x00;
    StoreBE32(cdb + 2, lba);
    cdb[6] = 0x00;
    cdb[7] = 0x00;
    cdb[8] = uint8_t(sectors);
    cdb[9] = c2 ? 0xF2 : 0xF0;  // sync, headers, user data (and the C2 error bits)
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

int ProcessSCSICDReadDASectors(LSCSI& drive, uint32_t lba, int sectors, int16_t* samples, bool c2) {
    if (sectors < 1 || sectors > (c2 ? LCD_MAX_C2_READ_SECTORS : LCD_MAX_READ_SECTORS))
        return LPROCESS_FAILED;
    uint8_t cdb[12];
    LCDBuildReadCD(cdb, lba, sectors, c2);
    const uint32_t each = c2 ? LCD_C2_SECTOR_BYTES : LCD_SECTOR_BYTES;
    return ProcessSCSIExecuteCommandAsync(drive, cdb, 12, LSCSI_DATA_IN, uint32_t(sectors) * each,
                                          samples);
}

int ProcessSCSICDReadText(LProgressDialog* dlg, LSCSI& drive, uint8_t* out, int& bytes) {
    bytes = 0;
    std::memset(out, 0, LCD_TEXT_BYTES);
    uint8_t cdb[10];
    LCDBuildReadTOC(cdb, 5, LCD_TEXT_BYTES);
    int status = ProcessSCSIExecuteCommand(dlg, drive, cdb, 10, LSCSI_DATA_IN, LCD_TEXT_BYTES, out,
                                           LCDGetTimeouts().tocMs);
    if (status != LPROCESS_OK) return status;
    bytes = std::min<int>(LCD_TEXT_BYTES, LoadBE16(out) + 2);
    return LPROCESS_OK;
}
