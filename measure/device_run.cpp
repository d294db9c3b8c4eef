#include "measure/device_run.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "driversession/latency_verdict.h"
#include "measure/analysis.h"
#include "measure/exit_codes.h"
#include "measure/failure.h"
#include "measure/gate_and_smoothing.h"
#include "measure/json_files.h"
#include "measure/measure_files.h"
#include "wav/clipping.h"

namespace measure {

namespace {

using Takes = std::vector<std::vector<std::vector<float>>>; // [repeat][input][frame]

// What a silence chosen from the reported round trip holds beyond it: the
// device's response and a stretch of noise alone.
constexpr double kReportedRoundTripMargin = 0.5;

} // namespace

Recording recordingOf(const std::vector<std::vector<float>>& inputs, int rate, float fullScale) {
    Recording r;
    const size_t channels = inputs.size();
    const size_t frames = channels == 0 ? 0 : inputs[0].size();
    r.info = WavInfo{rate, static_cast<int>(channels), static_cast<int64_t>(frames)};
    r.samples.resize(frames * channels);
    for (size_t c = 0; c < channels; ++c) {
        for (size_t t = 0; t < frames; ++t)
            r.samples[t * channels + c] = inputs[c][t];
        r.clipped.push_back(clippedSamples(inputs[c].data(), frames, 1, fullScale));
    }
    return r;
}

namespace {

// The input whose linear response is largest; -1 when none responds.
int strongestInput(const Results& results) {
    int strongest = -1;
    for (size_t c = 0; c < results.channels.size(); ++c) {
        const ChannelResult& ch = results.channels[c];
        if (!ch.belowNoise &&
            (strongest < 0 || std::fabs(ch.peak) > std::fabs(results.channels[strongest].peak)))
            strongest = static_cast<int>(c);
    }
    return strongest;
}

// Sample by sample over the repeats kept.
std::vector<std::vector<float>> averageOf(const Takes& takes, const std::vector<bool>& kept) {
    std::vector<std::vector<double>> sum;
    int count = 0;
    for (size_t k = 0; k < takes.size(); ++k) {
        if (!kept[k])
            continue;
        if (sum.empty())
            for (const std::vector<float>& input : takes[k])
                sum.emplace_back(input.size(), 0.0);
        for (size_t c = 0; c < takes[k].size(); ++c)
            for (size_t t = 0; t < takes[k][c].size(); ++t)
                sum[c][t] += takes[k][c][t];
        ++count;
    }
    std::vector<std::vector<float>> average(sum.size());
    for (size_t c = 0; c < sum.size(); ++c) {
        average[c].resize(sum[c].size());
        for (size_t t = 0; t < sum[c].size(); ++t)
            average[c][t] = static_cast<float>(sum[c][t] / count);
    }
    return average;
}

// Crosstalk is a matter of the pair's own paths: a reference does not
// divide it.
const std::vector<ResponsePoint>& ownResponse(const ChannelResult& c) {
    return c.unreferencedResponse.empty() ? c.response : c.unreferencedResponse;
}

// Mean power of the response over the band's grid, which is logarithmic, so
// every octave weighs the same.
double bandPower(const ChannelResult& c) {
    const std::vector<ResponsePoint>& response = ownResponse(c);
    double sum = 0.0;
    for (const ResponsePoint& p : response)
        sum += std::pow(10.0, p.db / 10.0);
    return response.empty() ? 0.0 : sum / static_cast<double>(response.size());
}

// The magnitude in dB at 1 kHz, between the grid's points; false outside it.
bool levelAt1k(const ChannelResult& c, double* db) {
    const std::vector<ResponsePoint>& response = ownResponse(c);
    for (size_t i = 1; i < response.size(); ++i) {
        const ResponsePoint& a = response[i - 1];
        const ResponsePoint& b = response[i];
        if (a.hz <= 1000.0 && b.hz >= 1000.0) {
            const double t = b.hz > a.hz ? std::log(1000.0 / a.hz) / std::log(b.hz / a.hz) : 0.0;
            *db = a.db + t * (b.db - a.db);
            return true;
        }
    }
    return false;
}

} // namespace

std::string verdictOf(const DeviceSetup& setup, int64_t delay) {
    return latencyVerdict(setup.latencyResult == ASE_OK,
                          int64_t{setup.inputLatency} + setup.outputLatency, delay);
}

namespace {

class OutputMeasurement {
  public:
    OutputMeasurement(const RunRequest& request, RunResults& results, int output)
        : request_(request), results_(results), output_(output) {}

