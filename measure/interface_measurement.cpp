#include "measure/interface_measurement.h"

#include <algorithm>
#include <ctime>

#include "engine/device_state.h"
#include "measure/analysis.h"
#include "measure/clipping.h"
#include "measure/device_run.h"
#include "measure/exit_codes.h"
#include "measure/failure.h"
#include "measure/interface_figures.h"
#include "measure/interface_tones.h"
#include "measure/recording_checks.h"
#include "measure/sweep_plan.h"

namespace measure {

namespace {

using Inputs = std::vector<std::vector<float>>;

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    char text[32] = "";
    if (const std::tm* utc = std::gmtime(&now))
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
    return text;
}

// The sweep of the response: from 10 Hz to 0.9 times half the rate, swept on
// to 0.95 times, so that the -3 dB points just outside the audio band are
// found and the band's top is clear of the sweep's fade-out. 8 s make the
// response of a bit-exact loop flat to 0.02 dB down to 20 Hz (4 s leave
// 0.12 dB of the analysis's own ripple there).
SweepPlan interfaceSweep(double rate) {
    SweepSettings s;
    s.rate = static_cast<int>(rate);
    s.from = 10.0;
    s.to = 0.9 * rate / 2.0;
    s.seconds = 8.0;
    return planSweep(s);
}

class InterfaceRun {
  public:
    InterfaceRun(const InterfaceRequest& request, const InterfaceProgress& progress,
                 const RetakeNotice& retakeNotice, InterfaceResults& results)
        : request_(request), progress_(progress), retakeNotice_(retakeNotice), results_(results) {}

    void measure() {
        capture_.open(request_.device);
        results_.setup = capture_.setup();
        const double rate = results_.setup.rate;
        const SweepPlan sweep = interfaceSweep(rate);
        const std::vector<float> sweepTake = sweepMaterial(sweep);
        const int pairs = request_.device.lastOutput - request_.device.firstOutput + 1;
        takes_ = 2 * pairs;
        for (int k = 0; k < pairs; ++k) {
            InterfacePair pair;
            pair.output = request_.device.firstOutput + k;
            pair.input = request_.device.firstInput + k;
            const Inputs swept = take(pair.output, 1, sweepTake);
            const Results analysed = analyseRecording(sweep, recordingOf(swept, sweep.rate), 2);
            const ChannelResult& direct = analysed.channels[static_cast<size_t>(k)];
            if (direct.belowNoise)
                throw Failure(kNoSignal, noSignal(pair));
            addResponseFigures(direct, pair);
            measureTones(direct.delayFrames, pair);
            addLatencyFigures(direct, results_.setup, pair);
            results_.pairs.push_back(std::move(pair));
        }
    }

  private:
    const InterfaceRequest& request_;
    const InterfaceProgress& progress_;
    const RetakeNotice& retakeNotice_;
    InterfaceResults& results_;
    RunResults takeLog_; // the takes as run's retake rule records them
    DeviceCapture capture_;
    int takes_ = 0, taken_ = 0;

    void measureTones(int64_t delay, InterfacePair& pair) {
        // The tail brings the last tone back through the loop, with a block to spare.
        const size_t tail = static_cast<size_t>(std::max<int64_t>(delay, 0)) +
                            static_cast<size_t>(results_.setup.bufferFrames) +
                            static_cast<size_t>(0.1 * results_.setup.rate);
        const TonePlan plan = planTones(results_.setup.rate, request_.quick, tail);
        results_.windowFrames = static_cast<int64_t>(plan.window);
        results_.noiseFrames = static_cast<int64_t>(plan.noiseFrames);
        const Inputs recorded = take(pair.output, 2, toneMaterial(plan));
        refuseNonFiniteSamples(recordingOf(recorded, static_cast<int>(results_.setup.rate)));
        const ToneTake tones{plan,
                             recorded,
                             request_.device.firstInput,
                             delay,
                             fullScaleOf(static_cast<int>(bytesPerSample)),
                             request_.quick};
        addToneFigures(tones, pair);
    }

    // Taken again while the driver loses blocks, as run takes its repeats:
    // the output's sweep take counts as its repeat 1, its tone take as 2.
    Inputs take(int output, int repeat, const std::vector<float>& material) {
        ++taken_;
        if (progress_)
            progress_(output, repeat == 1 ? "sweep" : "tones", taken_, takes_);
        Inputs recorded;
        try {
            recorded = cleanTake(capture_, output, repeat, material, kTakeAttempts - 1,
                                 retakeNotice_, takeLog_);
        } catch (const Failure&) {
            keepTakeLog(material.size());
            throw;
        }
        keepTakeLog(material.size());
        return recorded;
    }

    void keepTakeLog(size_t frames) {
        const TakeRecord& last = takeLog_.takes.back();
        results_.takes.push_back(last);
        results_.retakes += static_cast<int>(last.lostBlocks.size()) - 1;
        results_.takeSeconds += static_cast<double>(last.lostBlocks.size()) *
                                static_cast<double>(frames) / results_.setup.rate;
        results_.setup.lostBlocks = capture_.setup().lostBlocks;
    }

    std::string noSignal(const InterfacePair& pair) const {
        return "Error: No signal came back from output " + std::to_string(pair.output) +
               " to input " + std::to_string(pair.input) +
               "!\nCheck the cable or loop from that output to the input, the channel numbers, "
               "and that the input is not muted.";
    }
};

} // namespace

void measureInterface(const InterfaceRequest& request, const InterfaceProgress& progress,
                      const RetakeNotice& retakeNotice, InterfaceResults& results) {
    results.device = request.device.driverName;
    results.quick = request.quick;
    results.date = utcNow();
    InterfaceRun(request, progress, retakeNotice, results).measure();
}

} // namespace measure
