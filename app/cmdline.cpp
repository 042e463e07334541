// The command line: an options pass, a files pass and an actions pass, in argument order.
#include "app/cmdline.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cd/drives.h"
#include "cd/offsetfind.h"
#include "convert/entrypaths.h"
#include "convert/formattable.h"
#include "convert/job.h"
#include "convert/messages.h"
#include "store/settingnames.h"
#include "store/settings.h"
#include "support/file.h"
#include "support/fspath.h"

const LCommandOption kCommandOptions[] = {
    {"-hide", "", "hide the window"},
    {"-show", "", "show the window at the end"},
    {"-outfolder", "folder", "set the output folder"},
    {"-format", "extension",
     "select the output format (.wav .mp3 .au .aiff .gsm .vox .raw .ogg "
     ".flac .aac .m4a .opus)"},
    {"-overwrite", "PROMPT|ALWAYS|NEVER|CANCEL", "store the rule for existing output files"},
    {"-keepfolders", "",
     "store: outputs of a folder's files keep their folders below the output folder"},
    {"-settings", "extension values...",
     "store the settings of an output format: .mp3 CBR bitrate hq mode crc | .mp3 VBR min max "
     "quality mode crc | .ogg Quality q channels strip | .ogg VBR min max channels strip | "
     ".aac/.m4a ABR bitrate mpeg2 notns | .aac/.m4a VBR percent mpeg2 notns | .flac level rate "
     "channels | .opus bitrate auto|speech|music | .vox/.raw codec rate channels | .wav "
     "PCM|PCM8|ALAW|ULAW rate channels"},
    {"-insettings", ".vox|.raw codec rate channels", "store the settings for reading raw input"},
    {"-clear", "", "remove every file from the list"},
    {"-detectoffset", "drive",
     "find the CD drive's read offset from the disc in it and the AccurateRip database, and store "
     "it"},
    {"/install", "", "offer to install the related programs"},
    {"-convert", "", "convert the listed files"},
    {"-exit", "", "close the program"},
};
const int kCommandOptionCount = int(sizeof kCommandOptions / sizeof kCommandOptions[0]);

namespace {

bool Is(const char* a, const char* b) {
    return strcasecmp(a, b) == 0;
}

// An entry that names a file rather than an option.
bool IsFileArgument(const char* a) {
    if (a[0] == '-') return false;
#ifdef _WIN32
    if (a[0] == '/') return false;
#else
    // Absolute paths begin with "/" here: only the known "/" option is one.
    if (Is(a, "/install")) return false;
#endif
    return a[0] != 0;
}

struct OffsetSearch {
    uint8_t drive = 0;
    LOffsetResult result;
};

int RunOffsetSearch(LProgressDialog* dlg, OffsetSearch* search) {
    return ProcessFindReadOffset(dlg, search->drive, search->result);
}

}  // namespace

void LCommandLine::DetectOffset(const char* name) {
    OffsetSearch search;
    search.drive = LCDDriveOfArgument(name);
    std::string text;
    if (search.drive == LCD_NO_DRIVE) {
        text = std::string("Read offset not found: \"") + name + "\" names no CD drive";
    } else {
        LProgressProcess<OffsetSearch, RunOffsetSearch> dlg("Finding the Read Offset", &search);
        if (!dlg.Run(host_.GetWindow())) search.result.outcome = LOffsetOutcome::Stopped;
        text = LOffsetResultText(search.result);
    }
    host_.ShowNote(text.c_str());
    // Rips that follow would go on with an offset nobody found.
    if (search.result.outcome != LOffsetOutcome::Found) settingsFailed_ = true;
}

int LCommandLine::SetSettings(const char* const* argv, int count, int i, bool inputOnly) {
    const char* ext = argv[i];
    LSettingsParser parse = nullptr;
    if (inputOnly)
        parse = LFindInputFormat(ext).parse;
    else if (const LOutputFormat* format = LFindOutputFormat(ext))
        parse = format->parse;
    if (!parse) return 0;
    // A section is stored whole: the parser starts from what is stored now (an encoder dialog
    // may have stored its own copy since the records were loaded), never from older values.
    std::string failure;
    const int read = parse(records_, argv, count, i, failure);
    if (!failure.empty()) {
        host_.ShowErrorMessage(failure.c_str(), nullptr);
        settingsFailed_ = true;
    }
    return read;
}