    // The repeats' delays checked, the kept ones averaged and analysed.
    // Returns the averaging gain in dB for this output's direct path.
    double finish(const Takes& takes) {
        std::vector<Results> analysed;
        for (const auto& take : takes) {
            endIfInterrupted();
            analysed.push_back(analyse(take, 0));
        }
        const std::vector<bool> kept = keptRepeats(analysed);
        endIfInterrupted();
        // The average of one take is that take, already analysed (undivided:
        // a reference divides it once more).
        if (takes.size() == 1 && request_.reference == 0)
            return addFigures(analysed[0], analysed, kept);
        return addFigures(analyseAverage(averageOf(takes, kept)), analysed, kept);
    }

    // Each repeat's delay, that of its strongest input; false in hasDelay
    // where no input responded. Throws when none responded in any repeat.
    void delaysOf(const std::vector<Results>& analysed, std::vector<int64_t>& delays,
                  std::vector<bool>& hasDelay) const {
        for (const Results& repeat : analysed) {
            const int strongest = strongestInput(repeat);
            hasDelay.push_back(strongest >= 0);
            delays.push_back(strongest >= 0 ? repeat.channels[strongest].delayFrames : 0);
        }
        // No repeat in which any input responded: there is nothing to average.
        if (std::find(hasDelay.begin(), hasDelay.end(), true) == hasDelay.end())
            throw Failure(kNoSignal, noSignal());
    }

    // The repeats that share the delay most of them have; the others named.
    std::vector<bool> keptRepeats(const std::vector<Results>& analysed) {
        std::vector<int64_t> delays;
        std::vector<bool> hasDelay;
        delaysOf(analysed, delays, hasDelay);
        const int64_t reference = referenceDelay(delays, hasDelay);
        std::vector<bool> kept(analysed.size());
        for (size_t k = 0; k < analysed.size(); ++k) {
            kept[k] = hasDelay[k] && delays[k] == reference;
            if (!kept[k])
                exclude(k, hasDelay[k], delays[k]);
        }
        return kept;
    }

    void exclude(size_t repeat, bool hasDelay, int64_t delay) {
        results_.excluded.push_back({output_, static_cast<int>(repeat) + 1, hasDelay, delay});
    }

    // The averaged response's pairs and crosstalk; the averaging gain.
    double addFigures(const Results& average, const std::vector<Results>& analysed,
                      const std::vector<bool>& kept) {
        results_.bandLimitEtcDb = average.bandLimitEtcDb;
        const int direct = strongestInput(average);
        if (direct < 0)
            throw Failure(kNoSignal, noSignal());
        addPairs(average);
        addCrosstalk(average, direct);
        return gain(average, analysed, kept, direct);
    }

  private:
    const RunRequest& request_;
    RunResults& results_;
    int output_;

    // The repeats are checked for their delays alone; the reference divides
    // their average.
    Results analyse(const std::vector<std::vector<float>>& inputs, int reference) const {
        return analyseRecording(
            results_.plan,
            recordingOf(inputs, results_.plan.rate, fullScaleOf(results_.setup.sampleBytes)),
            request_.harmonics,
            request_.room ? ResponseKept::wholeRecording : ResponseKept::linearWindow, reference);
    }

