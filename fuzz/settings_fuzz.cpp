// Fuzzes the plain-text settings store with arbitrary store files: reads, typed reads, an update.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "store/combohistory.h"
#include "store/encsettings.h"
#include "store/settings.h"

namespace {

const std::string& Home() {
    static const std::string home = [] {
        char tmpl[] = "/tmp/settings_fuzz.XXXXXX";
        const char* d = mkdtemp(tmpl);
        std::string h = d ? d : "/tmp/settings_fuzz";
        setenv("TAMBER_HOME", h.c_str(), 1);
        std::string config = h + "/config";
        mkdir(config.c_str(), 0755);
        return h;
    }();
    return home;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = Home() + "/config/machine.ini";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    char text[260];
    SettingsReadString("Settings", "OutputFolder", text, "default");
    LSettingsRecords records;
    records.LoadAll();
    SettingsWriteInt("Settings", "OutputFormat", int32_t(size));
    if (SettingsReadInt("Settings", "OutputFormat", -1) != int32_t(size)) __builtin_trap();
    ComboHistorySaveText("OutputFolder", "fuzz");
    return 0;
}
