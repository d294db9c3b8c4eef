// The run and report commands: a whole device measured in one go, and its
// page drawn again from its results.
#include <cmath>
#include <cstdio>

#include "measure/calibration.h"
#include "measure/command_line.h"
#include "measure/commands.h"
#include "measure/device_run.h"
#include "measure/exit_codes.h"
#include "measure/failure.h"
#include "measure/gate_and_smoothing.h"
#include "measure/json_files.h"
#include "measure/measure_files.h"
#include "measure/report_files.h"
#include "measure/room_json.h"
#include "measure/run_json.h"
#include "measure/summary.h"
#include "measure/tool_files.h"
#include "platform/file_system.h"

namespace measure {

namespace {

struct RunOptions {
    RunRequest request;
    DeviceOptions device;
    room::BandWidth bands = room::BandWidth::octave;
    // The reverberation time a room is measured for: the silence after the
    // sweep lasts at least this long with --room.
    double roomSeconds = 3.0;
    int smoothing = 0;
    std::vector<CalibrationChoice> calibrations;
};

// The reference and the calibrated inputs must be among those recorded.
void refuseUnrecordedInputs(const RunOptions& o) {
    const DeviceRequest& d = o.request.device;
    auto refuse = [&](const std::string& option, int input) {
        if (input != 0 && (input < d.firstInput || input > d.lastInput))
            throw UsageError{option + " names input " + std::to_string(input) +
                             ", which --inputs does not record"};
    };
    refuse("--reference", o.request.reference);
    for (const CalibrationChoice& choice : o.calibrations)
        refuse("--cal", choice.input);
}

RunOptions runOptions(const std::vector<std::string>& args) {
    RunOptions o;
    RunRequest& r = o.request;
    OptionParser options = deviceOptions(o.device);
    options.valued("--from", number(&r.sweep.from))
        .valued("--to", number(&r.sweep.to))
        .valued("--seconds", number(&r.sweep.seconds))
        .valued("--level", number(&r.sweep.levelDb))
        .valued("--tail", number(&r.sweep.tail))
        .valued("--repeats", whole(&r.repeats, 1, 100))
        .valued("--retakes", whole(&r.retakes, 0, 100))
        .valued("--harmonics", whole(&r.harmonics, 2, 20))
        .valued("--bands", bandWidth(&o.bands))
        .valued("--room-seconds", number(&o.roomSeconds))
        .valued("--gate", gateMs(&r.gateMs))
        .valued("--smooth", smoothingFraction(&o.smoothing))
        .valued("--reference", channelNumber(&r.reference))
        .valued("--cal", calibrations(&o.calibrations))
        .flag("--room", &r.room)
        .flag("--overlap", &r.overlap)
        .valued("--ir-seconds", number(&r.irSeconds));
    const Arguments a = readArguments(options, args, 1, "run takes one driver name");
    completeDeviceOptions(o.device, a, "run", "-measure");
    needs(a, "--bands", "--room");
    needs(a, "--room-seconds", "--room");
    needs(a, "--ir-seconds", "--overlap");
    // A room's decay runs on past its window, into the other outputs'.
    if (r.overlap && r.room)
        throw UsageError{"--overlap and --room do not combine: a room's decay outlasts the "
                         "window each output has"};
    if (!(r.irSeconds > 0.0 && r.irSeconds <= kLongestTail))
        throw UsageError{"--ir-seconds takes more than 0 and at most 60"};
    if (!(o.roomSeconds > 0.0 && o.roomSeconds <= kLongestTail))
        throw UsageError{"--room-seconds takes more than 0 and at most 60"};
    if (r.room)
        r.sweep.leastTail = o.roomSeconds;
    r.device = o.device.device;
    r.rateGiven = a.given("--rate");
    if (r.rateGiven)
        r.sweep.rate = o.device.rate;
    refuseUnrecordedInputs(o);
    // Staggered takes are read per output from one recording: no reference
    // divides them yet.
    if (r.overlap && r.reference > 0)
        throw UsageError{"--reference does not go with --overlap"};
    return o;
}

// Output 0: a take that plays every output.
std::string outputWords(int output) {
    return output == 0 ? "Every output" : "Output " + std::to_string(output);
}

void showProgress(int output, int repeat, int take, int takes, double secondsLeft) {
    std::fprintf(stderr, "%s, repeat %d (take %d of %d), about %.0f s left\n",
                 outputWords(output).c_str(), repeat, take, takes, std::ceil(secondsLeft));
}

// Standard output, or standard error with --json: the retakes and failures.
std::FILE* runMessages = stdout;

void showRetake(int output, int repeat, uint32_t lost, int attempt, int attempts) {
    std::fprintf(runMessages,
                 "%s, repeat %d: %u block(s) lost or repeated; taking it again (attempt "
                 "%d of %d)\n",
                 outputWords(output).c_str(), repeat, lost, attempt, attempts);
    std::fflush(runMessages);
}

// The averaged responses first, the page next, results.json last and in one
// step: a results.json that says complete has all its files. One that keeps
// the outputs measured before a failure says it is not complete.
void writeRun(RunResults& results, const std::string& dir) {
    makeResultsFolder(dir);
    for (PairResult& pair : results.pairs) {
        const std::string output = std::to_string(pair.output);
        const std::string input = std::to_string(pair.channel.input);
        if (!pair.channel.belowNoise)
            writeChannelFiles(dir, "o" + output + "-i" + input, results.plan.rate, pair.channel,
                              {"output " + output + " -> input " + input, results.reference,
                               results.gateMs, results.smoothing},
                              results.harmonics);
    }
    results.complete = !results.partial;
    const std::string json = runResultsJson(results, TANDEM_VERSION);
    writeReportPage(dir, json);
    writeTextFile(joinPath(dir, "results.json"), json);
}

// The output's strongest input, 0 dB in its crosstalk row: the pair whose
// figures say what the device does.
bool isDirect(const RunResults& r, const PairResult& p) {
    for (const CrosstalkEntry& e : r.crosstalk)
        if (e.output == p.output && e.input == p.channel.input)
            return !e.belowNoise && e.hasDb && hundredths(e.db) == 0.0;
    return false;
}

void printPair(std::FILE* out, const RunResults& r, const PairResult& p) {
    const ChannelResult& c = p.channel;
    if (c.belowNoise) {
        std::fprintf(out, "Output %d -> input %d: %s\n", p.output, c.input,
                     isSilent(c) ? "silent" : "below its noise");
        return;
    }
    std::fprintf(out, "Output %d -> input %d: delay %lld frames (%s)", p.output, c.input,
                 static_cast<long long>(c.delayFrames), p.latencyVerdict.c_str());
    if (c.noiseMeasured)
        std::fprintf(out, ", SNR %.1f dB", hundredths(c.snrDb));
    std::fprintf(out, "\n");
    printReferencing(out, c, r.reference, r.plan.rate);
    if (isDirect(r, p) || c.hasRelativeDelay)
        printResponseFigures(out, c, r.plan, r.harmonics);
}

void printExcluded(std::FILE* out, const ExcludedRepeat& e) {
    if (e.hasDelay)
        std::fprintf(out,
                     "Repeat %d of output %d left out: its delay, %lld frames, differs from the "
                     "others'\n",
                     e.repeat, e.output, static_cast<long long>(e.delayFrames));
    else
        std::fprintf(out, "Repeat %d of output %d left out: nothing came back in it\n", e.repeat,
                     e.output);
}

void printCrosstalk(std::FILE* out, const CrosstalkEntry& e) {
    if (e.hasDb)
        std::fprintf(out, "Crosstalk output %d -> input %d: %s%.1f dB\n", e.output, e.input,
                     e.belowNoise ? "below " : "", hundredths(e.db));
    else
        std::fprintf(out, "Crosstalk output %d -> input %d: silent\n", e.output, e.input);
}

void printOverlap(std::FILE* out, const RunResults& r) {
    const OverlapPlan& o = r.overlapPlan;
    std::fprintf(out,
                 "Overlapping sweeps: %zu outputs in one take per repeat, %lld frames (%.3f s) "
                 "from group to group, %d output(s) to a group\n",
                 o.outputs.starts.size(), static_cast<long long>(o.gapFrames),
                 static_cast<double>(o.gapFrames) / r.plan.rate, o.perGroup);
    std::fprintf(out, "The run took %.1f s; one output after another would take about %.1f s\n",
                 r.runSeconds, r.oneAfterAnotherSeconds);
}

void printRunSummary(std::FILE* out, const RunResults& r, const std::string& dir) {
    std::fprintf(out, "%s (%s, version %d): buffer %d frames, %.0f Hz, %d repeat(s) per output\n",
                 r.device.c_str(), r.setup.driverName.c_str(), r.setup.driverVersion,
                 r.setup.bufferFrames, r.setup.rate, r.repeats);
    if (r.clippedSamples > 0)
        std::fprintf(out, "Warning: %llu samples at full scale (clipped); lower the level!\n",
                     static_cast<unsigned long long>(r.clippedSamples));
    for (const ExcludedRepeat& e : r.excluded)
        printExcluded(out, e);
    for (const PairResult& pair : r.pairs)
        printPair(out, r, pair);
    for (const CrosstalkEntry& e : r.crosstalk)
        printCrosstalk(out, e);
    // One repeat has nothing to average.
    if (r.repeats > 1)
        std::fprintf(out, "Averaging gain: %.1f dB\n", hundredths(r.averagingGainDb));
    if (r.overlap)
        printOverlap(out, r);
    std::fprintf(out, "Results: %s\nReport: %s\n", joinPath(dir, "results.json").c_str(),
                 joinPath(dir, "report.html").c_str());
}

// A failure leaves nothing that claims to be complete. A take that stayed
// damaged keeps the outputs measured in full before it, marked incomplete;
// any other failure replaces an earlier run's results with itself.
std::string failedRunJson(RunResults& results, int code, const std::string& message,
                          const std::string& dir) {
    results.complete = false;
    results.error = message;
    if (code == kDamagedTake) {
        results.partial = true;
        try {
            writeRun(results, dir);
            return runResultsJson(results, TANDEM_VERSION);
        } catch (const Failure& f) {
            std::fprintf(runMessages, "%s\n", f.what());
            results.partial = false;
            results.complete = false;
        }
    }
    return replaceWithFailure(dir, runResultsJson(results, TANDEM_VERSION));
}

} // namespace

int runCommand(const std::vector<std::string>& args) {
    const RunOptions options = runOptions(args);
    const std::string& dir = options.device.dir;
    std::FILE* messages = runMessages = options.device.messages();
    RunResults results;
    std::vector<CalibrationCurve> curves;
    // The outputs measured in full before a damaged take are kept: they are
    // calibrated as a whole run's are.
    auto calibratePairs = [&] {
        for (PairResult& pair : results.pairs)
            if (pair.channel.calibrationFile.empty())
                applyCalibration(options.calibrations, curves, results.reference, pair.channel);
    };
    const int code = driveDevice(
        [&] {
            curves = readCalibrations(options.calibrations);
            measureDevice(options.request, showProgress, showRetake, results);
        },
        [&] {
            if (options.request.room)
                for (PairResult& pair : results.pairs)
                    addRoomFigures(pair.channel, results.plan.rate, options.bands);
            addGatedResponses(options.request.gateMs, results);
            calibratePairs();
            addSmoothedResponses(options.smoothing, results);
            writeRun(results, dir);
        },
        options.device.json,
        [&](int failed, const std::string& message) {
            if (failed == kDamagedTake)
                calibratePairs();
            return failedRunJson(results, failed, message, dir);
        });
    if (code != kDone)
        return code;
    printRunSummary(messages, results, dir);
    for (const PairResult& pair : results.pairs)
        if (pair.channel.hasRoom)
            printRoomTable(messages,
                           "Output " + std::to_string(pair.output) + " -> input " +
                               std::to_string(pair.channel.input) + ", room",
                           pair.channel.room);
    if (options.device.json)
        std::fputs(runResultsJson(results, TANDEM_VERSION).c_str(), stdout);
    return kDone;
}

int reportCommand(const std::vector<std::string>& args) {
    const std::string dir =
        readArguments(OptionParser(), args, 1, "report takes one folder").positional[0];
    const int code =
        attempt([&] { redrawReport(dir); }, "Error: Not enough memory for the report!", stdout);
    if (code == kDone)
        std::printf("Report: %s\n", joinPath(dir, "report.html").c_str());
    return code;
}

} // namespace measure
