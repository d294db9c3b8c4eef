// Where a known signal lies in a recording, by correlation through the FFT.
#pragma once

#include <cstddef>
#include <vector>

namespace dsp {

// c[k] = sum over n of recording[n + k] * signal[n], for k = 0 ... lags - 1
// (lags at most recording.size() - signal.size() + 1).
std::vector<double> crossCorrelation(const std::vector<float>& signal,
                                     const std::vector<float>& recording, size_t lags);

} // namespace dsp
