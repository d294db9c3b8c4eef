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
    level_ = PowerBins(level, rate / static_cast<double>(fft.size()));
    size_ = fft.size();
}

double NoiseSpectrum::bandPower(double from, double to) const {
    // Each one-sided bin stands for its mirror too.
    return empty() ? 0.0 : 2.0 * level_.sum(from, to) / static_cast<double>(size_);
}

double NoiseSpectrum::levelNear(double hz, double from, double to) const {
    return level_.meanNear(hz, from, to);
}

} // namespace dsp
