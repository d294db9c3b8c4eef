#include "dsp/window_shapes.h"

#include <cmath>

namespace dsp {

double halfHannRise(size_t i, size_t length) {
    if (i >= length)
        return 1.0;
    const double pi = std::acos(-1.0);
    return 0.5 - 0.5 * std::cos(pi * static_cast<double>(i) / static_cast<double>(length));
}

double raisedCosineStep(double x, double low, double high) {
    if (x <= low)
        return 0.0;
    if (x >= high)
        return 1.0;
    const double pi = std::acos(-1.0);
    return 0.5 - 0.5 * std::cos(pi * (x - low) / (high - low));
}

double taperedWindow(size_t i, size_t size, size_t taper) {
    if (i >= size)
        return 0.0;
    const size_t fromEnd = size - 1 - i;
    const size_t nearest = i < fromEnd ? i : fromEnd;
    return nearest >= taper ? 1.0 : halfHannRise(nearest + 1, taper + 1);
}

} // namespace dsp
