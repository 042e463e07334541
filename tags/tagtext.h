// Text at the edges of the tag formats: Latin-1 and UTF-16 to and from UTF-8, and base64.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using LBytes = std::span<const uint8_t>;

// Latin-1 bytes as UTF-8.
std::string LTextFromLatin1(LBytes bytes);
// UTF-16 as UTF-8; a leading byte order mark overrides bigEndian and is dropped. Unpaired
// surrogates become U+FFFD.
std::string LTextFromUtf16(LBytes bytes, bool bigEndian);
// UTF-8 as it is when it is valid UTF-8, else read as Latin-1.
std::string LTextFromUnknown(LBytes bytes);
bool LTextIsUtf8(LBytes bytes);
bool LTextIsAscii(std::string_view text);
// Whether every character fits into Latin-1.
bool LTextFitsLatin1(std::string_view utf8);
// UTF-8 as Latin-1, characters beyond it as '?'.
std::string LTextToLatin1(std::string_view utf8);
// Appends UTF-16 little-endian code units (no byte order mark).
void LTextAppendUtf16LE(std::vector<uint8_t>& out, std::string_view utf8);
// Cut at most max bytes, never inside a character.
std::string LTextCut(std::string_view utf8, size_t max);
// The text up to its first zero.
std::string LTextToZero(std::string_view text);

std::string LBase64Encode(LBytes bytes);
// False on a character outside the alphabet or when more than max bytes would come out.
bool LBase64Decode(std::string_view text, std::vector<uint8_t>& out, size_t max);
