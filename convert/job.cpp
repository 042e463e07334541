// The conversion job: output paths, the overwrite rule, open, transfer, tags, the same-file case.
#include "convert/job.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "convert/cdconvert.h"
#include "convert/cdverify.h"
#include "convert/entrypaths.h"
#include "convert/formattable.h"
#include "convert/gensink.h"
#include "convert/gensource.h"
#include "convert/messages.h"
#include "convert/overwrite.h"
#include "store/combohistory.h"
#include "store/settingnames.h"
#include "store/settings.h"
#include "support/fileops.h"
#include "support/fspath.h"
#include "support/trace.h"
#include "tags/tagdata.h"

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
    const LConvertRequest& request;
    LConvertEvents& events;
    const char* outExt;
    LOverwriteState overwrite = {};
    LAudioTagData tags = {};
};

// One entry's input and where its output goes.
struct Entry {
    int index;
    const char* input;
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
    b.events.EntryFailed(e.index);
    b.job->outcome = status;
    return status;
}

// Overwrite rule: kGoOn, kNextEntry (skipped) or LPROCESS_OK (the user stopped the batch: the
// rest of the entries count as failed).
int ApplyOverwriteRule(Batch& b, const Entry& e) {
    switch (LEntryOverwrite(b.events, b.request, e.paths, b.overwrite)) {
        case LOverwriteVerdict::Write:
            return kGoOn;
        case LOverwriteVerdict::Skip:
            b.events.EntryFailed(e.index);
            return kNextEntry;
        case LOverwriteVerdict::Stop:
            break;
    }
    b.events.BatchStopped(e.index);
    b.job->outcome = LPROCESS_STOPPED;
    return LPROCESS_OK;
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
    const bool ok =
        LCDConvertTrack(b.events, b.request, e.index, e.input, written, b.overwrite, b.dlg);
    if (ok) {
        b.events.EntryDone(e.index);
        return kNextEntry;
    }
    b.events.EntryFailed(e.index);
    b.job->outcome = LPROCESS_FAILED;
    if (b.dlg->PumpMessages()) {  // the rip was cancelled
        b.job->outcome = LPROCESS_STOPPED;
        return LPROCESS_STOPPED;
    }
    return kNextEntry;
}

// Opens the input (with the user's prompts when the window is shown); LPROCESS_OK or the
// open's status.
int OpenInput(Batch& b, const Entry& e, LSourceRef& source) {
    if (b.request.hidden) {
        b.events.ShowProgressSurface(b.dlg, false);
        return LGenSourceOpen(source, e.input, b.dlg);
    }
    b.events.ShowProgressSurface(b.dlg, true);
    LGenSourceInteraction ui{&b.job->promptOnce, b.events};
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
    if (!LGenSinkIsSupported(b.outExt, b.events)) {
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
    b.events.EntryDone(e.index);
    return kNextEntry;
}

// One entry: kNextEntry, kEndOfBatch, or the status that ends the batch at once.
int ConvertEntry(Batch& b, const LConvertEntry& entry) {
    b.events.EntryStarted(entry.index);
    Entry e;
    e.index = entry.index;
    e.input = entry.input.c_str();
    GetFileNameNoExtension(e.name, e.input);
    GetFileExtension(e.inExt, e.input);
    if (!LPlanEntry(b.request, entry, e.paths)) {
        // A cut name would be another file's, or lose its extension.
        b.dlg->ShowError(LFormatMessage(kOutputPathTooLongMessage, e.input).c_str());
        return Failed(b, e, LPROCESS_FAILED);
    }
    const int rule = ApplyOverwriteRule(b, e);
    if (rule != kGoOn) return rule;

    if (ExtIs(e.inExt, ".cda")) return ConvertTrack(b, e);
    return ConvertFile(b, e);
}

}  // namespace

