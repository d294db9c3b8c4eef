// The synchronized exponential sweep: what a user asks for, the exact sweep
// that follows from it, and its samples. The rate constant L is chosen so
// that f1 * L is whole, which makes the k-th harmonic of the sweep the sweep
// itself advanced by L ln k.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace measure {

struct SweepSettings {
    int rate = 48000;
    double from = 20.0;     // the reported band, Hz
    double to = 20000.0;    //
    double seconds = 5.0;   // the wanted length of the sweep itself
    double levelDb = -12.0; // peak, dBFS
    int channels = 1;
    int on = 1; // the channel that plays the sweep, from 1
    // The whole silence after the sweep, seconds; below 0: 0.5 s + L ln 2.
    double tail = -1.0;
    // A room's decay: the silence after the sweep lasts at least this, seconds.
    double leastTail = 0.0;
};

struct SweepPlan {
    int rate = 0;
    double from = 0.0, to = 0.0;           // reported band
    double sweptFrom = 0.0, sweptTo = 0.0; // f1, f2: the band actually swept
    double rateConstant = 0.0;             // L, seconds; f1 * L is whole
    double seconds = 0.0;                  // L * ln(f2 / f1)
    double levelDb = 0.0;
    double amplitude = 0.0;
    int channels = 0;
    int on = 0;
    int64_t silenceBefore = 0; // frames
    int64_t sweepFrames = 0;
    int64_t silenceAfter = 0;
    double tail = 0.0; // the silence after the sweep in seconds, as asked or by default
    int64_t fadeInFrames = 0;
    int64_t fadeOutFrames = 0;

    int64_t totalFrames() const { return silenceBefore + sweepFrames + silenceAfter; }
};

// Throws Failure (kBandAboveRate, kBadSweepSetting) for settings that make no
// sweep, or a tail outside its range: from the linear response's stretch and
// 0.1 s of noise after it, to kLongestTail seconds.
SweepPlan planSweep(const SweepSettings& settings);
constexpr double kLongestTail = 60.0;

// The sweep's phase in cycles at t seconds from its start: f1 * L * exp(t / L).
double sweepCycles(const SweepPlan& plan, double t);

// The sweep alone, faded, amplitude included: plan.sweepFrames samples.
std::vector<float> sweepSamples(const SweepPlan& plan);

// FILE.wav -> FILE.json (the name with .json appended when it does not end in .wav).
std::string parametersPath(const std::string& sweepPath);

} // namespace measure
