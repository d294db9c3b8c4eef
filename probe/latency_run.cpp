#include "probe/latency_run.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "driversession/formatted_text.h"
#include "driversession/latency_detect.h"
#include "driversession/latency_signal.h"
#include "driversession/streaming_device.h"
#include "platform/win32api.h"

namespace {

int fail(LatencyOutcome& outcome, int code, const std::string& error) {
    outcome.exitCode = code;
    outcome.error = error;
    return code;
}

// The probe's code for each StreamFailure, in its order.
constexpr int kStreamExitCodes[] = {kProbeDone,          kProbeDriverNotLoaded, kProbeDriverInit,
                                    kProbeChannels,      kProbeBufferSize,      kProbeSampleRate,
                                    kProbeCreateBuffers, kProbeNativeFormat,    kProbeNoMemory,
                                    kProbeStart,         kProbeInterrupted,     kProbeNoSignal};

int failOn(LatencyOutcome& outcome, const StreamingDevice& device, StreamFailure failure) {
    return failure == StreamFailure::None
               ? kProbeDone
               : fail(outcome, kStreamExitCodes[static_cast<int>(failure)], device.error());
}

// One pass of the material; the recording is left empty unless it completed.
int playOnce(StreamingDevice& device, const LatencyRequest& request,
             const std::vector<float>& playback, LatencyOutcome& outcome,
             std::vector<float>& recording, uint32_t* lost) {
    std::vector<std::vector<float>> recordings;
    const int code = failOn(outcome, device, device.take(request.output, playback, &recordings));
    *lost = device.lostInLastTake();
    if (code == kProbeDone)
        recording = std::move(recordings[0]);
    return code;
}

std::string noSignalMessage(const LatencyRequest& request, const LatencyOutcome& outcome,
                            const Detection& detection) {
    const std::string path =
        formatted("No signal came back from output %d to input %d", request.output, request.input);
    if (detection.beyondWindow)
        return path + formatted(" within %.3f s: it came back after %d frames (%.3f s), so the "
                                "window was too short; give --max-latency %.0f",
                                outcome.windowFrames / outcome.setup.rate, detection.lag,
                                detection.lag / outcome.setup.rate,
                                std::ceil(detection.lag / outcome.setup.rate) + 1.0);
    if (std::isinf(detection.snrDb) && detection.snrDb < 0)
        return path + " (the input stayed silent)";
    return path + formatted(" (signal-to-noise %.1f dB, %.0f dB needed)", detection.snrDb,
                            kMinDetectionSnrDb);
}

// The reported round trip, when the driver tells one.
int64_t reportedRoundTrip(const LatencyOutcome& outcome) {
    if (outcome.setup.latencyResult != ASE_OK)
        return 0;
    return int64_t{outcome.setup.inputLatency} + outcome.setup.outputLatency;
}

int measureRuns(StreamingDevice& device, const LatencyRequest& request, LatencyOutcome& outcome) {
    const std::vector<float> sequence = testSequence(request.levelDb);
    outcome.windowFrames = detectionWindowFrames(outcome.setup.rate, reportedRoundTrip(outcome),
                                                 request.maxLatencySeconds);
    const std::vector<float> playback = testPlayback(sequence, outcome.windowFrames);
    const uint32_t waitMs = static_cast<uint32_t>(request.waitSeconds * 1000.0);
    const uint32_t begun = timeGetTime();
    for (int32_t run = 0; run < request.runs; ++run) {
        std::vector<float> recording;
        uint32_t lost = 0;
        const int code = playOnce(device, request, playback, outcome, recording, &lost);
        if (code != kProbeDone)
            return code;
        const Detection detection = detectSignal(sequence, recording, outcome.windowFrames);
        if (run == 0 && !detection.found && !detection.beyondWindow &&
            timeGetTime() - begun < waitMs) {
            --run; // not wired yet: play again
            continue;
        }
        outcome.windowTooShort = detection.beyondWindow;
        if (!detection.found)
            return fail(outcome, kProbeNoSignal, noSignalMessage(request, outcome, detection));
        outcome.runs.push_back({detection.lag, detection.snrDb, detection.inverted, lost});
    }
    return kProbeDone;
}

} // namespace

LatencyOutcome measureLatency(const LatencyRequest& request) {
    LatencyOutcome outcome;
    StreamRequest stream;
    stream.driverName = request.driverName;
    stream.firstOutput = stream.lastOutput = request.output;
    stream.firstInput = stream.lastInput = request.input;
    stream.bufferFrames = request.bufferFrames;
    stream.rate = request.sampleRate;
    stream.channelWords = formatted("output %d and input %d", request.output, request.input);
    StreamingDevice device;
    int code = failOn(outcome, device, device.open(stream));
    outcome.setup = device.setup();
    if (code == kProbeDone)
        code = measureRuns(device, request, outcome);
    if (code != kProbeDone)
        outcome.runs.clear();
    // Buffers disposed, driver exited and released, on every path.
    device.close();
    return outcome;
}
