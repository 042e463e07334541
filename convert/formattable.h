// One row per file format the program reads or writes: its extension, how it is opened, its
// settings dialog and "-settings" values, its encoder component. Everything that treats a file
// by its extension looks the extension up here.
#pragma once

#include <cstdint>
#include <string>

#include "convert/decoders.h"
#include "convert/user.h"
#include "core/sound.h"
#include "formats/sniff.h"
#include "store/encsettings.h"

// The "-settings"/"-insettings" values of a format: reads argv[i + 1...] (argv[i] is the
// extension, count the vector's length) into its record, reloaded from the store first, and
// stores the record when the list is complete. Returns how many values it read; failure is set
// to the message to show when a value could not be stored.
using LSettingsParser = int (*)(LSettingsRecords& records, const char* const* argv, int count,
                                int i, std::string& failure);

// The texts a built-in reader's refusals get.
enum class LReaderMessages : uint8_t { Wav, Mp3, Aiff, Corrupt, Exists };

struct LInputFormat {
    const char* extension;
    bool listed;  // added to the file list by the folder walk
    // The built-in reader; null for headerless formats and for those an outside decoder reads.
    LSourceRef (*open)(const char* path);
    // Headerless formats: the section of their raw settings (their settings dialog).
    const char* rawSection;
    // Outside decoders write a temporary WAV file that is read in their place. With a reader
    // too: the decoder of what the reader refuses as a codec it does not read.
    const LGenDecoder* decoder;
    LReaderMessages messages;
    LSettingsParser parse;  // "-insettings", or null
    // Carries tags that are read and written in place (the tag editor; a conversion between two
    // such formats takes them along).
    bool tags = false;
};

struct LOutputFormat {
    const char* extension;
    bool listed;            // offered in the output format box, in table order
    const char* component;  // the encoder component, installed on demand; null for none
    // The sink for one output file, with the stored settings (read fresh).
    LSinkRef (*open)(const char* path, int32_t sampleRate, int channels);
    // The settings dialog on the stored record, the hints (0: keep) applied first: 1 confirmed,
    // 0 cancelled or the choice could not be stored. Null: nothing to set.
    int (*settings)(LUser& user, int32_t sampleRateHint, int channelHint);
    LSettingsParser parse;  // "-settings", or null
};

// The row of an extension (any case). Every extension has an input row: those not listed are
// left to the platform decoder. Output: null for an extension that is not an output format.
const LInputFormat& LFindInputFormat(const char* extension);
const LOutputFormat* LFindOutputFormat(const char* extension);
// The row that reads content of that kind (the platform decoder's for kinds no other row
// reads); null for unknown content.
const LInputFormat* LFindContentFormat(LContentKind kind);

// The output format box's formats, in order (the index is the setting "OutputFormat").
constexpr int LOUTPUT_FORMAT_COUNT = 12;
const char* LOutputFormatExtension(int index);
// Index of an output format of the box (case-insensitive), -1 when unknown.
int LOutputFormatIndex(const char* extension);
