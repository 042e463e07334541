// The conversion job: a request's entries one after another, and the request from a front end.
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
#include "convert/jobsteps.h"
#include "convert/messages.h"
#include "convert/overwrite.h"
#include "convert/parallel.h"
#include "store/combohistory.h"
#include "store/settingnames.h"
#include "store/settings.h"
#include "support/fileops.h"
#include "support/fspath.h"
#include "support/trace.h"
#include "tags/tagdata.h"

namespace {

// One entry: kJobNextEntry, kJobEndOfBatch, or the status that ends the batch at once.
int ConvertEntry(LJobBatch& b, const LConvertEntry& entry) {
    b.events.EntryStarted(entry.index);
    LJobEntry e;
    if (!LJobPlanEntry(b, entry, e)) return LPROCESS_FAILED;
    const int rule = LJobApplyOverwriteRule(b, e);
    if (rule != kJobGoOn) return rule;
    if (LJobIsTrack(e)) return LJobConvertTrack(b, e);
    LSourceRef source;
    if (LJobOpenInput(b, e, source) != LPROCESS_OK) return kJobEndOfBatch;
    return LJobConvertOpened(b, e, source);
}

}  // namespace

int LConvertBatch(LProgressDialog* dlg, LConvertJob* job) {
    LJobBatch b{dlg, job, *job->request, *job->events, job->request->outputExtension.c_str()};
    job->outcome = LPROCESS_OK;
    int status = LPROCESS_OK;
    for (const LConvertEntry& entry : b.request.entries) {
        const int end = ConvertEntry(b, entry);
        if (end == kJobEndOfBatch) break;
        if (end != kJobNextEntry) {
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
    request.jobs = LReadJobs();
}

bool LRunRequest(const LConvertRequest& request, LConvertEvents& events, int* outcome) {
    LConvertJob job;
    job.request = &request;
    job.events = &events;
    job.promptOnce = request.interactive ? 1 : 0;
    if (outcome) *outcome = LPROCESS_FAILED;
    if (request.jobs > 1 && request.entries.size() > 1) {
        LProgressProcess<LConvertJob, LConvertParallel> dlg("Saving Audio File", &job);
        if (!dlg.Run(events.GetWindow())) return false;
        if (outcome) *outcome = dlg.status != LPROCESS_OK ? dlg.status : job.outcome;
        return dlg.status == LPROCESS_OK;
    }
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
