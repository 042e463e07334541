// The headless front end: the command line's file list in memory, the job's events on the terminal.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "convert/host.h"
#include "support/file.h"

class LCliHost : public LBatchHost {
  public:
    // interactiveInput: standard input is a terminal, so questions can be asked there.
    explicit LCliHost(bool interactiveInput);

    int EntryCount() override { return int(entries_.size()); }
    void GetEntryPath(int index, char* path) override;
    bool IsEntrySelected(int index) override { return entries_[size_t(index)].selected; }
    void SelectAll() override;
    // Also the batch's progress: files done of those selected, the file now converted.
    void SetEntryImage(int index, int image) override;
    void AddEntry(const char* path, uint32_t sizeBytes, const char* fromFolder) override;
    void GetEntryFolder(int index, char* folder) override;
    void RemoveAllEntries() override { entries_.clear(); }

    void GetOutputFolder(char* text) override;
    void SetOutputFolder(const char* text) override;
    void GetOutputFormat(char* extension) override;
    bool SelectOutputFormat(const char* extension) override;

    LWindowHandle GetWindow() override { return nullptr; }
    bool IsHidden() override { return true; }  // always as with "-hide"
    void SetHidden(bool) override {}
    void CloseWindow() override {}

    int AskYesNoCancel(const char* text, const char* caption) override;
    // The folder was named on the command line: it is created without asking.
    int AskCreateFolder(const char* text) override;
    void ShowErrorMessage(const char* text, const char* caption) override;
    // No dialogs: the stored settings stand.
    bool EditSettings(LSettingsRecordRef record) override;
    bool ChooseWaveFormat(LWaveFileFormat& format, int channels) override;
    bool InstallComponent(const char* component) override;
    void NoteSkippedFile(const char* path) override;
    void NoteIgnoredArgument(const char* option, const char* value) override;

    // The batch's progress line for the file now converted at percent (see progressline.h);
    // percent -1: entries are converted elsewhere and only whole files count.
    void FormatProgressLine(char* line, size_t size, const char* item, int percent);
    void DrawBatchLine() override;
    void ClearProgressLine() override;

    // Up to this many entries at once ("-jobs"); 1 converts them one at a time here.
    void SetJobs(int jobs) { jobs_ = jobs; }
    bool RunConvert(bool interactive, int* outcome) override;
    // This process converts one entry of a parallel batch for its parent.
    static bool IsBatchChild();
    // Counts the CD tracks converted.
    void EntryDone(int index) override;
    // Marks the entry's output as read back and found as written: its line says "verified".
    void EntryVerified(int index) override;
    int VerifiedCount() const { return verified_; }
    // "AccurateRip: track N ..." on standard error.
    void TrackVerified(int index, int track, const LARTrackResult& result) override;

    // Stores the output folder and format as the window does when it closes.
    void StoreBoxes();
    int CountImages(int image) const;
    const char* OutputFolderText() const { return folder_; }
    int ImageOf(int index) const { return entries_[size_t(index)].image; }
    int CDTracksConverted() const { return cdTracksConverted_; }

  private:
    struct Entry {
        std::string path;
        bool selected = false;
        int image = 0;
        std::string from;  // the folder it was added from
        int number = 0;    // its place in the order the batch started the entries
        bool verified = false;
    };
    // "tamber: [k/N] path" and the tail, on standard error.
    void PrintEntryLine(int index, const char* tail);
    std::vector<Entry> entries_;
    std::mutex batchLock_;  // entry images and the batch clock
    std::chrono::steady_clock::time_point batchStart_;
    bool batchRunning_ = false;
    bool lineShown_ = false;
    int jobs_ = 1;
    int current_ = -1;
    char folder_[LMAX_PATH];
    int format_ = 0;
    int cdTracksConverted_ = 0;
    int verified_ = 0;
    bool interactiveInput_;
};
