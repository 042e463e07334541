// ProcessConvert: output paths, the overwrite rule, open, transfer, tags, and the same-file case.
#include "convert/job.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "convert/cdconvert.h"
#include "store/combohistory.h"
#include "store/settings.h"
#include "store/tags.h"
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

// Claims a free name in the folder for the file being written: prefix + name + extension,
// else with " (2)", " (3)", ... before the extension, the name shortened where the path would
// pass 259 characters. The empty file is created in the same step, so that no other file and
// no other running conversion is ever written over. False when no name could be claimed.
bool ClaimPassingName(char* dest, const char* folder, const char* prefix, const char* name,
                      const char* ext) {
    for (int n = 1; n < 1000; ++n) {
        const std::string suffix = n == 1 ? std::string() : " (" + std::to_string(n) + ")";
        const size_t fixed =
            std::strlen(folder) + 1 + std::strlen(prefix) + suffix.size() + std::strlen(ext);
        if (fixed >= LMAX_PATH) return false;
        std::string stem(name, std::min(std::strlen(name), LMAX_PATH - 1 - fixed));
        JoinPath(dest, folder, prefix + stem + suffix + ext);
        LFile claim;
        if (claim.CreateNew(dest)) return true;
        // Something exists there (or the folder cannot be written: then every name fails).
        if (!LFileExists(dest)) return false;
    }
    return false;
}

// The claimed file until it has taken its final name: deleted on every other way out.
class PassingFile {
  public:
    ~PassingFile() { Drop(); }
    char path[LMAX_PATH] = {};
    bool held = false;
    void Drop() {
        if (held && LFileExists(path)) LDeleteFile(path);
        held = false;
    }
};

void MarkRest(LConvertHost& host, int from) {
    for (int i = from; i < host.EntryCount(); ++i) host.SetEntryImage(i, LENTRY_FAILED);
}

std::string ConversionFailed(const char* input) {
    return LFormatMessage("Conversion of the file \"%s\" has failed. Please see ", input) +
           kSupportWebPage + " for possible answers to the problem.";
}

