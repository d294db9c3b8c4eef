#include "dsp/octave_smoothing.h"

#include <cmath>
#include <cstddef>

namespace dsp {

bool isSmoothingFraction(int fraction) {
    for (int offered : {1, 2, 3, 6, 12, 24, 48})
        if (fraction == offered)
            return true;
    return false;
}

std::vector<std::complex<double>> smoothOctave(const std::vector<double>& hz,
                                               const std::vector<std::complex<double>>& response,
                                               int fraction) {
    // A grid point exactly on the window's edge is in it, whatever the
    // rounding of the grid's own frequencies.
    const double halfWidth = 1.0 / (2.0 * fraction) + 1e-9;
    std::vector<std::complex<double>> smoothed;
    size_t low = 0, high = 0; // the window: [low, high)
    for (size_t i = 0; i < hz.size(); ++i) {
        while (std::log2(hz[i] / hz[low]) > halfWidth)
            ++low;
        while (high < hz.size() && std::log2(hz[high] / hz[i]) <= halfWidth)
            ++high;
        double power = 0.0;
        std::complex<double> sum = 0.0;
        for (size_t k = low; k < high; ++k) {
            power += std::norm(response[k]);
            sum += response[k];
        }
        const double count = static_cast<double>(high - low);
        smoothed.push_back(std::polar(std::sqrt(power / count), std::arg(sum)));
    }
    return smoothed;
}

} // namespace dsp
