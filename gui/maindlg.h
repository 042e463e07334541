// MainDialog: the program's only top-level window (file list, output boxes, toolbar, menu).
#pragma once

#include <string>
#include <vector>

#include "app/player.h"
#include "convert/host.h"
#include "gui/startup.h"
#include "store/encsettings.h"
#include "support/progress.h"
#include "support/win32/dialog.h"
// After the dialog framework, which brings windows.h.
#include <shellapi.h>

// The splash window shown at start: picture, name and version; closes itself after 7 s.
class LSplashScreen {
  public:
    void Show(HWND owner);
    void Close();
    HWND window = nullptr;

  private:
    static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
};

class MainDialog : public LDialog, public LConvertHost, public LSoundPlayerNotify {
  public:
    MainDialog();

    // Start-up fills these before the window exists.
    bool hidden = false;
    // MP3, Ogg, AAC, FLAC, VOX and raw settings, loaded from the store at start.
    LSettingsRecords records;
    // Released at the end of InitDialog (the run mutex of start-up), or null.
    HANDLE runMutex = nullptr;

    // LDialog.
    void InitDialog() override;
    bool CmOk() override { return false; }
    void CmHelp() override;
    void EnableControls() override;
    void EvCommand(int id, int code) override;
    void DestroyDialog() override;
    void Close(INT_PTR result) override;
    bool WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    bool EvKeyDown(uint32_t key) override;
    void EvIdle() override;

    // A setting could not be stored: the user is told once, when the window is idle and shown
    // (or, with WarnSettingsUnsaved, when the window is gone).
    void EvSettingsUnsaved();
    void WarnSettingsUnsaved(HWND owner);

    void SetWindowCaption();
    void LayoutControls();
    // The window's dpi taken up: the message font at it on every control, the toolbar and list
    // images of its size, the layout.
    void ApplyDpi();

    // The file list.
    // fromFolder: the folder whose tree the file belongs to ("" for a file added by itself).
    bool LoadFile(const char* path, const char* fromFolder = "");
    // A file of a known size (as a folder's listing gives it): false when it is listed already;
    // an empty file is not listed.
    bool LoadFoundFile(const char* path, uint64_t size, const char* fromFolder);
    bool CheckNotDuplicate(const char* path);
    // Adds an entry at its sorted place with image 0 and its size in kB.
    void InsertEntry(const char* path, uint32_t size, const char* fromFolder);
    // The same, unless refuseListed and an equal entry is listed: then false and nothing added.
    bool InsertSorted(const char* path, uint32_t size, const char* fromFolder, bool refuseListed);
    // The sorted place of a text; *listed when an entry equal to it (case ignored) is there.
    int FindPlace(const wchar_t* text, bool* listed) const;
    static bool CmAudioFileVerify(const char* path);
    void CmLoadFiles();
    void CmLoadFolder();
    void EvDropFiles(HDROP drop);
    void CmRemoveFiles(bool ask);
    void CmRemoveUnsupportedFiles(bool ask);
    void CmSelectAll();
    void ResetIcons();
    std::string CmGrabSelectedFilePath();
    std::string CmGrabSelectedFilePaths();
    // Entries of the list: count, text, selection and image.
    int ItemCount() const;
    std::string ItemText(int index) const;
    bool ItemSelected(int index) const;
    void SetItemImage(int index, int image);
    // The text of one of the entry's columns after the first (1 "Size", 2 "AccurateRip").
    void SetItemColumnText(int index, int column, const char* text);
    void DeleteItem(int index);
    void DeleteAllItems();

    // Commands.
    bool CmConvert(bool interactive);
    void CmPlay();
    void CmStop();
    // The player's notifications: Stop follows whether something plays.
    void spntfPlay(void* user) override;
    void spntfStop(void* user) override;
    LSoundPlayer& Player() { return player_; }
    void CmEditTag();
    void CmCodecSettings();
    void CmBrowseOutput();
    void CmProgramSettings();
    void CmHelpAbout();
    void CmExit();
    void CmWebPage(int command);
    void CmRunRelated(int command);
    // A command line; relative paths in it are read against folder (when not empty).
    void EvRunArguments(char** argv, int argc, const char* folder = "");

