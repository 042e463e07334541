// A conversion host for tests: scripted answers, and what it was asked to show.
#pragma once

#include <string>
#include <vector>

#include "convert/host.h"

namespace testutil {

class FakeHost : public LConvertHost {
  public:
    struct Entry {
        std::string path;
        bool selected = true;
        int image = -1;
    };
    std::vector<Entry> entries;
    std::string folder, format = ".wav";
    int answer = LANSWER_NO;
    int questions = 0;
    std::vector<std::string> messages;

    // Adds selected entries.
    void Select(const std::vector<std::string>& paths);
    std::vector<int> Images() const;

    int EntryCount() override { return int(entries.size()); }
    void GetEntryPath(int i, char* path) override;
    bool IsEntrySelected(int i) override { return entries[size_t(i)].selected; }
    void SelectAll() override;
    void SetEntryImage(int i, int image) override { entries[size_t(i)].image = image; }
    void AddEntry(const char* path, uint32_t) override { entries.push_back({path, false, 0}); }
    void RemoveAllEntries() override { entries.clear(); }
    void GetOutputFolder(char* text) override;
    void SetOutputFolder(const char* text) override { folder = text; }
    void GetOutputFormat(char* extension) override;
    // One of the window's output formats, as the window spells it.
    bool SelectOutputFormat(const char* extension) override;
    LWindowHandle GetWindow() override { return nullptr; }
    bool IsHidden() override { return true; }
    void SetHidden(bool) override {}
    void CloseWindow() override {}
    int AskYesNoCancel(const char* text, const char*) override;
    void ShowErrorMessage(const char* text, const char*) override { messages.push_back(text); }
    // Every dialog is cancelled; the raw records offered to the settings dialog are kept.
    std::vector<LRawSettings> rawOffered;
    bool EditSettings(LSettingsRecordRef record) override;
    bool ChooseWaveFormat(LWaveFileFormat&, int) override { return false; }
    bool InstallComponent(const char*) override { return false; }
};

}  // namespace testutil
