// The installer and uninstaller roles of the executable.
#include "app/gui/startup.h"

// The setup payload is not part of this build: nothing is installed or removed.
void RunSetupRole(bool) {}