bool LCommandLine::LoadFile(const char* path, bool* added) {
    return LoadFileFrom(path, "", true, added);
}

bool LCommandLine::LoadFolder(const char* folder, bool* added) {
    // A trailing separator would double in the joined names.
    std::string root = folder;
    while (root.size() > 1 && LIsPathSeparator(root.back()) &&
           !(root.size() == 3 && root[1] == ':'))
        root.pop_back();
    bool notDuplicate = true;
    // Each file's size comes with the folder's listing, so no file of the tree is opened.
    LWalkFolderTree(root.c_str(), [&](const char* path, uint64_t size) {
        // Covers, playlists and notes beside the music are no entries.
        if (!LFindInputFormat(LPathExtension(path)).listed) return true;
        if (!AddSized(path, size, root.c_str(), added)) notDuplicate = false;
        return true;
    });
    return notDuplicate;
}

bool LCommandLine::LoadFileFrom(const char* path, const char* fromFolder, bool trees, bool* added) {
    if (added) *added = false;
    if (Listed(path)) return false;
    // A CD drive or one of its tracks on Linux ("/dev/sr0", "/dev/sr0#3").
    std::vector<std::string> tracks;
    std::vector<uint32_t> sizes;
    if (LCDTrackArguments(path, tracks, sizes)) {
        for (size_t t = 0; t < tracks.size(); ++t) {
            if (Listed(tracks[t].c_str())) continue;
            host_.AddEntry(tracks[t].c_str(), sizes[t], "");
            NoteListed(tracks[t].c_str());
            if (added) *added = true;
        }
        return true;
    }
    std::error_code ec;
    const auto kind = std::filesystem::status(LFsPath(path), ec).type();
    if (trees && kind == std::filesystem::file_type::directory)
        return LoadFolder(path, added);  // its whole tree, as a drop adds it
    if (kind != std::filesystem::file_type::regular) return true;
    LFile f;
    const int64_t size = f.Open(path) ? f.GetFileSizeBytes() : 0;
    return AddSized(path, uint64_t(size < 0 ? 0 : size), fromFolder, added);
}

bool LCommandLine::AddSized(const char* path, uint64_t size, const char* fromFolder, bool* added) {
    if (Listed(path)) return false;
    const uint32_t low = uint32_t(size & 0xFFFFFFFFu);  // an entry's size is held in 32 bits
    if (low == 0) return true;
    host_.AddEntry(path, low, fromFolder);
    NoteListed(path);
    if (added) *added = true;
    return true;
}

bool LCommandLine::Listed(const char* path) {
    if (listed_.size() != size_t(host_.EntryCount())) {
        listed_.clear();
        char entry[LMAX_PATH];
        for (int i = 0; i < host_.EntryCount(); ++i) {
            host_.GetEntryPath(i, entry);
            listed_.insert(LPathTextKey(entry));
        }
    }
    return listed_.count(LPathTextKey(path)) != 0;
}

void LCommandLine::NoteListed(const char* path) {
    listed_.insert(LPathTextKey(path));
}

bool LCommandLine::RefuseLongPath(const char* path) {
    if (LPathFits(path)) return false;
    host_.ShowErrorMessage(LFormatMessage(kPathTooLongMessage, path).c_str(), "Tamber");
    return true;
}

