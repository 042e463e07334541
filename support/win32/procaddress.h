// A library's export as a typed function pointer.
#pragma once

#include <windows.h>

// Null when the library does not export the name.
template <class F>
F LProcAddress(HMODULE lib, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(lib, name)));
}
