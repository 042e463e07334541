// ProcessConvert: output paths, the overwrite rule, open, transfer, tags, and the same-file case.
#include "convert/job.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "convert/cdconvert.h"
#include "convert/entrypaths.h"
#include "convert/formattable.h"
#include "convert/gensink.h"
#include "convert/gensource.h"
#include "convert/messages.h"
#include "convert/overwrite.h"
#include "store/combohistory.h"
#include "store/settingnames.h"
#include "store/settings.h"
#include "tags/tagdata.h"
#include "support/fileops.h"
#include "support/trace.h"

namespace {

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

}  // namespace

namespace {

// What one batch shares between its entries.
struct Batch {
    LProgressDialog* dlg;
    LConvertJob* job;
    LConvertHost& host;
    const char* outExt;
    char folderText[LMAX_PATH] = {};
    bool keepFolders = false;
    LOverwriteState overwrite = {};
    LAudioTagData tags = {};
};

// One entry's input and where its output goes.
struct Entry {
    int index;
    char input[LMAX_PATH];
    char name[LMAX_PATH];  // the input's file name without its extension
    char inExt[LMAX_PATH];
    LEntryPaths paths;
};

// How a step of an entry ends, besides a status that ends the batch at once.
constexpr int kGoOn = -1;        // the entry's next step follows
constexpr int kNextEntry = -2;   // the entry is done with; the batch goes on
constexpr int kEndOfBatch = -3;  // the batch ends as if every entry had been done

// The entry's status when it fails: its image, the job's outcome and the return status.
int Failed(Batch& b, const Entry& e, int status) {
    b.host.SetEntryImage(e.index, LENTRY_FAILED);
    b.job->outcome = status;
    return status;
}

// Overwrite rule, for the file the user gets. Writing over the input itself is what the user
// asked for by naming it: no question. kGoOn, kNextEntry (skipped) or LPROCESS_OK (the user
// stopped the batch: the rest of the entries are marked failed).
int ApplyOverwriteRule(Batch& b, const Entry& e) {
    bool proceed = true, skip = false;
    if (!e.paths.sameFile) LDecideOverwrite(b.host, e.paths.finalPath, b.overwrite, proceed, skip);
    if (!proceed) {
        MarkRest(b.host, e.index);
        b.job->outcome = LPROCESS_STOPPED;
        return LPROCESS_OK;
    }
    if (skip) {
        b.host.SetEntryImage(e.index, LENTRY_FAILED);
        return kNextEntry;
    }
    return kGoOn;
}

// The output is written under a passing name next to its place and takes that place only once
// it is complete: the input or an older output stays as it is until then, and a failure or a
// crash never leaves a partial file under the real name. The same file goes to "_" + name +
// the input's extension, anything else to "~" + name + the output extension; when such a file
// exists already another free name is taken.
bool ClaimPassingFile(Batch& b, const Entry& e, PassingFile& passing) {
    char inFolder[LMAX_PATH];
    LFile::_GetFolderFromPath(inFolder, e.input);
    const bool claimed =
        e.paths.sameFile ? LClaimPassingName(passing.path, inFolder, "_", e.name, e.inExt)
                         : LClaimPassingName(passing.path, e.paths.folder, "~", e.name, b.outExt);
    passing.held = claimed;
    return claimed;
}

// A CD track. Its conversion may name it from the disc's information instead (and decides on
// overwriting that name); it writes under a passing name of its own, claimed once its questions
// are answered, so that no passing file waits behind a question or a message.
int ConvertTrack(Batch& b, const Entry& e) {
    char written[LMAX_PATH];
    LCopyPath(written, e.paths.finalPath);
    const bool ok = b.host.ConvertCDAudioFile(e.index, written, b.overwrite, b.dlg);
    b.host.SetEntryImage(e.index, ok ? LENTRY_DONE : LENTRY_FAILED);
    if (ok) return kNextEntry;
    b.job->outcome = LPROCESS_FAILED;
    if (b.dlg->PumpMessages()) {  // the rip was cancelled
        b.job->outcome = LPROCESS_STOPPED;
        return LPROCESS_STOPPED;
    }
    return kNextEntry;
}

// Opens the input (with the host's prompts when the window is shown); LPROCESS_OK or the
// open's status.
int OpenInput(Batch& b, const Entry& e, LSourceRef& source) {
    if (b.host.IsHidden()) {
        b.host.ShowProgressDialog(b.dlg, false);
        return LGenSourceOpen(source, e.input, b.dlg);
    }
    b.host.ShowProgressDialog(b.dlg, true);
    LGenSourceInteraction ui{&b.job->promptOnce, b.host};
    return LGenSourceOpen(source, e.input, &ui);
}

bool Taggable(const char* ext) {
    return LFindInputFormat(ext).tags;
}

// Open, transfer, tags and the final name of an ordinary file. The passing file is claimed
// once the input is open, so that none waits behind the open's questions and messages.
int ConvertFile(Batch& b, const Entry& e) {
    LSourceRef source;
    const int open = OpenInput(b, e, source);
    if (open != LPROCESS_OK) {
        Failed(b, e, open);
        return kEndOfBatch;
    }
    if (!LGenSinkIsSupported(b.outExt, b.host)) {
        b.dlg->ShowError(NotSupported().c_str());
        return Failed(b, e, LPROCESS_FAILED);
    }
    PassingFile passing;
    if (!ClaimPassingFile(b, e, passing)) {
        LTrace("ProcessConvert no passing name can be created next to the output");
        b.dlg->ShowError(LFormatMessage(kCannotCreateMessage, e.paths.finalPath).c_str());
        return Failed(b, e, LPROCESS_FAILED);
    }
    const char* output = passing.path;
    LSinkRef sink;
    LGenSinkOpenSink(sink, output, source->GetSampleRate(), source->GetChannels());

    b.tags.Clear();
    const bool haveTags = Taggable(e.inExt) && b.tags.ReadTags(e.input) && !b.tags.Empty();

    int status = LConvertTransfer(b.dlg, "Saving Audio File", source, sink);
    const char* sinkMessage = sink ? sink->GetFailureMessage() : nullptr;
    sink.reset();
    source.reset();

    // Tags go into the new file before it takes its place; a file that cannot take them is not
    // complete either.
    if (status == LPROCESS_OK && haveTags && Taggable(b.outExt) && !b.tags.WriteTags(output)) {
        LTrace("ProcessConvert cannot write the tags into the converted file");
        status = LPROCESS_FAILED;
    }
    // Replace the old file in one step, so that it is never lost on the way.
    if (status == LPROCESS_OK && !LReplaceFile(output, e.paths.finalPath)) {
        LTrace("ProcessConvert cannot give the converted file its name");
        status = LPROCESS_FAILED;
    }
    if (status != LPROCESS_OK) {
        // What was written so far is no file anyone can use: it goes before the message, which
        // may wait for the user as long as the session lasts.
        passing.Drop();
        // A cancel is the user's own doing: no message.
        if (status != LPROCESS_STOPPED)
            b.dlg->ShowError(sinkMessage ? LFormatMessage(sinkMessage, e.input).c_str()
                                         : ConversionFailed(e.input).c_str());
        return Failed(b, e, status);
    }
    passing.held = false;
    b.host.SetEntryImage(e.index, LENTRY_DONE);
    return kNextEntry;
}

// One selected entry: kNextEntry, kEndOfBatch, or the status that ends the batch at once.
int ConvertEntry(Batch& b, int index) {
    b.host.SetEntryImage(index, LENTRY_CONVERTING);
    Entry e;
    e.index = index;
    b.host.GetEntryPath(index, e.input);
    GetFileNameNoExtension(e.name, e.input);
    GetFileExtension(e.inExt, e.input);
    char fromFolder[LMAX_PATH];
    b.host.GetEntryFolder(index, fromFolder);
    if (!LPlanEntryPaths(e.input, b.folderText, b.outExt, e.paths, fromFolder, b.keepFolders)) {
        // A cut name would be another file's, or lose its extension.
        b.dlg->ShowError(LFormatMessage(kOutputPathTooLongMessage, e.input).c_str());
        return Failed(b, e, LPROCESS_FAILED);
    }
    // A folder that cannot be made shows when the output's name is claimed in it.
    LMakeEntryFolder(e.paths);

    const int rule = ApplyOverwriteRule(b, e);
    if (rule != kGoOn) return rule;

    if (ExtIs(e.inExt, ".cda")) return ConvertTrack(b, e);
    return ConvertFile(b, e);
}

}  // namespace

int ProcessConvert(LProgressDialog* dlg, LConvertJob* job) {
    Batch b{dlg, job, *job->mainWindow, job->outputExtension};
    LConvertHost& host = b.host;
    job->outcome = LPROCESS_OK;

    // Start of the batch: the folder text goes into its history; nothing selected means all.
    for (int i = 0; i < host.EntryCount(); ++i)
        if (host.IsEntrySelected(i)) host.SetEntryImage(i, LENTRY_NONE);
    host.GetOutputFolder(b.folderText);
    b.keepFolders = SettingsRead(kKeepFolders);
    ComboHistorySaveText("OutputFolder", b.folderText);
    host.ReloadOutputFolderHistory();
    bool anySelected = false;
    for (int i = 0; i < host.EntryCount() && !anySelected; ++i)
        anySelected = host.IsEntrySelected(i);
    if (!anySelected) host.SelectAll();

    for (int index = 0; index < host.EntryCount(); ++index) {
        if (!host.IsEntrySelected(index)) continue;
        const int end = ConvertEntry(b, index);
        if (end == kEndOfBatch) break;
        if (end != kNextEntry) return end;
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
    if (!LIsSameAsSource(folder)) {
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