// When not even an empty file can be created next to the output ("%s": the output path).
constexpr const char* kCannotCreateMessage =
    "Unable to create the file \"%s\". Check that the folder exists, that you may write to it "
    "and that the disk is not full.";

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
    GetFileNameNoExtension(name, input);
    GetFileExtension(inExt, input);
    if (strcasecmp(folderText, kSameAsSourceFolder) == 0 && ExtIs(inExt, ".cda"))
        LCDSameAsSourceFolder(paths.folder);
    else if (strcasecmp(folderText, kSameAsSourceFolder) == 0)
        FolderOf(paths.folder, input);
    else
        CopyPath(paths.folder, folderText);
    JoinPath(paths.finalPath, paths.folder, std::string(name) + outExt);
    paths.sameFile = SamePath(paths.finalPath, input);
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
    const bool sameAsSource = strcasecmp(folderText, kSameAsSourceFolder) == 0;
    const char* outExt = job->outputExtension;

    for (int index = 0; index < host.EntryCount(); ++index) {
        if (!host.IsEntrySelected(index)) continue;
        host.SetEntryImage(index, LENTRY_CONVERTING);
        char input[LMAX_PATH];
        host.GetEntryPath(index, input);

        // Output path.
        char folder[LMAX_PATH], name[LMAX_PATH], inExt[LMAX_PATH];
        GetFileNameNoExtension(name, input);
        GetFileExtension(inExt, input);
        const bool cdTrack = ExtIs(inExt, ".cda");
        if (sameAsSource && cdTrack)
            LCDSameAsSourceFolder(folder);  // a disc has no folder of its own
        else if (sameAsSource)
            FolderOf(folder, input);
        else
            CopyPath(folder, folderText);
        char finalPath[LMAX_PATH];
        JoinPath(finalPath, folder, std::string(name) + outExt);

        // Overwrite rule, for the file the user gets. Writing over the input itself is what
        // the user asked for by naming it: no question.
        const bool sameFile = SamePath(finalPath, input);
        bool proceed = true, skip = false;
        if (!sameFile) CmTestFileExists(host, finalPath, overwrite, proceed, skip);
        if (!proceed) {
            MarkRest(host, index);
            job->outcome = LPROCESS_STOPPED;
            return LPROCESS_OK;
        }
        if (skip) {
            host.SetEntryImage(index, LENTRY_FAILED);
            continue;
        }

        // The output is written under a passing name next to its place and takes that place
        // only once it is complete: the input or an older output stays as it is until then,
        // and a failure or a crash never leaves a partial file under the real name. The same
        // file goes to "_" + name + the input's extension, anything else to "~" + name + the
        // output extension; when such a file exists already another free name is taken.
        PassingFile passing;
        char inFolder[LMAX_PATH];
        FolderOf(inFolder, input);
        if (!(sameFile ? ClaimPassingName(passing.path, inFolder, "_", name, inExt)
                       : ClaimPassingName(passing.path, folder, "~", name, outExt))) {
            LTrace("ProcessConvert no passing name can be created next to the output");
            dlg->ShowError(LFormatMessage(kCannotCreateMessage, finalPath).c_str());
            host.SetEntryImage(index, LENTRY_FAILED);
            job->outcome = LPROCESS_FAILED;
            return LPROCESS_FAILED;
        }
        passing.held = true;
        const char* output = passing.path;

        // CD tracks.
        if (cdTrack) {
            // The track may be named from the disc's information instead (its conversion then
            // decides on overwriting that name and deletes a partial file itself); otherwise
            // what it wrote under the passing name takes its place.
            char written[LMAX_PATH];
            CopyPath(written, output);
            bool ok = host.ConvertCDAudioFile(index, written, overwrite, dlg);
            if (ok && std::strcmp(written, output) == 0) {
                ok = ReplaceWith(output, finalPath);
                if (ok) passing.held = false;
            }
            passing.Drop();
            host.SetEntryImage(index, ok ? LENTRY_DONE : LENTRY_FAILED);
            if (!ok) job->outcome = LPROCESS_FAILED;
            if (!ok && dlg->PumpMessages()) {  // the rip was cancelled
                job->outcome = LPROCESS_STOPPED;
                return LPROCESS_STOPPED;
            }
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
            LGenSourceInteraction ui{&job->promptOnce, host};
            open = LGenSourceOpen(source, input, &ui);
        }
        if (open != LPROCESS_OK) {
            host.SetEntryImage(index, LENTRY_FAILED);
            job->outcome = open;
            break;
        }

        // Sink.
        if (!LGenSinkIsSupported(outExt, host)) {
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
        const char* sinkMessage = sink ? sink->GetFailureMessage() : nullptr;
        sink.reset();
        source.reset();

        // Tags go into the new file before it takes its place; a file that cannot take them
        // is not complete either.
        if (status == LPROCESS_OK && haveTags && (ExtIs(outExt, ".mp3") || ExtIs(outExt, ".wav")) &&
            !tags.WriteTags(output)) {
            LTrace("ProcessConvert cannot write the tags into the converted file");
            status = LPROCESS_FAILED;
        }
        // Replace the old file in one step, so that it is never lost on the way.
        if (status == LPROCESS_OK && !ReplaceWith(output, finalPath)) {
            LTrace("ProcessConvert cannot give the converted file its name");
            status = LPROCESS_FAILED;
        }
        if (status != LPROCESS_OK) {
            // A cancel is the user's own doing: no message.
            if (status != LPROCESS_STOPPED)
                dlg->ShowError(sinkMessage ? LFormatMessage(sinkMessage, input).c_str()
                                           : ConversionFailed(input).c_str());
            host.SetEntryImage(index, LENTRY_FAILED);
            // What was written so far is no file anyone can use.
            passing.Drop();
            job->outcome = status;
            return status;
        }
        passing.held = false;
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
    if (!LGenSinkIsSupported(outputExtension, host)) {
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
            // Another run may create the same folder meanwhile: what counts is that it exists.
            std::filesystem::create_directory(folder, ec);
            if (!std::filesystem::is_directory(folder, ec)) {
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
