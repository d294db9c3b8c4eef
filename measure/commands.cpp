#include "measure/commands.h"

#include <algorithm>
#include <cstdio>

#include "measure/analysis.h"
#include "measure/calibration.h"
#include "measure/command_line.h"
#include "measure/exit_codes.h"
#include "measure/failure.h"
#include "measure/gate_and_smoothing.h"
#include "measure/json_files.h"
#include "measure/measure_files.h"
#include "measure/report_files.h"
#include "measure/room_json.h"
#include "measure/summary.h"
#include "measure/tool_files.h"
#include "platform/console.h"
#include "platform/file_system.h"

namespace measure {

namespace {

int sweepCommand(const std::vector<std::string>& args) {
    SweepSettings settings;
    OptionParser options;
    options.valued("--rate", whole(&settings.rate))
        .valued("--from", number(&settings.from))
        .valued("--to", number(&settings.to))
        .valued("--seconds", number(&settings.seconds))
        .valued("--level", number(&settings.levelDb))
        .valued("--channels", whole(&settings.channels))
        .valued("--on", whole(&settings.on))
        .valued("--tail", number(&settings.tail));
    const std::string path =
        readArguments(options, args, 1, "sweep takes one file name").positional[0];
    return attempt(
        [&] {
            const SweepPlan plan = planSweep(settings);
            const std::vector<float> sweep = sweepSamples(plan);
            const size_t channels = static_cast<size_t>(plan.channels);
            std::vector<float> frames(static_cast<size_t>(plan.totalFrames()) * channels, 0.0f);
            const size_t first = static_cast<size_t>(plan.silenceBefore);
            for (size_t n = 0; n < sweep.size(); ++n)
                frames[(first + n) * channels + static_cast<size_t>(plan.on - 1)] = sweep[n];
            writeFloatWav(path, plan.rate, plan.channels, frames);
            writeTextFile(parametersPath(path), sweepParametersJson(plan));
            printSweepSummary(plan, path);
        },
        "Error: Not enough memory for the sweep!", stdout);
}

struct AnalyzeRequest {
    std::string sweep, recording, dir;
    int harmonics = 5;
    int reference = 0; // a channel of the recording, from 1; 0 for none
    std::vector<CalibrationChoice> calibrations;
    bool json = false;
    bool room = false;
    room::BandWidth bands = room::BandWidth::octave;
    double gateMs = 0.0;
    int smoothing = 0;
};

AnalyzeRequest analyzeRequest(const std::vector<std::string>& args) {
    AnalyzeRequest r;
    OptionParser options;
    options.valued("--dir", commandline::text(&r.dir))
        .valued("--harmonics", whole(&r.harmonics, 2, 20))
        .valued("--bands", bandWidth(&r.bands))
        .valued("--gate", gateMs(&r.gateMs))
        .valued("--smooth", smoothingFraction(&r.smoothing))
        .valued("--reference", channelNumber(&r.reference))
        .valued("--cal", calibrations(&r.calibrations))
        .flag("--json", &r.json)
        .flag("--room", &r.room);
    const Arguments a =
        readArguments(options, args, 2, "analyze takes the sweep file and the recording");
    needs(a, "--bands", "--room");
    r.sweep = a.positional[0];
    r.recording = a.positional[1];
    if (r.dir.empty())
        r.dir = withoutWav(r.recording) + "-measure";
    return r;
}

// A recording with parameters beside it, given where the sweep belongs, is
// most likely the sweep itself: the two files were given the wrong way round.
SweepPlan readParametersOf(const std::string& sweepPath, const std::string& recordingPath) {
    try {
        return readSweepParameters(parametersPath(sweepPath));
    } catch (const Failure&) {
        if (!isRegularFile(parametersPath(sweepPath).c_str()) &&
            isRegularFile(parametersPath(recordingPath).c_str()))
            throw Failure(kNoParameters,
                          "Error: " + sweepPath + " has no sweep parameters beside it, but " +
                              recordingPath +
                              " has: the first file must be the sweep that was played, the "
                              "second the recording!");
        throw;
    }
}

SweepPlan sweepOf(const std::string& sweepPath, const std::string& recordingPath) {
    const WavInfo played = readWavInfo(sweepPath);
    const std::string parameters = parametersPath(sweepPath);
    SweepPlan plan = readParametersOf(sweepPath, recordingPath);
    if (played.rate != plan.rate || played.channels != plan.channels ||
        played.frames != plan.totalFrames())
        throw Failure(kNoParameters, "Error: The parameters " + parameters + " do not describe " +
                                         sweepPath + "!");
    return plan;
}

void checkRecording(const SweepPlan& plan, const std::string& path) {
    const WavInfo info = readWavInfo(path);
    if (info.rate != plan.rate)
        throw Failure(kRateMismatch, "Error: The recording " + path + " is at " +
                                         std::to_string(info.rate) + " Hz, the sweep at " +
                                         std::to_string(plan.rate) + " Hz!");
    if (info.frames < plan.totalFrames())
        throw Failure(kRecordingTooShort, "Error: The recording " + path + " holds " +
                                              std::to_string(info.frames) +
                                              " frames, fewer than the sweep's " +
                                              std::to_string(plan.totalFrames()) + "!");
}

// A reference or calibration channel the recording does not have.
void checkChannelsNamed(const AnalyzeRequest& request, int channels) {
    auto refuse = [&](const std::string& option, int channel) {
        if (channel > channels)
            throw Failure(kUsage, "Error: " + option + " names channel " + std::to_string(channel) +
                                      ", but the recording has " + std::to_string(channels) +
                                      " channel(s)!");
    };
    refuse("--reference", request.reference);
    for (const CalibrationChoice& choice : request.calibrations)
        refuse("--cal", choice.input);
}

void refuseSilentReference(const Results& results) {
    if (referenceFails(results))
        throw Failure(kNoSignal, "Error: The reference, channel " +
                                     std::to_string(results.reference) +
                                     ", is below its noise: nothing to divide by!\nCheck that the "
                                     "reference input is wired straight from the output that "
                                     "played.");
}

void nameWhatWasAnalysed(const AnalyzeRequest& request, Results& results) {
    results.sweepFile = fullPathName(request.sweep.c_str());
    results.recording = fullPathName(request.recording.c_str());
    results.date = utcDate();
    results.programVersion = TANDEM_VERSION;
}

// Every file the results name is written before results.json, which comes
// last and in one step: a results.json that says complete has all its files.
void writeResults(Results& results, const std::string& dir) {
    makeResultsFolder(dir);
    for (ChannelResult& channel : results.channels) {
        const std::string input = std::to_string(channel.input);
        if (!channel.belowNoise)
            writeChannelFiles(
                dir, input, results.sweep.rate, channel,
                {"input " + input, results.reference, results.gateMs, results.smoothing},
                results.harmonicsCounted);
    }
    results.complete = true;
    const std::string json = resultsJson(results);
    writeReportPage(dir, json);
    writeTextFile(joinPath(dir, "results.json"), json);
}

// A failed analysis leaves no results that claim to be complete: one in the
// folder from an earlier run is replaced by the failure.
std::string recordFailure(const AnalyzeRequest& request, Results& results,
                          const std::string& message) {
    results.complete = false;
    results.error = message;
    return replaceWithFailure(request.dir, resultsJson(results));
}

int analyzeCommand(const std::vector<std::string>& args) {
    const AnalyzeRequest request = analyzeRequest(args);
    // With --json, standard output holds the JSON alone.
    std::FILE* messages = request.json ? stderr : stdout;
    Results results;
    const int code = attempt(
        [&] {
            const SweepPlan plan = sweepOf(request.sweep, request.recording);
            results.sweep = plan;
            if (request.gateMs > 0.0 && !request.room)
                refuseGatePast(linearResponseKeptMs(plan), request.gateMs);
            checkRecording(plan, request.recording);
            const std::vector<CalibrationCurve> curves = readCalibrations(request.calibrations);
            const Recording recording = readRecording(request.recording);
            checkChannelsNamed(request, recording.info.channels);
            results = analyseRecording(plan, recording, request.harmonics,
                                       request.room ? ResponseKept::wholeRecording
                                                    : ResponseKept::linearWindow,
                                       request.reference);
            nameWhatWasAnalysed(request, results);
            refuseSilentReference(results);
            if (!anyChannelResponds(results))
                throw Failure(kNoSignal, noSignalMessage(results));
            if (request.room)
                for (ChannelResult& channel : results.channels)
                    addRoomFigures(channel, plan.rate, request.bands);
            addGatedResponses(request.gateMs, plan.rate, results);
            for (ChannelResult& channel : results.channels)
                applyCalibration(request.calibrations, curves, results.reference, channel);
            addSmoothedResponses(request.smoothing, results);
            writeResults(results, request.dir);
        },
        "Error: Not enough memory for the recording and its analysis!", messages, request.json,
        [&](int, const std::string& message) { return recordFailure(request, results, message); });
    if (code != kDone)
        return code;
    printAnalysisSummary(messages, results, request.dir);
    for (const ChannelResult& channel : results.channels)
        if (channel.hasRoom)
            printRoomTable(messages, "Input " + std::to_string(channel.input) + ", room",
                           channel.room);
    if (request.json)
        std::fputs(resultsJson(results).c_str(), stdout);
    return kDone;
}

} // namespace

int measureMain(int argc, char** argv) {
    useUtf8Console();
    const std::vector<std::string> words(argv + std::min(argc, 1), argv + argc);
    const bool json = commandline::jsonAsked(words);
    const std::string command = words.empty() ? "" : words[0];
    const std::vector<std::string> args(words.begin() + std::min<size_t>(words.size(), 1),
                                        words.end());
    using Command = int (*)(const std::vector<std::string>&);
    const std::pair<const char*, Command> commands[] = {
        {"sweep", sweepCommand}, {"analyze", analyzeCommand},     {"run", runCommand},
        {"room", roomCommand},   {"interface", interfaceCommand}, {"report", reportCommand}};
    try {
        for (const auto& [name, run] : commands)
            if (command == name)
                return std::count(args.begin(), args.end(), "--help") > 0
                           ? printUsage("", usageText(command), json)
                           : run(args);
        if (command == "--help" || command == "-h" || command == "help")
            return printUsage("", usageText(), json);
        throw UsageError{command.empty() ? "no command given" : "unknown command " + command};
    } catch (const UsageError& e) {
        return printUsage(e.problem, usageText(), json);
    }
}

} // namespace measure
