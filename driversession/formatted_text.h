// printf's formatting into a string, for messages of up to one line.
#pragma once

#include <cstdio>
#include <string>

template <typename... Values> std::string formatted(const char* format, Values... values) {
    char text[512];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}
