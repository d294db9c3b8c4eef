// Converts the record store back to 32-bit floats and writes the WAV file.
#pragma once

#include <string>

enum WriteResult : int {
    kWriteOk = 0,
    kWriteCannotOpen = 1,
    kWriteFailed = 2,
    // (4 is kWavNoMemory: no working buffer.)
    // The recording is whole in its own file, which could not be put in the
    // target's place and is kept under its own name.
    kWriteKept = 5,
};

// Writes the recording into a new file beside the path, then puts it in the
// path's place.
int writeRecording(const char* path);

// The same into preparedFile, a file of our own made beside the path before
// the run: a folder that has stopped taking new names since still gets the
// recording. preparedFile is removed when the write fails.
int writeRecordingInto(const std::string& preparedFile, const char* path);
