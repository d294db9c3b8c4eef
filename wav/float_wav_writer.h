// The one float WAV layout our programs write: the canonical 44-byte header
// that tandemwav plays as it is, then 32-bit float samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wav/wav_header.h"

// Sizes in 32 bits, wrapping, as the fields hold them; writers refuse
// anything larger first.
void composeFloatWavHeader(uint8_t (&header)[kWavHeaderBytes], uint32_t rate, uint32_t channels,
                           uint32_t frames);

// Interleaved samples written in one step (file_replacement.h). Throws
// FileWriteError, also for data past the 4 GiB of a WAV file.
void writeFloatWav(const std::string& path, int rate, int channels,
                   const std::vector<float>& interleaved);
