#include "driversession/streaming_device.h"

#include <cstdio>

#include "asiohost/asio_calls.h"
#include "driversession/formatted_text.h"
#include "driversession/safe_text.h"
#include "driversession/streamed_take.h"
#include "engine/channel_buffers.h"
#include "engine/device_state.h"
#include "engine/sample_stores.h"
#include "platform/interrupts.h"

namespace {

bool rangeAdmissible(int first, int last, int32_t count) {
    return first <= last && channelRangeAdmissible(first, last - first + 1, count);
}

} // namespace

StreamingDevice::~StreamingDevice() {
    freePlaybackStore();
    freeRecordStore();
}

StreamFailure StreamingDevice::fail(StreamFailure failure, const std::string& error) {
    error_ = error;
    return failure;
}

StreamFailure StreamingDevice::open(const StreamRequest& request) {
    request_ = request;
    const SessionState state = session_.open(request.driverName.c_str());
    const ASIODriverInfo& info = session_.info();
    if (state == SessionState::NotLoaded)
        return fail(StreamFailure::NotLoaded, "Failed to load ASIO driver");
    if (state == SessionState::InitRefused) {
        setup_.driverMessage = fieldText(info.errorMessage, sizeof info.errorMessage);
        return fail(StreamFailure::InitRefused, "Failed to initialize ASIO driver");
    }
    setup_.driverName = fieldText(info.name, sizeof info.name);
    setup_.driverVersion = info.driverVersion;
    StreamFailure failure = checkDevice();
    if (failure == StreamFailure::None && !interruptRequested())
        failure = createBuffers();
    if (failure == StreamFailure::None && interruptRequested())
        failure = fail(StreamFailure::Interrupted, "Interrupted");
    return failure;
}

StreamFailure StreamingDevice::checkDevice() {
    ASIOGetChannels(&deviceState.inputChannels, &deviceState.outputChannels);
    setup_.inputChannels = deviceState.inputChannels;
    setup_.outputChannels = deviceState.outputChannels;
    if (!rangeAdmissible(request_.firstOutput, request_.lastOutput, setup_.outputChannels) ||
        !rangeAdmissible(request_.firstInput, request_.lastInput, setup_.inputChannels))
        return fail(StreamFailure::Channels,
                    formatted("Wrong input/output channel settings: %s has %d outputs and %d "
                              "inputs, and tandemwav uses channels 1 to 64",
                              request_.deviceWords.c_str(), setup_.outputChannels,
                              setup_.inputChannels));
    const int32_t frames = chooseBufferFrames(request_.bufferFrames);
    if (!bufferLengthAdmissible(frames))
        return fail(StreamFailure::BufferSize,
                    formatted("Unable to set ASIO buffer size to %d (permitted: %d to %d)", frames,
                              deviceState.minBufferSize, deviceState.maxBufferSize));
    setup_.bufferFrames = frames;
    bufferSize = static_cast<uint32_t>(frames);
    double rate = 0.0;
    if (!chooseSampleRate(request_.rate, &rate))
        return fail(StreamFailure::SampleRate,
                    request_.rate > 0.0
                        ? formatted("The driver cannot run at %.0f Hz", request_.rate)
                        : std::string("The driver does not tell a usable sample rate; give one "
                                      "with --rate"));
    setup_.rate = rate;
    wavSampleRate = static_cast<uint32_t>(rate);
    return StreamFailure::None;
}

// Inputs first, then outputs, each range in rising order: the engine's layout.
StreamFailure StreamingDevice::createBuffers() {
    const int32_t inputs = request_.lastInput - request_.firstInput + 1;
    const int32_t outputs = request_.lastOutput - request_.firstOutput + 1;
    if (session_.createChannelBuffers(bufferSize, inputs, request_.firstInput, outputs,
                                      request_.firstOutput) != ASE_OK)
        return fail(StreamFailure::CreateBuffers,
                    "Failed to create ASIO buffers on " + request_.channelWords);
    setup_.latencyResult = ASIOGetLatencies(&deviceState.inputLatency, &deviceState.outputLatency);
    setup_.inputLatency = deviceState.inputLatency;
    setup_.outputLatency = deviceState.outputLatency;
    setup_.sampleType = deviceState.channelInfos[0].type;
    bytesPerSample = nativeBytesPerSample();
    if (bytesPerSample == 0)
        return fail(StreamFailure::NativeFormat, "ASIO native format not supported");
    setup_.sampleBytes = static_cast<int>(bytesPerSample);
    return StreamFailure::None;
}

// One start and one stop; the stores stay until the recording is read.
StreamFailure StreamingDevice::run() {
    uint32_t lost = 0;
    const TakeEnd end = runTake(setup_.rate, &lost);
    lastLost_ = lost;
    setup_.lostBlocks += lost;
    if (end == TakeEnd::StartRefused)
        return fail(StreamFailure::StartRefused, "Failed to start ASIO driver");
    if (end == TakeEnd::Interrupted)
        return fail(StreamFailure::Interrupted, "Interrupted");
    if (end == TakeEnd::TimedOut)
        return fail(StreamFailure::StoppedCallingBack,
                    "No signal came back: " + request_.deviceWords + " stopped calling back");
    return StreamFailure::None;
}

StreamFailure StreamingDevice::take(int output, const std::vector<float>& material,
                                    std::vector<std::vector<float>>* recordings) {
    std::vector<int64_t> starts(static_cast<size_t>(request_.lastOutput - request_.firstOutput + 1),
                                -1);
    starts[static_cast<size_t>(output - request_.firstOutput)] = 0;
    return takeStaggered(material, starts, recordings);
}

StreamFailure StreamingDevice::takeStaggered(const std::vector<float>& material,
                                             const std::vector<int64_t>& starts,
                                             std::vector<std::vector<float>>* recordings) {
    if (interruptRequested())
        return fail(StreamFailure::Interrupted, "Interrupted");
    const uint32_t inputs = static_cast<uint32_t>(request_.lastInput - request_.firstInput + 1);
    if (!fillStaggeredTakeStores(material, starts, inputs))
        return fail(StreamFailure::NoMemory, "Not enough memory for playback and recording");
    const StreamFailure failure = run();
    if (failure == StreamFailure::None)
        *recordings = takeRecordings();
    freePlaybackStore();
    freeRecordStore();
    return failure;
}
