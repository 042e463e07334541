// CD track naming and conversion for the conversion job.
#include "convert/cdconvert.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "cd/artap.h"
#include "cd/cddb.h"
#include "cd/cdtext.h"
#include "cd/drives.h"
#include "cd/rip.h"
#include "convert/cdverify.h"
#include "convert/entrypaths.h"
#include "convert/gensink.h"
#include "convert/messages.h"
#include "convert/verify.h"
#include "core/sink_adapt.h"
#include "store/settingnames.h"
#include "store/settings.h"
#include "support/fileops.h"
#include "support/fspath.h"
#include "support/trace.h"

namespace {

constexpr size_t kMaxText = LMAX_PATH - 1;

void Cut(std::string& s) {
    if (s.size() > kMaxText) s.resize(kMaxText);
}

bool FolderExists(const char* path) {
    std::error_code ec;
    return std::filesystem::is_directory(LFsPath(path), ec);
}

// A progress dialog inside the job's: shown or hidden with the main window, owned by the job's
// dialog so that the main window stays disabled when it closes.
template <class T, int (*Body)(LProgressDialog*, T*)>
class LNestedProgress : public LProgressProcess<T, Body> {
  public:
    LNestedProgress(const char* title, T* record, LConvertEvents& events, bool hidden)
        : LProgressProcess<T, Body>(title, record), events_(events), hidden_(hidden) {}
    bool Run(LProgressDialog* jobDialog) {
        LWindowHandle owner =
            jobDialog && jobDialog->GetWindow() ? jobDialog->GetWindow() : events_.GetWindow();
        return LProgressDialog::Run(owner);
    }

  protected:
    bool ProcessBody() override {
        events_.ShowProgressSurface(this, !hidden_);
        return LProgressProcess<T, Body>::ProcessBody();
    }

  private:
    LConvertEvents& events_;
    bool hidden_;
};

// The disc record's lookup, run behind "Loading CD Information".
struct LCDInfoLoad {
    LCDDBInfo* info;
    LUser* user;
};
int LLoadDiscRecord(LProgressDialog* dlg, LCDInfoLoad* load) {
    int status = LCDReadDiscInfo(dlg, *load->info);
    LCDDBOutcome outcome = LCDDBOutcome::Found;
    if (status == LPROCESS_OK && load->info->bUseCDDB)
        status = ProcessCDDBLookup(dlg, load->info, &outcome);
    if (outcome == LCDDBOutcome::NoMatch)
        load->user->ShowErrorMessage(kCDDBNoMatchMessage, "Tamber");
    // Without names from the server, the disc's own CD-TEXT names it where it has one.
    if (status == LPROCESS_OK && (!load->info->bUseCDDB || outcome != LCDDBOutcome::Found))
        load->info->bCDText = LCDReadText(dlg, *load->info) ? 1 : 0;
    return status;
}

void LoadDiscInfo(LConvertEvents& events, bool hidden, LCDDBInfo& info, uint8_t drive, bool useCDDB,
                  LProgressDialog* jobDialog) {
    info.iDrive = drive;
    info.bUseCDDB = useCDDB ? 1 : 0;
    info.szAlbumName[0] = info.szArtist[0] = info.szCategory[0] = info.szExtendedData[0] = 0;
    info.iTracks = 0;
    info.bCDText = 0;
    LCDInfoLoad load{&info, &events};
    LNestedProgress<LCDInfoLoad, LLoadDiscRecord> dlg("Loading CD Information", &load, events,
                                                      hidden);
    dlg.Run(jobDialog);
}

}  // namespace

LCDRunState& LCDState() {
    static LCDRunState state;
    return state;
}

LCDNaming LReadCDNaming() {
    LCDNaming naming;
    naming.useCDDB = SettingsRead(kUseCDDB);
    if (SettingsRead(kFormatChoiceA)) {
        naming.scheme = LCDNameScheme::ArtistTitle;
    } else if (SettingsRead(kFormatChoiceB)) {
        naming.scheme = LCDNameScheme::AlbumArtistTitle;
    } else {
        naming.scheme = LCDNameScheme::Custom;
        char pattern[LMAX_PATH];
        SettingsRead(kCustomString, pattern);
        naming.pattern = pattern;
    }
    return naming;
}

void LCDLoadTableForPlay(LConvertHost& host, uint8_t drive) {
    LCDRunState& cd = LCDState();
    if (cd.tableLoaded && cd.info->iDrive == drive) return;
    LoadDiscInfo(host, host.IsHidden(), *cd.info, drive, SettingsRead(kUseCDDB), nullptr);
    cd.tableLoaded = true;
}

