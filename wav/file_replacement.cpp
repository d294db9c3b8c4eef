#include "wav/file_replacement.h"

#include <cstdio>

#include "platform/file_system.h"

namespace {

bool writeBoth(const std::string& path, const std::string& head, const void* body,
               size_t bodySize) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(head.data(), 1, head.size(), file) == head.size() &&
                         (bodySize == 0 || std::fwrite(body, 1, bodySize, file) == bodySize);
    return std::fclose(file) == 0 && written;
}

} // namespace

void replaceFileWith(const std::string& path, const std::string& head, const void* body,
                     size_t bodySize) {
    std::string temp;
    const std::string failed = "Error: Unable to write " + path + "!";
    if (namesNonRegularFile(path.c_str()) || !mayReplace(path.c_str()) ||
        !createFileBeside(path.c_str(), temp))
        throw FileWriteError(failed);
    if (!writeBoth(temp, head, body, bodySize) || !moveOverTarget(temp, path.c_str())) {
        removeFile(temp);
        throw FileWriteError(failed);
    }
}