    // A reference that stays below its noise is named as the input it is.
    Results analyseAverage(const std::vector<std::vector<float>>& average) const {
        Results results = analyse(average, referenceChannel());
        if (referenceFails(results))
            throw Failure(kNoSignal,
                          "Error: The reference, input " + std::to_string(request_.reference) +
                              ", is below its noise when output " + std::to_string(output_) +
                              " plays: nothing to divide by!\nWire the reference "
                              "input straight from the outputs measured.");
        return results;
    }

    // The reference input's channel among those recorded, from 1; 0 for none.
    int referenceChannel() const {
        return request_.reference > 0 ? request_.reference - request_.device.firstInput + 1 : 0;
    }

    std::string noSignal() const {
        return "Error: No signal came back from output " + std::to_string(output_) + " to inputs " +
               std::to_string(request_.device.firstInput) + " to " +
               std::to_string(request_.device.lastInput) +
               "!\nCheck the cable or loop from that output to the inputs, the channel numbers, "
               "and that the inputs are not muted.";
    }

    void addPairs(const Results& average) {
        for (const ChannelResult& channel : average.channels) {
            PairResult pair;
            pair.output = output_;
            pair.channel = channel;
            pair.channel.input = request_.device.firstInput + channel.input - 1;
            if (!channel.belowNoise)
                pair.latencyVerdict = verdictOf(results_.setup, channel.delayFrames);
            results_.clippedSamples += channel.clippedSamples;
            results_.pairs.push_back(std::move(pair));
        }
    }

    // Below its noise, a pair's bound is its noise against the direct path's peak.
    void addCrosstalk(const Results& average, int direct) {
        const ChannelResult& d = average.channels[static_cast<size_t>(direct)];
        const double directPower = bandPower(d);
        double direct1k = 0.0;
        const bool has1k = levelAt1k(d, &direct1k);
        for (const ChannelResult& c : average.channels) {
            CrosstalkEntry e;
            e.output = output_;
            e.input = request_.device.firstInput + c.input - 1;
            e.belowNoise = c.belowNoise;
            if (c.belowNoise) {
                e.hasDb = c.noiseMeasured;
                e.db = c.noiseFloorDb - 20.0 * std::log10(std::fabs(d.peak));
                e.hasDb1k = e.hasDb;
                e.db1k = e.db;
            } else {
                e.db = 10.0 * std::log10(bandPower(c) / directPower);
                double level = 0.0;
                e.hasDb1k = has1k && levelAt1k(c, &level);
                e.db1k = e.hasDb1k ? level - direct1k : 0.0;
            }
            results_.crosstalk.push_back(e);
        }
    }

    static double gain(const Results& average, const std::vector<Results>& repeats,
                       const std::vector<bool>& kept, int direct) {
        double sum = 0.0;
        int count = 0;
        for (size_t k = 0; k < repeats.size(); ++k) {
            const ChannelResult& c = repeats[k].channels[static_cast<size_t>(direct)];
            if (kept[k] && !c.belowNoise && c.noiseMeasured) {
                sum += c.snrDb;
                ++count;
            }
        }
        const ChannelResult& a = average.channels[static_cast<size_t>(direct)];
        return count > 0 && a.noiseMeasured ? a.snrDb - sum / count : 0.0;
    }
};

// Takes one repeat, and takes it again at once while the driver loses or
// repeats blocks: a damaged take's figures look plausible and are wrong, and
// the repeats' delay check cannot catch it, as the peak does not move.
class CleanTaker {
  public:
    CleanTaker(DeviceCapture& capture, int retakes, const RetakeNotice& notice, RunResults& results)
        : capture_(capture), attempts_(retakes + 1), notice_(notice), results_(results) {}

    std::vector<std::vector<float>> take(int output, int repeat,
                                         const std::vector<float>& material) {
        return takeWith(output, repeat, output, [&] { return capture_.take(output, material); });
    }

