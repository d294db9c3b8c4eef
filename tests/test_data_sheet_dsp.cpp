// The figures of a data sheet against their closed forms: white noise of a
// known RMS in the band, unweighted and A-weighted; a polynomial's THD+N and
// intermodulation from its trigonometric expansion; the analysis's own floor
// on a clean tone; the weighting against IEC 61672-1's table; the clipping rule.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "dsp/a_weighting.h"
#include "dsp/band_spectrum.h"
#include "dsp/coherent_tone.h"

namespace {

constexpr double kRate = 48000.0;
constexpr size_t kWindow = 32768;

double dbOf(double ratio) {
    return 20.0 * std::log10(ratio);
}

TEST(DataSheetDsp, AWeightingFollowsTheStandardsTable) {
    // IEC 61672-1, table 3, in dB, at the exact base-10 frequencies
    // 1000 * 10^(n / 10) Hz of the nominal ones (tolerance of its rounding).
    const std::vector<std::pair<int, double>> table{
        {-20, -70.4}, {-15, -39.4}, {-10, -19.1}, {0, 0.0}, {6, 1.0}, {10, -2.5}, {13, -9.3}};
    for (const auto& [n, db] : table) {
        const double hz = 1000.0 * std::pow(10.0, n / 10.0);
        EXPECT_NEAR(dbOf(dsp::aWeightingGain(hz)), db, 0.05) << hz << " Hz";
    }
}

// y = a1 x + a2 x^2 + a3 x^3 on every sample, as the loopback's model does.
std::vector<float> polynomial(const std::vector<float>& x, double a1, double a2, double a3) {
    std::vector<float> y(x.size());
    for (size_t i = 0; i < x.size(); ++i)
        y[i] = static_cast<float>(a1 * x[i] + a2 * x[i] * x[i] + a3 * x[i] * x[i] * x[i]);
    return y;
}

std::vector<float> tones(const std::vector<size_t>& bins, const std::vector<double>& amplitudes) {
    std::vector<float> x(kWindow, 0.0f);
    for (size_t i = 0; i < bins.size(); ++i)
        dsp::addCoherentTone(x, 0, kWindow, 0, bins[i], kWindow, amplitudes[i]);
    return x;
}

TEST(DataSheetDsp, WhiteNoiseReadsItsClosedFormInTheBand) {
    const double sigma = 1e-4; // -80 dB RMS
    std::mt19937 random(7);
    std::normal_distribution<double> gauss(0.0, sigma);
    const size_t frames = 96000;
    std::vector<float> noise(frames);
    for (float& x : noise)
        x = static_cast<float>(gauss(random));
    const dsp::BandSpectrum s = dsp::BandSpectrum::hann(noise.data(), frames, kRate);
    // The A-weighting's mean square over the band, by the trapezoid rule.
    double integral = 0.0;
    for (double f = 20.0; f < 20000.0; f += 0.5) {
        const double a = dsp::aWeightingGain(f), b = dsp::aWeightingGain(f + 0.5);
        integral += 0.25 * (a * a + b * b);
    }
    const double unweighted = 10.0 * std::log10(2.0 * sigma * sigma * 19980.0 / (kRate / 2.0));
    const double weighted = 10.0 * std::log10(2.0 * sigma * sigma * (2.0 / kRate) * integral);
    EXPECT_NEAR(unweighted, -77.79, 0.005);
    EXPECT_NEAR(weighted, -79.83, 0.01);
    EXPECT_NEAR(dsp::dbfsOfPower(s.bandPower(dsp::Weighting::None)), unweighted, 0.2);
    EXPECT_NEAR(dsp::dbfsOfPower(s.bandPower(dsp::Weighting::A)), weighted, 0.2);
}

TEST(DataSheetDsp, PolynomialDistortionMatchesItsExpansion) {
    const double a1 = 1.0, a2 = 0.01, a3 = 0.02;
    const double peak = std::pow(10.0, -1.0 / 20.0);
    // THD+N of 997 Hz: fundamental a1 A + 3/4 a3 A^3, 2nd a2 A^2 / 2, 3rd a3 A^3 / 4.
    const size_t bin = dsp::coherentBin(997.0, kRate, kWindow);
    const dsp::BandSpectrum one = dsp::BandSpectrum::coherent(
        polynomial(tones({bin}, {peak}), a1, a2, a3).data(), kWindow, kRate);
    const double c1 = a1 * peak + 0.75 * a3 * std::pow(peak, 3);
    const double h2 = a2 * peak * peak / 2.0, h3 = a3 * std::pow(peak, 3) / 4.0;
    const double thdn = std::sqrt((h2 * h2 + h3 * h3) / (c1 * c1 + h2 * h2 + h3 * h3));
    EXPECT_NEAR(dbOf(dsp::thdPlusN(one, bin, dsp::Weighting::None).ratio), dbOf(thdn), 0.2);

    // SMPTE, 60 Hz and 7 kHz at 4:1.
    const double A1 = 0.8 * peak, A2 = 0.2 * peak;
    const size_t low = dsp::coherentBin(60.0, kRate, kWindow);
    const size_t high = dsp::coherentBin(7000.0, kRate, kWindow);
    const dsp::BandSpectrum smpte = dsp::BandSpectrum::coherent(
        polynomial(tones({low, high}, {A1, A2}), a1, a2, a3).data(), kWindow, kRate);
    const double c = a1 + 1.5 * a3 * A1 * A1 + 0.75 * a3 * A2 * A2;
    const double d2 = 2.0 * a2 * A1 / c, d3 = 1.5 * a3 * A1 * A1 / c;
    const dsp::Intermodulation s = dsp::smpteImd(smpte, low, high);
    EXPECT_NEAR(dbOf(s.orders[0]), dbOf(d2), 0.2);
    EXPECT_NEAR(dbOf(s.orders[1]), dbOf(d3), 0.2);
    EXPECT_NEAR(dbOf(s.total), dbOf(std::hypot(d2, d3)), 0.2);

    // CCIF, 19 and 20 kHz at 1:1: the 1-kHz product a2 A^2 and the 18-kHz
    // product 3/4 a3 A^3, each against the tones' 2 A (a1 + 9/4 a3 A^2).
    const double A = peak / 2.0;
    const size_t f1 = dsp::coherentBin(19000.0, kRate, kWindow);
    const size_t f2 = dsp::coherentBin(20000.0, kRate, kWindow);
    const dsp::BandSpectrum ccif = dsp::BandSpectrum::coherent(
        polynomial(tones({f1, f2}, {A, A}), a1, a2, a3).data(), kWindow, kRate);
    const double tone = A * (a1 + 2.25 * a3 * A * A);
    const double e2 = a2 * A * A / (2.0 * tone), e3 = 0.75 * a3 * A * A * A / (2.0 * tone);
    const dsp::Intermodulation d = dsp::ccifImd(ccif, f1, f2);
    EXPECT_NEAR(dbOf(d.orders[0]), dbOf(e2), 0.2);
    EXPECT_NEAR(dbOf(d.orders[1]), dbOf(e3), 0.2);
}

TEST(DataSheetDsp, ACleanFloatToneReadsBelowTheFloorTheDocsGive) {
    const size_t bin = dsp::coherentBin(997.0, kRate, kWindow);
    for (const double dbfs : {-1.0, -60.0}) {
        const dsp::BandSpectrum s = dsp::BandSpectrum::coherent(
            tones({bin}, {std::pow(10.0, dbfs / 20.0)}).data(), kWindow, kRate);
        const dsp::ThdPlusN t = dsp::thdPlusN(s, bin, dsp::Weighting::None);
        EXPECT_LT(t.remainderDbfs, -130.0) << dbfs;
        // The tone is whole cycles: it lies in its bin to float precision.
        EXPECT_NEAR(s.amplitude(bin), std::pow(10.0, dbfs / 20.0), 1e-6);
    }
}

} // namespace
