#include "measure/recording_checks.h"

#include <cmath>
#include <cstdio>

#include "measure/exit_codes.h"
#include "measure/failure.h"

namespace measure {

void refuseNonFiniteSamples(const Recording& recording) {
    const size_t channels = static_cast<size_t>(recording.info.channels);
    size_t first = 0;
    uint64_t count = 0;
    for (size_t i = 0; i < recording.samples.size(); ++i)
        if (!std::isfinite(recording.samples[i]) && count++ == 0)
            first = i;
    if (count == 0)
        return;
    char text[256];
    std::snprintf(text, sizeof text,
                  "Error: The recording holds %llu sample(s) that are not numbers (NaN or "
                  "infinite), the first on channel %llu at frame %llu!",
                  static_cast<unsigned long long>(count),
                  static_cast<unsigned long long>(first % channels + 1),
                  static_cast<unsigned long long>(first / channels));
    throw Failure(kNotFinite, text);
}

void refuseLateResponse(const SweepPlan& plan, int64_t delayFrames) {
    const int64_t longest = plan.silenceAfter - static_cast<int64_t>(std::lround(0.01 * plan.rate));
    if (delayFrames <= longest)
        return;
    char text[320];
    std::snprintf(text, sizeof text,
                  "Error: The response came back later than the longest round trip the sweep "
                  "file holds, %lld frames (%.1f ms)!\nMake the silence after the sweep longer "
                  "with --tail SECONDS.",
                  static_cast<long long>(longest),
                  1000.0 * static_cast<double>(longest) / plan.rate);
    throw Failure(kNoSignal, text);
}

} // namespace measure
