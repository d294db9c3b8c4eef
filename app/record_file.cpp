#include "app/record_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

bool recordFileWritable(const char* path) {
    std::error_code error;
    const bool existed = std::filesystem::exists(std::filesystem::path(path), error);
    if (error)
        return false;
    bool writable;
    {
        std::ofstream probe(path, std::ios::out | std::ios::app | std::ios::binary);
        writable = probe.is_open() && probe.good();
    }
    if (writable && !existed)
        std::remove(path);
    return writable;
}
