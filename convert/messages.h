// The conversion engine's user messages: the maker's web pages they point to, and formatting.
#pragma once

#include <string>

constexpr const char* kFormatsWebPage = "http://www.velmora.com/tamber/formats.html";
constexpr const char* kSupportWebPage = "http://www.velmora.com/tamber/support.html";
constexpr const char* kSonyCodecWebPage = "http://www.velmora.com/tamber/sonycodec.html";

// The message with the path in place of its one "%s".
std::string LFormatMessage(const char* format, const char* path);
