#include "app/record_file.h"

#include <string>

#include "platform/file_system.h"

bool recordFileWritable(const char* path) {
    if (namesNonRegularFile(path) || !mayReplace(path))
        return false;
    std::string tempPath;
    if (!createFileBeside(path, tempPath))
        return false;
    removeFile(tempPath);
    return true;
}
