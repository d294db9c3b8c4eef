// The views of a channel's response that a person asks for beside the plain
// one: gated around the impulse response's peak, and smoothed to a fraction
// of an octave. They read the response as it stands when they are called, so
// that what is divided out before (a reference, a calibration) is in them.
#pragma once

#include "measure/device_run.h"
#include "measure/results.h"

namespace measure {

// The longest and shortest gates offered, in ms after the peak.
constexpr double kShortestGateMs = 1.0;
constexpr double kLongestGateMs = 500.0;

// How long after its peak the linear response is kept with this sweep, one
// output at a time and without the whole recording kept.
double linearResponseKeptMs(const SweepPlan& plan);

// Throws Failure(kBadSweepSetting) when a gate of gateMs reaches past what
// is kept of the linear response: before a run's takes, not after them.
void refuseGatePast(double keptMs, double gateMs);

// For every channel that responds, as asked (a gate of 0 ms or a fraction
// of 0: none), with the setting named in the results. What is divided out of
// the response after gating (a calibration) goes between the two.
void addGatedResponses(double gateMs, int rate, Results& results);
void addGatedResponses(double gateMs, RunResults& results);
void addSmoothedResponses(int smoothing, Results& results);
void addSmoothedResponses(int smoothing, RunResults& results);

} // namespace measure