    // Every output at once, output c from frame starts[c]: output 0 in the
    // notices, the first output in the takes' record.
    std::vector<std::vector<float>> takeEvery(int firstOutput, int repeat,
                                              const std::vector<float>& material,
                                              const std::vector<int64_t>& starts) {
        return takeWith(0, repeat, firstOutput,
                        [&] { return capture_.takeStaggered(material, starts); });
    }

  private:
    DeviceCapture& capture_;
    int attempts_;
    const RetakeNotice& notice_;
    RunResults& results_;

    template <typename Take>
    std::vector<std::vector<float>> takeWith(int output, int repeat, int recordedOutput,
                                             Take takeOnce) {
        TakeRecord record{recordedOutput, repeat, {}};
        for (;;) {
            std::vector<std::vector<float>> recorded = takeOnce();
            results_.setup.lostBlocks = capture_.setup().lostBlocks;
            const uint32_t lost = capture_.lostInLastTake();
            record.lostBlocks.push_back(lost);
            const int attempt = static_cast<int>(record.lostBlocks.size());
            if (lost == 0 || attempt == attempts_) {
                results_.takes.push_back(record);
                if (lost != 0)
                    throw Failure(kDamagedTake, damaged(record, output == 0));
                return recorded;
            }
            if (notice_)
                notice_(output, repeat, lost, attempt + 1, attempts_);
        }
    }

    static std::string damaged(const TakeRecord& record, bool everyOutput) {
        std::string counts;
        for (uint32_t lost : record.lostBlocks)
            counts += (counts.empty() ? "" : ", ") + std::to_string(lost);
        return "Error: " +
               (everyOutput ? std::string("Every output")
                            : "Output " + std::to_string(record.output)) +
               ", repeat " + std::to_string(record.repeat) + " lost or repeated blocks in all " +
               std::to_string(record.lostBlocks.size()) + " attempt(s) (blocks lost: " + counts +
               ")!\nA busy machine makes the driver lose blocks: measure with less load or a "
               "longer --buffer, or allow more attempts with --retakes N.";
    }
};

} // namespace

std::vector<std::vector<float>> cleanTake(DeviceCapture& capture, int output, int repeat,
                                          const std::vector<float>& material, int retakes,
                                          const RetakeNotice& notice, RunResults& results) {
    return CleanTaker(capture, retakes, notice, results).take(output, repeat, material);
}

std::vector<float> sweepMaterial(const SweepPlan& plan) {
    std::vector<float> material(static_cast<size_t>(plan.totalFrames()), 0.0f);
    const std::vector<float> sweep = sweepSamples(plan);
    std::copy(sweep.begin(), sweep.end(),
              material.begin() + static_cast<std::ptrdiff_t>(plan.silenceBefore));
    return material;
}

int64_t referenceDelay(const std::vector<int64_t>& delays, const std::vector<bool>& hasDelay) {
    int64_t best = 0;
    int bestCount = 0;
    for (size_t k = 0; k < delays.size(); ++k) {
        if (!hasDelay[k])
            continue;
        int count = 0;
        for (size_t j = 0; j < delays.size(); ++j)
            count += hasDelay[j] && delays[j] == delays[k] ? 1 : 0;
        if (count > bestCount) {
            best = delays[k];
            bestCount = count;
        }
    }
    return best;
}

namespace {

// Without a tail asked for, the silence after the sweep covers the round trip
// the driver reports and 0.5 s more, when that is longer than the default.
SweepSettings withReportedRoundTrip(SweepSettings sweep, const DeviceSetup& setup) {
    if (sweep.tail >= 0.0 || setup.latencyResult != ASE_OK || !(setup.rate > 0.0))
        return sweep;
    const double roundTrip =
        (static_cast<double>(setup.inputLatency) + setup.outputLatency) / setup.rate;
    const double wanted = std::min(roundTrip + kReportedRoundTripMargin, kLongestTail);
    if (wanted > planSweep(sweep).tail)
        sweep.tail = wanted;
    return sweep;
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point begun) {
    return std::chrono::duration<double>(Clock::now() - begun).count();
}

// Seconds a take of `frames` plays, in whole buffers.
double takeSeconds(int64_t frames, const RunResults& results) {
    const int64_t buffer = std::max(results.setup.bufferFrames, 1);
    return static_cast<double>((frames + buffer - 1) / buffer * buffer) / results.plan.rate;
}

// Every output at once, K times: the takes of every repeat, analysed per
// output. A take in which any output's delay differs from that output's
// reference is left out for all of them, as it is one recording; each
// output whose delay differed is named.
class OverlapMeasurement {
  public:
    OverlapMeasurement(const RunRequest& request, RunResults& results)
        : request_(request), results_(results) {}

