// Self-installation: the install and uninstall processes of the setup and uninstaller roles.
#pragma once

#include "support/version.h"

// The progress dialog's title for both processes.
constexpr const char* LSETUP_TITLE = "Installing " TAMBER_NAME_VERSION;

// Licence, extraction of the running setup file's payload into the installation folder and the
// finishing step; true when Tamber was installed.
bool SetupRunInstall();
// Without arguments: starts a temporary copy of the uninstaller with "/uninstall". With them:
// asks and removes the program. True unless cancelled.
bool SetupRunUninstall(bool startedWithArguments);

// After a good extraction into folder: links, uninstaller, registry, encoder component,
// settings, shell verbs, and the installed program started with "/install".
void SetupFinish(const char* folder);
// Removes everything the finishing step created, except the shared encoder component.
void SetupRemove(const char* folder);
