// Entry point of the headless tamber front end: the command line against an in-memory list,
// run as with "-hide"; progress and messages on standard error.
#include <signal.h>
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/cmdline.h"
#include "cli/batch.h"
#include "cli/clihost.h"
#include "convert/entrypaths.h"
#include "convert/parallel.h"
#include "external/posix/childoutput.h"
#include "store/registry.h"
#include "store/settings.h"
#include "support/posix/childgroups.h"
#include "support/posix/progressline.h"
#include "support/progress.h"
#include "support/version.h"

namespace {

constexpr const char* kVersion = TAMBER_VERSION;

void Usage(FILE* out) {
    std::fprintf(out, "usage: tamber [options] files...\n\noptions:\n");
    for (int i = 0; i < kCommandOptionCount; ++i) {
        const LCommandOption& o = kCommandOptions[i];
        std::string head = std::string(o.name) + (*o.values ? std::string(" ") + o.values : "");
        std::fprintf(out, "  %-28s %s\n", head.c_str(), o.effect);
    }
    std::fprintf(out, "  %-28s %s\n", "-jobs N",
                 "convert up to N files at once (default: the number of processors)");
    std::fprintf(out, "  %-28s %s\n  %-28s %s\n", "--help, -h, -?", "show this text", "--version",
                 "show the version");
    std::fprintf(out,
                 "\nexample: tamber -format .mp3 -outfolder out a.wav b.wav -convert\n"
                 "exit status: 0 converted, 1 stopped, 2 failed\n");
}

LCliHost* g_host = nullptr;

void DrawLine(char* line, size_t size, const char*, const char* item, int percent) {
    g_host->FormatProgressLine(line, size, item, percent);
}

// The run reads the settings store once and writes what it changed once, at its end.
struct HeldSettings {
    HeldSettings() { RegistryHoldWrites(); }
    ~HeldSettings() {
        if (!RegistryReleaseWrites()) {
            char folder[LMAX_PATH];
            RegistryStoreFolder(folder);
            std::fprintf(stderr, "tamber: cannot save the settings in %s\n", folder);
        }
    }
};

void ReportChildFailure(const std::string& program, const std::string& output) {
    std::string text = output;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (isatty(STDERR_FILENO)) std::fputs("\r\033[K", stderr);  // off the progress line
    std::fprintf(stderr, "tamber: %s failed%s%s\n", program.c_str(), text.empty() ? "" : ":\n",
                 text.c_str());
}

// One run of the command line: the settings read, the batch converted, the settings stored
// (at the end of the run, or of the worker that holds them).
int RunOnce(std::vector<char*> args, int jobs, bool holdSettings = true, bool* verified = nullptr) {
    // A setting that cannot be stored is said once; the stored value stays in force.
    SettingsSetWriteFailureHandler([](const char* section, const char* name) {
        static bool told = false;
        if (!told) std::fprintf(stderr, "tamber: cannot save the setting %s %s\n", section, name);
        told = true;
    });
    std::optional<HeldSettings> heldSettings;
    if (holdSettings) heldSettings.emplace();
    LCliHost host(isatty(STDIN_FILENO) != 0);
    g_host = &host;
    LSetProgressLineFormatter(DrawLine);
    LSetChildFailureReporter(ReportChildFailure);
    LSettingsRecords records;
    records.LoadAll();
    host.SetJobs(jobs);
    LCommandLine commandLine(host, records);
    // Every argument counts here: a batch is named on the command line.
    commandLine.SetArgumentLimit(int(args.size()));
    LCommandResult result = commandLine.Run(int(args.size()), args.data());
    if (verified) *verified = host.VerifiedCount() > 0;
    host.StoreBoxes();
    // A settings file that cannot be read is left as it is: what was to go into it did not.
    char unreadable[LMAX_PATH];
    const bool unsaved = RegistryUnreadableFile(unreadable);
    if (unsaved)
        std::fprintf(stderr,
                     "tamber: the settings file %s cannot be read: it is left as it is, and the "
                     "settings of this run are not saved in it\n",
                     unreadable);
    if (!result.converted) return result.settingsFailed || unsaved ? 2 : 0;
    if (host.EntryCount() == 0) {
        std::fprintf(stderr, "tamber: no files to convert\n");
        return 2;
    }
    switch (result.outcome) {
        case LPROCESS_OK:
            if (LCliHost::IsBatchChild()) return result.skippedFiles ? 2 : 0;
            std::fprintf(stderr, "tamber: done, %d file(s) converted into %s\n",
                         host.CountImages(LENTRY_DONE), host.OutputFolderText());
            if (host.CDTracksConverted() > 0 && LIsSameAsSource(host.OutputFolderText())) {
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

// A parallel batch's worker: each entry on standard input (its output folder and its input,
// each ended by a zero byte) is converted as "args -outfolder folder input -convert" would, its
// exit status written as a line on standard output (followed by " verified" when its output was
// read back and found as written); the end of standard input ends the worker.
int RunWorker(const std::vector<char*>& args, int jobs) {
    HeldSettings heldSettings;  // the parent stored this batch's settings; stored once here
    char *line = nullptr, *folder = nullptr;
    size_t size = 0, folderSize = 0;
    std::string convert = "-convert", outfolder = "-outfolder";
    while (getdelim(&folder, &folderSize, '\0', stdin) > 0 &&
           getdelim(&line, &size, '\0', stdin) > 0) {
        std::vector<char*> run = args;
        run.push_back(outfolder.data());
        run.push_back(folder);
        run.push_back(line);
        run.push_back(convert.data());
        bool verified = false;
        const int status = RunOnce(run, jobs, false, &verified);
        std::printf("%d%s\n", status, verified ? " verified" : "");
        std::fflush(stdout);
    }
    std::free(line);
    std::free(folder);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // An ignored SIGCHLD is inherited from whoever started us; with it the system reaps every
    // child itself and no decoder's or encoder's exit status could be seen.
    signal(SIGCHLD, SIG_DFL);
    // Ctrl+C between the steps of a run ends it at once, and every child it started with it.
    LEndChildrenOnInterrupt();
    if (argc < 2) {
        Usage(stderr);
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h") ||
            !std::strcmp(argv[i], "-?")) {
            Usage(stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("tamber %s\n", kVersion);
            return 0;
        }
    }
    // "-jobs N" belongs to this front end: taken out before the common command line runs.
    // Without it, the stored "Jobs" (0 or none: one per processor), as the window's batch.
    int jobs = LReadJobs();
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && strcasecmp(argv[i], "-jobs") == 0) {
            if (i + 1 < argc) {
                char* end = nullptr;
                const long n = std::strtol(argv[i + 1], &end, 10);
                if (end && *end == 0 && n >= 1 && n <= 1024)
                    jobs = int(n);
                else
                    std::fprintf(stderr, "-jobs %s: not a number from 1 to 1024, keeping %d\n",
                                 argv[i + 1], jobs);
                ++i;
            }
            continue;
        }
        args.push_back(argv[i]);
    }
    if (std::getenv(kBatchWorkerVariable)) return RunWorker(args, jobs);
    return RunOnce(args, jobs);
}
