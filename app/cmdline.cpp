// The command line: an options pass, a files pass and an actions pass, in argument order.
#include "app/cmdline.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "store/settings.h"
#include "cd/drives.h"
#include "convert/gensink.h"
#include "convert/job.h"
#include "formats/acm.h"
#include "support/file.h"

const LCommandOption kCommandOptions[] = {
    {"-hide", "", "hide the window"},
    {"-show", "", "show the window at the end"},
    {"-outfolder", "folder", "set the output folder"},
    {"-format", "extension",
     "select the output format (.wav .mp3 .au .aiff .gsm .vox .raw .ogg "
     ".flac .aac .m4a)"},
    {"-overwrite", "PROMPT|ALWAYS|NEVER|CANCEL", "store the rule for existing output files"},
    {"-settings", "extension values...",
     "store the settings of an output format: .mp3 CBR bitrate hq mode crc | .mp3 VBR min max "
     "quality mode crc | .ogg Quality q channels strip | .ogg VBR min max channels strip | "
     ".aac/.m4a ABR bitrate mpeg2 notns | .aac/.m4a VBR percent mpeg2 notns | .flac level rate "
     "channels | .vox/.raw codec rate channels | .wav PCM|PCM8|ALAW|ULAW rate channels"},
    {"-insettings", ".vox|.raw codec rate channels", "store the settings for reading raw input"},
    {"-clear", "", "remove every file from the list"},
    {"/install", "", "offer to install the related programs"},
    {"-convert", "", "convert the listed files"},
    {"-exit", "", "close the program"},
};
const int kCommandOptionCount = int(sizeof kCommandOptions / sizeof kCommandOptions[0]);

const char* const kOutputFormats[LOUTPUT_FORMAT_COUNT] = {
    ".wav", ".mp3", ".au", ".aiff", ".gsm", ".vox", ".raw", ".ogg", ".flac", ".aac", ".m4a"};

int LOutputFormatIndex(const char* extension) {
    for (int i = 0; i < LOUTPUT_FORMAT_COUNT; ++i)
        if (strcasecmp(extension, kOutputFormats[i]) == 0) return i;
    return -1;
}

