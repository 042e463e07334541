// The "-settings" values of each format (LSettingsParser, convert/formattable.h): the parsers
// the format table names.
#pragma once

#include <string>

#include "store/encsettings.h"

int LParseMp3Settings(LSettingsRecords&, const char* const*, int, int, std::string&);
int LParseOggSettings(LSettingsRecords&, const char* const*, int, int, std::string&);
int LParseAACSettings(LSettingsRecords&, const char* const*, int, int, std::string&);
int LParseFlacSettings(LSettingsRecords&, const char* const*, int, int, std::string&);
int LParseOpusSettings(LSettingsRecords&, const char* const*, int, int, std::string&);
int LParseVoxSettings(LSettingsRecords&, const char* const*, int, int, std::string&);
int LParseRawSettings(LSettingsRecords&, const char* const*, int, int, std::string&);
int LParseWavSettings(LSettingsRecords&, const char* const*, int, int, std::string&);
