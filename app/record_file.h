// The file the recording is written to, made before a long measurement starts.
#pragma once

#include <cstdint>

enum RecordFileCheck : int {
    kRecordFileReady = 0,
    kRecordFileRefused = 1,
    kRecordFileOverSizeLimit = 2,
};

// Proves, without touching an existing target, that the recording of the
// given size can be written and put in the path's place, as far as can be
// known before the run; then makes the new file in the target's folder and
// keeps it, so that a folder that stops taking new names still gets the take.
int prepareRecordFile(const char* path, uint64_t bytes);

// The prepared file's name, as the user can find it from where they ran us.
const char* preparedRecordFile();

// Removes the prepared file when no recording will be written.
void discardRecordFile();
