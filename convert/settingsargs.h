// The "-settings" values of each format (LSettingsParser, convert/formattable.h): the parsers
// the format table names.
#pragma once

#include <string>

#include "store/encsettings.h"

int LParseMp3Settings(LSettingsRecords& r, const char* const* argv, int count, int i,
                      std::string& failure);
int LParseOggSettings(LSettingsRecords& r, const char* const* argv, int count, int i,
                      std::string& failure);
int LParseAACSettings(LSettingsRecords& r, const char* const* argv, int count, int i,
                      std::string& failure);
int LParseFlacSettings(LSettingsRecords& r, const char* const* argv, int count, int i,
                       std::string& failure);
int LParseVoxSettings(LSettingsRecords& r, const char* const* argv, int count, int i,
                      std::string& failure);
int LParseRawSettings(LSettingsRecords& r, const char* const* argv, int count, int i,
                      std::string& failure);
int LParseWavSettings(LSettingsRecords& r, const char* const* argv, int count, int i,
                      std::string& failure);
