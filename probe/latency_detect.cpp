#include "probe/latency_detect.h"

#include <cmath>
#include <limits>

#include "dsp/correlation.h"

namespace {

// Lags this close to the peak belong to it: a converter's filters smear a
// loop's impulse over a few frames.
constexpr int32_t kPeakHalfWidth = 32;

double snrAround(const std::vector<double>& correlation, size_t peak) {
    double noise = 0.0;
    size_t counted = 0;
    for (size_t k = 0; k < correlation.size(); ++k) {
        const size_t distance = k > peak ? k - peak : peak - k;
        if (distance > static_cast<size_t>(kPeakHalfWidth)) {
            noise += correlation[k] * correlation[k];
            ++counted;
        }
    }
    const double peakPower = correlation[peak] * correlation[peak];
    if (peakPower == 0.0)
        return -std::numeric_limits<double>::infinity();
    if (noise == 0.0)
        return std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(peakPower / (noise / static_cast<double>(counted)));
}

} // namespace

Detection detectSignal(const std::vector<float>& signal, const std::vector<float>& recording) {
    Detection detection;
    if (signal.empty() || recording.size() < signal.size())
        return detection;
    const std::vector<double> correlation =
        dsp::crossCorrelation(signal, recording, recording.size() - signal.size() + 1);
    size_t peak = 0;
    for (size_t k = 1; k < correlation.size(); ++k)
        if (std::fabs(correlation[k]) > std::fabs(correlation[peak]))
            peak = k;
    detection.lag = static_cast<int32_t>(peak);
    detection.snrDb = snrAround(correlation, peak);
    detection.inverted = correlation[peak] < 0.0;
    detection.found = detection.snrDb >= kMinDetectionSnrDb;
    return detection;
}
