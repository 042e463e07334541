// Diagnostic trace texts: keeps the last one per thread, optional echo to standard error.
#include "support/trace.h"

#include <cstdio>
#include <cstdlib>

namespace {
thread_local std::string g_last;
const bool g_echo = std::getenv("TAMBER_TRACE") != nullptr;
}  // namespace

void LTrace(const char* text) {
    g_last = text ? text : "";
    if (g_echo) std::fprintf(stderr, "trace: %s\n", g_last.c_str());
}

std::string LLastTrace() {
    return g_last;
}
void LClearTrace() {
    g_last.clear();
}
