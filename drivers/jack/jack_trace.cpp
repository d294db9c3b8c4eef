#include "drivers/jack/jack_trace.h"

#include <cstdarg>
#include <cstdio>

void JackCallTrace::note(const char* format, ...) const {
    if (path_[0] == '\0')
        return;
    char line[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    // Opened per line: several devices, or a later process, may share the file.
    std::FILE* file = std::fopen(path_, "ab");
    if (file == nullptr)
        return;
    std::fprintf(file, "%s\n", line);
    std::fclose(file);
}
