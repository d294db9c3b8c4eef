// The detection on recordings a real loop could give: quieter, smeared by a
// converter's filter, inverted, buried in noise; and noise alone.
#include <gtest/gtest.h>

#include <random>

#include "driversession/latency_detect.h"
#include "driversession/latency_signal.h"

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
    const size_t window = detectionWindowFrames(48000.0, 0, 0.0);
    const std::vector<float> played = testPlayback(sequence, window);
    const int32_t delay = 1234;
    std::vector<float> recording = noise(played.size(), 0.01f, 1);
    // 20 dB down in noise at -40 dBFS, polarity reversed, through a short low-pass whose largest
    // tap is the direct one.
    const float taps[] = {0.25f, 0.5f, 0.25f};
    for (size_t t = delay + 1; t < recording.size(); ++t)
        for (int k = 0; k < 3; ++k)
            recording[t] -= 0.1f * taps[k] * played[t - delay - 1 + k];
    const Detection detection = detectSignal(sequence, recording, window);
    EXPECT_TRUE(detection.found);
    EXPECT_EQ(detection.lag, delay);
    EXPECT_TRUE(detection.inverted);
    EXPECT_GT(detection.snrDb, kMinDetectionSnrDb);
}

TEST(LatencyDetect, NoiseOrSilenceAloneIsNoSignal) {
    const std::vector<float> sequence = testSequence(-20.0);
    const size_t window = detectionWindowFrames(96000.0, 0, 0.0);
    const size_t frames = testPlayback(sequence, window).size();
    for (unsigned seed = 1; seed <= 3; ++seed)
        EXPECT_FALSE(detectSignal(sequence, noise(frames, 0.1f, seed), window).found) << seed;
    EXPECT_FALSE(detectSignal(sequence, std::vector<float>(frames, 0.0f), window).found);
}

// A digital loop: the recording is exact silence but for the copy.
std::vector<float> loopedBack(const std::vector<float>& played, size_t delay) {
    std::vector<float> recording(played.size(), 0.0f);
    for (size_t t = delay; t < recording.size(); ++t)
        recording[t] = played[t - delay];
    return recording;
}

TEST(LatencyDetect, ALoopLongerThanTheWindowGivesNoFigure) {
    const std::vector<float> sequence = testSequence(-20.0);
    const size_t window = detectionWindowFrames(48000.0, 1000, 0.0);
    EXPECT_EQ(window, 49000u); // the reported 1000 frames and a second
    const std::vector<float> played = testPlayback(sequence, window);

    const Detection inside = detectSignal(sequence, loopedBack(played, window), window);
    EXPECT_TRUE(inside.found);
    EXPECT_EQ(inside.lag, static_cast<int32_t>(window));

    // Just beyond: the whole copy is in the recording, past the window.
    const Detection beyond = detectSignal(sequence, loopedBack(played, window + 1), window);
    EXPECT_FALSE(beyond.found);
    EXPECT_TRUE(beyond.beyondWindow);
    EXPECT_EQ(beyond.lag, static_cast<int32_t>(window + 1));

    // Far beyond: only the start of the copy reaches the recording's end.
    // Against the silence around it any stray correlation of that part would
    // stand out; against the lags that hear it, none does.
    for (const size_t tail : {383u, 4000u, 12000u}) {
        const Detection partial =
            detectSignal(sequence, loopedBack(played, played.size() - tail), window);
        EXPECT_FALSE(partial.found) << tail << " frames of the copy, lag " << partial.lag;
    }

    // --max-latency widens the window past the reported round trip.
    EXPECT_EQ(detectionWindowFrames(48000.0, 1000, 2.5), 120000u);
    EXPECT_EQ(detectionWindowFrames(48000.0, 1000, 600.0), 48000u * 60);
}

} // namespace
