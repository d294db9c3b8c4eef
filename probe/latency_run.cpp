#include "probe/latency_run.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "asiohost/asio_calls.h"
#include "engine/channel_buffers.h"
#include "engine/device_state.h"
#include "engine/sample_stores.h"
#include "platform/interrupts.h"
#include "platform/win32api.h"
#include "probe/driver_session.h"
#include "probe/latency_detect.h"
#include "probe/latency_signal.h"
#include "probe/safe_text.h"
#include "probe/streamed_take.h"

namespace {

template <typename... Values> std::string formatted(const char* format, Values... values) {
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

int fail(LatencyOutcome& outcome, int code, const std::string& error) {
    outcome.exitCode = code;
    outcome.error = error;
    return code;
}

int checkDevice(const LatencyRequest& request, LatencyOutcome& outcome) {
    ASIOGetChannels(&deviceState.inputChannels, &deviceState.outputChannels);
    outcome.inputChannels = deviceState.inputChannels;
    outcome.outputChannels = deviceState.outputChannels;
    if (!channelRangeAdmissible(request.output, 1, deviceState.outputChannels) ||
        !channelRangeAdmissible(request.input, 1, deviceState.inputChannels))
        return fail(outcome, kProbeChannels,
                    formatted("Wrong input/output channel settings: the driver has %d outputs and "
                              "%d inputs, and tandemwav uses channels 1 to 64",
                              deviceState.outputChannels, deviceState.inputChannels));
    const int32_t frames = chooseBufferFrames(request.bufferFrames);
    if (!bufferLengthAdmissible(frames))
        return fail(outcome, kProbeBufferSize,
                    formatted("Unable to set ASIO buffer size to %d (permitted: %d to %d)", frames,
                              deviceState.minBufferSize, deviceState.maxBufferSize));
    outcome.bufferFrames = frames;
    bufferSize = static_cast<uint32_t>(frames);
    double rate = 0.0;
    if (!chooseSampleRate(request.sampleRate, &rate))
        return fail(outcome, kProbeSampleRate,
                    request.sampleRate > 0.0
                        ? formatted("The driver cannot run at %.0f Hz", request.sampleRate)
                        : std::string("The driver does not tell a usable sample rate; give one "
                                      "with --rate"));
    outcome.sampleRate = rate;
    wavSampleRate = static_cast<uint32_t>(rate);
    return kProbeDone;
}

int createBuffers(DriverSession& session, const LatencyRequest& request, LatencyOutcome& outcome) {
    if (session.createChannelBuffers(bufferSize, 1, request.input, 1, request.output) != ASE_OK)
        return fail(outcome, kProbeCreateBuffers,
                    formatted("Failed to create ASIO buffers on output %d and input %d",
                              request.output, request.input));
    outcome.reportedResult =
        ASIOGetLatencies(&deviceState.inputLatency, &deviceState.outputLatency);
    outcome.reportedInput = deviceState.inputLatency;
    outcome.reportedOutput = deviceState.outputLatency;
    outcome.sampleType = deviceState.channelInfos[0].type;
    bytesPerSample = nativeBytesPerSample();
    if (bytesPerSample == 0)
        return fail(outcome, kProbeNativeFormat, "ASIO native format not supported");
    return kProbeDone;
}

// One pass of the material; the recording is left empty unless it completed.
int playOnce(const std::vector<float>& playback, LatencyOutcome& outcome,
             std::vector<float>& recording, uint32_t* lost) {
    if (!fillTakeStores(playback, 1, 0, 1))
        return fail(outcome, kProbeNoMemory, "Not enough memory for playback and recording");
    const TakeEnd end = runTake(outcome.sampleRate, lost);
    int code = kProbeDone;
    if (end == TakeEnd::StartRefused)
        code = fail(outcome, kProbeStart, "Failed to start ASIO driver");
    else if (end == TakeEnd::Interrupted)
        code = fail(outcome, kProbeInterrupted, "Interrupted");
    else if (end == TakeEnd::TimedOut)
        code =
            fail(outcome, kProbeNoSignal, "No signal came back: the driver stopped calling back");
    if (code == kProbeDone)
        recording = takeRecordings()[0];
    freePlaybackStore();
    freeRecordStore();
    return code;
}

std::string noSignalMessage(const LatencyRequest& request, const LatencyOutcome& outcome,
                            const Detection& detection) {
    const std::string path =
        formatted("No signal came back from output %d to input %d", request.output, request.input);
    if (detection.beyondWindow)
        return path + formatted(" within %.3f s: it came back after %d frames (%.3f s), so the "
                                "window was too short; give --max-latency %.0f",
                                outcome.windowFrames / outcome.sampleRate, detection.lag,
                                detection.lag / outcome.sampleRate,
                                std::ceil(detection.lag / outcome.sampleRate) + 1.0);
    if (std::isinf(detection.snrDb) && detection.snrDb < 0)
        return path + " (the input stayed silent)";
    return path + formatted(" (signal-to-noise %.1f dB, %.0f dB needed)", detection.snrDb,
                            kMinDetectionSnrDb);
}

// The reported round trip, when the driver tells one.
int64_t reportedRoundTrip(const LatencyOutcome& outcome) {
    if (outcome.reportedResult != ASE_OK)
        return 0;
    return int64_t{outcome.reportedInput} + outcome.reportedOutput;
}

int measureRuns(const LatencyRequest& request, LatencyOutcome& outcome) {
    const std::vector<float> sequence = testSequence(request.levelDb);
    outcome.windowFrames = detectionWindowFrames(outcome.sampleRate, reportedRoundTrip(outcome),
                                                 request.maxLatencySeconds);
    const std::vector<float> playback = testPlayback(sequence, outcome.windowFrames);
    const uint32_t waitMs = static_cast<uint32_t>(request.waitSeconds * 1000.0);
    const uint32_t begun = timeGetTime();
    for (int32_t run = 0; run < request.runs; ++run) {
        std::vector<float> recording;
        uint32_t lost = 0;
        const int code = playOnce(playback, outcome, recording, &lost);
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

int measureWith(DriverSession& session, const LatencyRequest& request, LatencyOutcome& outcome) {
    int code = checkDevice(request, outcome);
    if (code == kProbeDone && !interruptRequested())
        code = createBuffers(session, request, outcome);
    if (code == kProbeDone && interruptRequested())
        code = fail(outcome, kProbeInterrupted, "Interrupted");
    if (code == kProbeDone)
        code = measureRuns(request, outcome);
    if (code != kProbeDone)
        outcome.runs.clear();
    return code;
}

} // namespace

LatencyOutcome measureLatency(const LatencyRequest& request) {
    LatencyOutcome outcome;
    DriverSession session;
    const SessionState state = session.open(request.driverName);
    if (state == SessionState::NotLoaded) {
        fail(outcome, kProbeDriverNotLoaded, "Failed to load ASIO driver");
        return outcome;
    }
    const ASIODriverInfo& info = session.info();
    if (state == SessionState::InitRefused) {
        outcome.driverMessage = fieldText(info.errorMessage, sizeof info.errorMessage);
        fail(outcome, kProbeDriverInit, "Failed to initialize ASIO driver");
        return outcome;
    }
    outcome.driverName = fieldText(info.name, sizeof info.name);
    measureWith(session, request, outcome);
    // Buffers disposed, driver exited and released, on every path.
    session.close();
    return outcome;
}
