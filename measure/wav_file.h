// WAV files as the measurement meets them: recordings from any recorder (PCM
// 16, 24 and 32-bit, float 32 and 64-bit, plain or WAVE_FORMAT_EXTENSIBLE),
// and the float files it writes itself, in the canonical 44-byte layout that
// tandemwav plays as it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace measure {

struct WavInfo {
    int rate = 0;
    int channels = 0;
    int64_t frames = 0;
};

struct Recording {
    WavInfo info;
    std::vector<float> samples; // interleaved, full scale 1.0
    // Clipped samples (clipping.h), per channel: full scale is an integer
    // format's largest code, 1.0 in a float one.
    std::vector<uint64_t> clipped;
};

// The header alone. Throws Failure: kNotWav, kUnsupportedFormat.
WavInfo readWavInfo(const std::string& path);

// The whole file. Throws Failure: kNotWav, kUnsupportedFormat (std::bad_alloc
// when it does not fit).
Recording readRecording(const std::string& path);

// Writes interleaved float samples as a canonical 32-bit float WAV file, in
// one step: a file beside the target, on stable storage, then moved over it.
// Throws Failure: kCannotWrite.
void writeFloatWav(const std::string& path, int rate, int channels,
                   const std::vector<float>& interleaved);

// The same for any text file.
void writeTextFile(const std::string& path, const std::string& text);

} // namespace measure
