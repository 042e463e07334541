// MainDialog as the host of the conversion job and the command line, and as the engine's user.
#include <cstdio>
#include <cstring>

#include "app/cmdline.h"
#include "convert/entrypaths.h"
#include "convert/gensink.h"
#include "convert/job.h"
#include "gui/dialogs/dialogs.h"
#include "gui/maindlg.h"
#include "gui/resource.h"
#include "store/settingnames.h"
#include "store/settings.h"
#include "store/win32/combohistory.h"
#include "support/file.h"

int MainDialog::EntryCount() {
    return ItemCount();
}

void MainDialog::GetEntryPath(int index, char* path) {
    std::snprintf(path, LMAX_PATH, "%s", ItemText(index).c_str());
}

bool MainDialog::IsEntrySelected(int index) {
    return ItemSelected(index);
}

void MainDialog::SelectAll() {
    CmSelectAll();
}

void MainDialog::SetEntryImage(int index, int image) {
    SetItemImage(index, image);
    if (image == LENTRY_CONVERTING) SetItemColumnText(index, 2, "");
}

void MainDialog::TrackVerified(int index, int, const LARTrackResult& result) {
    // The result without its checksums: "accurate (confidence 12)", "not accurate", ...
    std::string text = LARResultText(result);
    SetItemColumnText(index, 2, text.substr(0, text.find(" [")).c_str());
}

void MainDialog::AddEntry(const char* path, uint32_t sizeBytes, const char* fromFolder) {
    InsertEntry(path, sizeBytes, fromFolder);
}

void MainDialog::GetEntryFolder(int index, char* folder) {
    const bool inList = index >= 0 && index < static_cast<int>(folders_.size());
    std::snprintf(folder, LMAX_PATH, "%s", inList ? folders_[size_t(index)].c_str() : "");
}

void MainDialog::RemoveAllEntries() {
    CmStop();
    DeleteAllItems();
}

void MainDialog::GetOutputFolder(char* text) {
    std::snprintf(text, LMAX_PATH, "%s", OutputFolderText().c_str());
}

void MainDialog::SetOutputFolder(const char* text) {
    SetOutputFolderText(text);
}

void MainDialog::ReloadOutputFolderHistory() {
    const std::string text = OutputFolderText();
    ComboHistoryLoad(GetItem(IDC_FOLDER), "OutputFolder");
    SendMessageA(GetItem(IDC_FOLDER), CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(kSameAsSourceFolder));
    SetOutputFolderText(text.c_str());
}

void MainDialog::GetOutputFormat(char* extension) {
    std::snprintf(extension, LMAX_PATH, "%s", OutputFormatText().c_str());
}

LWindowHandle MainDialog::GetWindow() {
    return hwnd_;
}

bool MainDialog::EditSettings(LSettingsRecordRef record) {
    return LSettingsDialogRun(hwnd_, record);
}

bool MainDialog::ChooseWaveFormat(LWaveFileFormat& format, int channels) {
    return LWaveFormatChoose(hwnd_, format, channels, "Select Wave File Format");
}

bool MainDialog::InstallComponent(const char* component) {
    return LGenInstallComponent(component, hwnd_);
}

bool MainDialog::IsHidden() {
    return hidden;
}

void MainDialog::SetHidden(bool hide) {
    if (hide && !hidden) {
        splash_.Close();
        ShowWindow(hwnd_, SW_HIDE);
    }
    hidden = hide;
}

void MainDialog::ShowWindowNow() {
    ShowMainWindow();
}

void MainDialog::CloseWindow() {
    CmExit();
}

void MainDialog::StartInstallTimer() {
    SetTimer(hwnd_, 3, 500, nullptr);
}

int MainDialog::AskYesNoCancel(const char* text, const char* caption) {
    switch (LMessageBox(hwnd_, text, caption, MB_YESNOCANCEL | MB_ICONQUESTION)) {
        case IDYES:
            return LANSWER_YES;
        case IDNO:
            return LANSWER_NO;
        default:
            return LANSWER_CANCEL;
    }
}

void MainDialog::ShowErrorMessage(const char* text, const char* caption) {
    LMessageBox(hwnd_, text, caption, MB_OK | MB_ICONERROR);
}

void MainDialog::ShowNote(const char* text) {
    LMessageBox(hwnd_, text, "Tamber", MB_OK | MB_ICONINFORMATION);
}

bool MainDialog::CmConvert(bool interactive) {
    CmStop();  // the device and the source are let go before any file is written
    return LRunConvert(*this, interactive);
}

void MainDialog::ShowProgressSurface(LProgressDialog* dlg, bool show) {
    if (dlg && dlg->GetWindow())
        ShowWindow(static_cast<HWND>(dlg->GetWindow()), show ? SW_SHOW : SW_HIDE);
}

void MainDialog::EvRunArguments(char** argv, int argc, const char* folder) {
    for (int i = 0; i < argc; ++i)
        if (_stricmp(argv[i], "-convert") == 0) CmStop();
    LCommandLine line(*this, records);
    line.SetArgumentLimit(argc);  // a start's blocks together
    line.SetBaseFolder(folder);
    // Redrawing the list after every entry a folder adds would cost far more than the adding.
    if (hwnd_) BeginFillingList();
    line.Run(argc, argv);
    if (hwnd_) {
        EndFillingList();
        EnableControls();
    }
}
