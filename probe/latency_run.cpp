#include "probe/latency_run.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "asiohost/asio_calls.h"
#include "engine/callbacks.h"
#include "engine/channel_buffers.h"
#include "engine/device_state.h"
#include "engine/sample_blocks.h"
#include "engine/sample_stores.h"
#include "platform/interrupts.h"
#include "platform/win32api.h"
#include "probe/driver_session.h"
#include "probe/latency_detect.h"
#include "probe/latency_signal.h"
#include "probe/safe_text.h"
#include "probe/sample_types.h"
#include "wav/sample_conversion.h"

namespace {

// How long a run may take beyond twice its material before the driver is
// taken to have stopped calling back.
constexpr uint32_t kRunGraceMs = 1000;
constexpr uint32_t kPollMs = 10;

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

bool channelAdmissible(int32_t channel, int32_t count) {
    return channel >= 1 && channel <= kMaxChannelsPerDirection && channel <= count;
}

// tandemwav's check: the driver's limits, nothing finer.
int32_t chooseBufferFrames(const LatencyRequest& request) {
    ASIOGetBufferSize(&deviceState.minBufferSize, &deviceState.maxBufferSize,
                      &deviceState.preferredBufferSize, &deviceState.bufferGranularity);
    if (request.bufferFrames != 0)
        return request.bufferFrames;
    const int32_t preferred = deviceState.preferredBufferSize;
    return preferred >= deviceState.minBufferSize && preferred <= deviceState.maxBufferSize
               ? preferred
               : deviceState.minBufferSize;
}

bool chooseSampleRate(const LatencyRequest& request, double* rate) {
    if (request.sampleRate > 0.0) {
        *rate = request.sampleRate;
        return ASIOCanSampleRate(request.sampleRate) == ASE_OK &&
               ASIOSetSampleRate(request.sampleRate) == ASE_OK;
    }
    // The limit keeps the silence after the signal within memory.
    return ASIOGetSampleRate(rate) == ASE_OK && *rate >= 1000.0 && *rate <= 1e6;
}

int checkDevice(const LatencyRequest& request, LatencyOutcome& outcome) {
    ASIOGetChannels(&deviceState.inputChannels, &deviceState.outputChannels);
    outcome.inputChannels = deviceState.inputChannels;
    outcome.outputChannels = deviceState.outputChannels;
    if (!channelAdmissible(request.output, deviceState.outputChannels) ||
        !channelAdmissible(request.input, deviceState.inputChannels))
        return fail(outcome, kLatencyChannels,
                    formatted("Wrong input/output channel settings: the driver has %d outputs and "
                              "%d inputs, and tandemwav uses channels 1 to 64",
                              deviceState.outputChannels, deviceState.inputChannels));
    const int32_t frames = chooseBufferFrames(request);
    if (frames < 1 || frames < deviceState.minBufferSize || frames > deviceState.maxBufferSize)
        return fail(outcome, kLatencyBufferSize,
                    formatted("Unable to set ASIO buffer size to %d (permitted: %d to %d)", frames,
                              deviceState.minBufferSize, deviceState.maxBufferSize));
    outcome.bufferFrames = frames;
    bufferSize = static_cast<uint32_t>(frames);
    double rate = 0.0;
    if (!chooseSampleRate(request, &rate))
        return fail(outcome, kLatencySampleRate,
                    request.sampleRate > 0.0
                        ? formatted("The driver cannot run at %.0f Hz", request.sampleRate)
                        : std::string("The driver does not tell a usable sample rate; give one "
                                      "with --rate"));
    outcome.sampleRate = rate;
    wavSampleRate = static_cast<uint32_t>(rate);
    return kLatencyMeasured;
}

int createBuffers(DriverSession& session, const LatencyRequest& request, LatencyOutcome& outcome) {
    hostCallbacks.bufferSwitch = onBufferSwitch;
    hostCallbacks.sampleRateDidChange = onSampleRateDidChange;
    hostCallbacks.asioMessage = onAsioMessage;
    hostCallbacks.bufferSwitchTimeInfo = onBufferSwitchTimeInfo;
    if (session.createChannelBuffers(bufferSize, 1, request.input, 1, request.output) != ASE_OK)
        return fail(outcome, kLatencyCreateBuffers,
                    formatted("Failed to create ASIO buffers on output %d and input %d",
                              request.output, request.input));
    outcome.reportedResult =
        ASIOGetLatencies(&deviceState.inputLatency, &deviceState.outputLatency);
    outcome.reportedInput = deviceState.inputLatency;
    outcome.reportedOutput = deviceState.outputLatency;
    outcome.sampleType = deviceState.channelInfos[0].type;
    bytesPerSample = nativeBytesPerSample();
    if (bytesPerSample == 0)
        return fail(outcome, kLatencyNativeFormat, "ASIO native format not supported");
    // The engine takes the input's width for both buffers: an output of
    // another width would be written past its end.
    if (deviceState.channelInfos[1].type != deviceState.channelInfos[0].type)
        return fail(outcome, kLatencyNativeFormat,
                    formatted("ASIO native format not supported: input %s, output %s",
                              sampleTypeName(deviceState.channelInfos[0].type),
                              sampleTypeName(deviceState.channelInfos[1].type)));
    return kLatencyMeasured;
}

// The material as the playback loader leaves it: converted by its block loop,
// padded with silence to whole buffers, the countdown set.
bool fillStores(const std::vector<float>& playback) {
    const size_t frames = playback.size();
    const size_t padded = (frames + bufferSize - 1) / bufferSize * bufferSize;
    std::vector<uint8_t> fileSamples(frames * 4);
    for (size_t i = 0; i < frames; ++i)
        floatToLittleEndian(playback[i], &fileSamples[i * 4]);
    playbackStore.channelCount = 1;
    if (!allocateSampleBlocks(1, static_cast<uint32_t>(padded * bytesPerSample),
                              &playbackStore.blocks, &playbackStore.cursors))
        return false;
    convertPlaybackFrames(fileSamples.data(), frames, 1, bytesPerSample, playbackStore.blocks);
    std::memset(playbackStore.blocks[0] + frames * bytesPerSample, 0,
                (padded - frames) * bytesPerSample);
    playbackStore.remainingFrames = static_cast<uint32_t>(padded);
    recordStore.channelCount = 1;
    recordStore.frameCount = static_cast<uint32_t>(padded);
    if (allocateRecordStore())
        return true;
    freePlaybackStore();
    return false;
}

// As the recording writer converts it.
std::vector<float> recordedSamples() {
    const size_t frames = recordStore.frameCount;
    std::vector<uint8_t> fileSamples(frames * 4);
    convertRecordFrames(recordStore.blocks, frames, 1, bytesPerSample, fileSamples.data());
    std::vector<float> recording(frames);
    for (size_t i = 0; i < frames; ++i)
        recording[i] = floatFromLittleEndian(&fileSamples[i * 4]);
    return recording;
}

enum class Waited { Stopped, Interrupted, TimedOut };

Waited waitForStop(uint32_t limitMs) {
    const uint32_t begun = timeGetTime();
    while (deviceState.stopped.load(std::memory_order_acquire) == 0) {
        if (interruptRequested())
            return Waited::Interrupted;
        if (timeGetTime() - begun > limitMs)
            return Waited::TimedOut;
        Sleep(kPollMs);
    }
    return Waited::Stopped;
}

// One pass of the material; the recording is left empty unless it completed.
int playOnce(const std::vector<float>& playback, LatencyOutcome& outcome,
             std::vector<float>& recording, uint32_t* lost) {
    if (!fillStores(playback))
        return fail(outcome, kLatencyNoMemory, "Not enough memory for playback and recording");
    const double materialMs = 1000.0 * recordStore.frameCount / outcome.sampleRate;
    const uint32_t lostBefore = lostBlockCount();
    deviceState.stopped.store(0, std::memory_order_relaxed);
    armBufferSwitch();
    int code = kLatencyMeasured;
    if (ASIOStart() != ASE_OK) {
        code = fail(outcome, kLatencyStart, "Failed to start ASIO driver");
    } else {
        const Waited waited = waitForStop(static_cast<uint32_t>(2.0 * materialMs) + kRunGraceMs);
        ASIOStop();
        if (waited == Waited::Interrupted)
            code = fail(outcome, kLatencyInterrupted, "Interrupted");
        else if (waited == Waited::TimedOut)
            code = fail(outcome, kLatencyNoSignal,
                        "No signal came back: the driver stopped calling back");
    }
    disarmBufferSwitch();
    *lost = lostBlockCount() - lostBefore;
    if (code == kLatencyMeasured)
        recording = recordedSamples();
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
        if (code != kLatencyMeasured)
            return code;
        const Detection detection = detectSignal(sequence, recording, outcome.windowFrames);
        if (run == 0 && !detection.found && !detection.beyondWindow &&
            timeGetTime() - begun < waitMs) {
            --run; // not wired yet: play again
            continue;
        }
        outcome.windowTooShort = detection.beyondWindow;
        if (!detection.found)
            return fail(outcome, kLatencyNoSignal, noSignalMessage(request, outcome, detection));
        outcome.runs.push_back({detection.lag, detection.snrDb, detection.inverted, lost});
    }
    return kLatencyMeasured;
}

