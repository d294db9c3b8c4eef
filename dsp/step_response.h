// The step response: what a device gives back for a signal switched on and
// held, which shows its polarity and how its drivers line up in time.
#pragma once

#include <vector>

namespace dsp {

// The running sum of the impulse response, sample for sample.
std::vector<double> stepResponse(const std::vector<float>& impulse);

} // namespace dsp
