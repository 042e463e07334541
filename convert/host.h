// A front end as the command line sees it: a file list with entry states, the output boxes and
// the window flags; it also takes the conversion job's events (convert/events.h). The Windows
// main window and the headless front end each implement it.
#pragma once

#include <cstdint>

#include "convert/events.h"

class LConvertHost : public LConvertEvents {
  public:
    virtual ~LConvertHost() = default;

    // File list.
    virtual int EntryCount() = 0;
    // The entry's text (an input path), at most 259 characters.
    virtual void GetEntryPath(int index, char* path) = 0;
    virtual bool IsEntrySelected(int index) = 0;
    virtual void SelectAll() = 0;
    virtual void SetEntryImage(int index, int image) = 0;
    // Adds an entry with image 0 (size in bytes for the "Size" column); fromFolder is the
    // folder it was added from with its tree ("" for a file added by itself).
    virtual void AddEntry(const char* path, uint32_t sizeBytes, const char* fromFolder) = 0;
    // The folder the entry was added from (at most 259 characters; "" for none).
    virtual void GetEntryFolder(int index, char* folder) = 0;
    // Stops playback and removes every entry.
    virtual void RemoveAllEntries() = 0;

    // Output folder box (text at most 259 characters) and output format box.
    virtual void GetOutputFolder(char* text) = 0;
    virtual void SetOutputFolder(const char* text) = 0;
    // Reloads the folder box's list from the "OutputFolder" history.
    virtual void ReloadOutputFolderHistory() {}
    virtual void GetOutputFormat(char* extension) = 0;
    // Selects one of the output formats; false (nothing changed) for an unknown one.
    virtual bool SelectOutputFormat(const char* extension) = 0;

    // Window.
    virtual bool IsHidden() = 0;
    // "-hide": hide the window and set the hidden flag; "-show": clear the flag only.
    virtual void SetHidden(bool hidden) = 0;
    // End of a command line with the hidden flag clear: show the window and bring it forward.
    virtual void ShowWindowNow() {}
    // "-exit".
    virtual void CloseWindow() = 0;
    // "/install": offer to install the related programs 500 ms later.
    virtual void StartInstallTimer() {}

    // A named file that was not added to the list (unreadable, empty, or not a file).
    virtual void NoteSkippedFile(const char* path) {}
    // An argument that is ignored: an unknown option (value null), or "-format" with a
    // format that is not one of the output formats.
    virtual void NoteIgnoredArgument(const char* option, const char* value) {}

    // A message that tells an outcome rather than an error (an error box unless the front end
    // has a plainer one).
    virtual void ShowNote(const char* text) { ShowErrorMessage(text, "Tamber"); }

    // The job's events, shown as the entries' images.
    void EntryStarted(int index) override { SetEntryImage(index, LENTRY_CONVERTING); }
    void EntryDone(int index) override { SetEntryImage(index, LENTRY_DONE); }
    void EntryFailed(int index) override { SetEntryImage(index, LENTRY_FAILED); }
    void BatchStopped(int index) override {
        for (int i = index; i < EntryCount(); ++i) SetEntryImage(i, LENTRY_FAILED);
    }

    // The Convert command (LRunConvert by default; a front end may run the batch its own way).
    virtual bool RunConvert(bool interactive, int* outcome);
};