    double finish(const Takes& takes) {
        std::vector<std::vector<Results>> analysed; // [repeat][output]
        for (const auto& take : takes) {
            endIfInterrupted();
            analysed.push_back(analyse(take));
        }
        const size_t outputs = results_.overlapPlan.outputs.starts.size();
        std::vector<bool> kept(takes.size(), true);
        std::vector<std::vector<Results>> perOutput(outputs);
        for (size_t j = 0; j < outputs; ++j) {
            for (auto& repeat : analysed)
                perOutput[j].push_back(std::move(repeat[j]));
            keepSharedDelay(j, perOutput[j], kept);
        }
        endIfInterrupted();
        // The average of one take is that take, already analysed.
        const std::vector<Results> average =
            takes.size() == 1 ? std::vector<Results>() : analyse(averageOf(takes, kept));
        double gainSum = 0.0;
        for (size_t j = 0; j < outputs; ++j) {
            gainSum += measurementOf(j).addFigures(takes.size() == 1 ? perOutput[j][0] : average[j],
                                                   perOutput[j], kept);
            results_.missingOutputs.erase(results_.missingOutputs.begin());
        }
        return gainSum / static_cast<double>(outputs);
    }

  private:
    const RunRequest& request_;
    RunResults& results_;

    OutputMeasurement measurementOf(size_t j) const {
        return OutputMeasurement(request_, results_,
                                 request_.device.firstOutput + static_cast<int>(j));
    }

    std::vector<Results> analyse(const std::vector<std::vector<float>>& inputs) const {
        return analyseStaggeredRecording(
            results_.plan, results_.overlapPlan.outputs,
            recordingOf(inputs, results_.plan.rate, fullScaleOf(results_.setup.sampleBytes)),
            request_.harmonics);
    }

