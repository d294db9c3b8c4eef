// The WAV room's reading and writing under the measurement's exit codes: a
// file that cannot be read or written throws Failure (kNotWav,
// kUnsupportedFormat, kCannotWrite) with the room's message.
#pragma once

#include <string>
#include <vector>

#include "wav/wav_reader.h"

namespace measure {

using Recording = WavRecording;

WavInfo readWavInfo(const std::string& path);
Recording readRecording(const std::string& path);
void writeFloatWav(const std::string& path, int rate, int channels,
                   const std::vector<float>& interleaved);
void writeTextFile(const std::string& path, const std::string& text);

} // namespace measure
