// What counts as clipped in a recording. A converter at its limit holds its
// largest code for several samples; a signal merely touching full scale, as a
// sweep at 0 dBFS does at its peaks, reaches it for one sample at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace measure {

// Samples that run this long at full scale are clipped.
constexpr size_t kClippedRun = 3;

// The largest positive code of an integer format of `bytes` bytes as a float
// sample (1 - 2^-15 for 16-bit, 1 - 2^-23 for 24-bit); 1.0 for 32-bit integers,
// whose largest code rounds to it, and for floating point (bytes 0).
float fullScaleOf(int integerBytes);

// The clipped samples among count samples of one channel, every stride-th
// from first: those in runs of kClippedRun or more consecutive samples whose
// magnitude reaches fullScale (of either sign), and any magnitude above 1.0.
uint64_t clippedSamples(const float* first, size_t count, size_t stride, float fullScale);

} // namespace measure
