// Tones with a whole number of cycles in an analysis window of N frames: all
// of such a tone's energy falls in one bin of an unwindowed transform of any N
// consecutive frames, so it can be removed exactly and nothing of it leaks
// into the bins around it.
#pragma once

#include <cstddef>
#include <vector>

namespace dsp {

// The bin (whole cycles per window) nearest hz; at least 1, below window / 2.
size_t coherentBin(double hz, double rate, size_t window);

// The frequency of that bin.
double binFrequency(size_t bin, double rate, size_t window);

// Adds amplitude * sin(2 pi bin t / window) to samples[start + t] for t from
// 0 to frames, faded in and out over fade frames (half Hann), so the tone
// starts and stops without a click. The phase is taken modulo the window in
// whole numbers, so it never drifts however long the tone.
void addCoherentTone(std::vector<float>& samples, size_t start, size_t frames, size_t fade,
                     size_t bin, size_t window, double amplitude);

} // namespace dsp
