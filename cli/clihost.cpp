// The headless host: the list in memory, questions on the terminal when there is one.
#include "cli/clihost.h"

#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "convert/formattable.h"
#include "convert/gensink.h"
#include "convert/job.h"
#include "store/settingnames.h"
#include "store/settings.h"
#include "support/trace.h"

LCliHost::LCliHost(bool interactiveInput) : interactiveInput_(interactiveInput) {
    char documents[LMAX_PATH];
    LFile::GetUserDocumentsFolder(documents);
    SettingsRead(kOutputFolder, folder_, documents);
    format_ = SettingsRead(kOutputFormat);
    if (format_ < 0 || format_ >= LOUTPUT_FORMAT_COUNT) format_ = 0;
}

void LCliHost::GetEntryPath(int index, char* path) {
    std::snprintf(path, LMAX_PATH, "%s", entries_[size_t(index)].path.c_str());
}

namespace {

// m:ss, or h:mm:ss from an hour on.
std::string Clock(double seconds) {
    long s = seconds < 0 ? 0 : long(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

const char* BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
}

}  // namespace

void LCliHost::SetEntryImage(int index, int image) {
    std::lock_guard<std::mutex> hold(batchLock_);
    entries_[size_t(index)].image = image;
    if (image != LENTRY_CONVERTING) return;
    if (!batchRunning_) {
        batchRunning_ = true;
        batchStart_ = std::chrono::steady_clock::now();
    }
    current_ = index;
    int total = 0, started = 0;
    for (const Entry& e : entries_) {
        total += e.selected;
        started += e.selected && e.image != LENTRY_NONE;
    }
    entries_[size_t(index)].number = started;
    if (isatty(STDERR_FILENO) || IsBatchChild()) return;  // the redrawn line (or parent) says it
    PrintEntryLine(index, "");
}

void LCliHost::PrintEntryLine(int index, const char* tail) {
    int total = 0;
    for (const Entry& e : entries_) total += e.selected;
    const Entry& e = entries_[size_t(index)];
    std::fprintf(stderr, "tamber: [%d/%d] %s%s\n", e.number, total, e.path.c_str(), tail);
}

void LCliHost::FormatProgressLine(char* line, size_t size, const char*, int percent) {
    std::lock_guard<std::mutex> hold(batchLock_);
    int total = 0, done = 0, running = 0;
    for (const Entry& e : entries_) {
        total += e.selected;
        done += e.selected && (e.image == LENTRY_DONE || e.image == LENTRY_FAILED);
        running += e.selected && e.image == LENTRY_CONVERTING;
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - batchStart_).count();
    // Every running file is taken to be as far as the one shown.
    const double part =
        total > 0 ? (done + (percent < 0 ? 0 : running * percent / 100.0)) / total : 0;
    std::string left =
        part > 0.01 && elapsed > 1 ? ", ~" + Clock(elapsed * (1 - part) / part) + " left" : "";
    const char* name = current_ >= 0 ? BaseName(entries_[size_t(current_)].path) : "";
    if (percent < 0)
        std::snprintf(line, size, "%d/%d files, %d running (%.40s), %s elapsed%s", done, total,
                      running, name, Clock(elapsed).c_str(), left.c_str());
    else
        std::snprintf(line, size, "%d/%d files, %.40s %3d%%, %s elapsed%s", done, total, name,
                      percent, Clock(elapsed).c_str(), left.c_str());
}

void LCliHost::DrawBatchLine() {
    if (!isatty(STDERR_FILENO)) return;
    char line[512];
    FormatProgressLine(line, sizeof line, "", -1);
    // Redrawn when it says something new, the clock at most five times a second.
    static std::string last;
    static auto lastTime = std::chrono::steady_clock::time_point();
    const auto now = std::chrono::steady_clock::now();
    const std::string text(line);
    const bool counts = text.substr(0, text.find(',')) != last.substr(0, last.find(','));
    if (lineShown_ && !counts && now - lastTime < std::chrono::milliseconds(200)) return;
    last = text;
    lastTime = now;
    std::fprintf(stderr, "\r\033[K%s", line);
    std::fflush(stderr);
    lineShown_ = true;
}

void LCliHost::ClearProgressLine() {
    if (lineShown_) std::fputs("\r\033[K", stderr);
    lineShown_ = false;
}

bool LCliHost::IsBatchChild() {
    static const bool child = std::getenv(kBatchChildVariable) != nullptr;
    return child;
}

bool LCliHost::RunConvert(bool interactive, int* outcome) {
    // CD tracks are read one at a time from their drive.
    bool cdTracks = false;
    for (const Entry& e : entries_)
        cdTracks = cdTracks || ExtIs(LPathExtension(e.path.c_str()), ".cda");
    if (outcome) *outcome = LPROCESS_FAILED;
    LConvertRequest request = LRequestForBoxes(*this);
    if (!LPrepareConvert(*this, request)) return false;
    LFillRequest(*this, request, interactive);
    request.jobs = cdTracks ? 1 : jobs_;
    if (request.jobs <= 1 || request.entries.size() <= 1)
        return LRunRequest(request, *this, outcome);
    int status = LPROCESS_FAILED;
    const bool ran = LRunParallelBatch(*this, request, &status);
    if (outcome) *outcome = status;
    return ran;
}

void LCliHost::SelectAll() {
    for (Entry& e : entries_) e.selected = true;
}

void LCliHost::AddEntry(const char* path, uint32_t, const char* fromFolder) {
    entries_.push_back({path, false, 0, fromFolder});
}

void LCliHost::GetEntryFolder(int index, char* folder) {
    std::snprintf(folder, LMAX_PATH, "%s", entries_[size_t(index)].from.c_str());
}

void LCliHost::GetOutputFolder(char* text) {
    std::snprintf(text, LMAX_PATH, "%s", folder_);
}

void LCliHost::SetOutputFolder(const char* text) {
    std::snprintf(folder_, LMAX_PATH, "%s", text);
}

void LCliHost::GetOutputFormat(char* extension) {
    std::snprintf(extension, LMAX_PATH, "%s", LOutputFormatExtension(format_));
}

bool LCliHost::SelectOutputFormat(const char* extension) {
    int index = LOutputFormatIndex(extension);
    if (index < 0) return false;
    format_ = index;
    return true;
}

int LCliHost::AskYesNoCancel(const char* text, const char* caption) {
    if (IsBatchChild()) return LANSWER_YES;  // the parent asked, in list order
    if (!interactiveInput_) {
        std::fprintf(stderr, "%s\ntamber: no terminal to answer on: No\n", text);
        return LANSWER_NO;
    }
    for (;;) {
        std::fprintf(stderr, "%s [y]es / [n]o / [c]ancel: ", text);
        std::fflush(stderr);
        char line[64];
        if (!std::fgets(line, sizeof line, stdin)) {
            std::fprintf(stderr, "\ntamber: no answer: Cancel\n");
            return LANSWER_CANCEL;
        }
        switch (line[0]) {
            case 'y':
            case 'Y':
                return LANSWER_YES;
            case 'n':
            case 'N':
                return LANSWER_NO;
            case 'c':
            case 'C':
                return LANSWER_CANCEL;
            default:
                break;
        }
    }
}

int LCliHost::AskCreateFolder(const char*) {
    std::fprintf(stderr, "tamber: creating the output folder \"%s\"\n", folder_);
    return LANSWER_YES;
}

void LCliHost::ShowErrorMessage(const char* text, const char*) {
    std::fprintf(stderr, "%s\n", text);
}

bool LCliHost::EditSettings(LSettingsRecordRef record) {
    // Raw and VOX inputs are read with the stored settings; encoder settings are given with
    // "-settings" instead.
    return std::holds_alternative<LRawSettings*>(record);
}

bool LCliHost::ChooseWaveFormat(LWaveFileFormat&, int) {
    LTrace("LCliHost no wave format chooser: the WAV format is given with -settings");
    return false;
}

bool LCliHost::InstallComponent(const char* component) {
    return LGenInstallComponent(component, nullptr);
}

void LCliHost::NoteSkippedFile(const char* path) {
    std::fprintf(stderr, "tamber: skipped \"%s\": not a readable, non-empty file\n", path);
}

void LCliHost::NoteIgnoredArgument(const char* option, const char* value) {
    if (value)
        std::fprintf(stderr, "%s %s: unknown output format, keeping %s\n", option, value,
                     LOutputFormatExtension(format_));
    else
        std::fprintf(stderr, "tamber: unknown option %s, ignored\n", option);
}

void LCliHost::EntryDone(int index) {
    SetEntryImage(index, LENTRY_DONE);
    // A checked output gets its line again with the word, once it has its name; a worker's
    // parent says it.
    if (entries_[size_t(index)].verified && !IsBatchChild()) {
        ClearProgressLine();
        PrintEntryLine(index, " verified");
    }
    if (ExtIs(LPathExtension(entries_[size_t(index)].path.c_str()), ".cda")) ++cdTracksConverted_;
}

void LCliHost::EntryVerified(int index) {
    std::lock_guard<std::mutex> hold(batchLock_);
    entries_[size_t(index)].verified = true;
    ++verified_;
}

void LCliHost::TrackVerified(int, int track, const LARTrackResult& result) {
    ClearProgressLine();
    std::fprintf(stderr, "%s\n", LARReportLine(track, result).c_str());
}

void LCliHost::StoreBoxes() {
    SettingsWrite(kOutputFolder, folder_);
    SettingsWrite(kOutputFormat, format_);
}

int LCliHost::CountImages(int image) const {
    int n = 0;
    for (const Entry& e : entries_) n += e.image == image;
    return n;
}
