#include "measure/overlap_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "measure/exit_codes.h"
#include "measure/failure.h"

namespace measure {

namespace {

// Frames from order k's onset to the linear response's: L ln k at the rate.
double orderOffset(const SweepPlan& sweep, int k) {
    return sweep.rateConstant * std::log(static_cast<double>(k)) * sweep.rate;
}

// The sweep, with the band asked for, whose rate constant makes room for S:
// the least whole number of cycles at f1 with L ln 2 >= S + 0.1 s.
double secondsNeeded(const SweepPlan& sweep, double irSeconds) {
    const double least = (irSeconds + kWindowBeforeSeconds) / std::log(2.0);
    const double cycles = std::ceil(sweep.sweptFrom * least - 1e-9);
    return cycles / sweep.sweptFrom * std::log(sweep.sweptTo / sweep.sweptFrom);
}

[[noreturn]] void refuse(const SweepPlan& sweep, double irSeconds) {
    const double room = sweep.rateConstant * std::log(2.0);
    const double longest = std::floor((room - kWindowBeforeSeconds) * 1000.0) / 1000.0;
    char fits[120] = "This sweep has room for none";
    if (longest > 0.0)
        std::snprintf(fits, sizeof fits, "The longest --ir-seconds this sweep allows is %.3f s",
                      longest);
    char text[480];
    std::snprintf(text, sizeof text,
                  "Error: An impulse response of %.3f s does not fit this sweep: its window and "
                  "the %.1f s before each onset must fit within L*ln 2 = %.3f s, the time from "
                  "an output's second harmonic to its linear response!\n%s; a sweep of at least "
                  "%.2f s (--seconds) makes room for %.3f s.",
                  irSeconds, kWindowBeforeSeconds, room, fits,
                  std::ceil(secondsNeeded(sweep, irSeconds) * 100.0) / 100.0, irSeconds);
    throw Failure(kOverlapTooLong, text);
}

} // namespace

OverlapPlan planOverlap(const SweepPlan& sweep, double irSeconds, int harmonics, int outputs) {
    OverlapPlan plan;
    plan.irSeconds = irSeconds;
    plan.harmonics = harmonics;
    plan.outputs.before = static_cast<size_t>(std::lround(kWindowBeforeSeconds * sweep.rate));
    plan.outputs.after = static_cast<size_t>(std::lround(irSeconds * sweep.rate));
    const double window = static_cast<double>(plan.outputs.before + plan.outputs.after);
    if (window > orderOffset(sweep, 2))
        refuse(sweep, irSeconds);
    // Interleaved outputs' order-k windows lie side by side; the group of
    // them must fit between orders K - 1 and K, the closest two.
    const double narrowest = orderOffset(sweep, harmonics) - orderOffset(sweep, harmonics - 1);
    plan.perGroup =
        std::clamp(static_cast<int>(std::floor(narrowest / window)), 1, std::max(outputs, 1));
    const int64_t windowFrames = static_cast<int64_t>(window);
    plan.gapFrames = static_cast<int64_t>(std::ceil(orderOffset(sweep, harmonics))) +
                     plan.perGroup * windowFrames;
    for (int j = 0; j < outputs; ++j)
        plan.outputs.starts.push_back((j / plan.perGroup) * plan.gapFrames +
                                      (j % plan.perGroup) * windowFrames);
    plan.takeFrames = sweep.totalFrames() + plan.outputs.starts.back();
    return plan;
}

} // namespace measure
