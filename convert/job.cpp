// ProcessConvert: output paths, the overwrite rule, open, transfer, tags, and the same-file case.
#include "convert/job.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/combohistory.h"
#include "app/settings.h"
#include "app/tags.h"
#include "convert/gensink.h"
#include "convert/gensource.h"
#include "convert/messages.h"
#include "support/fileops.h"
#include "support/trace.h"

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Two paths name the same file: equal text (without regard to case where the file system
// ignores it, either separator), or two spellings of one existing file ("./", links).
bool SamePath(const char* a, const char* b) {
    const char *p = a, *q = b;
    for (;; ++p, ++q) {
        char x = *p, y = *q;
#ifdef _WIN32
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x == '/') x = '\\';
        if (y == '/') y = '\\';
#endif
        if (x != y) break;
        if (!x) return true;
    }
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

// Copies at most 259 characters.
void CopyPath(char* dest, const char* src) {
    std::snprintf(dest, LMAX_PATH, "%s", src);
}

// The folder part of a path (up to its last separator), "" when there is none.
void FolderOf(char* dest, const char* path) {
    const char* last = nullptr;
    for (const char* p = path; *p; ++p)
        if (IsSeparator(*p)) last = p;
    size_t n = last ? size_t(last - path) : 0;
    if (n > LMAX_PATH - 1) n = LMAX_PATH - 1;
    std::memcpy(dest, path, n);
    dest[n] = 0;
}

// folder + separator (when needed) + name, cut at 259 characters.
void JoinPath(char* dest, const char* folder, const std::string& name) {
    size_t n = std::strlen(folder);
    bool sep = n > 0 && !IsSeparator(folder[n - 1]);
    std::snprintf(dest, LMAX_PATH, "%s%s%s", folder, sep ? std::string(1, LPATH_SEP).c_str() : "",
                  name.c_str());
}

// Moves the finished file over the old one in one step.
bool ReplaceWith(const char* from, const char* to) {
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    return !ec;
}

void MarkRest(LConvertHost& host, int from) {
    for (int i = from; i < host.EntryCount(); ++i) host.SetEntryImage(i, LENTRY_FAILED);
}

std::string ConversionFailed(const char* input) {
    return LFormatMessage("Conversion of the file \"%s\" has failed. Please see ", input) +
           kSupportWebPage + " for possible answers to the problem.";
}

std::string NotSupported() {
    return std::string("The specified output format is not supported by Tamber. Please see ") +
           kFormatsWebPage + " for information on what formats are supported.";
}

bool ExtIs(const char* ext, const char* a) {
    return strcasecmp(ext, a) == 0;
}

}  // namespace

void CmTestFileExists(LConvertHost& host, const char* path, LOverwriteState& state, bool& proceed,
                      bool& skip) {
    if (!LFileExists(path)) {
        proceed = true;
        skip = false;
        return;
    }
    if (SettingsReadBool("Settings", "AlwaysPrompt", true)) {
        if (state.ask) {
            std::string q = LFormatMessage(
                "The output file \"%s\" already exists. Do you want to overwrite it?", path);
            switch (host.AskYesNoCancel(q.c_str(), "Tamber")) {
                case LANSWER_YES:
                    state.proceed = true, state.skip = false;
                    break;
                case LANSWER_NO:
                    state.proceed = true, state.skip = true;
                    break;
                default:
                    state.proceed = false, state.skip = true;
                    break;
            }
            state.ask = false;
        }
    } else if (SettingsReadBool("Settings", "AlwaysOverwrite", false)) {
        proceed = true, skip = false;
        return;
    } else if (SettingsReadBool("Settings", "NeverOverwrite", false)) {
        proceed = true, skip = true;
        return;
    } else if (SettingsReadBool("Settings", "CancelAll", false)) {
        proceed = false, skip = true;
        return;
    }
    proceed = state.proceed;
    skip = state.skip;
}

