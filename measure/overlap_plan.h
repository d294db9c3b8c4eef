// Overlapping sweeps: every chosen output plays the same sweep in one take,
// staggered so that every order of every output's response, each in a window
// of its own, lies apart from every other output's in each input's impulse
// response. Order k of an output comes back L ln k before its linear
// response; outputs are placed one gap G = L ln K + S + 0.1 s apart, or, where
// the sweep is long enough, several to a group S + 0.1 s apart, their
// responses interleaved between each other's harmonics.
#pragma once

#include <cstdint>

#include "measure/analysis.h"
#include "measure/sweep_plan.h"

namespace measure {

// The part of each window before a response's onset, seconds: the band
// limit's ringing ahead of it and a response that peaks a little late.
constexpr double kWindowBeforeSeconds = 0.1;

struct OverlapPlan {
    double irSeconds = 0.0; // S: the window after each onset
    int harmonics = 0;      // K: the highest order kept apart
    int perGroup = 1;       // outputs interleaved in one group; 1: none
    int64_t gapFrames = 0;  // from one group's start to the next's
    StaggeredOutputs outputs;
    // Frames of the one take: the sweep file's with the latest start added.
    int64_t takeFrames = 0;
};

// Throws Failure(kOverlapTooLong) when S and the window before the onset do
// not fit within L ln 2, the stretch between an output's second harmonic
// and its linear response; the message gives the longest S that fits and the
// sweep length that fits this S.
OverlapPlan planOverlap(const SweepPlan& sweep, double irSeconds, int harmonics, int outputs);

} // namespace measure
