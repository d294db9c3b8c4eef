#include "measure/summary.h"

#include <cmath>

#include "measure/analysis.h"
#include "measure/command_line.h"
#include "measure/json_files.h"

namespace measure {

namespace {

// The grid point nearest f (on a logarithmic scale).
template <typename Point> const Point* nearest(const std::vector<Point>& points, double f) {
    const Point* best = nullptr;
    for (const Point& p : points)
        if (best == nullptr || std::fabs(std::log(p.hz / f)) < std::fabs(std::log(best->hz / f)))
            best = &p;
    return best;
}

// THD at the grid frequency nearest 1 kHz where every order counted lies in
// the band; none of the orders measured there leaves it below the noise.
void printThd(std::FILE* out, const ChannelResult& c, const SweepPlan& sweep,
              int harmonicsCounted) {
    std::vector<LevelPoint> eligible;
    for (double f : frequencyGrid(sweep.from, sweep.to))
        if (harmonicsCounted * f <= sweep.to * (1.0 + 1e-9))
            eligible.push_back({f, 0.0, false});
    const LevelPoint* target = nearest(eligible, 1000.0);
    if (target == nullptr)
        return;
    const ThdPoint* thd = nearest(c.thd, target->hz);
    if (thd != nullptr && std::fabs(thd->hz / target->hz - 1.0) < 1e-6)
        std::fprintf(out, "  THD at %.0f Hz: %.4f %%\n", thd->hz, thd->percent);
    else
        std::fprintf(out, "  THD at %.0f Hz: below the noise\n", target->hz);
}

// The range over what the linear response's cut (and the gate) resolves.
void printRange(std::FILE* out, const char* name, const std::vector<ResponsePoint>& points) {
    const ResponsePoint* first = nullptr;
    double low = 0.0, high = 0.0;
    for (const ResponsePoint& p : points) {
        if (p.belowResolution || p.belowGate)
            continue;
        low = first == nullptr ? p.db : std::fmin(low, p.db);
        high = first == nullptr ? p.db : std::fmax(high, p.db);
        first = first == nullptr ? &p : first;
    }
    if (first != nullptr)
        std::fprintf(out, "  %s %g to %g Hz: %+.2f to %+.2f dB\n", name, first->hz,
                     points.back().hz, low, high);
}

void printChannel(std::FILE* out, const ChannelResult& c, const Results& results,
                  const std::string& dir) {
    const double rate = results.sweep.rate;
    if (c.belowNoise) {
        std::fprintf(out, "Input %d: %s\n", c.input,
                     isSilent(c) ? "silent" : "no response above its noise");
        return;
    }
    std::fprintf(out, "Input %d: delay %lld frames (%.3f ms)", c.input,
                 static_cast<long long>(c.delayFrames), 1000.0 * c.delayFrames / rate);
    if (c.noiseMeasured)
        std::fprintf(out, ", signal-to-noise %.1f dB, noise floor %.1f dB", hundredths(c.snrDb),
                     hundredths(c.noiseFloorDb));
    std::fprintf(out, "\n");
    printReferencing(out, c, results.reference, rate);
    printResponseFigures(out, c, results.sweep, results.harmonicsCounted);
    if (c.clippedSamples > 0)
        std::fprintf(out, "  %llu samples at full scale\n",
                     static_cast<unsigned long long>(c.clippedSamples));
    std::fprintf(out, "  impulse response: %s\n", joinPath(dir, c.impulseResponse).c_str());
    if (!c.frd.empty())
        std::fprintf(out, "  for other tools: %s, %s\n", joinPath(dir, c.frd).c_str(),
                     joinPath(dir, c.csv).c_str());
}

} // namespace

void printReferencing(std::FILE* out, const ChannelResult& c, int reference, double rate) {
    if (c.hasRelativeDelay)
        std::fprintf(out, "  referenced to input %d: relative delay %.2f frames (%.3f ms)\n",
                     reference, c.relativeDelayFrames, 1000.0 * c.relativeDelayFrames / rate);
    else if (reference > 0 && c.input == reference)
        std::fprintf(out, "  the reference: its own response and distortion\n");
    if (!c.calibrationFile.empty())
        std::fprintf(out, "  calibrated by %s\n", c.calibrationFile.c_str());
}

bool isSilent(const ChannelResult& channel) {
    return channel.belowNoise && !channel.noiseMeasured;
}

void printResponseFigures(std::FILE* out, const ChannelResult& c, const SweepPlan& sweep,
                          int harmonicsCounted) {
    printRange(out, "response", c.response);
    printRange(out, "gated response", c.gatedResponse);
    printRange(out, "smoothed response", c.smoothedResponse);
    printThd(out, c, sweep, harmonicsCounted);
}

void printSweepSummary(const SweepPlan& plan, const std::string& path) {
    std::printf("Sweep written to %s: %g to %g Hz over %.3f s (reported band %g to %g Hz), "
                "%g dBFS, on channel %d of %d, %lld frames at %d Hz\n",
                path.c_str(), plan.sweptFrom, plan.sweptTo, plan.seconds, plan.from, plan.to,
                plan.levelDb, plan.on, plan.channels, static_cast<long long>(plan.totalFrames()),
                plan.rate);
    std::printf("Play it with tandemwav on output channel %d, recording the inputs to measure; "
                "then run tandemwav-measure analyze %s RECORDING.wav\n",
                plan.on, path.c_str());
}

void printAnalysisSummary(std::FILE* out, const Results& results, const std::string& dir) {
    if (results.clippedSamples > 0)
        std::fprintf(out,
                     "Warning: %llu samples of the recording are at full scale (clipped); "
                     "lower the level and measure again!\n",
                     static_cast<unsigned long long>(results.clippedSamples));
    for (const ChannelResult& channel : results.channels)
        printChannel(out, channel, results, dir);
    std::fprintf(out, "Results: %s\nReport: %s\n", joinPath(dir, "results.json").c_str(),
                 joinPath(dir, "report.html").c_str());
}

bool anyChannelResponds(const Results& results) {
    for (const ChannelResult& channel : results.channels)
        if (!channel.belowNoise)
            return true;
    return false;
}

std::string noSignalMessage(const Results& results) {
    return "Error: No signal came back on any of the recording's " +
           std::to_string(results.channels.size()) +
           " channel(s)!\nCheck the cable or loop from the sweep's output to the inputs recorded, "
           "the channel numbers, and that the inputs are not muted.";
}

} // namespace measure
