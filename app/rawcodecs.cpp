// The raw codec names shown by the raw settings dialog, by codec number.
#include "app/rawdlg.h"

const char* const kRawCodecNames[LRAW_CODEC_COUNT] = {
    "Dialogic ADPCM", "G711 uLaw",    "G711 aLaw",      "16 bit PCM (LE)",
    "8 bit unsigned", "8 bit signed", "16 bit PCM (BE)"};
