// The CDDB messages on Windows: a message box.
#include <windows.h>

#include "cd/cddb.h"

void CDDBShowNoMatch() {
    MessageBoxA(nullptr, "No CDDB match found", "Tamber", MB_OK | MB_ICONERROR);
}
