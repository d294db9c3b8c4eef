#include "probe/latency_signal.h"

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

std::vector<float> testPlayback(const std::vector<float>& sequence, double sampleRate) {
    const size_t silence = static_cast<size_t>(std::ceil(sampleRate * kLongestRoundTripSeconds));
    std::vector<float> playback(sequence);
    playback.resize(sequence.size() + silence, 0.0f);
    return playback;
}
