// Components on POSIX systems: the recorded path, else the well-known program found on PATH.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/registry.h"
#include "external/components.h"
#include "support/trace.h"

namespace {

// The program that does a component's job on a typical Linux system.
const char* WellKnownProgram(const char* name) {
    static constexpr struct {
        const char* component;
        const char* program;
    } kPrograms[] = {
        {"mp3el", "lame"},    {"oggenc", "oggenc"}, {"oggdec", "oggdec"},  {"flacenc", "flac"},
        {"flacdec", "flac"},  {"aacdec", "faad"},   {"aacenc", "faac"},    {"shndec", "shorten"},
    };
    for (const auto& p : kPrograms)
        if (name && std::strcmp(p.component, name) == 0) return p.program;
    return nullptr;
}

bool FindOnPath(const char* program, char* out) {
    const char* pathEnv = std::getenv("PATH");
    if (!pathEnv) return false;
    std::string paths = pathEnv;
    size_t start = 0;
    while (start <= paths.size()) {
        size_t end = paths.find(':', start);
        if (end == std::string::npos) end = paths.size();
        std::string dir = paths.substr(start, end - start);
        if (dir.empty()) dir = ".";
        std::string candidate = dir + "/" + program;
        struct stat st;
        if (candidate.size() < size_t(LMAX_PATH) && stat(candidate.c_str(), &st) == 0 &&
            S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0) {
            std::memcpy(out, candidate.c_str(), candidate.size() + 1);
            return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace

bool ComponentReadPath(const char* name, char* path) {
    char key[LMAX_PATH];
    ComponentKeyPath(key, name);
    if (RegistryReadString(LRegistryRoot::LocalMachine, key, "Path", path, "")) return true;
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
    std::string text = "Tamber cannot install the required install-on-demand component \"";
    text += name ? name : "";
    text += "\". ";
    if (const char* program = WellKnownProgram(name)) {
        text += "Please install the program \"";
        text += program;
        text += "\" (it must be found on PATH) and try again.";
    } else {
        text += "No program for it is available on this system.";
    }
    return text;
}
