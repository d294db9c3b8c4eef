// The two properties the measurement rests on: the planned sweep's k-th
// harmonic is the sweep itself advanced by L ln k (so harmonic phases come
// out right), and the FFT wrapper inverts exactly at every fast size; the
// delay the repeats of a run are held to before they are averaged; the
// noise read within a band, harmonics that are figures only above their
// noise, and what counts as clipped.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "dsp/noise_spectrum.h"
#include "dsp/real_fft.h"
#include "measure/analysis.h"
#include "measure/clipping.h"
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

TEST(DspNoiseSpectrum, BandPowerIsTheNoisesVarianceInTheBand) {
    const double rate = 48000.0, sigma = 1e-3;
    std::mt19937 generator(11);
    std::normal_distribution<double> gauss(0.0, sigma);
    std::vector<double> noise(48000);
    for (size_t n = 0; n < noise.size(); ++n)
        // A strong tone at 10 Hz beside it, as the band limit's ringing is:
        // below the band, it must not count.
        noise[n] = gauss(generator) + 0.1 * std::sin(2.0 * std::acos(-1.0) * 10.0 * n / rate);
    const dsp::NoiseSpectrum spectrum(noise.data(), noise.size(), rate);
    const double variance = sigma * sigma;
    // White noise over 20 Hz to 12 kHz holds half its variance, within the
    // scatter of 12000 bins.
    EXPECT_NEAR(spectrum.bandPower(20.0, 12000.0) / variance, 0.5, 0.02);
    EXPECT_NEAR(spectrum.bandPower(20.0, 24000.0) / variance, 1.0, 0.04);
    EXPECT_NEAR(spectrum.levelNear(1000.0, 20.0, 20000.0) / variance, 1.0, 0.1);
    EXPECT_GT(spectrum.bandPower(5.0, 15.0), 1e3 * variance);
    EXPECT_TRUE(dsp::NoiseSpectrum(noise.data(), 15, rate).empty());
}

// A device whose output is x + 0.1 x^2 (HD2 of a -12 dBFS sweep: -38.0 dB) over
// noise at -100 dBFS: HD2 is measured, the absent HD3 is only ever a bound,
// and THD is HD2's.
TEST(MeasureHarmonics, FiguresOnlyWhereTheyStandAboveTheirNoise) {
    measure::SweepSettings settings;
    settings.seconds = 2.0;
    settings.from = 50.0;
    const measure::SweepPlan plan = measure::planSweep(settings);
    const std::vector<float> sweep = measure::sweepSamples(plan);
    measure::Recording recording;
    recording.info = {plan.rate, 1, plan.totalFrames()};
    recording.samples.assign(static_cast<size_t>(plan.totalFrames()), 0.0f);
    recording.clipped.assign(1, 0);
    std::mt19937 generator(3);
    std::normal_distribution<double> noise(0.0, 1e-5);
    for (size_t n = 0; n < recording.samples.size(); ++n) {
        const int64_t t = static_cast<int64_t>(n) - plan.silenceBefore;
        const double x = t >= 0 && t < plan.sweepFrames ? sweep[static_cast<size_t>(t)] : 0.0;
        recording.samples[n] = static_cast<float>(x + 0.1 * x * x + noise(generator));
    }
    const measure::Results results = measure::analyseRecording(plan, recording, 3);
    const measure::ChannelResult& c = results.channels.at(0);
    ASSERT_FALSE(c.belowNoise);
    const double hd2 = 20.0 * std::log10(0.1 * plan.amplitude / 2.0);
    size_t measured = 0;
    for (const measure::LevelPoint& p : c.harmonics.at(0).points) {
        measured += p.belowNoise ? 0 : 1;
        if (!p.belowNoise && p.hz > 200.0) {
            EXPECT_NEAR(p.db, hd2, 0.2) << p.hz;
        }
    }
    EXPECT_GT(measured, c.harmonics.at(0).points.size() * 9 / 10);
    for (const measure::LevelPoint& p : c.harmonics.at(1).points)
        EXPECT_TRUE(p.belowNoise) << "HD3 at " << p.hz << ": " << p.db;
    ASSERT_FALSE(c.thd.empty());
    for (const measure::ThdPoint& p : c.thd)
        EXPECT_NEAR(20.0 * std::log10(p.percent / 100.0), hd2, p.hz > 200.0 ? 0.2 : 1.0) << p.hz;
    // The noise floor is -100 dBFS's share of the band through the
    // deconvolution, far above what the band limit leaves.
    EXPECT_TRUE(c.noiseMeasured);
    EXPECT_GT(c.snrDb, 60.0);
    EXPECT_LT(c.snrDb, 120.0);
}

TEST(MeasureClipping, RunsOfThreeAtFullScaleOrAnythingBeyondIt) {
    const float top = measure::fullScaleOf(2); // a 16-bit device's largest code
    EXPECT_EQ(top, 32767.0f / 32768.0f);
    EXPECT_EQ(measure::fullScaleOf(3), 8388607.0f / 8388608.0f);
    EXPECT_EQ(measure::fullScaleOf(4), 1.0f);
    auto clipped = [&](std::vector<float> samples, float fullScale) {
        return measure::clippedSamples(samples.data(), samples.size(), 1, fullScale);
    };
    // Touching full scale, twice in a row at most: a sweep's peaks.
    EXPECT_EQ(clipped({0.5f, top, top, 0.5f, -1.0f, 0.2f, top}, top), 0u);
    // Runs of three and four, of either sign and mixed.
    EXPECT_EQ(clipped({top, top, top, 0.0f, -1.0f, -1.0f, top, -1.0f}, top), 7u);
    // Beyond 1.0 on its own counts; inside a run it counts once.
    EXPECT_EQ(clipped({1.5f, 0.0f, 1.0f, 1.25f, 1.0f, 0.0f}, 1.0f), 4u);
    EXPECT_EQ(clipped({-1.0001f, 0.3f}, 1.0f), 1u);
    // A float device at 1.0 merely touching it is no clipping either.
    EXPECT_EQ(clipped({1.0f, 1.0f, 0.9f, -1.0f}, 1.0f), 0u);
    // One channel of an interleaved pair.
    const std::vector<float> pair{top, 0.0f, top, 0.0f, top, 0.0f};
    EXPECT_EQ(measure::clippedSamples(pair.data(), 3, 2, top), 3u);
    EXPECT_EQ(measure::clippedSamples(pair.data() + 1, 3, 2, top), 0u);
}

} // namespace