LCommandResult LCommandLine::Run(int argc, const char* const* argvIn) {
    LCommandResult result;
    settingsFailed_ = false;
    const int count = argc < argumentLimit_ ? argc : argumentLimit_;
    // Arguments are used whole: a path that would not fit a path buffer is refused by name
    // below, never cut into another file's name.
    std::vector<const char*> argv(size_t(count > 0 ? count : 0));
    for (int i = 0; i < count; ++i) argv[size_t(i)] = argvIn[i] ? argvIn[i] : "";
    std::vector<bool> isValue(size_t(count > 0 ? count : 0), false);
    // Relative paths of a start made elsewhere, against its folder (options pass and files
    // pass); a joined path too long for a buffer is refused below like any other.
    std::vector<std::string> joined(argv.size());
    auto resolved = [&](int i) {
        const char* a = argv[size_t(i)];
        if (baseFolder_.empty() || LIsPathSeparator(a[0]) || (a[0] && a[1] == ':') ||
            LIsSameAsSource(a))
            return a;
        joined[size_t(i)] = baseFolder_;
        if (!LIsPathSeparator(joined[size_t(i)].back())) joined[size_t(i)] += LPATH_SEP;
        joined[size_t(i)] += a;
        return argv[size_t(i)] = joined[size_t(i)].c_str();
    };

    // Options pass.
    for (int i = 1; i < count; ++i) {
        const char* a = argv[size_t(i)];
        const bool takesValue = Is(a, "-outfolder") || Is(a, "-format") || Is(a, "-overwrite") ||
                                Is(a, "-settings") || Is(a, "-insettings") ||
                                Is(a, "-detectoffset");
        if (Is(a, "-hide")) {
            host_.SetHidden(true);
        } else if (Is(a, "-keepfolders")) {
            SettingsWrite(kKeepFolders, true);
        } else if (Is(a, "-show")) {
            host_.SetHidden(false);
        } else if (takesValue) {
            if (i + 1 >= count) break;
            const char* v = argv[size_t(++i)];
            isValue[size_t(i)] = true;
            if (Is(a, "-outfolder")) {
                v = resolved(i);
                // Another folder in its place would take the outputs: nothing is converted.
                if (!RefuseLongPath(v))
                    host_.SetOutputFolder(v);
                else
                    settingsFailed_ = true;
            } else if (Is(a, "-detectoffset")) {
                // Read in the actions pass, in its place among them.
            } else if (Is(a, "-format")) {
                if (!host_.SelectOutputFormat(v)) host_.NoteIgnoredArgument(a, v);
            } else if (Is(a, "-overwrite")) {
                const char* names[] = {"PROMPT", "ALWAYS", "NEVER", "CANCEL"};
                const LBoolSetting* rules[] = {&kAlwaysPrompt, &kAlwaysOverwrite, &kNeverOverwrite,
                                               &kCancelAll};
                for (int k = 0; k < 4; ++k) {
                    if (!Is(v, names[k])) continue;
                    for (int m = 0; m < 4; ++m) SettingsWrite(*rules[m], m == k);
                }
            } else {
                int read = SetSettings(argv.data(), count, i, Is(a, "-insettings"));
                for (int k = 1; k <= read && i + k < count; ++k) isValue[size_t(i + k)] = true;
            }
        } else if (a[0] == '-' && !isValue[size_t(i)] && !Is(a, "-clear") && !Is(a, "-convert") &&
                   !Is(a, "-exit")) {
            host_.NoteIgnoredArgument(a, nullptr);
        }
    }

    // Files pass.
    for (int i = 1; i < count; ++i) {
        const char* a =
            IsFileArgument(argv[size_t(i)]) && !isValue[size_t(i)] ? resolved(i) : argv[size_t(i)];
        if (Is(a, "-clear")) {
            host_.SelectAll();
            host_.RemoveAllEntries();
        } else if (Is(a, "/install")) {
            host_.StartInstallTimer();
        } else if (IsFileArgument(a) && !isValue[size_t(i)] && RefuseLongPath(a)) {
            ++result.skippedFiles;
        } else if (IsFileArgument(a)) {
            bool added = false;
            // An option's value (the output folder) is no folder to add.
            bool notDuplicate = LoadFileFrom(a, "", !isValue[size_t(i)], &added);
            if (notDuplicate && !added && !isValue[size_t(i)]) {
                ++result.skippedFiles;
                host_.NoteSkippedFile(a);
            }
        }
    }

    // Actions pass.
    bool closed = false;
    for (int i = 1; i < count; ++i) {
        const char* a = argv[size_t(i)];
        if (Is(a, "-detectoffset") && !closed && i + 1 < count) {
            DetectOffset(argv[size_t(++i)]);
        } else if (Is(a, "-convert") && !closed) {
            result.converted = true;
            // Outputs in a format other than the one asked for would pass for the right ones.
            if (settingsFailed_)
                result.outcome = LPROCESS_FAILED;
            else
                host_.RunConvert(false, &result.outcome);
        } else if (Is(a, "-exit")) {
            host_.CloseWindow();
            closed = true;
        }
    }

    if (!host_.IsHidden() && !closed) host_.ShowWindowNow();
    result.settingsFailed = settingsFailed_;
    return result;
}
