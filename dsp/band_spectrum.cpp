#include "dsp/band_spectrum.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "dsp/a_weighting.h"
#include "dsp/real_fft.h"

namespace dsp {

double dbfsOfPower(double meanSquare) {
    if (!(meanSquare > 0.0))
        return -std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(2.0 * meanSquare);
}

BandSpectrum BandSpectrum::coherent(const float* samples, size_t frames, double rate) {
    return BandSpectrum(samples, frames, rate, false);
}

BandSpectrum BandSpectrum::hann(const float* samples, size_t frames, double rate) {
    return BandSpectrum(samples, frames, rate, true);
}

// One-sided: every bin but DC and the middle one holds its mirror's share
// too, so the bins sum to the stretch's mean square (Parseval).
BandSpectrum::BandSpectrum(const float* samples, size_t frames, double rate, bool hann)
    : rate_(rate), frames_(static_cast<double>(frames)) {
    const RealFft fft(frames);
    std::vector<double> x(frames);
    double windowPower = 0.0;
    const double pi = std::acos(-1.0);
    for (size_t t = 0; t < frames; ++t) {
        const double w = hann ? 0.5 - 0.5 * std::cos(2.0 * pi * t / frames_) : 1.0;
        x[t] = w * samples[t];
        windowPower += w * w;
    }
    std::vector<Complex> spectrum(fft.bins());
    fft.forward(x.data(), spectrum.data());
    power_.resize(fft.bins());
    for (size_t k = 0; k < power_.size(); ++k) {
        const bool mirrored = k != 0 && k != frames / 2;
        power_[k] = (mirrored ? 2.0 : 1.0) * std::norm(spectrum[k]) / (frames_ * windowPower);
    }
}

double BandSpectrum::amplitude(size_t bin) const {
    return std::sqrt(2.0 * power_[bin]);
}

double BandSpectrum::bandPower(Weighting weighting, const std::vector<size_t>& without) const {
    double sum = 0.0;
    for (size_t k = 1; k < power_.size(); ++k) {
        const double hz = binHz(k);
        if (hz < kBandLowHz || hz > kBandHighHz ||
            std::find(without.begin(), without.end(), k) != without.end())
            continue;
        const double gain = weighting == Weighting::A ? aWeightingGain(hz) : 1.0;
        sum += power_[k] * gain * gain;
    }
    return sum;
}

ThdPlusN thdPlusN(const BandSpectrum& spectrum, size_t fundamental, Weighting weighting) {
    ThdPlusN r;
    const double remainder = spectrum.bandPower(weighting, {fundamental});
    const double whole = spectrum.bandPower(weighting);
    r.remainderDbfs = dbfsOfPower(remainder);
    r.ratio = whole > 0.0 ? std::sqrt(remainder / whole) : 0.0;
    return r;
}

namespace {

double amplitudeAt(const BandSpectrum& spectrum, long bin) {
    return bin > 0 && static_cast<size_t>(bin) < spectrum.bins()
               ? spectrum.amplitude(static_cast<size_t>(bin))
               : 0.0;
}

Intermodulation totalled(std::vector<double> orders) {
    Intermodulation r;
    double sum = 0.0;
    for (double d : orders)
        sum += d * d;
    r.orders = std::move(orders);
    r.total = std::sqrt(sum);
    return r;
}

} // namespace

Intermodulation smpteImd(const BandSpectrum& spectrum, size_t lowBin, size_t highBin) {
    const double carrier = spectrum.amplitude(highBin);
    std::vector<double> orders;
    for (long n = 1; n <= 3; ++n) {
        const long below = static_cast<long>(highBin) - n * static_cast<long>(lowBin);
        const long above = static_cast<long>(highBin) + n * static_cast<long>(lowBin);
        const double sidebands = amplitudeAt(spectrum, below) + amplitudeAt(spectrum, above);
        orders.push_back(carrier > 0.0 ? sidebands / carrier : 0.0);
    }
    return totalled(orders);
}

Intermodulation ccifImd(const BandSpectrum& spectrum, size_t bin1, size_t bin2) {
    const double reference = spectrum.amplitude(bin1) + spectrum.amplitude(bin2);
    const long f1 = static_cast<long>(bin1), f2 = static_cast<long>(bin2);
    const double second = amplitudeAt(spectrum, f2 - f1);
    const double third = amplitudeAt(spectrum, 2 * f1 - f2);
    if (!(reference > 0.0))
        return totalled({0.0, 0.0});
    return totalled({second / reference, third / reference});
}

} // namespace dsp