int LConvertBatch(LProgressDialog* dlg, LConvertJob* job) {
    Batch b{dlg, job, *job->request, *job->events, job->request->outputExtension.c_str()};
    job->outcome = LPROCESS_OK;
    int status = LPROCESS_OK;
    for (const LConvertEntry& entry : b.request.entries) {
        const int end = ConvertEntry(b, entry);
        if (end == kEndOfBatch) break;
        if (end != kNextEntry) {
            status = end;
            break;
        }
    }
    // Each disc's rip log; a disc may be changed before the next batch.
    LCDEndVerifyBatch();
    if (status == LPROCESS_OK) LCDState().tableLoaded = false;
    return status;
}

LConvertRequest LRequestForBoxes(LConvertHost& host) {
    LConvertRequest request;
    char text[LMAX_PATH];
    host.GetOutputFormat(text);
    request.outputExtension = text;
    host.GetOutputFolder(text);
    request.outputFolder = text;
    request.hidden = host.IsHidden();
    return request;
}

void LFillRequest(LConvertHost& host, LConvertRequest& request, bool interactive) {
    for (int i = 0; i < host.EntryCount(); ++i)
        if (host.IsEntrySelected(i)) host.SetEntryImage(i, LENTRY_NONE);
    ComboHistorySaveText("OutputFolder", request.outputFolder.c_str());
    host.ReloadOutputFolderHistory();
    bool anySelected = false;
    for (int i = 0; i < host.EntryCount() && !anySelected; ++i)
        anySelected = host.IsEntrySelected(i);
    if (!anySelected) host.SelectAll();
    request.entries.clear();
    for (int i = 0; i < host.EntryCount(); ++i) {
        if (!host.IsEntrySelected(i)) continue;
        char path[LMAX_PATH], from[LMAX_PATH];
        host.GetEntryPath(i, path);
        host.GetEntryFolder(i, from);
        request.entries.push_back({i, path, from});
    }
    request.overwrite = LReadOverwriteRule();
    request.keepFolders = SettingsRead(kKeepFolders);
    request.cdNaming = LReadCDNaming();
    request.interactive = interactive;
}

bool LRunRequest(const LConvertRequest& request, LConvertEvents& events, int* outcome) {
    LConvertJob job;
    job.request = &request;
    job.events = &events;
    job.promptOnce = request.interactive ? 1 : 0;
    if (outcome) *outcome = LPROCESS_FAILED;
    LProgressProcess<LConvertJob, LConvertBatch> dlg("Saving Audio File", &job);
    if (!dlg.Run(events.GetWindow())) return false;
    if (outcome) *outcome = dlg.status != LPROCESS_OK ? dlg.status : job.outcome;
    return dlg.status == LPROCESS_OK;
}

bool LRunConvert(LConvertHost& host, bool interactive, int* outcome) {
    if (outcome) *outcome = LPROCESS_FAILED;
    LConvertRequest request = LRequestForBoxes(host);
    if (!LPrepareConvert(host, request)) return false;
    LFillRequest(host, request, interactive);
    return LRunRequest(request, host, outcome);
}

bool LPrepareConvert(LConvertEvents& events, const LConvertRequest& request) {
    if (!LGenSinkIsSupported(request.outputExtension.c_str(), events)) {
        events.ShowErrorMessage("Unable to encode files in the selected format.", "Tamber");
        return false;
    }
    const char* folder = request.outputFolder.c_str();
    if (!LIsSameAsSource(folder)) {
        std::error_code ec;
        if (!std::filesystem::is_directory(LFsPath(folder), ec)) {
            std::string q = LFormatMessage(
                "The folder \"%s\" does not exist. Do you want to create it now?", folder);
            if (events.AskCreateFolder(q.c_str()) != LANSWER_YES) {
                events.ShowErrorMessage(
                    "Unable to convert files. Please specify an existing output folder.", nullptr);
                return false;
            }
            // Another run may create the same folder meanwhile: what counts is that it exists.
            std::filesystem::create_directory(LFsPath(folder), ec);
            if (!std::filesystem::is_directory(LFsPath(folder), ec)) {
                events.ShowErrorMessage("Unable to create folder.", nullptr);
                return false;
            }
        }
    }
    return true;
}

bool LConvertHost::RunConvert(bool interactive, int* outcome) {
    return LRunConvert(*this, interactive, outcome);
}