    void EvTimer(UINT_PTR id);
    void EvMenuSelect(int id, UINT flags);
    void TrackMessageMenu(int x, int y);
    void SetStatusText(const char* text);

    // Output boxes.
    std::string OutputFormatText() const;
    std::string OutputFolderText() const;
    void SetOutputFolderText(const char* text);

    // LConvertHost: the job and the command line drive the window through these.
    int EntryCount() override;
    void GetEntryPath(int index, char* path) override;
    bool IsEntrySelected(int index) override;
    void SelectAll() override;
    // Starting an entry also clears its AccurateRip result.
    void SetEntryImage(int index, int image) override;
    // A CD track's AccurateRip result, in its entry's "AccurateRip" column.
    void TrackVerified(int index, int track, const LARTrackResult& result) override;
    void AddEntry(const char* path, uint32_t sizeBytes, const char* fromFolder) override;
    void GetEntryFolder(int index, char* folder) override;
    void RemoveAllEntries() override;
    void GetOutputFolder(char* text) override;
    void SetOutputFolder(const char* text) override;
    void ReloadOutputFolderHistory() override;
    void GetOutputFormat(char* extension) override;
    bool SelectOutputFormat(const char* extension) override;
    LWindowHandle GetWindow() override;
    bool EditSettings(LSettingsRecordRef record) override;
    bool ChooseWaveFormat(LWaveFileFormat& format, int channels) override;
    bool InstallComponent(const char* component) override;
    bool IsHidden() override;
    void SetHidden(bool hide) override;
    void ShowWindowNow() override;
    void CloseWindow() override;
    void StartInstallTimer() override;
    int AskYesNoCancel(const char* text, const char* caption) override;
    void ShowErrorMessage(const char* text, const char* caption) override;
    void ShowNote(const char* text) override;
    void ShowProgressSurface(LProgressDialog* dlg, bool show) override;

    // Window size in section "MainDialog".
    void WindowSizeSettingsRestore();
    void WindowSizeSettingsStore();

    // The list, looked up once: under Wine each GetDlgItem asks the server for the window's
    // children, which costs more than inserting an entry.
    HWND List() const { return list_ ? list_ : GetItem(102); }
    // Around adding many entries: the list does not redraw, then is drawn once.
    void BeginFillingList();
    void EndFillingList();

    // The main window's accelerator table.
    static const LAccelerator kAccelerators[];
    static const size_t kAcceleratorCount;

  private:
    // The messages; idle tells that the message loop was waiting when the message arrived.
    bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, bool idle);
    bool IsPlaying() const { return playing_; }
    // The source of a CD track entry (path "D:\\Track03.cda"); false when it cannot play.
    bool OpenTrackSource(const char* path, LSourceRef& out);
    void PopupSubmenu(int topIndex, int subIndex, int x, int y);

    void ShowMainWindow();

    // The entries' texts in list order, kept beside the list (reading them back from the list
    // view costs far more than a folder walk can afford).
    std::vector<std::string> paths_;
    std::vector<std::string> folders_;  // the folder each entry was added from, beside paths_
    std::vector<std::wstring> texts_;   // the texts as the list shows them, the sorting's keys
    HWND list_ = nullptr;
    LForwardedArguments forwarded_;  // the blocks of a start so far
    LSoundPlayer player_;
    bool playing_ = false;
    LSplashScreen splash_;
    bool shown_ = false;
    bool settingsUnsaved_ = false;
    bool settingsWarned_ = false;
    bool showMaximized_ = false;
    UINT dpi_ = 96;
    // An update of the controls is posted (many selection changes make one update).
    bool controlsPending_ = false;
    int filling_ = 0;  // BeginFillingList calls not yet ended
    int statusIndex_ = 0;
    HMENU menu_ = nullptr;
};

// Adds a file, or a folder tree, to the main window's list (behind the progress dialog).
struct LAddFileFolderData {
    MainDialog* dialog;
    const char* path;
    double end = 1.0;  // where the bar heads for
};
int LAddFilesAndFolders(LProgressDialog* dlg, LAddFileFolderData* data);
// Runs the walk behind a progress dialog captioned caption; 2 when a file was a duplicate.
int ProcessAddFileFolder(MainDialog* dialog, const char* path, const char* caption);