void LCDCleanTexts(const LCDDBInfo& info, int track, LCDNameTexts& out) {
    const LCDDBTrackInfo& t = info.Tracks[track & 0xFF];
    CDDBCleanName(out.title, t.TrackName);
    CDDBCleanName(out.extended, t.szExtendedData);
    CDDBCleanName(out.album, info.szAlbumName);
    CDDBCleanName(out.artist, info.szArtist);
    CDDBCleanName(out.genre, info.szCategory);
    out.year = info.iYear;
    out.number = (track & 0xFF) + 1;
}

void LCDExpandNamePart(char* dest, const char* part, const LCDNameTexts& texts) {
    std::string name;
    for (const char* p = part; *p; ++p) {
        if (*p != '%' || !p[1]) continue;
        std::string text;
        switch (p[1]) {
            case 'a':
                text = texts.artist;
                break;
            case 'b':
                text = texts.album;
                break;
            case 't':
                text = texts.title;
                break;
            case 'g':
                text = texts.genre;
                break;
            case 'y':
                text = std::to_string(texts.year);
                break;
            case 'e':
                text = texts.extended;
                break;
            case 'n':
                text = std::to_string(texts.number) + ". ";
                break;
            default:
                continue;
        }
        ++p;
        if (name.size() >= 2 && name[name.size() - 2] != '.') name += " - ";
        name += text;
        if (name.size() > kMaxText) break;
    }
    Cut(name);
    std::memcpy(dest, name.c_str(), name.size() + 1);
}

bool LCDNameOutput(LUser& user, const LCDNaming& naming, const LCDNameTexts& texts,
                   const char* folderIn, const char* extension, char* output) {
    std::string folder = folderIn, name;
    // Folders leave room for a separator, a name of one character at least and the extension.
    const size_t extLength = std::strlen(extension);
    if (extLength + 2 >= kMaxText) return false;
    const size_t folderMax = kMaxText - 2 - extLength;
    if (folder.size() > folderMax) return false;
    if (naming.scheme == LCDNameScheme::ArtistTitle) {
        name = std::string(texts.artist) + " - " + texts.title;
    } else if (naming.scheme == LCDNameScheme::AlbumArtistTitle) {
        name = std::string(texts.album) + " - " + texts.artist + " - " + texts.title;
    } else {
        const char* pattern = naming.pattern.c_str();
        // Folder parts, one level each, created when missing.
        for (const char* p = pattern;;) {
            const char* open = std::strchr(p, '[');
            const char* close = open ? std::strchr(open + 1, ']') : nullptr;
            if (!close) break;
            std::string part(open + 1, close);
            char level[LMAX_PATH];
            LCDExpandNamePart(level, part.c_str(), texts);
            p = close + 1;
            if (!CDDBSafeComponent(level)) continue;  // nothing usable: no folder level
            if (!folder.empty() && !LIsPathSeparator(folder.back())) folder += LPATH_SEP;
            folder += level;
            if (folder.size() > folderMax) folder.resize(folderMax);
            if (!FolderExists(folder.c_str())) {
                std::error_code ec;
                if (!std::filesystem::create_directory(LFsPath(folder), ec) || ec)
                    user.ShowErrorMessage(
                        "Unable to create the folder name you have specified for your output "
                        "format. Please check that you are running Tamber in Administrator mode.",
                        nullptr);
            }
        }
        const char* open = std::strchr(pattern, '{');
        if (!open) return false;
        const char* close = std::strchr(open + 1, '}');
        std::string part = close ? std::string(open + 1, close) : std::string(open + 1);
        char file[LMAX_PATH];
        LCDExpandNamePart(file, part.c_str(), texts);
        name = file;
    }
    Cut(name);
    // A name that is no usable file name leaves the job's proposed one.
    char checked[LMAX_PATH];
    std::memcpy(checked, name.c_str(), name.size() + 1);
    if (!CDDBSafeComponent(checked)) return true;
    name = checked;
    // The name gives way first, so that the extension (which picks the writer) survives.
    if (!folder.empty() && !LIsPathSeparator(folder.back())) folder += LPATH_SEP;
    const size_t room = kMaxText - folder.size() - extLength;
    if (name.size() > room) name.resize(room);
    std::string path = folder + name + extension;
    Cut(path);
    std::memcpy(output, path.c_str(), path.size() + 1);
    return true;
}

