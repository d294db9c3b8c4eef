#include "dsp/group_delay.h"

#include <cmath>
#include <cstddef>

namespace dsp {

std::vector<double> groupDelaySeconds(const std::vector<double>& hz,
                                      const std::vector<double>& deg) {
    const size_t n = hz.size();
    if (n < 2 || deg.size() != n)
        return {};
    // A step of more than half a turn between neighbours is taken as a wrap.
    std::vector<double> unwrapped(deg);
    for (size_t i = 1; i < n; ++i)
        unwrapped[i] = unwrapped[i - 1] + std::remainder(deg[i] - deg[i - 1], 360.0);
    std::vector<double> delay(n);
    for (size_t i = 0; i < n; ++i) {
        const size_t a = i == 0 ? 0 : i - 1, b = i + 1 == n ? i : i + 1;
        delay[i] = -(unwrapped[b] - unwrapped[a]) / (360.0 * (hz[b] - hz[a]));
    }
    return delay;
}

} // namespace dsp
