#include "measure/sweep_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "dsp/window_shapes.h"
#include "engine/device_state.h"
#include "measure/exit_codes.h"
#include "measure/failure.h"

namespace measure {

namespace {

constexpr double kSilenceBeforeSeconds = 0.1;
// After the sweep by default, besides the device's response: the loop's
// latency and a stretch of noise alone, which the noise floor is read from.
constexpr double kSilenceAfterSeconds = 0.5;
constexpr double kFadeOutSeconds = 0.005;

void require(bool condition, int code, const std::string& message) {
    if (!condition)
        throw Failure(code, "Error: " + message);
}

void checkSettings(const SweepSettings& s) {
    require(s.rate >= 8000 && s.rate <= 1000000, kBadSweepSetting,
            "The rate must lie between 8000 and 1000000 Hz!");
    // tandemwav plays a file of at most its channel limit.
    require(s.channels >= 1 && s.channels <= kMaxChannelsPerDirection, kBadSweepSetting,
            "The file must have 1 to 64 channels!");
    require(s.on >= 1 && s.on <= s.channels, kBadSweepSetting,
            "The sweep's channel must be one of the file's channels!");
    require(s.from > 0.0 && s.from < s.to, kBadSweepSetting,
            "The band must start above 0 Hz and end above its start!");
    // The sweep itself goes up to 0.95 times half the rate at most. A band
    // ending there has its top on the sweep's own edge, where a short sweep's
    // cut smears the edge into the band; a margin of 0.02 times half the rate
    // keeps a perfect loop's top half-octave within 0.05 dB for sweeps of a
    // second from 20 Hz.
    const double limit = std::floor(0.93 * s.rate / 2.0);
    require(s.to <= limit, kBandAboveRate,
            "The band's top must not pass 0.93 times half the rate (" +
                std::to_string(static_cast<int>(limit)) + " Hz at " + std::to_string(s.rate) +
                " Hz)!");
    require(s.seconds > 0.0 && s.seconds <= 3600.0, kBadSweepSetting,
            "The sweep must last more than 0 and at most 3600 seconds!");
    require(s.levelDb <= 0.0 && s.levelDb >= -120.0, kBadSweepSetting,
            "The level must lie between -120 and 0 dBFS!");
}

// As asked, or by default the loop's latency and the device's response (as
// long as the analysis keeps of it, under L ln 2) with room for the noise.
double tailOf(const SweepSettings& s, double rateConstant) {
    if (s.tail < 0.0)
        return std::max(kSilenceAfterSeconds + rateConstant * std::log(2.0), s.leastTail);
    // The linear response's stretch (0.65 L ln 2) and 0.1 s of noise after it.
    const double shortest = 0.65 * rateConstant * std::log(2.0) + 0.1;
    char text[200];
    std::snprintf(text, sizeof text,
                  "The silence after the sweep (--tail) must last %.3f to %.0f seconds for this "
                  "sweep!",
                  shortest, kLongestTail);
    require(s.tail >= shortest && s.tail <= kLongestTail, kBadSweepSetting, text);
    return std::max(s.tail, s.leastTail);
}

} // namespace

SweepPlan planSweep(const SweepSettings& s) {
    checkSettings(s);
    SweepPlan plan;
    plan.rate = s.rate;
    plan.from = s.from;
    plan.to = s.to;
    plan.sweptFrom = s.from / 2.0;
    plan.sweptTo = std::fmin(2.0 * s.to, 0.95 * s.rate / 2.0);
    const double octaves = std::log(plan.sweptTo / plan.sweptFrom);
    const double cycles = std::round(plan.sweptFrom * s.seconds / octaves);
    require(cycles >= 1.0, kBadSweepSetting, "The sweep is too short for its lowest frequency!");
    plan.rateConstant = cycles / plan.sweptFrom;
    plan.seconds = plan.rateConstant * octaves;
    plan.levelDb = s.levelDb;
    plan.amplitude = std::pow(10.0, s.levelDb / 20.0);
    plan.channels = s.channels;
    plan.on = s.on;
    const double rate = s.rate;
    plan.sweepFrames = static_cast<int64_t>(std::floor(plan.seconds * rate));
    plan.silenceBefore = static_cast<int64_t>(std::round(kSilenceBeforeSeconds * rate));
    plan.tail = tailOf(s, plan.rateConstant);
    plan.silenceAfter = static_cast<int64_t>(std::round(plan.tail * rate));
    // The fade-in spans the sweep's first half octave, which lies an octave
    // below the reported band: long enough to leave the band's lowest octave
    // clean. The fade-out is a few milliseconds, so the band's top is kept.
    plan.fadeInFrames =
        static_cast<int64_t>(std::round(plan.rateConstant * std::log(2.0) / 2.0 * rate));
    plan.fadeOutFrames = std::min<int64_t>(static_cast<int64_t>(std::round(kFadeOutSeconds * rate)),
                                           plan.sweepFrames / 10);
    return plan;
}

double sweepCycles(const SweepPlan& plan, double t) {
    return plan.sweptFrom * plan.rateConstant * std::exp(t / plan.rateConstant);
}

std::vector<float> sweepSamples(const SweepPlan& plan) {
    std::vector<float> samples(static_cast<size_t>(plan.sweepFrames));
    const double twoPi = 2.0 * std::acos(-1.0);
    const size_t in = static_cast<size_t>(plan.fadeInFrames);
    const size_t out = static_cast<size_t>(plan.fadeOutFrames);
    for (size_t n = 0; n < samples.size(); ++n) {
        const double cycles = sweepCycles(plan, static_cast<double>(n) / plan.rate);
        // Only the fraction of a cycle matters; taking it first keeps the
        // phase exact late in a long sweep.
        double gain = plan.amplitude * dsp::halfHannRise(n, in);
        gain *= dsp::halfHannRise(samples.size() - 1 - n, out);
        samples[n] = static_cast<float>(gain * std::sin(twoPi * (cycles - std::floor(cycles))));
    }
    return samples;
}

std::string parametersPath(const std::string& sweepPath) {
    const std::string suffix = ".wav";
    if (sweepPath.size() > suffix.size() &&
        sweepPath.compare(sweepPath.size() - suffix.size(), suffix.size(), suffix) == 0)
        return sweepPath.substr(0, sweepPath.size() - suffix.size()) + ".json";
    return sweepPath + ".json";
}

} // namespace measure
