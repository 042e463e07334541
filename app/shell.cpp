// The extension list of the shell verb.
#include "app/shell.h"

const char* const kShellExtensions[LSHELL_EXTENSION_COUNT] = {
    ".WAV",  ".MP3", ".WMA", ".OGG", ".AIF", ".AIFF", ".AU",  ".RA",  ".RAM",
    ".FLAC", ".AAC", ".GSM", ".VOX", ".RAW", ".DSS",  ".DCT", ".OPUS"};
