// WAV files as our programs meet them beside tandemwav's own: recordings from
// any recorder (PCM 16, 24 and 32-bit, float 32 and 64-bit, plain or
// WAVE_FORMAT_EXTENSIBLE, with any chunks around the format and the data).
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

struct WavInfo {
    int rate = 0;
    int channels = 0;
    int64_t frames = 0;
};

struct WavRecording {
    WavInfo info;
    std::vector<float> samples; // interleaved, full scale 1.0
    // Clipped samples (clipping.h), per channel: full scale is an integer
    // format's largest code, 1.0 in a float one.
    std::vector<uint64_t> clipped;
};

// Why a file cannot be read, in a line that names it; unsupportedFormat when
// it is a WAV file in a sample format not read.
class WavReadError : public std::runtime_error {
  public:
    WavReadError(bool unsupportedFormat, const std::string& message)
        : std::runtime_error(message), unsupportedFormat_(unsupportedFormat) {}
    bool unsupportedFormat() const { return unsupportedFormat_; }

  private:
    bool unsupportedFormat_;
};

// The header alone. Throws WavReadError.
WavInfo readWavInfo(const std::string& path);

// The whole file. Throws WavReadError (std::bad_alloc when it does not fit).
WavRecording readWavRecording(const std::string& path);

// The same from an open file; `path` only names it in messages.
WavRecording readWavRecordingFrom(std::FILE* file, const std::string& path);
