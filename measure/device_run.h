// A whole device measured in one go: each chosen output in turn plays the
// sweep, the others silent, K times, while every chosen input records. The
// repeats of one output are checked for one delay to the sample, those that
// share it are averaged, and the average is analysed per (output, input)
// pair, with the crosstalk between them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "measure/device_capture.h"
#include "measure/measure_files.h"
#include "measure/overlap_plan.h"
#include "measure/results.h"
#include "measure/sweep_plan.h"

namespace measure {

struct RunRequest {
    DeviceRequest device;
    SweepSettings sweep; // its rate is the device's when none is asked for
    bool rateGiven = false;
    int repeats = 1;
    int retakes = 3; // per take that lost or repeated blocks
    int harmonics = 5;
    bool room = false; // the responses kept whole, for room figures
    int reference = 0; // the input every other one is divided by, from 1; 0 for none
    // Every output in one take per repeat, staggered (overlap_plan.h), each
    // response read from a window of irSeconds after its onset.
    bool overlap = false;
    double irSeconds = 0.3;
    double gateMs = 0.0; // 0: not gated
};

struct PairResult {
    int output = 0;
    ChannelResult channel;      // channel.input: the device's input, from 1
    std::string latencyVerdict; // the probe's words
};

struct CrosstalkEntry {
    int output = 0;
    int input = 0;
    bool hasDb = true; // false for an input that stayed silent: no level to bound
    double db = 0.0;   // band-averaged power against the direct path
    bool hasDb1k = false;
    double db1k = 0.0;       // magnitude at 1 kHz against the direct path
    bool belowNoise = false; // db (and db1k) are then an upper bound
};

struct ExcludedRepeat {
    int output = 0;
    int repeat = 0;        // from 1
    bool hasDelay = false; // false when nothing responded in that repeat
    int64_t delayFrames = 0;
};

// One take as it was finally taken: the blocks lost or repeated in each
// attempt, the last attempt's count 0 unless the run ended on it.
struct TakeRecord {
    int output = 0;
    int repeat = 0; // from 1
    std::vector<uint32_t> lostBlocks;
};

struct RunResults {
    bool complete = false;
    // Not complete, but the outputs measured in full are kept: a take that
    // stayed damaged ended the run.
    bool partial = false;
    std::string error;
    std::string device; // the name asked for
    DeviceSetup setup;
    SweepPlan plan;
    int harmonics = 0;
    int repeats = 0;
    int reference = 0; // an input, from 1; 0 for none
    double averagingGainDb = 0.0;
    uint64_t clippedSamples = 0;
    std::vector<double> bandLimitEtcDb; // as Results holds it
    double gateMs = 0.0;                // as Results holds them
    int smoothing = 0;
    std::string date; // UTC, ISO 8601
    std::vector<PairResult> pairs;
    std::vector<CrosstalkEntry> crosstalk;
    std::vector<ExcludedRepeat> excluded;
    std::vector<TakeRecord> takes;
    std::vector<int> missingOutputs; // chosen outputs not measured in full
    bool overlap = false;
    OverlapPlan overlapPlan;
    // The run's seconds from the first take to the last figure, and the same
    // with one output played after another instead (an estimate).
    double runSeconds = 0.0;
    double oneAfterAnotherSeconds = 0.0;
};

// Progress and retakes name output 0 for a take that plays every output.
// Which take is next, how many there are, and the seconds left by estimate.
using RunProgress =
    std::function<void(int output, int repeat, int take, int takes, double secondsLeft)>;

// A take that lost or repeated blocks, taken again: attempt is the next one's
// number, from 2, of at most attempts.
using RetakeNotice =
    std::function<void(int output, int repeat, uint32_t lost, int attempt, int attempts)>;

// Throws Failure with the probe's codes for the device, kBandAboveRate or
// kBadSweepSetting for the sweep, kNoSignal for an output that reaches no
// chosen input or a response later than the sweep file holds, kDamagedTake
// for a take that lost or repeated blocks in every attempt, 130 when
// interrupted. `results` holds what is known so far (the device, the sweep,
// the outputs measured in full, the takes) when it throws.
void measureDevice(const RunRequest& request, const RunProgress& progress,
                   const RetakeNotice& retake, RunResults& results);

// One take, taken again at once while the driver loses or repeats blocks, up
// to `retakes` times, as run takes each repeat: recorded in results.takes,
// Failure(kDamagedTake) when every attempt was damaged.
std::vector<std::vector<float>> cleanTake(DeviceCapture& capture, int output, int repeat,
                                          const std::vector<float>& material, int retakes,
                                          const RetakeNotice& notice, RunResults& results);

// The takes of one repeat as one recording of every input, as analyze reads
// a file: interleaved, full scale 1.0, clipped samples counted against the
// device's own full scale (wav/clipping.h).
Recording recordingOf(const std::vector<std::vector<float>>& inputs, int rate, float fullScale);

// The probe's latency verdict on a measured round trip against the driver's report.
std::string verdictOf(const DeviceSetup& setup, int64_t delay);

// The sweep file's samples: silence, the faded sweep, silence.
std::vector<float> sweepMaterial(const SweepPlan& plan);

// The delay most repeats share, the first repeat's on a tie; repeats without
// a delay (hasDelay false) never count.
int64_t referenceDelay(const std::vector<int64_t>& delays, const std::vector<bool>& hasDelay);

} // namespace measure
