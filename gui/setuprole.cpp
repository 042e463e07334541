// The installer and uninstaller roles of the executable.
#include <windows.h>

#include <cstdlib>

#include "gui/startup.h"
#include "setup/win32/setup.h"

void RunSetupRole(bool install) {
    if (install)
        SetupRunInstall();
    else
        SetupRunUninstall(__argc > 1);
}
