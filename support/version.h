// The product's version, for the program's texts, the version resource and "--version".
// Plain macros, so that the resource scripts can use them too.
#pragma once

#define TAMBER_VERSION "1.05"
// The same version as the resource's four numbers: major, minor, 0, 0.
#define TAMBER_VERSION_NUMBERS 1, 5, 0, 0
// The name with its version, as the status bar, the splash and About windows and setup show it.
#define TAMBER_NAME_VERSION "Tamber v " TAMBER_VERSION
