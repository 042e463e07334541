// A path of the standard file system library from the program's own (UTF-8) path text.
#pragma once

#include <filesystem>
#include <string>

// On Windows the library's narrow paths are in the ANSI code page, so the text goes in as UTF-8
// explicitly; elsewhere that is the same path.
inline std::filesystem::path LFsPath(const char* utf8) {
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8)));
}
inline std::filesystem::path LFsPath(const std::string& utf8) {
    return LFsPath(utf8.c_str());
}
