#include "probe/latency_detect.h"

#include <cmath>
#include <complex>
#include <limits>
#include <utility>

namespace {

using Spectrum = std::vector<std::complex<double>>;

// Lags this close to the peak belong to it: a converter's filters smear a
// loop's impulse over a few frames.
constexpr int32_t kPeakHalfWidth = 32;

size_t powerOfTwoAtLeast(size_t n) {
    size_t size = 1;
    while (size < n)
        size <<= 1;
    return size;
}

void reorderBitReversed(Spectrum& data) {
    const size_t n = data.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(data[i], data[j]);
    }
}

// In-place radix-2 transform; the size is a power of two. The inverse is not
// scaled.
void transform(Spectrum& data, bool inverse) {
    reorderBitReversed(data);
    const size_t n = data.size();
    const double pi = std::acos(-1.0);
    for (size_t length = 2; length <= n; length <<= 1) {
        const double angle = (inverse ? 2.0 : -2.0) * pi / static_cast<double>(length);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t start = 0; start < n; start += length) {
            std::complex<double> twiddle(1.0, 0.0);
            for (size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> even = data[start + k];
                const std::complex<double> odd = data[start + k + length / 2] * twiddle;
                data[start + k] = even + odd;
                data[start + k + length / 2] = even - odd;
                twiddle *= step;
            }
        }
    }
}

Spectrum spectrumOf(const std::vector<float>& samples, size_t size) {
    Spectrum data(size);
    for (size_t i = 0; i < samples.size(); ++i)
        data[i] = samples[i];
    transform(data, false);
    return data;
}

// c[k] = sum over n of recording[n + k] * signal[n], for k = 0 ... lags - 1.
// The transform is at least as long as the recording, so these lags never
// wrap around.
std::vector<double> crossCorrelation(const std::vector<float>& signal,
                                     const std::vector<float>& recording, size_t lags) {
    const size_t size = powerOfTwoAtLeast(recording.size());
    Spectrum product = spectrumOf(recording, size);
    const Spectrum reference = spectrumOf(signal, size);
    for (size_t i = 0; i < size; ++i)
        product[i] *= std::conj(reference[i]);
    transform(product, true);
    std::vector<double> correlation(lags);
    for (size_t k = 0; k < lags; ++k)
        correlation[k] = product[k].real() / static_cast<double>(size);
    return correlation;
}

// Lags whose stretch of the recording holds only digital silence say
// nothing about noise: a floor taken over them makes any stray correlation
// look like a clear peak. So the floor is the mean power of the lags away
// from the peak whose stretch holds something.
double snrAround(const std::vector<double>& correlation, const std::vector<float>& recording,
                 size_t span, size_t peak) {
    std::vector<double> energyBefore(recording.size() + 1, 0.0);
    for (size_t i = 0; i < recording.size(); ++i)
        energyBefore[i + 1] = energyBefore[i] + double{recording[i]} * recording[i];
    double noise = 0.0;
    size_t counted = 0;
    for (size_t k = 0; k < correlation.size(); ++k) {
        const size_t distance = k > peak ? k - peak : peak - k;
        const bool heard = energyBefore[k + span] - energyBefore[k] > 0.0;
        if (distance > static_cast<size_t>(kPeakHalfWidth) && heard) {
            noise += correlation[k] * correlation[k];
            ++counted;
        }
    }
    const double peakPower = correlation[peak] * correlation[peak];
    if (peakPower == 0.0)
        return -std::numeric_limits<double>::infinity();
    if (counted == 0)
        return 0.0; // nothing to compare the peak with: no evidence of a signal
    if (noise == 0.0)
        return std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(peakPower / (noise / static_cast<double>(counted)));
}

} // namespace

Detection detectSignal(const std::vector<float>& signal, const std::vector<float>& recording,
                       size_t windowFrames) {
    Detection detection;
    if (signal.empty() || recording.size() < signal.size())
        return detection;
    const std::vector<double> correlation =
        crossCorrelation(signal, recording, recording.size() - signal.size() + 1);
    size_t peak = 0;
    for (size_t k = 1; k < correlation.size(); ++k)
        if (std::fabs(correlation[k]) > std::fabs(correlation[peak]))
            peak = k;
    detection.lag = static_cast<int32_t>(peak);
    detection.snrDb = snrAround(correlation, recording, signal.size(), peak);
    detection.inverted = correlation[peak] < 0.0;
    const bool clear = detection.snrDb >= kMinDetectionSnrDb;
    detection.beyondWindow = clear && peak > windowFrames;
    detection.found = clear && !detection.beyondWindow;
    return detection;
}
