// The conversion job's steps for one entry: output paths, the overwrite rule, open, transfer,
// tags, the same-file case.
#include "convert/jobsteps.h"

#include <strings.h>

#include <cstring>
#include <string>

#include "convert/cdconvert.h"
#include "convert/formattable.h"
#include "convert/gensink.h"
#include "convert/gensource.h"
#include "convert/messages.h"
#include "convert/verify.h"
#include "core/transfer.h"
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

// The entry's status when it fails: its image, the job's outcome and the return status.
int Failed(LJobBatch& b, const LJobEntry& e, int status) {
    b.events.EntryFailed(e.index);
    b.job->outcome = status;
    return status;
}

// The output is written under a passing name next to its place and takes that place only once
// it is complete: the input or an older output stays as it is until then, and a failure or a
// crash never leaves a partial file under the real name. The same file goes to "_" + name +
// the input's extension, anything else to "~" + name + the output extension; when such a file
// exists already another free name is taken.
bool ClaimPassingFile(LJobBatch& b, const LJobEntry& e, PassingFile& passing) {
    char inFolder[LMAX_PATH];
    LFile::_GetFolderFromPath(inFolder, e.input);
    const bool claimed =
        e.paths.sameFile ? LClaimPassingName(passing.path, inFolder, "_", e.name, e.inExt)
                         : LClaimPassingName(passing.path, e.paths.folder, "~", e.name, b.outExt);
    passing.held = claimed;
    return claimed;
}

bool Taggable(const char* ext) {
    return LFindInputFormat(ext).tags;
}

}  // namespace

bool LJobPlanEntry(LJobBatch& b, const LConvertEntry& entry, LJobEntry& e) {
    e.index = entry.index;
    e.input = entry.input.c_str();
    GetFileNameNoExtension(e.name, e.input);
    GetFileExtension(e.inExt, e.input);
    if (LPlanEntry(b.request, entry, e.paths)) return true;
    // A cut name would be another file's, or lose its extension.
    b.dlg->ShowError(LFormatMessage(kOutputPathTooLongMessage, e.input).c_str());
    Failed(b, e, LPROCESS_FAILED);
    return false;
}

int LJobApplyOverwriteRule(LJobBatch& b, const LJobEntry& e) {
    switch (LEntryOverwrite(b.events, b.request, e.paths, b.overwrite)) {
        case LOverwriteVerdict::Write:
            return kJobGoOn;
        case LOverwriteVerdict::Skip:
            b.events.EntryFailed(e.index);
            return kJobNextEntry;
        case LOverwriteVerdict::Stop:
            break;
    }
    b.events.BatchStopped(e.index);
    b.job->outcome = LPROCESS_STOPPED;
    return LPROCESS_OK;
}

bool LJobIsTrack(const LJobEntry& e) {
    return ExtIs(e.inExt, ".cda");
}

// A CD track's conversion may name it from the disc's information instead (and decides on
// overwriting that name); it writes under a passing name of its own, claimed once its questions
// are answered, so that no passing file waits behind a question or a message.
int LJobConvertTrack(LJobBatch& b, const LJobEntry& e) {
    char written[LMAX_PATH];
    LCopyPath(written, e.paths.finalPath);
    const bool ok =
        LCDConvertTrack(b.events, b.request, e.index, e.input, written, b.overwrite, b.dlg);
    if (ok) {
        b.events.EntryDone(e.index);
        return kJobNextEntry;
    }
    b.events.EntryFailed(e.index);
    b.job->outcome = LPROCESS_FAILED;
    if (b.dlg->PumpMessages()) {  // the rip was cancelled
        b.job->outcome = LPROCESS_STOPPED;
        return LPROCESS_STOPPED;
    }
    return kJobNextEntry;
}

bool LJobOpenPrompts(const LJobBatch& b) {
    return !b.request.hidden;
}

int LJobOpenInput(LJobBatch& b, const LJobEntry& e, LSourceRef& source) {
    int status;
    if (!LJobOpenPrompts(b)) {
        b.events.ShowProgressSurface(b.dlg, false);
        status = LGenSourceOpen(source, e.input, b.dlg);
    } else {
        b.events.ShowProgressSurface(b.dlg, true);
        LGenSourceInteraction ui{&b.job->promptOnce, b.events};
        status = LGenSourceOpen(source, e.input, &ui);
    }
    if (status != LPROCESS_OK) Failed(b, e, status);
    return status;
}

int LJobConvertOpened(LJobBatch& b, const LJobEntry& e, LSourceRef& source) {
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
    LOutputCheck check;
    sink = LOutputCheckTap(b.outExt, sink, check);

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
    // A lossless file must read back as what went into it before it takes anyone's place.
    bool mismatch = false;
    if (status == LPROCESS_OK) {
        status = LVerifyOutput(b.dlg, output, b.outExt, check);
        mismatch = status == LPROCESS_FAILED;
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
        if (mismatch)
            b.dlg->ShowError(LFormatMessage(kOutputNotVerifiedMessage, e.paths.finalPath).c_str());
        else if (status != LPROCESS_STOPPED)
            b.dlg->ShowError(sinkMessage ? LFormatMessage(sinkMessage, e.input).c_str()
                                         : ConversionFailed(e.input).c_str());
        return Failed(b, e, status);
    }
    passing.held = false;
    if (check.active) b.events.EntryVerified(e.index);
    b.events.EntryDone(e.index);
    return kJobNextEntry;
}

int LConvertTransfer(LProgressDialog* dlg, const char* title, const LSourceRef& source,
                     const LSinkRef& sink) {
    LPRSourceToSink record;
    record.title = title;
    record.source = source;
    record.sink = sink;
    return LTransferSourceToSink(dlg, &record);
}
