// Track numbers from the names of track entries.
#include "cd/drives.h"

#include <cstdlib>

#include "support/file.h"

int LCDTrackOfPath(const char* path) {
    char name[LMAX_PATH];
    GetFileNameNoExtension(name, path);
    // "Track01": the number begins at the sixth character.
    int i = 0;
    while (i < 5 && name[i]) ++i;
    return std::atoi(name + i) - 1;
}
