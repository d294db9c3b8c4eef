#include "probe/latency_report.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "driversession/json_writer.h"
#include "driversession/latency_verdict.h"
#include "driversession/safe_text.h"
#include "probe/latency_run.h"
#include "probe/sample_types.h"

namespace {

double milliseconds(int64_t frames, double rate) {
    return 1000.0 * static_cast<double>(frames) / rate;
}

bool reported(const LatencyOutcome& outcome) {
    return outcome.setup.latencyResult == ASE_OK;
}

int64_t reportedTotal(const LatencyOutcome& outcome) {
    return int64_t{outcome.setup.inputLatency} + outcome.setup.outputLatency;
}

void printRun(size_t index, const LatencyRunResult& run, double rate) {
    std::printf("Run %u: %d %s (%.3f ms), signal-to-noise %.1f dB",
                static_cast<unsigned>(index + 1), run.frames, framesWord(run.frames),
                milliseconds(run.frames, rate), run.snrDb);
    if (run.inverted)
        std::printf(", polarity inverted");
    if (run.lostBlocks != 0)
        std::printf(", %u buffer(s) lost or repeated by the driver", run.lostBlocks);
    std::printf("\n");
}

void printMeasured(const LatencyOutcome& outcome) {
    const MeasuredFigure figure = measuredFigure(outcome);
    std::printf("Measured round trip: %d %s (%.3f ms)", figure.frames, framesWord(figure.frames),
                milliseconds(figure.frames, outcome.setup.rate));
    if (figure.least == figure.most)
        std::printf(", the same in every run\n");
    else
        std::printf(", the median of runs from %d to %d frames (spread %d)\n", figure.least,
                    figure.most, figure.most - figure.least);
}

void printReported(const LatencyOutcome& outcome) {
    if (!reported(outcome)) {
        std::printf("Reported by the driver: nothing (getLatencies answered %d)\n",
                    outcome.setup.latencyResult);
        return;
    }
    const int64_t total = reportedTotal(outcome);
    std::printf("Reported by the driver: input %d + output %d = %lld %s (%.3f ms)\n",
                outcome.setup.inputLatency, outcome.setup.outputLatency,
                static_cast<long long>(total), framesWord(total),
                milliseconds(total, outcome.setup.rate));
}

Json runJson(const LatencyRunResult& run, double rate) {
    return {{"frames", run.frames},
            {"ms", milliseconds(run.frames, rate)},
            {"snrDb", run.snrDb},
            {"inverted", run.inverted},
            {"lostBlocks", run.lostBlocks}};
}

Json measuredJson(const LatencyOutcome& outcome) {
    const MeasuredFigure figure = measuredFigure(outcome);
    return {{"frames", figure.frames},
            {"ms", milliseconds(figure.frames, outcome.setup.rate)},
            {"min", figure.least},
            {"max", figure.most},
            {"spread", figure.most - figure.least}};
}

Json reportedJson(const LatencyOutcome& outcome) {
    const bool known = reported(outcome);
    const int64_t total = reportedTotal(outcome);
    return {{"result", outcome.setup.latencyResult},
            {"input", known ? Json(outcome.setup.inputLatency) : Json()},
            {"output", known ? Json(outcome.setup.outputLatency) : Json()},
            {"total", known ? Json(total) : Json()},
            {"ms", known ? Json(milliseconds(total, outcome.setup.rate)) : Json()}};
}

} // namespace

MeasuredFigure measuredFigure(const LatencyOutcome& outcome) {
    std::vector<int32_t> frames;
    for (const LatencyRunResult& run : outcome.runs)
        frames.push_back(run.frames);
    std::sort(frames.begin(), frames.end());
    return {frames[(frames.size() - 1) / 2], frames.front(), frames.back()};
}

std::string latencyVerdict(const LatencyOutcome& outcome) {
    return latencyVerdict(reported(outcome), reportedTotal(outcome),
                          measuredFigure(outcome).frames);
}

void printLatencyText(const LatencyRequest& request, const LatencyOutcome& outcome) {
    std::printf("Round-trip latency of \"%s\", output %d to input %d\n",
                printableText(outcome.setup.driverName).c_str(), request.output, request.input);
    std::printf("Buffer %d frames, %.0f Hz, native %s, test signal %.1f dBFS, %d run(s)\n",
                outcome.setup.bufferFrames, outcome.setup.rate,
                sampleTypeName(outcome.setup.sampleType), request.levelDb, request.runs);
    for (size_t k = 0; k < outcome.runs.size(); ++k)
        printRun(k, outcome.runs[k], outcome.setup.rate);
    printMeasured(outcome);
    printReported(outcome);
    std::printf("Verdict: %s\n", latencyVerdict(outcome).c_str());
}

std::string latencyJson(const LatencyRequest& request, const LatencyOutcome& outcome) {
    const Json runs = jsonArray(outcome.runs, [&](const LatencyRunResult& run) {
        return runJson(run, outcome.setup.rate);
    });
    const int64_t missing = measuredFigure(outcome).frames - reportedTotal(outcome);
    return jsonText({{"requestedName", request.driverName},
                     {"exitCode", outcome.exitCode},
                     {"driver", {{"name", outcome.setup.driverName}}},
                     {"output", request.output},
                     {"input", request.input},
                     {"bufferFrames", outcome.setup.bufferFrames},
                     {"sampleRate", outcome.setup.rate},
                     {"sampleType", outcome.setup.sampleType},
                     {"sampleTypeName", sampleTypeName(outcome.setup.sampleType)},
                     {"levelDb", request.levelDb},
                     {"runs", runs},
                     {"measured", measuredJson(outcome)},
                     {"reported", reportedJson(outcome)},
                     {"underReportedBy", reported(outcome) ? Json(missing) : Json()},
                     {"verdict", latencyVerdict(outcome)}});
}
