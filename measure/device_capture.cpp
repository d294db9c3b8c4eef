#include "measure/device_capture.h"

#include <cstdio>
#include <cstring>

#include "asiohost/asio_calls.h"
#include "engine/callbacks.h"
#include "engine/channel_buffers.h"
#include "engine/device_state.h"
#include "engine/sample_blocks.h"
#include "engine/sample_stores.h"
#include "measure/failure.h"
#include "platform/interrupts.h"
#include "platform/win32api.h"
#include "probe/latency_run.h"
#include "probe/safe_text.h"
#include "probe/sample_types.h"
#include "wav/sample_conversion.h"

namespace measure {

namespace {

// How long a take may run beyond twice its material before the driver is
// taken to have stopped calling back.
constexpr uint32_t kGraceMs = 1000;
constexpr uint32_t kPollMs = 10;

template <typename... Values> std::string formatted(const char* format, Values... values) {
    char text[512];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

bool rangeAdmissible(int first, int last, int32_t count) {
    return first >= 1 && first <= last && last <= count && last <= kMaxChannelsPerDirection;
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

} // namespace

DeviceCapture::~DeviceCapture() {
    freePlaybackStore();
    freeRecordStore();
}

void DeviceCapture::open(const DeviceRequest& request) {
    request_ = request;
    const SessionState state = session_.open(request.driverName.c_str());
    const ASIODriverInfo& info = session_.info();
    if (state == SessionState::NotLoaded)
        throw Failure(kLatencyDriverNotLoaded,
                      "Error: Failed to load ASIO driver " + request.driverName + "!");
    if (state == SessionState::InitRefused)
        throw Failure(kLatencyDriverInit,
                      "Error: Failed to initialize ASIO driver!\nDriver message: " +
                          fieldText(info.errorMessage, sizeof info.errorMessage));
    setup_.driverName = fieldText(info.name, sizeof info.name);
    setup_.driverVersion = info.driverVersion;
    checkDevice();
    createBuffers();
}

void DeviceCapture::checkDevice() {
    ASIOGetChannels(&deviceState.inputChannels, &deviceState.outputChannels);
    setup_.inputChannels = deviceState.inputChannels;
    setup_.outputChannels = deviceState.outputChannels;
    if (!rangeAdmissible(request_.firstOutput, request_.lastOutput, setup_.outputChannels) ||
        !rangeAdmissible(request_.firstInput, request_.lastInput, setup_.inputChannels))
        throw Failure(kLatencyChannels,
                      formatted("Error: Wrong input/output channel settings: %s has %d outputs "
                                "and %d inputs, and tandemwav uses channels 1 to 64!",
                                request_.driverName.c_str(), setup_.outputChannels,
                                setup_.inputChannels));
    ASIOGetBufferSize(&deviceState.minBufferSize, &deviceState.maxBufferSize,
                      &deviceState.preferredBufferSize, &deviceState.bufferGranularity);
    int32_t frames = request_.bufferFrames;
    if (frames == 0)
        frames = deviceState.preferredBufferSize >= deviceState.minBufferSize &&
                         deviceState.preferredBufferSize <= deviceState.maxBufferSize
                     ? deviceState.preferredBufferSize
                     : deviceState.minBufferSize;
    if (frames < 1 || frames < deviceState.minBufferSize || frames > deviceState.maxBufferSize)
        throw Failure(kLatencyBufferSize,
                      formatted("Error: Unable to set ASIO buffer size to %d (permitted: %d to "
                                "%d)!",
                                frames, deviceState.minBufferSize, deviceState.maxBufferSize));
    setup_.bufferFrames = frames;
    bufferSize = static_cast<uint32_t>(frames);
    double rate = request_.rate;
    const bool rateSet =
        rate > 0.0 ? ASIOCanSampleRate(rate) == ASE_OK && ASIOSetSampleRate(rate) == ASE_OK
                   : ASIOGetSampleRate(&rate) == ASE_OK && rate >= 1000.0 && rate <= 1e6;
    if (!rateSet)
        throw Failure(kLatencySampleRate,
                      request_.rate > 0.0
                          ? formatted("Error: The driver cannot run at %.0f Hz!", request_.rate)
                          : std::string("Error: The driver does not tell a usable sample rate; "
                                        "give one with --rate!"));
    setup_.rate = rate;
    wavSampleRate = static_cast<uint32_t>(rate);
}

// Inputs first, then outputs, each range in rising order: the engine's layout.
void DeviceCapture::createBuffers() {
    hostCallbacks.bufferSwitch = onBufferSwitch;
    hostCallbacks.sampleRateDidChange = onSampleRateDidChange;
    hostCallbacks.asioMessage = onAsioMessage;
    hostCallbacks.bufferSwitchTimeInfo = onBufferSwitchTimeInfo;
    const int32_t inputs = request_.lastInput - request_.firstInput + 1;
    const int32_t outputs = request_.lastOutput - request_.firstOutput + 1;
    if (session_.createChannelBuffers(bufferSize, inputs, request_.firstInput, outputs,
                                      request_.firstOutput) != ASE_OK)
        throw Failure(kLatencyCreateBuffers,
                      formatted("Error: Failed to create ASIO buffers on outputs %d to %d and "
                                "inputs %d to %d!",
                                request_.firstOutput, request_.lastOutput, request_.firstInput,
                                request_.lastInput));
    setup_.latenciesReported =
        ASIOGetLatencies(&deviceState.inputLatency, &deviceState.outputLatency) == ASE_OK;
    setup_.inputLatency = deviceState.inputLatency;
    setup_.outputLatency = deviceState.outputLatency;
    bytesPerSample = nativeBytesPerSample();
    const int32_t entries = inputs + outputs;
    for (int32_t e = 1; e < entries && bytesPerSample != 0; ++e)
        if (deviceState.channelInfos[e].type != deviceState.channelInfos[0].type)
            bytesPerSample = 0;
    if (bytesPerSample == 0)
        throw Failure(kLatencyNativeFormat, "Error: ASIO native format not supported!");
}

// The material as the playback loader leaves it: converted by its block loop,
// padded with silence to whole buffers, the countdown set.
void DeviceCapture::fillStores(int output, const std::vector<float>& material) {
    const uint32_t channels = static_cast<uint32_t>(request_.lastOutput - request_.firstOutput + 1);
    const size_t frames = material.size();
    const size_t padded = (frames + bufferSize - 1) / bufferSize * bufferSize;
    std::vector<uint8_t> fileSamples(frames * channels * 4, 0);
    const size_t on = static_cast<size_t>(output - request_.firstOutput);
    for (size_t i = 0; i < frames; ++i)
        floatToLittleEndian(material[i], &fileSamples[(i * channels + on) * 4]);
    playbackStore.channelCount = channels;
    if (!allocateSampleBlocks(channels, static_cast<uint32_t>(padded * bytesPerSample),
                              &playbackStore.blocks, &playbackStore.cursors))
        throw Failure(kLatencyNoMemory, "Error: Not enough memory for playback and recording!");
    convertPlaybackFrames(fileSamples.data(), frames, channels, bytesPerSample,
                          playbackStore.blocks);
    for (uint32_t c = 0; c < channels; ++c)
        std::memset(playbackStore.blocks[c] + frames * bytesPerSample, 0,
                    (padded - frames) * bytesPerSample);
    playbackStore.remainingFrames = static_cast<uint32_t>(padded);
    recordStore.channelCount = static_cast<uint32_t>(request_.lastInput - request_.firstInput + 1);
    recordStore.frameCount = static_cast<uint32_t>(padded);
    if (!allocateRecordStore()) {
        freePlaybackStore();
        throw Failure(kLatencyNoMemory, "Error: Not enough memory for playback and recording!");
    }
}

// As the recording writer converts them, one per input.
std::vector<std::vector<float>> DeviceCapture::recordings() const {
    const size_t frames = recordStore.frameCount;
    const size_t channels = recordStore.channelCount;
    std::vector<uint8_t> fileSamples(frames * channels * 4);
    convertRecordFrames(recordStore.blocks, frames, recordStore.channelCount, bytesPerSample,
                        fileSamples.data());
    std::vector<std::vector<float>> out(channels, std::vector<float>(frames));
    for (size_t i = 0; i < frames; ++i)
        for (size_t c = 0; c < channels; ++c)
            out[c][i] = floatFromLittleEndian(&fileSamples[(i * channels + c) * 4]);
    return out;
}

// One start and one stop; the stores stay until the recording is read.
void DeviceCapture::run() {
    const double materialMs = 1000.0 * recordStore.frameCount / setup_.rate;
    const uint32_t lostBefore = lostBlockCount();
    deviceState.stopped.store(0, std::memory_order_relaxed);
    armBufferSwitch();
    if (ASIOStart() != ASE_OK) {
        disarmBufferSwitch();
        throw Failure(kLatencyStart, "Error: Failed to start ASIO driver!");
    }
    const Waited waited = waitForStop(static_cast<uint32_t>(2.0 * materialMs) + kGraceMs);
    ASIOStop();
    disarmBufferSwitch();
    setup_.lostBlocks += lostBlockCount() - lostBefore;
    if (waited == Waited::Interrupted)
        throw Failure(kLatencyInterrupted, "Interrupted; the driver was released.");
    if (waited == Waited::TimedOut)
        throw Failure(kLatencyNoSignal, "Error: No signal came back: " + request_.driverName +
                                            " stopped calling back!");
}

std::vector<std::vector<float>> DeviceCapture::take(int output,
                                                    const std::vector<float>& material) {
    if (interruptRequested())
        throw Failure(kLatencyInterrupted, "Interrupted; the driver was released.");
    fillStores(output, material);
    try {
        run();
    } catch (const Failure&) {
        freePlaybackStore();
        freeRecordStore();
        throw;
    }
    std::vector<std::vector<float>> out = recordings();
    freePlaybackStore();
    freeRecordStore();
    return out;
}

} // namespace measure