int measureWith(DriverSession& session, const LatencyRequest& request, LatencyOutcome& outcome) {
    int code = checkDevice(request, outcome);
    if (code == kLatencyMeasured && !interruptRequested())
        code = createBuffers(session, request, outcome);
    if (code == kLatencyMeasured && interruptRequested())
        code = fail(outcome, kLatencyInterrupted, "Interrupted");
    if (code == kLatencyMeasured)
        code = measureRuns(request, outcome);
    if (code != kLatencyMeasured)
        outcome.runs.clear();
    return code;
}

} // namespace

LatencyOutcome measureLatency(const LatencyRequest& request) {
    LatencyOutcome outcome;
    DriverSession session;
    const SessionState state = session.open(request.driverName);
    if (state == SessionState::NotLoaded) {
        fail(outcome, kLatencyDriverNotLoaded, "Failed to load ASIO driver");
        return outcome;
    }
    const ASIODriverInfo& info = session.info();
    if (state == SessionState::InitRefused) {
        outcome.driverMessage = fieldText(info.errorMessage, sizeof info.errorMessage);
        fail(outcome, kLatencyDriverInit, "Failed to initialize ASIO driver");
        return outcome;
    }
    outcome.driverName = fieldText(info.name, sizeof info.name);
    measureWith(session, request, outcome);
    // Buffers disposed, driver exited and released, on every path.
    session.close();
    return outcome;
}
