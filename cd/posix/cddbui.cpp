// The CDDB messages without a window system: standard error.
#include <cstdio>

#include "cd/cddb.h"

void CDDBShowNoMatch() {
    std::fputs("No CDDB match found\n", stderr);
}
