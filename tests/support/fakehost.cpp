// A conversion host for tests.
#include "tests/support/fakehost.h"

#include <cstdio>

#include "convert/formattable.h"
#include "support/file.h"

namespace testutil {

void FakeHost::Select(const std::vector<std::string>& paths) {
    for (const auto& p : paths) entries.push_back({p, true, -1});
}

std::vector<int> FakeHost::Images() const {
    std::vector<int> v;
    for (const auto& e : entries) v.push_back(e.image);
    return v;
}

void FakeHost::GetEntryPath(int i, char* path) {
    std::snprintf(path, LMAX_PATH, "%s", entries[size_t(i)].path.c_str());
}

void FakeHost::SelectAll() {
    for (auto& e : entries) e.selected = true;
}

void FakeHost::GetOutputFolder(char* text) {
    std::snprintf(text, LMAX_PATH, "%s", folder.c_str());
}

void FakeHost::GetOutputFormat(char* extension) {
    std::snprintf(extension, LMAX_PATH, "%s", format.c_str());
}

bool FakeHost::SelectOutputFormat(const char* extension) {
    const int i = LOutputFormatIndex(extension);
    if (i >= 0) format = LOutputFormatExtension(i);
    return i >= 0;
}

bool FakeHost::EditSettings(LSettingsRecordRef record) {
    if (auto* raw = std::get_if<LRawSettings*>(&record)) rawOffered.push_back(**raw);
    return false;
}

int FakeHost::AskYesNoCancel(const char* text, const char*) {
    ++questions;
    messages.push_back(text);
    return answer;
}

}  // namespace testutil
