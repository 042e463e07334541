// Which CD drive and track a list entry names. Windows shows a disc's tracks as "D:\Track01.cda";
// on Linux the same entries are written "/dev/sr0/Track01.cda" (the device, then the track).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr uint8_t LCD_NO_DRIVE = 255;

// Windows: the index of the drive among the CD-ROM drives of the system's logical drive list,
// or 255. Elsewhere there are no drive letters: 255.
uint8_t LCDDriveOfLetter(char letter);
// The CD drive index of a track entry: its drive letter on Windows, its device folder elsewhere.
uint8_t LCDMapPathToDrive(const char* path);
// The track index (from 0) of a track entry: the number after "Track" in the name, minus 1.
int LCDTrackOfPath(const char* path);

// The drive a command line names: on Windows its letter ("D", "D:" or "D:\") or its index
// among the CD drives ("0"), elsewhere its device ("/dev/sr0"); 255 for none.
uint8_t LCDDriveOfArgument(const char* argument);

// Linux command-line forms: "/dev/sr0" names every track of the disc in that drive,
// "/dev/sr0#3" names track 3. Fills the track entries ("/dev/sr0/Track03.cda") and the size of
// each track in bytes; false when the argument is no CD drive (or, on Windows, always).
bool LCDTrackArguments(const char* argument, std::vector<std::string>& entries,
                       std::vector<uint32_t>& sizes);
