// Components on POSIX systems: the recorded path, else the well-known program found on PATH.
#include "external/components.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "store/registry.h"
#include "support/trace.h"

namespace {

// The program that does a component's job on a typical Linux system.
const char* WellKnownProgram(const char* name) {
    static constexpr struct {
        const char* component;
        const char* program;
    } kPrograms[] = {
        {"mp3el", "lame"},      {"oggenc", "oggenc"},   {"oggdec", "oggdec"}, {"flacenc", "flac"},
        {"flacdec", "flac"},    {"aacdec", "faad"},     {"aacenc", "faac"},   {"shndec", "shorten"},
        {"opusenc", "opusenc"}, {"opusdec", "opusdec"},
    };
    for (const auto& p : kPrograms)
        if (name && std::strcmp(p.component, name) == 0) return p.program;
    return nullptr;
}

bool IsProgram(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode) && access(path, X_OK) == 0;
}

// Only absolute folders are searched: an empty or relative entry names the working folder of
// the moment, and a program found there would be recorded for every later run wherever it runs.
bool FindOnPath(const char* program, char* out) {
    const char* p = std::getenv("PATH");
    if (!p) return false;
    for (;;) {
        const char* end = std::strchr(p, ':');
        int len = end ? int(end - p) : int(std::strlen(p));
        char candidate[LMAX_PATH];
        int n = p[0] == '/' ? std::snprintf(candidate, sizeof candidate, "%.*s/%s", len, p, program)
                            : -1;
        if (n > 0 && n < LMAX_PATH && IsProgram(candidate)) {
            std::memcpy(out, candidate, size_t(n) + 1);
            return true;
        }
        if (!end) return false;
        p = end + 1;
    }
}

}  // namespace

bool ComponentReadPath(const char* name, char* path) {
    char key[LMAX_PATH];
    ComponentKeyPath(key, name);
    // A recorded program that has since been removed or moved counts as missing: the search
    // on PATH finds where it is now (or the user is told what to install), instead of every
    // conversion failing on a path that no longer starts anything.
    if (RegistryReadString(LRegistryRoot::LocalMachine, key, "Path", path, "") && IsProgram(path))
        return true;
    const char* program = WellKnownProgram(name);
    if (!program || !FindOnPath(program, path)) {
        path[0] = 0;
        return false;
    }
    RegistryWriteString(LRegistryRoot::LocalMachine, key, "Path", path);
    return true;
}

int ProcessDownloadComponent(LProgressDialog* dlg, const char* name) {
    LTrace("ProcessDownloadComponent no download service on this system");
    return LPROCESS_FAILED;
}

int ProcessInstallProgram(LProgressDialog* dlg, const char* installerName) {
    LTrace("ProcessInstallProgram no download service on this system");
    return LPROCESS_FAILED;
}

std::string ComponentInstallFailedMessage(const char* name) {
    char text[512];
    const char* program = WellKnownProgram(name);
    if (program)
        std::snprintf(text, sizeof text,
                      "Tamber cannot install the required install-on-demand component \"%s\". "
                      "Please install the program \"%s\" (it must be found on PATH) and try again.",
                      name, program);
    else
        std::snprintf(text, sizeof text,
                      "Tamber cannot install the required install-on-demand component \"%s\". "
                      "No program for it is available on this system.",
                      name ? name : "");
    return text;
}