bool LCDConvertTrack(LConvertEvents& events, const LConvertRequest& request, int index,
                     const char* input, char* output, LOverwriteState& overwrite,
                     LProgressDialog* jobDialog) {
    const uint8_t drive = LCDMapPathToDrive(input);
    if (drive == LCD_NO_DRIVE) return false;
    const int track = LCDTrackOfPath(input);

    LCDRunState& cd = LCDState();
    if (!cd.tableLoaded) {
        LoadDiscInfo(events, request.hidden, *cd.info, drive, request.cdNaming.useCDDB, jobDialog);
        cd.tableLoaded = true;
    }
    LCDNameTexts texts;
    LCDCleanTexts(*cd.info, track, texts);
    // Default names ("Track 01") and tracks the record does not know are no titles.
    const bool named = request.cdNaming.useCDDB || cd.info->bCDText;
    const bool useNames = named && std::strncmp(texts.title, "Track", 5) != 0 && texts.title[0] &&
                          track >= 0 && track < cd.info->iTracks;

    char extension[LMAX_PATH], folder[LMAX_PATH];
    GetFileExtension(extension, output);
    std::snprintf(folder, sizeof folder, "%s", request.outputFolder.c_str());
    if (LIsSameAsSource(folder)) LCDSameAsSourceFolder(folder);
    // The job has applied the overwrite rule to its own name; a name of the disc's is checked
    // here.
    char proposed[LMAX_PATH];
    std::snprintf(proposed, sizeof proposed, "%s", output);
    if (useNames && !LCDNameOutput(events, request.cdNaming, texts, folder, extension, output))
        return false;
    // The rip writes under a passing name beside its output, claimed once every question is
    // answered; it takes the name only once the track is complete (a file or a link there is
    // replaced, never written through, and stays on a failure).
    if (std::strcmp(proposed, output) != 0 &&
        LDecideOverwrite(events, output, request.overwrite, overwrite) != LOverwriteVerdict::Write)
        return false;
    char target[LMAX_PATH], outFolder[LMAX_PATH], name[LMAX_PATH];
    LFile::_GetFolderFromPath(outFolder, output);
    GetFileNameNoExtension(name, output);
    if (!LClaimPassingName(target, outFolder, "~", name, extension)) {
        LTrace("LCDConvertTrack no passing name next to the output");
        return false;
    }

    LSinkRef sink;
    LGenSinkOpenSink(sink, target, 44100, 2);
    LOutputCheck check;
    LSinkRef checked = LOutputCheckTap(extension, sink, check);
    // The checksums are taken from the samples on their way into the output.
    LARChecksum sums;
    const bool verify = sink && LCDStartChecksum(jobDialog, drive, track, sums);
    LCDROMRipTrack rip;
    rip.nDrive = drive;
    rip.nTrack = uint8_t(track < 0 || track > 255 ? 255 : track);
    // The tap takes the disc's own samples: the output's rate and channel adapters follow it.
    LSinkRef adapted = checked;
    if (verify) {
        LSinkRef rate;
        LSinkConvertRate::OpenSink(rate, 44100, checked);
        LSinkConvertChannels::OpenSink(adapted, rate, 2);
    }
    rip.sink = verify && adapted ? LSinkRef(new LSinkARTap(adapted, sums)) : checked;
    LRipReport report;
    rip.report = &report;
    LNestedProgress<LCDROMRipTrack, LRipTrack> dlg("Extracting CD Audio Track", &rip, events,
                                                   request.hidden);
    bool ran = dlg.Run(jobDialog);
    rip.sink.reset();
    adapted.reset();
    checked.reset();
    int status = ran ? dlg.status : LPROCESS_FAILED;
    if (!sink || sink->IsUnusable()) status = LPROCESS_FAILED;
    sink.reset();
    if (status == LPROCESS_OK &&
        (status = LVerifyOutput(jobDialog, target, extension, check)) == LPROCESS_FAILED) {
        const std::string text = LFormatMessage(kOutputNotVerifiedMessage, output);
        if (jobDialog)
            jobDialog->ShowError(text.c_str());
        else
            events.ShowErrorMessage(text.c_str(), nullptr);
    }
    if (status == LPROCESS_OK && !LReplaceFile(target, output)) status = LPROCESS_FAILED;
    if (verify && status != LPROCESS_STOPPED)
        LCDVerifyTrack(events, jobDialog, index, drive, input, output, track, sums,
                       status == LPROCESS_OK, {report.rereads, report.damaged, report.offset});
    if (status != LPROCESS_OK) {
        LDeleteFile(target);  // only what this rip created goes
        // A cancelled rip cancels the run, as a cancelled transfer does.
        if (status == LPROCESS_STOPPED && jobDialog) jobDialog->RequestStop();
        return false;
    }
    if (check.active) events.EntryVerified(index);
    return true;
}
