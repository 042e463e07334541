// The maker's web pages that the conversion engine's messages point to.
#pragma once

constexpr const char* kFormatsWebPage = "http://www.velmora.com/tamber/formats.html";
constexpr const char* kSupportWebPage = "http://www.velmora.com/tamber/support.html";
constexpr const char* kSonyCodecWebPage = "http://www.velmora.com/tamber/sonycodec.html";

// Formats a message with one "%s" (a path) into a string.
#include <string>
std::string LFormatMessage(const char* format, const char* path);
