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

// Fills channel.gatedResponse on the response's grid from its impulse
// response. Throws Failure(kBadSweepSetting) when the gate reaches past the
// impulse response kept.
void addGatedResponse(ChannelResult& channel, double rate, double gateMs);

// Fills channel.smoothedResponse: the gated response smoothed when there is
// one, else the response. fraction: N of 1/N octave, one dsp offers.
void addSmoothedResponse(ChannelResult& channel, int fraction);

// Both, as asked (a gate of 0 ms or a fraction of 0: none), for every
// channel that responds, and the settings named in the results.
void addGateAndSmoothing(double gateMs, int smoothing, int rate, Results& results);
void addGateAndSmoothing(double gateMs, int smoothing, RunResults& results);

} // namespace measure
