// MainDialog commands: convert, tags, encoder settings, browse, settings, help, about, exit.
#include <windows.h>
// windows.h first: the shell headers depend on it.
#include <shellapi.h>

#include <cstdio>
#include <cstring>

#include "cd/drives.h"
#include "cd/rip.h"
#include "convert/cdconvert.h"
#include "convert/formattable.h"
#include "convert/gensink.h"
#include "convert/gensource.h"
#include "external/win32/related.h"
#include "gui/maindlg.h"
#include "gui/pages.h"
#include "gui/resource.h"
#include "gui/tageditor.h"
#include "store/settingnames.h"
#include "store/settings.h"
#include "support/file.h"
#include "support/win32/shelldlg.h"
#include "tags/tagdata.h"

void MainDialog::CmPlay() {
    CmStop();
    const std::string path = CmGrabSelectedFilePath();
    if (path.empty()) return;
    LSourceRef source;
    const bool track = ExtIs(LPathExtension(path.c_str()), ".cda");
    if (!track) {
        uint8_t promptOnce = 1;
        LGenSourceInteraction ui{&promptOnce, *this};
        if (LGenSourceOpen(source, path.c_str(), &ui) != 0 || source->GetError() != LSRC_OK) return;
    } else if (!OpenTrackSource(path.c_str(), source)) {
        return;
    }
    player_.SetDevice(SettingsRead(kSoundOutDevice));
    // A track is read while it plays: the device waits until a few seconds are queued.
    if (!player_.Start(source, track ? LSoundPlayer::START_PREROLL : 0)) {
        MessageBoxA(hwnd_,
                    "Cannot open the sound device for playback. Check you have selected the "
                    "correct device in the pull downlist in Settings.",
                    "Tamber", MB_OK | MB_ICONERROR);
    }
}

bool MainDialog::OpenTrackSource(const char* path, LSourceRef& out) {
    const uint8_t drive = LCDMapPathToDrive(path);
    if (drive == LCD_NO_DRIVE) return false;
    LCDLoadTableForPlay(*this, drive);
    const LCDRunState& cd = LCDState();
    const int track = LCDTrackOfPath(path);
    if (track < 0 || track >= cd.info->iTracks) return false;
    const LCDDBTrackInfo& info = cd.info->Tracks[track];
    if (info.SectorEnd <= info.SectorStart) return false;
    // 3.5 s of 44100 Hz stereo frames in the ring (plus the byte that always stays empty),
    // filled by the drive's extraction on its own thread.
    LProcessSinkToSource<LCDROMRipSectors, LRipSectorsFeeding> bridge(44100, 2, 0x7FFF0, 1234801);
    auto* rip = new LCDROMRipSectors;
    rip->nDrive = drive;
    rip->firstSector = info.SectorStart;
    rip->endSector = info.SectorEnd;
    // Played as ripped: the drive's read offset corrected, in one read (no second pass).
    rip->offset = SettingsRead(kReadOffset);
    rip->leadOut = cd.info->Tracks[cd.info->iTracks - 1].SectorEnd;
    rip->sink = bridge.OpenSink();
    std::snprintf(rip->name, sizeof rip->name, "Testing");
    out = bridge.OpenSource(rip);
    return true;
}

void MainDialog::CmStop() {
    player_.Stop();
}

void MainDialog::spntfPlay(void*) {
    playing_ = true;
    if (hwnd_ && IsWindow(hwnd_)) EnableControls();
}

void MainDialog::spntfStop(void*) {
    playing_ = false;
    if (hwnd_ && IsWindow(hwnd_)) EnableControls();
}

void MainDialog::CmEditTag() {
    const std::string path = CmGrabSelectedFilePath();
    if (path.empty()) return;
    const char* ext = LPathExtension(path.c_str());
    if (!LFindInputFormat(ext).tags) {
        MessageBoxA(hwnd_, "Only wav and mp3 files can have tags edited.", nullptr,
                    MB_OK | MB_ICONERROR);
        return;
    }
    LAudioTagData tags;
    tags.ReadTags(path.c_str());
    LAudioTagDataEditor editor(tags);
    if (LDialog::DoModal("LAudioTagDataEditor", hwnd_, &editor)) tags.WriteTags(path.c_str());
}

void MainDialog::CmCodecSettings() {
    LGenSinkCheckSettings(OutputFormatText().c_str(), *this, 0, 0);
}

void MainDialog::CmBrowseOutput() {
    char folder[LMAX_PATH] = {};
    SettingsRead(kLastOutputFolder, folder);
    if (!BrowseForFolder(hwnd_, "Locate output folder...", folder)) return;
    SetOutputFolderText(folder);
    SettingsWrite(kLastOutputFolder, folder);
}

void MainDialog::CmProgramSettings() {
    SettingsSheet(hwnd_);
}

void MainDialog::CmHelp() {
    ShowHelp(hwnd_, HELP_CONTENTS, 0);
}

namespace {

class LAboutDialog : public LDialog {};

}  // namespace

void MainDialog::CmHelpAbout() {
    LAboutDialog about;
    LDialog::DoModal("LAbout", hwnd_, &about);
}

void MainDialog::CmExit() {
    Close(0);
}

void MainDialog::CmWebPage(int command) {
    static const char* const kPages[] = {"tamber/index",    "tamber/support", "quorra/index",
                                         "fennix/index",    "tallowin/index", "mirabel/index",
                                         "dictation/index", "phone/index",    "splitter/index",
                                         "mixer/index",     "software/index", "index"};
    const int i = command - CM_WEBFIRST;
    if (i < 0 || i >= static_cast<int>(std::size(kPages))) return;
    char url[160];
    std::snprintf(url, sizeof url, "http://www.velmora.com/%s.html", kPages[i]);
    ShellExecuteA(hwnd_, "open", url, nullptr, nullptr, SW_SHOWNORMAL);
}

void MainDialog::CmRunRelated(int command) {
    // Quorra takes the first selected file and is waited for; Fennix takes all of them.
    int index = command == CM_EDIT || command == CM_RUNQUORRA ? 0 : command - CM_RUNFENNIX + 1;
    if (index < 0 || index > 3) return;
    std::string argument;
    bool wait = false;
    if (index == 0) {
        argument = CmGrabSelectedFilePath();
        wait = !argument.empty();
    } else if (index == 1) {
        argument = CmGrabSelectedFilePaths();
    }
    LRelatedProgramRun(hwnd_, kRelatedPrograms[index], argument, wait);
}
