// The conversion engine's user messages: the maker's web pages they point to, and formatting.
#pragma once

#include <string>

constexpr const char* kFormatsWebPage = "http://www.velmora.com/tamber/formats.html";
constexpr const char* kSupportWebPage = "http://www.velmora.com/tamber/support.html";
constexpr const char* kSonyCodecWebPage = "http://www.velmora.com/tamber/sonycodec.html";

// A path named by the user that does not fit a path buffer ("%s": the path), and an output
// path that would not ("%s": the input).
constexpr const char* kPathTooLongMessage =
    "The path \"%s\" is too long: it is refused, and nothing is converted in its place.";
constexpr const char* kOutputPathTooLongMessage =
    "The output path for \"%s\" would be too long: the file is not converted.";

// The message with the path in place of its one "%s".
std::string LFormatMessage(const char* format, const char* path);
