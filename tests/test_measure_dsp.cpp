// The two properties the measurement rests on: the planned sweep's k-th
// harmonic is the sweep itself advanced by L ln k (so harmonic phases come
// out right), and the FFT wrapper inverts exactly at every fast size; and the
// delay the repeats of a run are held to before they are averaged.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "dsp/real_fft.h"
#include "measure/device_run.h"
#include "measure/sweep_plan.h"

namespace {

TEST(MeasureSweep, KthHarmonicIsTheSweepAdvancedByLlnK) {
    for (const double seconds : {1.0, 5.0, 7.3}) {
        measure::SweepSettings settings;
        settings.rate = 44100;
        settings.from = 33.0;
        settings.seconds = seconds;
        const measure::SweepPlan plan = measure::planSweep(settings);
        const double L = plan.rateConstant;
        // Whole cycles at the start: the sweep starts at phase 0 and every
        // harmonic shares it.
        ASSERT_DOUBLE_EQ(plan.sweptFrom * L, std::round(plan.sweptFrom * L));
        const double twoPi = 2.0 * std::acos(-1.0);
        for (int k = 2; k <= 5; ++k) {
            const double advance = L * std::log(static_cast<double>(k));
            for (double t = 0.0; t + advance < plan.seconds; t += plan.seconds / 97.0) {
                const double harmonic = std::sin(twoPi * k * measure::sweepCycles(plan, t));
                const double advanced = std::sin(twoPi * measure::sweepCycles(plan, t + advance));
                ASSERT_NEAR(harmonic, advanced, 1e-6) << "k " << k << " t " << t;
            }
        }
        // The samples are that phase, faded only at the ends.
        const std::vector<float> samples = measure::sweepSamples(plan);
        const size_t middle = samples.size() / 2;
        EXPECT_NEAR(samples[middle],
                    plan.amplitude *
                        std::sin(twoPi * measure::sweepCycles(plan, double(middle) / plan.rate)),
                    1e-6);
        EXPECT_EQ(samples.front(), 0.0f);
        EXPECT_EQ(samples.back(), 0.0f);
    }
}

TEST(DspRealFft, InverseRestoresTheSignalAndForwardMatchesTheDft) {
    std::mt19937 generator(7);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (const size_t size : {2u, 6u, 16u, 30u, 250u, 1536u, 1u << 16}) {
        ASSERT_EQ(dsp::fastSizeAtLeast(size), size);
        const dsp::RealFft fft(size);
        std::vector<double> signal(size), back(size);
        for (double& x : signal)
            x = uniform(generator);
        std::vector<dsp::Complex> spectrum(fft.bins());
        fft.forward(signal.data(), spectrum.data());
        // A few bins against the definition, the real ends included.
        for (const size_t k : {size_t(0), size_t(1), size / 3, size / 2}) {
            dsp::Complex sum = 0.0;
            for (size_t n = 0; n < size; ++n)
                sum += signal[n] * std::polar(1.0, -2.0 * std::acos(-1.0) * double(k * n % size) /
                                                       double(size));
            EXPECT_NEAR(std::abs(spectrum[k] - sum), 0.0, 1e-9 * double(size)) << size << " " << k;
        }
        fft.inverse(spectrum.data(), back.data());
        for (size_t n = 0; n < size; ++n)
            ASSERT_NEAR(back[n], signal[n], 1e-12) << size << " " << n;
    }
    EXPECT_EQ(dsp::fastSizeAtLeast(14), 16u);              // half 7 is not fast
    EXPECT_EQ(dsp::fastSizeAtLeast(2 * 4097), 2u * 4320u); // 2^5 3^3 5
}

// The delay most repeats share; on a tie the first repeat's, and a repeat
// in which nothing responded never counts.
TEST(MeasureRepeats, ReferenceDelayIsTheMajorityOrTheFirstOnATie) {
    EXPECT_EQ(measure::referenceDelay({256, 296, 296}, {true, true, true}), 296);
    EXPECT_EQ(measure::referenceDelay({296, 256, 256, 296}, {true, true, true, true}), 296);
    EXPECT_EQ(measure::referenceDelay({0, 256, 296}, {false, true, true}), 256);
    EXPECT_EQ(measure::referenceDelay({0, 0, 296}, {false, false, true}), 296);
}

} // namespace
