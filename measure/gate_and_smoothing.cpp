#include "measure/gate_and_smoothing.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <string>

#include "dsp/octave_smoothing.h"
#include "dsp/response_gate.h"
#include "measure/analysis.h"
#include "measure/exit_codes.h"
#include "measure/failure.h"

namespace measure {

namespace {

const double kPi = std::acos(-1.0);

size_t peakOf(const std::vector<float>& h) {
    size_t peak = 0;
    for (size_t n = 1; n < h.size(); ++n)
        if (std::fabs(h[n]) > std::fabs(h[peak]))
            peak = n;
    return peak;
}

std::string millisecondsText(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", std::floor(ms * 10.0) / 10.0);
    return text;
}

std::complex<double> complexOf(const ResponsePoint& p) {
    return std::polar(std::pow(10.0, p.db / 20.0), p.deg * kPi / 180.0);
}

ResponsePoint pointOf(double hz, std::complex<double> value) {
    ResponsePoint p;
    p.hz = hz;
    // A response that cancels to nothing is drawn at the plots' floor.
    p.db = std::max(20.0 * std::log10(std::abs(value)), -200.0);
    p.deg = std::arg(value) * 180.0 / kPi;
    return p;
}

std::string keptTooShort(double gateMs, const std::string& what, double keptMs) {
    return "Error: A gate of " + millisecondsText(gateMs) + " ms reaches past " + what +
           ", which this sweep keeps for " + millisecondsText(keptMs) +
           " ms after its peak; shorten the gate or lengthen the sweep!";
}

// Fills channel.gatedResponse on the response's grid from its impulse
// response, for a gate and a channel that responds. Throws
// Failure(kBadSweepSetting) when the gate reaches past the impulse response
// kept.
void addGatedResponse(ChannelResult& channel, double rate, double gateMs) {
    const std::vector<float>& h = channel.impulseSamples;
    if (!(gateMs > 0.0) || channel.belowNoise || h.empty() || channel.response.empty())
        return;
    const size_t peak = peakOf(h);
    const dsp::ResponseGate gate(static_cast<double>(peak), rate, gateMs);
    if (gate.closedAt() > static_cast<double>(h.size() - 1))
        throw Failure(kBadSweepSetting,
                      keptTooShort(gateMs, "input " + std::to_string(channel.input) + "'s response",
                                   1000.0 * static_cast<double>(h.size() - 1 - peak) / rate));
    std::vector<double> hz;
    for (const ResponsePoint& p : channel.response)
        hz.push_back(p.hz);
    const std::vector<std::complex<double>> values = dsp::gatedSpectrum(h, gate, rate, hz);
    channel.gatedResponse.clear();
    for (size_t i = 0; i < hz.size(); ++i) {
        ResponsePoint p = pointOf(hz[i], values[i]);
        p.belowGate = hz[i] < gate.resolvedFromHz();
        channel.gatedResponse.push_back(p);
    }
}

// Fills channel.smoothedResponse of a channel that responds: the gated
// response smoothed when there is one, else the response. fraction: N of 1/N
// octave, one dsp offers; 0 for none.
void addSmoothedResponse(ChannelResult& channel, int fraction) {
    if (fraction <= 0 || channel.belowNoise)
        return;
    const std::vector<ResponsePoint>& raw =
        channel.gatedResponse.empty() ? channel.response : channel.gatedResponse;
    std::vector<double> hz;
    std::vector<std::complex<double>> values;
    for (const ResponsePoint& p : raw) {
        hz.push_back(p.hz);
        values.push_back(complexOf(p));
    }
    const std::vector<std::complex<double>> smoothed = dsp::smoothOctave(hz, values, fraction);
    channel.smoothedResponse.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        ResponsePoint p = pointOf(hz[i], smoothed[i]);
        // What marks the raw point marks its window's centre.
        p.belowResolution = raw[i].belowResolution;
        p.belowGate = raw[i].belowGate;
        p.calibrated = raw[i].calibrated;
        channel.smoothedResponse.push_back(p);
    }
}

} // namespace

double linearResponseKeptMs(const SweepPlan& plan) {
    return 1000.0 * static_cast<double>(linearFramesFromPeak(plan) - 1) / plan.rate;
}

void refuseGatePast(double keptMs, double gateMs) {
    if (gateMs > keptMs)
        throw Failure(kBadSweepSetting, keptTooShort(gateMs, "the linear response", keptMs));
}

void addGatedResponses(double gateMs, int rate, Results& results) {
    results.gateMs = gateMs;
    for (ChannelResult& channel : results.channels)
        addGatedResponse(channel, rate, gateMs);
}

void addGatedResponses(double gateMs, RunResults& results) {
    results.gateMs = gateMs;
    for (PairResult& pair : results.pairs)
        addGatedResponse(pair.channel, results.plan.rate, gateMs);
}

void addSmoothedResponses(int smoothing, Results& results) {
    results.smoothing = smoothing;
    for (ChannelResult& channel : results.channels)
        addSmoothedResponse(channel, smoothing);
}

void addSmoothedResponses(int smoothing, RunResults& results) {
    results.smoothing = smoothing;
    for (PairResult& pair : results.pairs)
        addSmoothedResponse(pair.channel, smoothing);
}

} // namespace measure
