#include "app/record_file.h"

#include <string>

#include "platform/file_system.h"

namespace {

std::string preparedFile;

} // namespace

int prepareRecordFile(const char* path, uint64_t bytes) {
    if (!isUsableFileName(path) || namesNonRegularFile(path) || !mayReplace(path))
        return kRecordFileRefused;
    if (bytes > fileSizeLimit())
        return kRecordFileOverSizeLimit;
    return createFileBeside(path, preparedFile) ? kRecordFileReady : kRecordFileRefused;
}

const char* preparedRecordFile() {
    return preparedFile.c_str();
}

void discardRecordFile() {
    removeFile(preparedFile);
}
