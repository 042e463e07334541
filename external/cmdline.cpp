// Quoting and splitting Windows-style command lines.
#include "external/process.h"

std::string LQuotedArgument(const char* text) {
    // The C runtime's rules: backslashes are literal unless they lead up to a double quote,
    // where each pair stands for one backslash and an odd one makes the quote literal.
    std::string out = "\"";
    size_t backslashes = 0;
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '\\') {
            ++backslashes;
            continue;
        }
        if (*p == '"') {
            out.append(2 * backslashes + 1, '\\');
        } else {
            out.append(backslashes, '\\');
        }
        backslashes = 0;
        out += *p;
    }
    out.append(2 * backslashes, '\\');
    return out + "\"";
}

std::vector<std::string> LSplitCommandLine(const char* commandLine) {
    std::vector<std::string> args;
    if (!commandLine) return args;
    const char* p = commandLine;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (!*p) break;
        std::string arg;
        bool quoted = false;
        while (*p && (quoted || (*p != ' ' && *p != '\t'))) {
            if (*p == '\\') {
                size_t n = 0;
                while (*p == '\\') ++n, ++p;
                if (*p == '"') {
                    arg.append(n / 2, '\\');
                    if (n % 2) arg += *p++;  // an escaped quote is part of the argument
                } else {
                    arg.append(n, '\\');
                }
                continue;
            }
            if (*p == '"')
                quoted = !quoted;
            else
                arg += *p;
            ++p;
        }
        args.push_back(std::move(arg));
    }
    return args;
}