    void keepSharedDelay(size_t j, const std::vector<Results>& repeats, std::vector<bool>& kept) {
        OutputMeasurement output = measurementOf(j);
        std::vector<int64_t> delays;
        std::vector<bool> hasDelay;
        output.delaysOf(repeats, delays, hasDelay);
        const int64_t reference = referenceDelay(delays, hasDelay);
        for (size_t k = 0; k < repeats.size(); ++k)
            if (!hasDelay[k] || delays[k] != reference) {
                kept[k] = false;
                output.exclude(k, hasDelay[k], delays[k]);
            }
        if (std::find(kept.begin(), kept.end(), true) == kept.end())
            throw Failure(kNoSignal, "Error: No repeat of the overlapping sweeps shares every "
                                     "output's delay with the others!\nMeasure again, or one "
                                     "output after another without --overlap.");
    }
};

// One output after another, K times each.
void measureInTurn(const RunRequest& request, const RunProgress& progress, CleanTaker& taker,
                   RunResults& results) {
    const std::vector<float> material = sweepMaterial(results.plan);
    const int outputs = request.device.lastOutput - request.device.firstOutput + 1;
    const int takes = outputs * request.repeats;
    const double perTakeGuess = takeSeconds(results.plan.totalFrames(), results);
    const Clock::time_point begun = Clock::now();
    double gainSum = 0.0;
    int take = 0;
    for (int output = request.device.firstOutput; output <= request.device.lastOutput; ++output) {
        Takes recorded;
        for (int repeat = 1; repeat <= request.repeats; ++repeat, ++take) {
            const double perTake = take > 0 ? secondsSince(begun) / take : perTakeGuess;
            if (progress)
                progress(output, repeat, take + 1, takes, perTake * (takes - take));
            recorded.push_back(taker.take(output, repeat, material));
        }
        gainSum += OutputMeasurement(request, results, output).finish(recorded);
        results.missingOutputs.erase(results.missingOutputs.begin());
        results.averagingGainDb = gainSum / (output - request.device.firstOutput + 1);
    }
}

// Every output at once, one take per repeat.
void measureOverlapping(const RunRequest& request, const RunProgress& progress, CleanTaker& taker,
                        RunResults& results) {
    const std::vector<float> material = sweepMaterial(results.plan);
    const double perTakeGuess = takeSeconds(results.overlapPlan.takeFrames, results);
    const Clock::time_point begun = Clock::now();
    Takes recorded;
    for (int repeat = 1; repeat <= request.repeats; ++repeat) {
        const double perTake = repeat > 1 ? secondsSince(begun) / (repeat - 1) : perTakeGuess;
        if (progress)
            progress(0, repeat, repeat, request.repeats, perTake * (request.repeats - repeat + 1));
        recorded.push_back(taker.takeEvery(request.device.firstOutput, repeat, material,
                                           results.overlapPlan.outputs.starts));
    }
    results.averagingGainDb = OverlapMeasurement(request, results).finish(recorded);
}

// The run's time with each take's playing replaced by one output's take
// after another's.
double oneAfterAnother(const RunRequest& request, const RunResults& results) {
    const int outputs = request.device.lastOutput - request.device.firstOutput + 1;
    const double overlapping = takeSeconds(results.overlapPlan.takeFrames, results);
    const double inTurn = outputs * takeSeconds(results.plan.totalFrames(), results);
    return results.runSeconds + request.repeats * (inTurn - overlapping);
}

} // namespace

void measureDevice(const RunRequest& request, const RunProgress& progress,
                   const RetakeNotice& retake, RunResults& results) {
    results.device = request.device.driverName;
    results.harmonics = request.harmonics;
    results.repeats = request.repeats;
    results.reference = request.reference;
    results.overlap = request.overlap;
    results.date = utcDate();
    SweepSettings sweep = request.sweep;
    const int outputs = request.device.lastOutput - request.device.firstOutput + 1;
    // A sweep that cannot be made at an asked rate, or that has no room for
    // the overlap's windows, is refused before the driver is touched.
    if (request.rateGiven) {
        results.plan = planSweep(sweep);
        if (request.overlap)
            planOverlap(results.plan, request.irSeconds, request.harmonics, outputs);
    }
    DeviceCapture capture;
    capture.open(request.device);
    results.setup = capture.setup();
    sweep.rate = static_cast<int>(std::lround(results.setup.rate));
    results.plan = planSweep(withReportedRoundTrip(sweep, results.setup));
    if (request.overlap)
        results.overlapPlan =
            planOverlap(results.plan, request.irSeconds, request.harmonics, outputs);
    // Overlapping outputs keep each response for the window asked.
    if (request.gateMs > 0.0 && !request.room)
        refuseGatePast(request.overlap ? 1000.0 * request.irSeconds
                                       : linearResponseKeptMs(results.plan),
                       request.gateMs);
    for (int output = request.device.firstOutput; output <= request.device.lastOutput; ++output)
        results.missingOutputs.push_back(output);
    const Clock::time_point begun = Clock::now();
    CleanTaker taker(capture, request.retakes, retake, results);
    if (request.overlap)
        measureOverlapping(request, progress, taker, results);
    else
        measureInTurn(request, progress, taker, results);
    results.runSeconds = secondsSince(begun);
    if (request.overlap)
        results.oneAfterAnotherSeconds = oneAfterAnother(request, results);
}

} // namespace measure
