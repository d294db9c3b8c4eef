#include "measure/device_capture.h"

#include <cstdio>

#include "asiohost/asio_calls.h"
#include "engine/channel_buffers.h"
#include "engine/device_state.h"
#include "engine/sample_stores.h"
#include "measure/exit_codes.h"
#include "measure/failure.h"
#include "platform/interrupts.h"
#include "probe/latency_run.h"
#include "probe/name_hint.h"
#include "probe/safe_text.h"
#include "probe/streamed_take.h"

namespace measure {

namespace {

template <typename... Values> std::string formatted(const char* format, Values... values) {
    char text[512];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

bool rangeAdmissible(int first, int last, int32_t count) {
    return first <= last && channelRangeAdmissible(first, last - first + 1, count);
}

// tandemwav's words, and the driver meant when only the case was wrong.
std::string notLoadedMessage(const std::string& driverName) {
    const std::string hint = driverNameHint(driverName);
    return "Error: Failed to load ASIO driver " + driverName + "!" +
           (hint.empty() ? "" : "\n" + hint);
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
        throw Failure(kDriverNotLoaded, notLoadedMessage(request.driverName));
    if (state == SessionState::InitRefused)
        throw Failure(kDriverInit, "Error: Failed to initialize ASIO driver!\nDriver message: " +
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
        throw Failure(kChannels,
                      formatted("Error: Wrong input/output channel settings: %s has %d outputs "
                                "and %d inputs, and tandemwav uses channels 1 to 64!",
                                request_.driverName.c_str(), setup_.outputChannels,
                                setup_.inputChannels));
    const int32_t frames = chooseBufferFrames(request_.bufferFrames);
    if (!bufferLengthAdmissible(frames))
        throw Failure(kBufferSize,
                      formatted("Error: Unable to set ASIO buffer size to %d (permitted: %d to "
                                "%d)!",
                                frames, deviceState.minBufferSize, deviceState.maxBufferSize));
    setup_.bufferFrames = frames;
    bufferSize = static_cast<uint32_t>(frames);
    double rate = 0.0;
    if (!chooseSampleRate(request_.rate, &rate))
        throw Failure(kSampleRate,
                      request_.rate > 0.0
                          ? formatted("Error: The driver cannot run at %.0f Hz!", request_.rate)
                          : std::string("Error: The driver does not tell a usable sample rate; "
                                        "give one with --rate!"));
    setup_.rate = rate;
    wavSampleRate = static_cast<uint32_t>(rate);
}

// Inputs first, then outputs, each range in rising order: the engine's layout.
void DeviceCapture::createBuffers() {
    const int32_t inputs = request_.lastInput - request_.firstInput + 1;
    const int32_t outputs = request_.lastOutput - request_.firstOutput + 1;
    if (session_.createChannelBuffers(bufferSize, inputs, request_.firstInput, outputs,
                                      request_.firstOutput) != ASE_OK)
        throw Failure(kCreateBuffers,
                      formatted("Error: Failed to create ASIO buffers on outputs %d to %d and "
                                "inputs %d to %d!",
                                request_.firstOutput, request_.lastOutput, request_.firstInput,
                                request_.lastInput));
    setup_.latenciesReported =
        ASIOGetLatencies(&deviceState.inputLatency, &deviceState.outputLatency) == ASE_OK;
    setup_.inputLatency = deviceState.inputLatency;
    setup_.outputLatency = deviceState.outputLatency;
    bytesPerSample = nativeBytesPerSample();
    if (bytesPerSample == 0)
        throw Failure(kNativeFormat, "Error: ASIO native format not supported!");
    setup_.sampleBytes = static_cast<int>(bytesPerSample);
}

void DeviceCapture::fillStores(int output, const std::vector<float>& material) {
    const uint32_t outputs = static_cast<uint32_t>(request_.lastOutput - request_.firstOutput + 1);
    const uint32_t inputs = static_cast<uint32_t>(request_.lastInput - request_.firstInput + 1);
    if (!fillTakeStores(material, outputs, static_cast<uint32_t>(output - request_.firstOutput),
                        inputs))
        throw Failure(kNoMemory, "Error: Not enough memory for playback and recording!");
}

// One start and one stop; the stores stay until the recording is read.
void DeviceCapture::run() {
    uint32_t lost = 0;
    const TakeEnd end = runTake(setup_.rate, &lost);
    lastLost_ = lost;
    setup_.lostBlocks += lost;
    if (end == TakeEnd::StartRefused)
        throw Failure(kStart, "Error: Failed to start ASIO driver!");
    if (end == TakeEnd::Interrupted)
        throw Failure(kInterrupted, "Interrupted; the driver was released.");
    if (end == TakeEnd::TimedOut)
        throw Failure(kNoSignal, "Error: No signal came back: " + request_.driverName +
                                     " stopped calling back!");
}

std::vector<std::vector<float>> DeviceCapture::take(int output,
                                                    const std::vector<float>& material) {
    if (interruptRequested())
        throw Failure(kInterrupted, "Interrupted; the driver was released.");
    fillStores(output, material);
    try {
        run();
    } catch (const Failure&) {
        freePlaybackStore();
        freeRecordStore();
        throw;
    }
    std::vector<std::vector<float>> out = takeRecordings();
    freePlaybackStore();
    freeRecordStore();
    return out;
}

} // namespace measure
