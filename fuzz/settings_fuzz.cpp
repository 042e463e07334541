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
#include "support/file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A profile of its own, made once; the input becomes its machine-wide store file.
    static char home[] = "/tmp/settings_fuzz.XXXXXX";
    static const bool ready = mkdtemp(home) && setenv("TAMBER_HOME", home, 1) == 0 &&
                              mkdir((std::string(home) + "/config").c_str(), 0755) == 0;
    FILE* f =
        ready ? std::fopen((std::string(home) + "/config/machine.ini").c_str(), "wb") : nullptr;
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    char text[LMAX_PATH];
    SettingsReadString("Settings", "OutputFolder", text, "default");
    LSettingsRecords records;
    records.LoadAll();
    SettingsWriteInt("Settings", "OutputFormat", int32_t(size));
    if (SettingsReadInt("Settings", "OutputFormat", -1) != int32_t(size)) __builtin_trap();
    ComboHistorySaveText("OutputFolder", "fuzz");
    return 0;
}
