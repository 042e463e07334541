// Shell integration on POSIX systems: the program folder is the folder of the running executable
// (there is no file-type registry for a context-menu verb).
#include "app/shell.h"

#include <unistd.h>

#include <cstring>

#include "support/file.h"

void ProgramFolder(char* dest) {
    char exe[LMAX_PATH * 4];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) {
        std::strcpy(dest, ".");
        return;
    }
    exe[n] = 0;
    char* slash = std::strrchr(exe, '/');
    if (slash) *slash = 0;
    LCopyPath(dest, exe);
}
