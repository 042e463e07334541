// A conversion host for tests: scripted answers, and what it was asked to show.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "convert/formattable.h"
#include "convert/host.h"
#include "convert/job.h"
#include "convert/parallel.h"
#include "support/file.h"

namespace testutil {

class FakeHost : public LConvertHost {
  public:
    struct Entry {
        std::string path;
        bool selected = true;
        int image = -1;
    };
    std::vector<Entry> entries;
    std::map<std::string, std::string> addedFrom;  // entry path: the folder it was added from
    std::string folder, format = ".wav";
    int answer = LANSWER_NO;
    int questions = 0;
    std::vector<std::string> messages;
    // Each CD track's AccurateRip report line, as the headless program prints it.
    std::vector<std::string> verified;
    // The raw records offered to the settings dialog (every dialog is cancelled).
    std::vector<LRawSettings> rawOffered;
    int jobs = 1;  // entries converted at once by RunJob

    // Adds selected entries.
    void Select(const std::vector<std::string>& paths) {
        for (const auto& p : paths) entries.push_back({p, true, -1});
    }
    std::vector<int> Images() const {
        std::vector<int> v;
        for (const auto& e : entries) v.push_back(e.image);
        return v;
    }

    int EntryCount() override { return int(entries.size()); }
    void GetEntryPath(int i, char* path) override { Copy(path, entries[size_t(i)].path); }
    bool IsEntrySelected(int i) override { return entries[size_t(i)].selected; }
    void SelectAll() override {
        for (auto& e : entries) e.selected = true;
    }
    void SetEntryImage(int i, int image) override { entries[size_t(i)].image = image; }
    void AddEntry(const char* path, uint32_t, const char* from) override {
        entries.push_back({path, false, 0});
        addedFrom[path] = from;
    }
    void GetEntryFolder(int i, char* folder) override {
        auto from = addedFrom.find(entries[size_t(i)].path);
        Copy(folder, from == addedFrom.end() ? std::string() : from->second);
    }
    void RemoveAllEntries() override { entries.clear(); }
    void GetOutputFolder(char* text) override { Copy(text, folder); }
    void SetOutputFolder(const char* text) override { folder = text; }
    void GetOutputFormat(char* extension) override { Copy(extension, format); }
    // One of the window's output formats, as the window spells it.
    bool SelectOutputFormat(const char* extension) override {
        const int i = LOutputFormatIndex(extension);
        if (i >= 0) format = LOutputFormatExtension(i);
        return i >= 0;
    }
    LWindowHandle GetWindow() override { return nullptr; }
    bool IsHidden() override { return true; }
    void SetHidden(bool) override {}
    void CloseWindow() override {}
    int AskYesNoCancel(const char* text, const char*) override {
        ++questions;
        messages.push_back(text);
        return answer;
    }
    void ShowErrorMessage(const char* text, const char*) override { messages.push_back(text); }
    void TrackVerified(int, int track, const LARTrackResult& result) override {
        verified.push_back(LARReportLine(track, result));
    }
    bool EditSettings(LSettingsRecordRef record) override {
        if (auto* raw = std::get_if<LRawSettings*>(&record)) rawOffered.push_back(**raw);
        return false;
    }
    bool ChooseWaveFormat(LWaveFileFormat&, int) override { return false; }
    bool InstallComponent(const char*) override { return false; }

    // The conversion job over the selected entries (all when none is), behind dlg, as the
    // Convert command runs it but without its checks, with `jobs` entries at once; the job's
    // status.
    int RunJob(LProgressDialog& dlg, int* outcome = nullptr) {
        LConvertRequest request = LRequestForBoxes(*this);
        LFillRequest(*this, request, false);
        request.jobs = jobs;
        LConvertJob job;
        job.request = &request;
        job.events = this;
        const int status = jobs > 1 ? LConvertParallel(&dlg, &job) : LConvertBatch(&dlg, &job);
        if (outcome) *outcome = job.outcome;
        return status;
    }

  private:
    static void Copy(char* to, const std::string& text) {
        std::snprintf(to, LMAX_PATH, "%s", text.c_str());
    }
};

}  // namespace testutil
