#include "driversession/latency_detect.h"

#include <cmath>
#include <limits>

#include "dsp/correlation.h"

namespace {

// Lags this close to the peak belong to it: a converter's filters smear a
// loop's impulse over a few frames.
constexpr int32_t kPeakHalfWidth = 32;

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
        dsp::crossCorrelation(signal, recording, recording.size() - signal.size() + 1);
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