void LPlanEntryPaths(const char* input, const char* folderText, const char* outExt,
                     LEntryPaths& paths) {
    char name[LMAX_PATH], inExt[LMAX_PATH];
    if (strcasecmp(folderText, kSameAsSourceFolder) == 0)
        FolderOf(paths.folder, input);
    else
        CopyPath(paths.folder, folderText);
    GetFileNameNoExtension(name, input);
    GetFileExtension(inExt, input);
    JoinPath(paths.output, paths.folder, std::string(name) + outExt);
    CopyPath(paths.finalPath, paths.output);
    paths.sameFile = SamePath(paths.output, input);
    if (paths.sameFile) {
        char inFolder[LMAX_PATH];
        FolderOf(inFolder, input);
        JoinPath(paths.output, inFolder, std::string("_") + name + inExt);
    }
}

int ProcessConvert(LProgressDialog* dlg, LConvertJob* job) {
    LConvertHost& host = *job->mainWindow;
    job->outcome = LPROCESS_OK;

    // Start of the batch.
    for (int i = 0; i < host.EntryCount(); ++i)
        if (host.IsEntrySelected(i)) host.SetEntryImage(i, LENTRY_NONE);
    char folderText[LMAX_PATH];
    host.GetOutputFolder(folderText);
    ComboHistorySaveText("OutputFolder", folderText);
    host.ReloadOutputFolderHistory();
    bool anySelected = false;
    for (int i = 0; i < host.EntryCount() && !anySelected; ++i)
        anySelected = host.IsEntrySelected(i);
    if (!anySelected) host.SelectAll();
    LOverwriteState overwrite;
    LAudioTagData tags;
    const char* outExt = job->outputExtension;

    for (int index = 0; index < host.EntryCount(); ++index) {
        if (!host.IsEntrySelected(index)) continue;
        host.SetEntryImage(index, LENTRY_CONVERTING);
        char input[LMAX_PATH];
        host.GetEntryPath(index, input);

        LEntryPaths paths;
        LPlanEntryPaths(input, folderText, outExt, paths);
        const char* folder = paths.folder;
        char* output = paths.output;
        const char* finalPath = paths.finalPath;
        const bool sameFile = paths.sameFile;
        char name[LMAX_PATH], inExt[LMAX_PATH];
        GetFileNameNoExtension(name, input);
        GetFileExtension(inExt, input);

        // Overwrite rule.
        bool proceed = true, skip = false;
        CmTestFileExists(host, output, overwrite, proceed, skip);
        if (!proceed) {
            MarkRest(host, index);
            job->outcome = LPROCESS_STOPPED;
            return LPROCESS_OK;
        }
        if (skip) {
            host.SetEntryImage(index, LENTRY_FAILED);
            continue;
        }

        // An existing file that is to be replaced stays as it is until the new one is complete:
        // the conversion writes next to it under a passing name and takes its place at the end.
        bool replacing = false;
        if (!sameFile && LFileExists(output)) {
            char passing[LMAX_PATH];
            std::string passingName = std::string("~") + name + outExt;
            JoinPath(passing, folder, passingName);
            if (std::strlen(folder) + 1 + passingName.size() < LMAX_PATH && !LFileExists(passing)) {
                CopyPath(output, passing);
                replacing = true;
            }
        }

        // CD tracks.
        if (ExtIs(inExt, ".cda")) {
            bool ok = host.ConvertCDAudioFile(index, output);
            if (ok && replacing) ok = ReplaceWith(output, finalPath);
            if (!ok && LFileExists(output)) LDeleteFile(output);
            host.SetEntryImage(index, ok ? LENTRY_DONE : LENTRY_FAILED);
            if (!ok) job->outcome = LPROCESS_FAILED;
            continue;
        }

        // Source.
        LSourceRef source;
        int open;
        if (host.IsHidden()) {
            host.ShowProgressDialog(dlg, false);
            open = LGenSourceOpen(source, input, dlg);
        } else {
            host.ShowProgressDialog(dlg, true);
            LGenSourceInteraction ui{&job->promptOnce, host.GetWindow()};
            open = LGenSourceOpen(source, input, &ui);
        }
        if (open != LPROCESS_OK) {
            host.SetEntryImage(index, LENTRY_FAILED);
            job->outcome = open;
            break;
        }

        // Sink.
        if (!LGenSinkIsSupported(outExt, host.GetWindow())) {
            dlg->ShowError(NotSupported().c_str());
            host.SetEntryImage(index, LENTRY_FAILED);
            job->outcome = LPROCESS_FAILED;
            return LPROCESS_FAILED;
        }
        LSinkRef sink;
        LGenSinkOpenSink(sink, output, source->GetSampleRate(), source->GetChannels());

        // Tags of MP3 and WAV inputs.
        tags.Clear();
        bool haveTags =
            (ExtIs(inExt, ".mp3") || ExtIs(inExt, ".wav")) && tags.ReadTags(input) && !tags.Empty();

        int status = LConvertTransfer(dlg, "Saving Audio File", source, sink);
        sink.reset();
        source.reset();

        if (status != LPROCESS_OK) {
            dlg->ShowError(ConversionFailed(input).c_str());
            host.SetEntryImage(index, LENTRY_FAILED);
            // What was written so far is no file anyone can use.
            if (LFileExists(output)) LDeleteFile(output);
            job->outcome = status;
            return status;
        }
        if (haveTags && (ExtIs(outExt, ".mp3") || ExtIs(outExt, ".wav"))) tags.WriteTags(output);
        if ((sameFile || replacing) && LFileExists(output)) {
            // Replace the old file in one step, so that it is never lost on the way.
            if (!ReplaceWith(output, finalPath)) {
                LTrace("ProcessConvert cannot replace the input with the converted file");
                LDeleteFile(output);
                dlg->ShowError(ConversionFailed(input).c_str());
                host.SetEntryImage(index, LENTRY_FAILED);
                job->outcome = LPROCESS_FAILED;
                return LPROCESS_FAILED;
            }
        }
        host.SetEntryImage(index, LENTRY_DONE);
    }

    host.EndOfConvertBatch();
    return LPROCESS_OK;
}

