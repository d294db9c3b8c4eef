// What a recording must pass before its figures count: every sample a
// number, and every response back within the silence the sweep file holds.
#pragma once

#include <cstdint>

#include "measure/measure_files.h"
#include "measure/sweep_plan.h"

namespace measure {

// Throws Failure(kNotFinite) when any sample is NaN or infinite, naming how
// many there are and the channel and frame of the first.
void refuseNonFiniteSamples(const Recording& recording);

// Throws Failure(kNoSignal) when a response peaks later than the longest
// round trip a sweep file holds: the silence after the sweep less 10 ms, so
// that a response is never read from the stretch's very end, where a longer
// loop's response would show its first part.
void refuseLateResponse(const SweepPlan& plan, int64_t delayFrames);

} // namespace measure
