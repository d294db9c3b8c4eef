// The detection on recordings a real loop could give: quieter, smeared by a
// converter's filter, inverted, buried in noise; and noise alone.
#include <gtest/gtest.h>

#include <random>

#include "probe/latency_detect.h"
#include "probe/latency_signal.h"

namespace {

std::vector<float> noise(size_t frames, float level, unsigned seed) {
    std::mt19937 generator(seed);
    std::normal_distribution<float> gaussian(0.0f, level);
    std::vector<float> samples(frames);
    for (float& sample : samples)
        sample = gaussian(generator);
    return samples;
}

TEST(LatencyDetect, FindsAQuietSmearedInvertedCopyInNoiseToTheFrame) {
    const std::vector<float> sequence = testSequence(-20.0);
    const std::vector<float> played = testPlayback(sequence, 48000.0);
    const int32_t delay = 1234;
    std::vector<float> recording = noise(played.size(), 0.01f, 1);
    // 20 dB down in noise at -40 dBFS, polarity reversed, through a short low-pass whose largest
    // tap is the direct one.
    const float taps[] = {0.25f, 0.5f, 0.25f};
    for (size_t t = delay + 1; t < recording.size(); ++t)
        for (int k = 0; k < 3; ++k)
            recording[t] -= 0.1f * taps[k] * played[t - delay - 1 + k];
    const Detection detection = detectSignal(sequence, recording);
    EXPECT_TRUE(detection.found);
    EXPECT_EQ(detection.lag, delay);
    EXPECT_TRUE(detection.inverted);
    EXPECT_GT(detection.snrDb, kMinDetectionSnrDb);
}

TEST(LatencyDetect, NoiseOrSilenceAloneIsNoSignal) {
    const std::vector<float> sequence = testSequence(-20.0);
    const size_t frames = testPlayback(sequence, 96000.0).size();
    for (unsigned seed = 1; seed <= 3; ++seed)
        EXPECT_FALSE(detectSignal(sequence, noise(frames, 0.1f, seed)).found) << seed;
    EXPECT_FALSE(detectSignal(sequence, std::vector<float>(frames, 0.0f)).found);
}

} // namespace
