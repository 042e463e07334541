// The headless host: the list in memory, questions on the terminal when there is one.
#include "app/cli/clihost.h"

#include <cstdio>
#include <cstring>

#include "app/cmdline.h"
#include "app/settings.h"

LCliHost::LCliHost(bool interactiveInput) : interactiveInput_(interactiveInput) {
    char documents[LMAX_PATH];
    LFile::GetUserDocumentsFolder(documents);
    SettingsReadString("Settings", "OutputFolder", folder_, documents);
    format_ = SettingsReadInt("Settings", "OutputFormat", 0);
    if (format_ < 0 || format_ >= LOUTPUT_FORMAT_COUNT) format_ = 0;
}

void LCliHost::GetEntryPath(int index, char* path) {
    std::snprintf(path, LMAX_PATH, "%s", entries_[size_t(index)].path.c_str());
}

void LCliHost::SelectAll() {
    for (Entry& e : entries_) e.selected = true;
}

void LCliHost::AddEntry(const char* path, uint32_t) {
    entries_.push_back({path, false, 0});
}

void LCliHost::GetOutputFolder(char* text) {
    std::snprintf(text, LMAX_PATH, "%s", folder_);
}

void LCliHost::SetOutputFolder(const char* text) {
    std::snprintf(folder_, LMAX_PATH, "%s", text);
}

void LCliHost::GetOutputFormat(char* extension) {
    std::snprintf(extension, LMAX_PATH, "%s", kOutputFormats[format_]);
}

bool LCliHost::SelectOutputFormat(const char* extension) {
    int index = LOutputFormatIndex(extension);
    if (index < 0) return false;
    format_ = index;
    return true;
}

int LCliHost::AskYesNoCancel(const char* text, const char* caption) {
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

void LCliHost::NoteSkippedFile(const char* path) {
    std::fprintf(stderr, "tamber: skipped \"%s\": not a readable, non-empty file\n", path);
}

bool LCliHost::ConvertCDAudioFile(int index, char* outputPath, LOverwriteState& overwrite,
                                  LProgressDialog* jobDialog) {
    bool ok = CmConvertCDAudioFile(*this, cd_, entries_[size_t(index)].path.c_str(), outputPath,
                                   overwrite, jobDialog);
    if (ok) ++cdTracksConverted_;
    return ok;
}

void LCliHost::StoreBoxes() {
    SettingsWriteString("Settings", "OutputFolder", folder_);
    SettingsWriteInt("Settings", "OutputFormat", format_);
}

int LCliHost::CountImages(int image) const {
    int n = 0;
    for (const Entry& e : entries_) n += e.image == image;
    return n;
}
