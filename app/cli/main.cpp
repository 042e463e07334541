// Entry point of the headless tamber front end: the command line against an in-memory list,
// run as with "-hide"; progress and messages on standard error.
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/cli/clihost.h"
#include "app/cmdline.h"
#include "app/settings.h"
#include "support/progress.h"

namespace {

void Usage() {
    std::fprintf(stderr, "usage: tamber [options] files...\n\noptions:\n");
    for (int i = 0; i < kCommandOptionCount; ++i) {
        const LCommandOption& o = kCommandOptions[i];
        std::string head = std::string(o.name) + (*o.values ? std::string(" ") + o.values : "");
        std::fprintf(stderr, "  %-28s %s\n", head.c_str(), o.effect);
    }
    std::fprintf(stderr,
                 "\nexample: tamber -format .mp3 -outfolder out a.wav b.wav -convert\n"
                 "exit status: 0 converted, 1 stopped, 2 failed\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        Usage();
        return 2;
    }
    if (argc > LCOMMAND_MAX_ARGS)
        std::fprintf(stderr, "tamber: only the first %d arguments are used\n",
                     LCOMMAND_MAX_ARGS - 1);
    // A setting that cannot be stored is said once; the stored value stays in force.
    SettingsSetWriteFailureHandler([](const char* section, const char* name) {
        static bool told = false;
        if (!told) std::fprintf(stderr, "tamber: cannot save the setting %s %s\n", section, name);
        told = true;
    });
    LCliHost host(isatty(STDIN_FILENO) != 0);
    LSettingsRecords records;
    records.LoadAll();
    LCommandLine commandLine(host, records);
    LCommandResult result = commandLine.Run(argc, argv);
    host.StoreBoxes();
    if (!result.converted) return result.settingsFailed ? 2 : 0;
    if (host.EntryCount() == 0) {
        std::fprintf(stderr, "tamber: no files to convert\n");
        return 2;
    }
    switch (result.outcome) {
        case LPROCESS_OK:
            std::fprintf(stderr, "tamber: done, %d file(s) converted into %s\n",
                         host.CountImages(LENTRY_DONE), host.OutputFolderText());
            if (host.CDTracksConverted() > 0 &&
                strcasecmp(host.OutputFolderText(), kSameAsSourceFolder) == 0) {
                char music[LMAX_PATH];
                LCDSameAsSourceFolder(music);
                std::fprintf(stderr, "tamber: CD tracks have no source folder: they went into %s\n",
                             music);
            }
            return result.skippedFiles ? 2 : 0;
        case LPROCESS_STOPPED:
            return 1;
        default:
            return 2;
    }
}
