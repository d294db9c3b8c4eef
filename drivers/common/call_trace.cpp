#include "drivers/common/call_trace.h"

#include <cstdarg>
#include <cstdio>

void CallTrace::note(const char* format, ...) const {
    if (!enabled())
        return;
    char line[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    // Opened per line: several devices, or a later process, may share the file.
    // Binary, so that the lines end in LF on every system.
    std::FILE* file = std::fopen(path_, "ab");
    if (file == nullptr)
        return;
    std::fprintf(file, "%s\n", line);
    std::fclose(file);
}
