// Converts the record store back to 32-bit floats and writes the WAV file.
#pragma once

int writeRecording(const char* path);
