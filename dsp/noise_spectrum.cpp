#include "dsp/noise_spectrum.h"

#include <algorithm>
#include <cmath>

#include "dsp/real_fft.h"

namespace dsp {

namespace {

double hann(size_t i, size_t size) {
    const double pi = std::acos(-1.0);
    return 0.5 -
           0.5 * std::cos(2.0 * pi * (static_cast<double>(i) + 0.5) / static_cast<double>(size));
}

// Per bin |X|^2 / sum(w^2) of count samples under a Hann window, transformed
// at fft's size.
std::vector<double> hannLevels(const double* samples, size_t count, const RealFft& fft) {
    std::vector<double> windowed(fft.size(), 0.0);
    double windowPower = 0.0;
    for (size_t n = 0; n < count; ++n) {
        const double w = hann(n, count);
        windowed[n] = samples[n] * w;
        windowPower += w * w;
    }
    std::vector<Complex> spectrum(fft.bins());
    fft.forward(windowed.data(), spectrum.data());
    std::vector<double> level(spectrum.size());
    for (size_t k = 0; k < spectrum.size(); ++k)
        level[k] = std::norm(spectrum[k]) / windowPower;
    return level;
}

constexpr size_t kParts = 5;
// The median of five exponentially distributed readings (a bin of noise) is
// on average 1/5 + 1/4 + 1/3 of their mean.
constexpr double kMedianOfFive = 1.0 / 5.0 + 1.0 / 4.0 + 1.0 / 3.0;

PowerBins steadyLevels(const double* samples, size_t count, double rate) {
    const size_t part = count / kParts;
    const RealFft fft(fastSizeAtLeast(part));
    std::vector<std::vector<double>> levels;
    for (size_t p = 0; p < kParts; ++p)
        levels.push_back(hannLevels(samples + p * part, part, fft));
    std::vector<double> median(fft.bins());
    double five[kParts];
    for (size_t k = 0; k < median.size(); ++k) {
        for (size_t p = 0; p < kParts; ++p)
            five[p] = levels[p][k];
        std::nth_element(five, five + kParts / 2, five + kParts);
        median[k] = five[kParts / 2] / kMedianOfFive;
    }
    return PowerBins(median, rate / static_cast<double>(fft.size()));
}

} // namespace

PowerBins::PowerBins(const std::vector<double>& power, double hzPerBin) : hzPerBin_(hzPerBin) {
    sums_.resize(power.size() + 1, 0.0);
    for (size_t k = 0; k < power.size(); ++k)
        sums_[k + 1] = sums_[k] + power[k];
}

double PowerBins::sum(double from, double to) const {
    if (empty())
        return 0.0;
    const size_t top = sums_.size() - 2;
    const size_t first = static_cast<size_t>(std::ceil(std::max(from, 0.0) / hzPerBin_));
    const size_t last = std::min(top, static_cast<size_t>(std::max(to, 0.0) / hzPerBin_));
    return first <= last ? total(first, last) : 0.0;
}

double PowerBins::meanNear(double hz, double from, double to) const {
    if (empty())
        return 0.0;
    const double spread = std::pow(2.0, 1.0 / 6.0);
    const size_t top = sums_.size() - 2;
    size_t first = static_cast<size_t>(std::ceil(std::max(from, hz / spread) / hzPerBin_));
    size_t last = std::min(top, static_cast<size_t>(std::min(to, hz * spread) / hzPerBin_));
    if (last < first + 4) {
        const size_t centre = std::min(top, static_cast<size_t>(std::lround(hz / hzPerBin_)));
        first = centre > 2 ? centre - 2 : 0;
        last = std::min(top, centre + 2);
    }
    return total(first, last) / static_cast<double>(last - first + 1);
}

NoiseSpectrum::NoiseSpectrum(const double* samples, size_t count, double rate) {
    if (count < 16)
        return;
    const RealFft fft(fastSizeAtLeast(count));
    level_ = PowerBins(hannLevels(samples, count, fft), rate / static_cast<double>(fft.size()));
    size_ = fft.size();
    // Parts too short to hold a few bins of the band's low end leave the
    // whole stretch's reading.
    steadyLevel_ = count / kParts >= 16 ? steadyLevels(samples, count, rate) : level_;
}

double NoiseSpectrum::bandPower(double from, double to) const {
    // Each one-sided bin stands for its mirror too.
    return empty() ? 0.0 : 2.0 * level_.sum(from, to) / static_cast<double>(size_);
}

double NoiseSpectrum::levelNear(double hz, double from, double to) const {
    return steadyLevel_.meanNear(hz, from, to);
}

} // namespace dsp
