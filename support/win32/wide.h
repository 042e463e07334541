// Text at the edge of the Windows API: UTF-8 inside the program, UTF-16 for the wide API.
#pragma once

#include <cstddef>
#include <string>

// UTF-8 to UTF-16 (null: the empty text). Bytes that are no UTF-8 become U+FFFD.
std::wstring LWide(const char* utf8);
// UTF-16 (length -1: up to its zero) to UTF-8.
std::string LUtf8(const wchar_t* wide, int length = -1);
// UTF-16 into a buffer of `size` bytes as UTF-8 with its zero; false (dest then empty) when it
// does not fit, so that no name is ever cut into another one.
bool LUtf8To(char* dest, size_t size, const wchar_t* wide);
