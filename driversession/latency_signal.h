// The test signal of a latency measurement: a maximum-length sequence, whose
// correlation with itself is one sharp peak, followed by silence long enough
// for any plausible round trip to bring it back within the recording.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Frames of the sequence: 2^14 - 1, a third of a second at 48 kHz.
constexpr int32_t kTestSequenceFrames = 16383;
// How much longer than the round trip the driver reports the measurement
// looks, in seconds: drivers leave out converters, cables and their own
// safety buffers.
constexpr double kRoundTripMarginSeconds = 1.0;
// The longest window --max-latency may ask for, in seconds; the window also
// stops there when a driver reports a longer round trip, so that the signal
// and its transform stay within memory.
constexpr double kLongestWindowSeconds = 60.0;

// The sequence alone, every sample +level or -level (level in dBFS).
std::vector<float> testSequence(double levelDb);

// The lags looked for, in frames: the reported round trip plus the margin,
// or the longest round trip the user asked for (maxLatencySeconds, 0 when not
// given), whichever is longer.
size_t detectionWindowFrames(double sampleRate, int64_t reportedFrames, double maxLatencySeconds);

// What is played: the sequence from frame 0, then silence for the window and
// one more sequence's length, in which a loop just beyond the window still
// brings the whole sequence back.
std::vector<float> testPlayback(const std::vector<float>& sequence, size_t windowFrames);
