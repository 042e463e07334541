// The outside decoders behind LGenSourceOpen: each writes a temporary WAV file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/progress.h"

enum class LGenDecoderMessages : uint8_t {
    None,         // the decoder reports every failure itself
    MissingFile,  // the decoder reports all but a container that cannot be opened
    All,          // platform decoders: every failure is reported by LGenSourceOpen
    Protected,    // as All, with the text of a file that may be missing, corrupt or protected
    SonyCodec,    // as All, a file that exists asks for the Sony codec
};

struct LGenDecoder {
    const char* title;  // progress title of the interactive variant
    // Runs the decoder with the given dialog: input path, temporary WAV path -> process status.
    int (*run)(LProgressDialog* dlg, const char* input, const char* wav);
    // Which failures LGenSourceOpen reports itself (the others tell the user on their own).
    LGenDecoderMessages messages;
};

// The decoders the input format table names (convert/formattable.h); the platform decoder
// reads whatever no other row lists.
extern const LGenDecoder kWmaDecoder, kDssDecoder, kRealDecoder, kAacDecoder, kOggDecoder,
    kFlacDecoder, kSriDecoder, kActDecoder, kShnDecoder, kDctDecoder, kPlatformDecoder,
    kSonyDecoder;
// CAF of a codec the CAF reader does not read: the platform decoder, Apple Lossless rewrapped.
extern const LGenDecoder kCafDecoder;
// Ogg Opus: the platform decoder where it reads Opus, else the "opusdec" component.
extern const LGenDecoder kOpusDecoder;
// Runs the decoder with dlg. With deferred given, the errors it would show are kept there
// instead (a decoder tried before another one may take the file).
int LGenRunDecoder(const LGenDecoder& decoder, LProgressDialog* dlg, const char* input,
                   const char* wav, std::vector<std::string>* deferred = nullptr);
// The same behind a new progress dialog with its title, owned by owner.
int LGenRunDecoderDialog(const LGenDecoder& decoder, LWindowHandle owner, const char* input,
                         const char* wav, std::vector<std::string>* deferred = nullptr);