namespace {

bool Is(const char* a, const char* b) {
    return strcasecmp(a, b) == 0;
}
int Number(const char* text) {
    return SettingsParseInt(text, 0);
}
// The rates and channel counts the output settings dialogs accept.
bool UsableRate(int32_t rate) {
    return rate >= 1 && rate <= 196000;
}
bool UsableChannels(int channels) {
    return channels == 1 || channels == 2;
}
bool Flag(const char* text) {
    return Is(text, "true");
}

// The channel mode word: stereo 0, joint 1, force 2, mono 3; -1 for another word.
int ChannelMode(const char* word) {
    const char* const modes[] = {"stereo", "joint", "force", "mono"};
    for (int m = 0; m < 4; ++m)
        if (Is(word, modes[m])) return m;
    return -1;
}

bool SamePath(const char* a, const char* b) {
#ifdef _WIN32
    return strcasecmp(a, b) == 0;
#else
    return std::strcmp(a, b) == 0;
#endif
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

}  // namespace

int LCommandLine::CmSetMp3Settings(const char* const* argv, int count, int i) {
    LMP3EncodeSettings& s = records_.mp3;
    if (i + 1 >= count) return 0;
    const char* mode = argv[i + 1];
    int read = 1;
    auto next = [&](int k) { return i + k < count ? argv[i + k] : nullptr; };
    if (Is(mode, "CBR")) {
        s.constantBitRate = true;
        const char* v;
        if (!(v = next(2))) return read;
        s.cbrBitRate = uint16_t(Number(v)), ++read;
        if (!(v = next(3))) return read;
        s.highQuality = Flag(v), ++read;
        if (!(v = next(4))) return read;
        if (int m = ChannelMode(v); m >= 0) s.channelMode = uint8_t(m);
        ++read;
        if (!(v = next(5))) return read;
        s.errorProtection = Flag(v), ++read;
    } else if (Is(mode, "VBR")) {
        s.constantBitRate = false;
        const char* v;
        if (!(v = next(2))) return read;
        s.vbrMinBitRate = uint16_t(Number(v)), ++read;
        if (!(v = next(3))) return read;
        s.vbrMaxBitRate = uint16_t(Number(v)), ++read;
        if (!(v = next(4))) return read;
        s.vbrQuality = uint8_t(Number(v)), ++read;
        if (!(v = next(5))) return read;
        if (int m = ChannelMode(v); m >= 0) s.channelMode = uint8_t(m);
        ++read;
        if (!(v = next(6))) return read;
        s.errorProtection = Flag(v), ++read;
    }
    s.Store();
    return read;
}

int LCommandLine::CmSetOggSettings(const char* const* argv, int count, int i) {
    LOggEncodeSettings& s = records_.ogg;
    if (i + 1 >= count) return 0;
    const char* mode = argv[i + 1];
    int read = 1;
    auto next = [&](int k) { return i + k < count ? argv[i + k] : nullptr; };
    const char* v;
    if (Is(mode, "Quality")) {
        s.quality = true;
        if (!(v = next(2))) return read;
        s.vbrQuality = uint8_t(Number(v)), ++read;
        if (!(v = next(3))) return read;
        s.channels = uint8_t(Number(v)), ++read;
        if (!(v = next(4))) return read;
        s.stripComments = Flag(v), ++read;
    } else if (Is(mode, "VBR")) {
        s.quality = false;
        if (!(v = next(2))) return read;
        s.vbrMinBitRate = uint16_t(Number(v)), ++read;
        if (!(v = next(3))) return read;
        s.vbrMaxBitRate = uint16_t(Number(v)), ++read;
        if (!(v = next(4))) return read;
        s.channels = uint8_t(Number(v)), ++read;
        if (!(v = next(5))) return read;
        s.stripComments = Flag(v), ++read;
    }
    s.Store();
    return read;
}

int LCommandLine::CmSetAACSettings(const char* const* argv, int count, int i) {
    LAACEncodeSettings& s = records_.aac;
    if (i + 1 >= count) return 0;
    const char* mode = argv[i + 1];
    int read = 1;
    auto next = [&](int k) { return i + k < count ? argv[i + k] : nullptr; };
    const char* v;
    int flagsAt = 2;  // an unknown mode word: the flags follow it directly
    if (Is(mode, "ABR") || Is(mode, "VBR")) {
        const bool abr = Is(mode, "ABR");
        s.averageBitRate = abr;
        if (!(v = next(2))) return read;
        if (abr)
            s.abrBitRate = uint16_t(Number(v));
        else
            s.vbrQuality = uint16_t(Number(v));
        ++read;
        flagsAt = 3;
    }
    if (!(v = next(flagsAt))) return read;
    s.forceMPEG2 = Flag(v), ++read;
    if (!(v = next(flagsAt + 1))) return read;
    s.disableTNS = Flag(v), ++read;
    s.Store();
    return read;
}

int LCommandLine::CmSetFlacSettings(const char* const* argv, int count, int i) {
    LFlacEncodeSettings& s = records_.flac;
    // A level the encoder does not know would fail every later conversion just the same.
    if (i + 1 < count && !LFlacEncodeSettings::UsableLevel(Number(argv[i + 1])))
        return std::min(3, count - 1 - i);
    if (i + 3 < count) {
        // A rate or channel count no encoder takes would fail every later conversion: the whole
        // list is left alone.
        const int32_t rate = Number(argv[i + 2]);
        const int channels = Number(argv[i + 3]);
        if (!UsableRate(rate) || !UsableChannels(channels)) return 3;
    }
    int read = 0;
    if (i + 1 >= count) return read;
    s.compression = uint8_t(Number(argv[i + 1])), ++read;
    if (i + 2 >= count) return read;
    s.sampleRate = uint32_t(Number(argv[i + 2])), ++read;
    if (i + 3 >= count) return read;
    s.channels = uint8_t(Number(argv[i + 3])), ++read;
    s.Store();
    return read;
}

int LCommandLine::CmSetRawSettings(const char* const* argv, int count, int i, LRawSettings& s) {
    int read = 0;
    if (i + 1 >= count) return read;
    s.codec = uint32_t(Number(argv[i + 1])), ++read;
    if (i + 2 >= count) return read;
    s.sampleRate = uint32_t(Number(argv[i + 2])), ++read;
    if (i + 3 >= count) return read;
    s.channels = uint8_t(Number(argv[i + 3])), ++read;
    if (s.channels == 0) s.channels = 1;
    s.Store();
    return read;
}

int LCommandLine::CmSetWavSettings(const char* const* argv, int count, int i) {
    if (i + 3 >= count) return count - 1 - i;
    const char* codec = argv[i + 1];
    const int32_t rate = Number(argv[i + 2]);
    const int channels = Number(argv[i + 3]);
    if (!UsableRate(rate) || !UsableChannels(channels)) return 3;  // the file stays as it is
    if (!LGenSaveWavFormat(LWaveFileFormat(rate, channels, codec).Bytes())) {
        host_.ShowErrorMessage(LGenWavFormatNotSaved().c_str(), nullptr);
        settingsFailed_ = true;
    }
    return 3;
}

int LCommandLine::SetSettings(const char* const* argv, int count, int i, bool inputOnly) {
    const char* ext = argv[i];
    // A section is stored whole: start from what is stored now (an encoder dialog may have
    // stored its own copy since the records were loaded), never from older values.
    ReloadRecord(ext, inputOnly);
    if (Is(ext, ".vox")) return CmSetRawSettings(argv, count, i, records_.vox);
    if (Is(ext, ".raw")) return CmSetRawSettings(argv, count, i, records_.raw);
    if (inputOnly) return 0;
    if (Is(ext, ".mp3")) return CmSetMp3Settings(argv, count, i);
    if (Is(ext, ".ogg")) return CmSetOggSettings(argv, count, i);
    if (Is(ext, ".aac") || Is(ext, ".m4a")) return CmSetAACSettings(argv, count, i);
    if (Is(ext, ".flac")) return CmSetFlacSettings(argv, count, i);
    if (Is(ext, ".wav")) return CmSetWavSettings(argv, count, i);
    return 0;
}

void LCommandLine::ReloadRecord(const char* ext, bool inputOnly) {
    if (Is(ext, ".vox")) records_.vox.Load();
    if (Is(ext, ".raw")) records_.raw.Load();
    if (inputOnly) return;
    if (Is(ext, ".mp3")) records_.mp3.Load();
    if (Is(ext, ".ogg")) records_.ogg.Load();
    if (Is(ext, ".aac") || Is(ext, ".m4a")) records_.aac.Load();
    if (Is(ext, ".flac")) records_.flac.Load();
}

bool LCommandLine::LoadFile(const char* path, bool* added) {
    if (added) *added = false;
    char entry[LMAX_PATH];
    for (int i = 0; i < host_.EntryCount(); ++i) {
        host_.GetEntryPath(i, entry);
        if (SamePath(entry, path)) return false;
    }
    // A CD drive or one of its tracks on Linux ("/dev/sr0", "/dev/sr0#3").
    std::vector<std::string> tracks;
    std::vector<uint32_t> sizes;
    if (LCDTrackArguments(path, tracks, sizes)) {
        for (size_t t = 0; t < tracks.size(); ++t) {
            bool listed = false;
            for (int i = 0; i < host_.EntryCount() && !listed; ++i) {
                host_.GetEntryPath(i, entry);
                listed = SamePath(entry, tracks[t].c_str());
            }
            if (listed) continue;
            host_.AddEntry(tracks[t].c_str(), sizes[t]);
            if (added) *added = true;
        }
        return true;
    }
    struct stat st;
    if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return true;  // folders are no entries
    LFile f;
    int64_t size = f.Open(path) ? f.GetFileSizeBytes() : 0;
    const uint32_t low = uint32_t(uint64_t(size < 0 ? 0 : size) & 0xFFFFFFFFu);
    if (low == 0) return true;
    host_.AddEntry(path, low);
    if (added) *added = true;
    return true;
}

LCommandResult LCommandLine::Run(int argc, const char* const* argvIn) {
    LCommandResult result;
    settingsFailed_ = false;
    const int count = argc < argumentLimit_ ? argc : argumentLimit_;
    // Each entry is used up to 259 characters.
    std::vector<std::vector<char>> store(size_t(count > 0 ? count : 0),
                                         std::vector<char>(LMAX_PATH));
    std::vector<const char*> argv(size_t(count > 0 ? count : 0));
    for (int i = 0; i < count; ++i) {
        std::snprintf(store[size_t(i)].data(), LMAX_PATH, "%s", argvIn[i] ? argvIn[i] : "");
        argv[size_t(i)] = store[size_t(i)].data();
    }
    std::vector<bool> isValue(size_t(count > 0 ? count : 0), false);

    // Options pass.
    for (int i = 1; i < count; ++i) {
        const char* a = argv[size_t(i)];
        const bool takesValue = Is(a, "-outfolder") || Is(a, "-format") || Is(a, "-overwrite") ||
                                Is(a, "-settings") || Is(a, "-insettings");
        if (Is(a, "-hide")) {
            host_.SetHidden(true);
        } else if (Is(a, "-show")) {
            host_.SetHidden(false);
        } else if (takesValue) {
            if (i + 1 >= count) break;
            const char* v = argv[size_t(++i)];
            isValue[size_t(i)] = true;
            if (Is(a, "-outfolder")) {
                host_.SetOutputFolder(v);
            } else if (Is(a, "-format")) {
                if (!host_.SelectOutputFormat(v)) host_.NoteIgnoredArgument(a, v);
            } else if (Is(a, "-overwrite")) {
                const char* names[] = {"PROMPT", "ALWAYS", "NEVER", "CANCEL"};
                const char* values[] = {"AlwaysPrompt", "AlwaysOverwrite", "NeverOverwrite",
                                        "CancelAll"};
                for (int k = 0; k < 4; ++k) {
                    if (!Is(v, names[k])) continue;
                    for (int m = 0; m < 4; ++m) SettingsWriteBool("Settings", values[m], m == k);
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
        const char* a = argv[size_t(i)];
        if (Is(a, "-clear")) {
            host_.SelectAll();
            host_.RemoveAllEntries();
        } else if (Is(a, "/install")) {
            host_.StartInstallTimer();
        } else if (IsFileArgument(a)) {
            bool added = false;
            bool notDuplicate = LoadFile(a, &added);
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
        if (Is(a, "-convert") && !closed) {
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
