// MainDialog: the file list (adding files and folders, drops, removing, selecting).
#include <windows.h>
// windows.h first: the shell headers depend on it.
#include <shellapi.h>

#include <cstdio>
#include <cstring>

#include "convert/formattable.h"
#include "convert/messages.h"
#include "gui/maindlg.h"
#include "gui/resource.h"
#include "store/settingnames.h"
#include "store/settings.h"
#include "support/file.h"
#include "support/win32/dialog.h"
#include "support/win32/shelldlg.h"
#include "support/win32/wide.h"

namespace {

constexpr const char* kDuplicateMessage =
    "One or more files were not added because those files already exist in the list.";

}  // namespace

int MainDialog::ItemCount() const {
    return ListView_GetItemCount(List());
}

std::string MainDialog::ItemText(int index) const {
    if (index < 0 || index >= static_cast<int>(paths_.size())) return std::string();
    return paths_[static_cast<size_t>(index)];
}

bool MainDialog::ItemSelected(int index) const {
    return ListView_GetItemState(List(), index, LVIS_SELECTED) != 0;
}

void MainDialog::SetItemImage(int index, int image) {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    item.iImage = image;
    SendMessageW(List(), LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void MainDialog::SetItemColumnText(int index, int column, const char* text) {
    std::wstring wide = LWide(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    SendMessageW(List(), LVM_SETITEMTEXTW, WPARAM(index), reinterpret_cast<LPARAM>(&item));
}

void MainDialog::DeleteItem(int index) {
    if (!ListView_DeleteItem(List(), index)) return;
    if (index >= 0 && index < static_cast<int>(paths_.size())) {
        paths_.erase(paths_.begin() + index);
        folders_.erase(folders_.begin() + index);
        texts_.erase(texts_.begin() + index);
    }
}

void MainDialog::DeleteAllItems() {
    ListView_DeleteAllItems(List());
    paths_.clear();
    folders_.clear();
    texts_.clear();
}

// The list is kept in ascending order of its texts, letter case ignored, as the list view's own
// sorting orders its UTF-16 texts; a binary search finds the place of a text, or the entry
// equal to it. The texts are kept in UTF-16 so that no comparison converts them.
int MainDialog::FindPlace(const wchar_t* text, bool* listed) const {
    int low = 0, high = static_cast<int>(texts_.size());
    *listed = false;
    while (low < high) {
        const int mid = low + (high - low) / 2;
        const int order = lstrcmpiW(text, texts_[static_cast<size_t>(mid)].c_str());
        if (order == 0) {
            *listed = true;
            return mid;
        }
        if (order < 0) {
            high = mid;
        } else {
            low = mid + 1;
        }
    }
    return low;
}

bool MainDialog::CheckNotDuplicate(const char* path) {
    bool listed = false;
    FindPlace(LWide(path).c_str(), &listed);
    return !listed;
}

bool MainDialog::CmAudioFileVerify(const char* path) {
    return LFindInputFormat(LPathExtension(path)).listed;
}

bool MainDialog::LoadFile(const char* path, const char* fromFolder) {
    if (!CheckNotDuplicate(path)) return false;
    uint32_t size = 0;
    HANDLE file = CreateFileW(LWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const DWORD low = GetFileSize(file, nullptr);
        if (low != INVALID_FILE_SIZE) size = low;
        CloseHandle(file);
    }
    return LoadFoundFile(path, size, fromFolder);
}

bool MainDialog::LoadFoundFile(const char* path, uint64_t size, const char* fromFolder) {
    // The size's low 32 bits, as GetFileSize gives them.
    const uint32_t low = uint32_t(size & 0xFFFFFFFFu);
    if (low == 0) return CheckNotDuplicate(path);
    return InsertSorted(path, low, fromFolder, true);
}

void MainDialog::InsertEntry(const char* path, uint32_t size, const char* fromFolder) {
    InsertSorted(path, size, fromFolder, false);
}

bool MainDialog::InsertSorted(const char* path, uint32_t size, const char* fromFolder,
                              bool refuseListed) {
    char text[LMAX_PATH];
    std::snprintf(text, sizeof text, "%s", path);
    std::wstring wide = LWide(text);
    bool listed = false;
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = FindPlace(wide.c_str(), &listed);
    if (listed && refuseListed) return false;
    item.pszText = wide.data();
    item.iImage = 0;
    const int index =
        static_cast<int>(SendMessageW(List(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (index < 0) return true;
    paths_.insert(paths_.begin() + index, text);
    folders_.insert(folders_.begin() + index, fromFolder);
    texts_.insert(texts_.begin() + index, std::move(wide));
    char kb[32];
    std::snprintf(kb, sizeof kb, "%dkB", static_cast<int>(size / 1024));
    SetItemColumnText(index, 1, kb);
    return true;
}

void MainDialog::CmLoadFiles() {
    char start[LMAX_PATH] = {};
    SettingsRead(kLoadFromFolder, start);
    static const char kFilter[] =
        "All Files\0*.*\0"
        "Audio Files\0*.wav;*.mp3;*.ogg;*.wma;*.aif;*.aiff;*.au;*.ra;*.ram;*.flac;*.aac;*.gsm;"
        "*.vox;*.raw;*.dss;*.dct;*.m4a;*.mp2;*.sri;*.mpga;*.msv;*.dvf;*.act;*.rcd;*.rec;*.shn;"
        "*.opus\0"
        "Wave Files (*.wav)\0*.wav\0"
        "MPEG Layer-3 Files (*.mp3, *.mp2, *.mpga)\0*.mp3;*.mp2;*.mpga\0"
        "Ogg Vorbis Files (*.ogg)\0*.ogg\0"
        "Windows Media Audio Files (*.wma)\0*.wma\0"
        "Apple AIFF Files (*.aif, *.aiff)\0*.aif;*.aiff\0"
        "Sun AU Files (*.au)\0*.au\0"
        "Real Audio Files (*.ra, *.ram, *.rm, *.rmj)\0*.ra;*.ram;*.rm;*.rmj\0"
        "FLAC Files (*.flac)\0*.flac\0"
        "AAC Files (*.aac, *.m4a)\0*.aac;*.m4a\0"
        "GSM Files (*.gsm)\0*.gsm\0"
        "Dialogic Vox Files (*.vox)\0*.vox\0"
        "Raw Audio Files (*.raw)\0*.raw\0"
        "DSS Files (*.dss)\0*.dss\0"
        "VoiceIt Files (*.sri)\0*.sri\0"
        "Dictation Files (*.dct)\0*.dct\0"
        "Record Files (*.act, *.rcd, *.rec)\0*.act;*.rcd;*.rec\0"
        "Shorten Files (*.shn)\0*.shn\0";
    std::vector<std::string> paths;
    if (!ChooseFilesToOpen(hwnd_, start, "Locate Audio File(s)", kFilter, "WAV", paths)) return;
    SettingsWrite(kLoadFromFolder, start);
    bool duplicate = false;
    for (const std::string& path : paths) {
        if (!LoadFile(path.c_str())) duplicate = true;
    }
    if (duplicate && !hidden) MessageBoxA(hwnd_, kDuplicateMessage, "Tamber", MB_OK | MB_ICONERROR);
}

void MainDialog::CmLoadFolder() {
    char folder[LMAX_PATH] = {};
    SettingsRead(kLoadFromFolder, folder);
    if (!BrowseForFolder(hwnd_, "Locate folder...", folder)) return;
    const int status = ProcessAddFileFolder(this, folder, "Add Folder");
    if (status == 2 && !hidden)
        MessageBoxA(hwnd_, kDuplicateMessage, "Tamber", MB_OK | MB_ICONERROR);
    SettingsWrite(kLoadFromFolder, folder);
}

namespace {

bool IsFolder(const char* path) {
    const DWORD attr = GetFileAttributesW(LWide(path).c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

int LAddFilesAndFolders(LProgressDialog* dlg, LAddFileFolderData* data) {
    dlg->SetText("Adding Files", 0);
    // A trailing separator would double in the joined names.
    char path[LMAX_PATH];
    std::snprintf(path, sizeof path, "%s", data->path);
    size_t n = std::strlen(path);
    while (n > 3 && LIsPathSeparator(path[n - 1])) path[--n] = 0;
    if (!IsFolder(path)) return data->dialog->LoadFile(path, "") ? LPROCESS_OK : 2;
    // The folder's whole tree (links to folders are not entered); its files remember it.
    double position = 0.0;
    bool duplicate = false;
    int files = 0;
    // Each file's size comes with the folder's listing: opening 10 000 files for it would cost
    // more than the rest of the adding.
    const bool walked = LWalkFolderTree(path, [&](const char* file, uint64_t size) {
        // The surface hears every 32 files: asking it each time would cost more than the adding.
        if (files++ % 32 == 0) {
            if (dlg->PumpMessages()) return false;
            dlg->SetProgress(position);
        }
        position += (data->end - position) / 100.0;
        if (!data->dialog->LoadFoundFile(file, size, path)) duplicate = true;
        return true;
    });
    return !walked ? LPROCESS_STOPPED : duplicate ? 2 : LPROCESS_OK;
}

int ProcessAddFileFolder(MainDialog* dialog, const char* path, const char* caption) {
    LAddFileFolderData data{dialog, path};
    LProgressProcess<LAddFileFolderData, LAddFilesAndFolders> process(caption, &data);
    // Redrawing the list after every insertion would cost far more than the walk itself.
    dialog->BeginFillingList();
    process.Run(dialog->GetHandle());
    dialog->EndFillingList();
    return process.status == 2 ? 2 : LPROCESS_OK;
}

void MainDialog::BeginFillingList() {
    if (filling_++ > 0) return;
    SendMessageW(List(), WM_SETREDRAW, FALSE, 0);
}

void MainDialog::EndFillingList() {
    if (filling_ == 0 || --filling_ > 0) return;
    SendMessageW(List(), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(List(), nullptr, TRUE);
}

void MainDialog::EvDropFiles(HDROP drop) {
    HCURSOR old = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        wchar_t wide[MAX_PATH * 2] = {};
        if (!DragQueryFileW(drop, i, wide, MAX_PATH * 2)) continue;
        // A name that no path buffer holds is refused with a message, never cut.
        char path[LMAX_PATH] = {};
        if (!LUtf8To(path, sizeof path, wide)) {
            LMessageBox(hwnd_, LFormatMessage(kPathTooLongMessage, LUtf8(wide).c_str()).c_str(),
                        "Tamber", MB_OK | MB_ICONERROR);
            continue;
        }
        if (ProcessAddFileFolder(this, path, "Add Files") == 2 && !hidden)
            MessageBoxA(hwnd_, kDuplicateMessage, "Tamber", MB_OK | MB_ICONERROR);
    }
    DragFinish(drop);
    SetCursor(old);
    EnableControls();
}

void MainDialog::CmRemoveFiles(bool ask) {
    if (ListView_GetSelectedCount(List()) == 0) return;
    if (ask && MessageBoxA(hwnd_, "Are you sure you want to remove the selected file(s)?",
                           "Confirm Remove", MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES)
        return;
    CmStop();
    for (int i = ItemCount() - 1; i >= 0; --i) {
        if (ItemSelected(i)) DeleteItem(i);
    }
}

void MainDialog::CmRemoveUnsupportedFiles(bool ask) {
    if (ItemCount() == 0) return;
    if (ask && MessageBoxA(hwnd_,
                           "Are you sure you want to remove files from the list that Tamber may "
                           "not be able to convert?",
                           "Confirm Remove", MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES)
        return;
    CmStop();
    for (int i = ItemCount() - 1; i >= 0; --i) {
        if (!CmAudioFileVerify(ItemText(i).c_str())) DeleteItem(i);
    }
}

void MainDialog::CmSelectAll() {
    // Only one entry can hold the focus: select them all, then focus the first.
    ListView_SetItemState(List(), -1, LVIS_SELECTED, LVIS_SELECTED);
    if (ItemCount() > 0) ListView_SetItemState(List(), 0, LVIS_FOCUSED, LVIS_FOCUSED);
}

void MainDialog::ResetIcons() {
    for (int i = 0; i < ItemCount(); ++i) {
        if (ItemSelected(i)) SetItemImage(i, 0);
    }
}

std::string MainDialog::CmGrabSelectedFilePath() {
    const int index = ListView_GetNextItem(List(), -1, LVNI_SELECTED);
    return index < 0 ? std::string() : ItemText(index);
}

std::string MainDialog::CmGrabSelectedFilePaths() {
    std::string all;
    for (int i = ListView_GetNextItem(List(), -1, LVNI_SELECTED); i >= 0;
         i = ListView_GetNextItem(List(), i, LVNI_SELECTED)) {
        if (!all.empty()) all += ' ';
        all += '"' + ItemText(i) + '"';
    }
    return all;
}
