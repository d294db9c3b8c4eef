// The test signal of a latency measurement: a maximum-length sequence, whose
// correlation with itself is one sharp peak, followed by silence long enough
// for any plausible round trip to bring it back within the recording.
#pragma once

#include <cstdint>
#include <vector>

// Frames of the sequence: 2^14 - 1, a third of a second at 48 kHz.
constexpr int32_t kTestSequenceFrames = 16383;
// The longest round trip the measurement looks for, in seconds.
constexpr double kLongestRoundTripSeconds = 1.0;

// The sequence alone, every sample +level or -level (level in dBFS).
std::vector<float> testSequence(double levelDb);

// What is played: the sequence from frame 0, then silence for the longest
// round trip at this rate.
std::vector<float> testPlayback(const std::vector<float>& sequence, double sampleRate);
