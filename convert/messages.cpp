// Formatting of the engine's messages.
#include "convert/messages.h"

std::string LFormatMessage(const char* format, const char* path) {
    std::string out;
    for (const char* p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            out += path;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}
