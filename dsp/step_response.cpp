#include "dsp/step_response.h"

namespace dsp {

std::vector<double> stepResponse(const std::vector<float>& impulse) {
    std::vector<double> step;
    step.reserve(impulse.size());
    double sum = 0.0;
    for (float value : impulse)
        step.push_back(sum += value);
    return step;
}

} // namespace dsp
