#include "driversession/latency_signal.h"

#include <algorithm>
#include <cmath>

std::vector<float> testSequence(double levelDb) {
    const float level = static_cast<float>(std::pow(10.0, levelDb / 20.0));
    std::vector<float> sequence(kTestSequenceFrames);
    // Feedback taps 14, 13, 12 and 2 make a primitive polynomial: the register
    // passes through every non-zero state once before it repeats.
    uint32_t state = 1;
    for (float& sample : sequence) {
        const uint32_t bit = ((state >> 13) ^ (state >> 12) ^ (state >> 11) ^ (state >> 1)) & 1u;
        state = ((state << 1) | bit) & 0x3FFFu;
        sample = (state & 1u) ? level : -level;
    }
    return sequence;
}

size_t detectionWindowFrames(double sampleRate, int64_t reportedFrames, double maxLatencySeconds) {
    const double reported = reportedFrames > 0 ? static_cast<double>(reportedFrames) : 0.0;
    double frames =
        std::max(reported + sampleRate * kRoundTripMarginSeconds, sampleRate * maxLatencySeconds);
    frames = std::min(frames, sampleRate * kLongestWindowSeconds);
    return static_cast<size_t>(std::ceil(frames));
}

std::vector<float> testPlayback(const std::vector<float>& sequence, size_t windowFrames) {
    std::vector<float> playback(sequence);
    playback.resize(2 * sequence.size() + windowFrames, 0.0f);
    return playback;
}
