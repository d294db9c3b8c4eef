// The gate's window where it must open and close, fractional-octave smoothing
// at the band's edges and on its own grid, and group delay through phase
// that wraps.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "dsp/group_delay.h"
#include "dsp/octave_smoothing.h"
#include "dsp/response_gate.h"

namespace {

constexpr double kRate = 48000.0;
const double kPi = std::acos(-1.0);

// 48 points per octave from 20 Hz, as the measurement's grid.
std::vector<double> grid(int octaves) {
    std::vector<double> hz;
    for (int i = 0; i <= 48 * octaves; ++i)
        hz.push_back(20.0 * std::pow(2.0, i / 48.0));
    return hz;
}

TEST(ResponseGate, OpensOverTheMillisecondBeforeThePeakAndClosesOverTheLastQuarter) {
    // Peak at frame 1000, 4 ms: the window spans 48 + 192 frames, so it
    // closes over the last 60 of them, from frame 1132 to 1192.
    const dsp::ResponseGate gate(1000.0, kRate, 4.0);
    EXPECT_DOUBLE_EQ(gate.opensAt(), 952.0);
    EXPECT_DOUBLE_EQ(gate.closedAt(), 1192.0);
    EXPECT_EQ(gate.weight(952.0), 0.0);
    EXPECT_NEAR(gate.weight(976.0), 0.5, 1e-12);
    EXPECT_EQ(gate.weight(1000.0), 1.0);
    EXPECT_EQ(gate.weight(1132.0), 1.0);
    EXPECT_NEAR(gate.weight(1162.0), 0.5, 1e-12);
    EXPECT_EQ(gate.weight(1192.0), 0.0);
    EXPECT_DOUBLE_EQ(gate.resolvedFromHz(), 250.0);
}

TEST(ResponseGate, KeepsWhatIsOpenWithThePeakAsTimeZeroAndDropsWhatLiesBeyond) {
    std::vector<float> h(2000, 0.0f);
    h[1000] = 1.0f;
    h[1010] = 0.25f; // inside the gate: its phase turns with its 10 frames
    h[1240] = 0.5f;  // 5 ms late: outside a 4-ms gate
    const std::vector<double> hz{100.0, 1000.0, 7000.0};
    const auto spectrum = dsp::gatedSpectrum(h, dsp::ResponseGate(1000.0, kRate, 4.0), kRate, hz);
    for (size_t i = 0; i < hz.size(); ++i) {
        const std::complex<double> expected =
            1.0 + 0.25 * std::polar(1.0, -2.0 * kPi * hz[i] * 10.0 / kRate);
        EXPECT_NEAR(std::abs(spectrum[i] - expected), 0.0, 1e-9) << hz[i];
    }
}

TEST(OctaveSmoothing, AveragesPowerAndComplexResponseWithinTheBandOnly) {
    const std::vector<double> hz = grid(4);
    std::vector<std::complex<double>> flat(hz.size(), 1.0);
    // One point of 0 and one of j beside a flat response.
    flat[0] = 0.0;
    flat[100] = std::complex<double>(0.0, 1.0);
    const auto third = dsp::smoothOctave(hz, flat, 3);
    // At the band's first point the 1/3-octave window holds only itself and
    // the 8 points above it (1/6 octave), not 8 below the band.
    EXPECT_NEAR(std::norm(third[0]), 8.0 / 9.0, 1e-12);
    EXPECT_NEAR(std::arg(third[0]), 0.0, 1e-12);
    // Around point 100: 17 points, one of them j: power 1, phase of 16 + j.
    EXPECT_NEAR(std::norm(third[100]), 1.0, 1e-12);
    EXPECT_NEAR(std::arg(third[100]), std::atan2(1.0, 16.0), 1e-12);
    // On its own grid, 1/48 octave holds each point alone: the raw response.
    const auto raw = dsp::smoothOctave(hz, flat, 48);
    for (size_t i = 0; i < hz.size(); ++i)
        EXPECT_NEAR(std::abs(raw[i] - flat[i]), 0.0, 1e-12) << i;
    EXPECT_TRUE(dsp::isSmoothingFraction(24));
    EXPECT_FALSE(dsp::isSmoothingFraction(4));
}

TEST(GroupDelay, ReadsAPureDelayThroughWrappedPhase) {
    const std::vector<double> hz = grid(9);
    const double delay = 0.0023;
    std::vector<double> deg;
    for (double f : hz)
        deg.push_back(std::remainder(-360.0 * f * delay, 360.0));
    const std::vector<double> seconds = dsp::groupDelaySeconds(hz, deg);
    ASSERT_EQ(seconds.size(), hz.size());
    // Up to where the phase turns by more than half a turn between points.
    for (size_t i = 0; i < hz.size() && hz[i] < 10000.0; ++i)
        EXPECT_NEAR(seconds[i], delay, 1e-9) << hz[i];
}

} // namespace
