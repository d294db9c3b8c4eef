// Group delay from a phase response.
#pragma once

#include <vector>

namespace dsp {

// -dphi/domega at each of hz, in seconds, from the phase in degrees there
// (wrapped or not): the phase unwrapped, then differenced across each
// point's neighbours (one-sided at the ends). Fewer than two points: none.
std::vector<double> groupDelaySeconds(const std::vector<double>& hz,
                                      const std::vector<double>& deg);

} // namespace dsp
