#include "probe/latency_report.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "probe/json_writer.h"
#include "probe/latency_run.h"
#include "probe/safe_text.h"
#include "probe/sample_types.h"

namespace {

double milliseconds(int64_t frames, double rate) {
    return 1000.0 * static_cast<double>(frames) / rate;
}

const char* framesWord(int64_t frames) {
    return frames == 1 || frames == -1 ? "frame" : "frames";
}

bool reported(const LatencyOutcome& outcome) {
    return outcome.reportedResult == ASE_OK;
}

int64_t reportedTotal(const LatencyOutcome& outcome) {
    return int64_t{outcome.reportedInput} + outcome.reportedOutput;
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
                milliseconds(figure.frames, outcome.sampleRate));
    if (figure.least == figure.most)
        std::printf(", the same in every run\n");
    else
        std::printf(", the median of runs from %d to %d frames (spread %d)\n", figure.least,
                    figure.most, figure.most - figure.least);
}

void printReported(const LatencyOutcome& outcome) {
    if (!reported(outcome)) {
        std::printf("Reported by the driver: nothing (getLatencies answered %d)\n",
                    outcome.reportedResult);
        return;
    }
    const int64_t total = reportedTotal(outcome);
    std::printf("Reported by the driver: input %d + output %d = %lld %s (%.3f ms)\n",
                outcome.reportedInput, outcome.reportedOutput, static_cast<long long>(total),
                framesWord(total), milliseconds(total, outcome.sampleRate));
}

std::string runJson(const LatencyRunResult& run, double rate) {
    return JsonObject()
        .add("frames", jsonInt(run.frames))
        .add("ms", jsonNumber(milliseconds(run.frames, rate)))
        .add("snrDb", jsonNumber(run.snrDb))
        .add("inverted", jsonBool(run.inverted))
        .add("lostBlocks", std::to_string(run.lostBlocks))
        .text();
}

std::string measuredJson(const LatencyOutcome& outcome) {
    const MeasuredFigure figure = measuredFigure(outcome);
    return JsonObject()
        .add("frames", jsonInt(figure.frames))
        .add("ms", jsonNumber(milliseconds(figure.frames, outcome.sampleRate)))
        .add("min", jsonInt(figure.least))
        .add("max", jsonInt(figure.most))
        .add("spread", jsonInt(figure.most - figure.least))
        .text();
}

std::string reportedJson(const LatencyOutcome& outcome) {
    const bool known = reported(outcome);
    const int64_t total = reportedTotal(outcome);
    return JsonObject()
        .add("result", jsonInt(outcome.reportedResult))
        .add("input", known ? jsonInt(outcome.reportedInput) : "null")
        .add("output", known ? jsonInt(outcome.reportedOutput) : "null")
        .add("total", known ? std::to_string(total) : "null")
        .add("ms", known ? jsonNumber(milliseconds(total, outcome.sampleRate)) : "null")
        .text();
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
    if (!reported(outcome))
        return "the driver does not report its latencies";
    const int64_t missing = measuredFigure(outcome).frames - reportedTotal(outcome);
    if (missing == 0)
        return "the driver reports the round trip exactly";
    const int64_t size = missing > 0 ? missing : -missing;
    return "the driver reports " + std::to_string(size) + " " + framesWord(size) +
           (missing > 0 ? " less" : " more") + " than the loop takes";
}

void printLatencyText(const LatencyRequest& request, const LatencyOutcome& outcome) {
    std::printf("Round-trip latency of \"%s\", output %d to input %d\n",
                printableText(outcome.driverName).c_str(), request.output, request.input);
    std::printf("Buffer %d frames, %.0f Hz, native %s, test signal %.1f dBFS, %d run(s)\n",
                outcome.bufferFrames, outcome.sampleRate, sampleTypeName(outcome.sampleType),
                request.levelDb, request.runs);
    for (size_t k = 0; k < outcome.runs.size(); ++k)
        printRun(k, outcome.runs[k], outcome.sampleRate);
    printMeasured(outcome);
    printReported(outcome);
    std::printf("Verdict: %s\n", latencyVerdict(outcome).c_str());
}

std::string latencyJson(const LatencyRequest& request, const LatencyOutcome& outcome) {
    std::vector<std::string> runs;
    for (const LatencyRunResult& run : outcome.runs)
        runs.push_back(runJson(run, outcome.sampleRate));
    const int64_t missing = measuredFigure(outcome).frames - reportedTotal(outcome);
    return JsonObject()
        .add("requestedName", jsonString(request.driverName))
        .add("exitCode", jsonInt(outcome.exitCode))
        .add("driver", JsonObject().add("name", jsonString(outcome.driverName)).text())
        .add("output", jsonInt(request.output))
        .add("input", jsonInt(request.input))
        .add("bufferFrames", jsonInt(outcome.bufferFrames))
        .add("sampleRate", jsonNumber(outcome.sampleRate))
        .add("sampleType", jsonInt(outcome.sampleType))
        .add("sampleTypeName", jsonString(sampleTypeName(outcome.sampleType)))
        .add("levelDb", jsonNumber(request.levelDb))
        .add("runs", jsonArray(runs))
        .add("measured", measuredJson(outcome))
        .add("reported", reportedJson(outcome))
        .add("underReportedBy", reported(outcome) ? std::to_string(missing) : "null")
        .add("verdict", jsonString(latencyVerdict(outcome)))
        .text();
}