bool LRunConvert(LConvertHost& host, bool interactive, int* outcome) {
    LConvertJob job;
    job.mainWindow = &host;
    job.promptOnce = interactive ? 1 : 0;
    host.GetOutputFormat(job.outputExtension);
    if (outcome) *outcome = LPROCESS_FAILED;
    if (!LPrepareConvert(host, job.outputExtension)) return false;
    LProgressProcess<LConvertJob> dlg("Saving Audio File", &job);
    if (!dlg.Run(host.GetWindow())) return false;
    if (outcome) *outcome = dlg.status != LPROCESS_OK ? dlg.status : job.outcome;
    return dlg.status == LPROCESS_OK;
}

bool LPrepareConvert(LConvertHost& host, const char* outputExtension) {
    if (!LGenSinkIsSupported(outputExtension, host.GetWindow())) {
        host.ShowErrorMessage("Unable to encode files in the selected format.", "Tamber");
        return false;
    }
    char folder[LMAX_PATH];
    host.GetOutputFolder(folder);
    if (strcasecmp(folder, kSameAsSourceFolder) != 0) {
        std::error_code ec;
        if (!std::filesystem::is_directory(folder, ec)) {
            std::string q = LFormatMessage(
                "The folder \"%s\" does not exist. Do you want to create it now?", folder);
            if (host.AskCreateFolder(q.c_str()) != LANSWER_YES) {
                host.ShowErrorMessage(
                    "Unable to convert files. Please specify an existing output folder.", nullptr);
                return false;
            }
            if (!std::filesystem::create_directory(folder, ec) || ec) {
                host.ShowErrorMessage("Unable to create folder.", nullptr);
                return false;
            }
        }
    }
    return true;
}

bool LConvertHost::RunConvert(bool interactive, int* outcome) {
    return LRunConvert(*this, interactive, outcome);
}
