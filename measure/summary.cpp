#include "measure/summary.h"

#include <cmath>

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

void printChannel(std::FILE* out, const ChannelResult& c, double rate, const std::string& dir) {
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
    printResponseFigures(out, c);
    if (c.clippedSamples > 0)
        std::fprintf(out, "  %llu samples at full scale\n",
                     static_cast<unsigned long long>(c.clippedSamples));
    std::fprintf(out, "  impulse response: %s\n", joinPath(dir, c.impulseResponse).c_str());
}

} // namespace

bool isSilent(const ChannelResult& channel) {
    return channel.belowNoise && !channel.noiseMeasured;
}

void printResponseFigures(std::FILE* out, const ChannelResult& c) {
    double low = 0.0, high = 0.0;
    for (size_t i = 0; i < c.response.size(); ++i) {
        low = i == 0 ? c.response[i].db : std::fmin(low, c.response[i].db);
        high = i == 0 ? c.response[i].db : std::fmax(high, c.response[i].db);
    }
    if (!c.response.empty())
        std::fprintf(out, "  response %g to %g Hz: %+.2f to %+.2f dB\n", c.response.front().hz,
                     c.response.back().hz, low, high);
    if (const ThdPoint* thd = nearest(c.thd, 1000.0))
        std::fprintf(out, "  THD at %.0f Hz: %.4f %%\n", thd->hz, thd->percent);
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
        printChannel(out, channel, results.sweep.rate, dir);
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
