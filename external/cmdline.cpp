// Splitting a Windows-style command line into its arguments.
#include "external/process.h"

std::vector<std::string> LSplitCommandLine(const char* commandLine) {
    std::vector<std::string> args;
    if (!commandLine) return args;
    const char* p = commandLine;
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (!*p) break;
        std::string arg;
        bool quoted = false;
        for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p) {
            if (*p == '"')
                quoted = !quoted;
            else
                arg += *p;
        }
        args.push_back(std::move(arg));
    }
    return args;
}
