#include "drivers/jack/jack_driver.h"

#include <time.h>

#include <cstdio>

constexpr int32_t kDriverVersion = 1;

JackDriver::JackDriver(const CLSID& clsid, const JackSettings& settings)
    : ContractDriver(clsid, settings_.name, settings_.traceFile, "JACK server", kTakesOutputReady),
      settings_(settings) {}

JackDriver::~JackDriver() {
    trace_.note("release");
    if (channels_ != nullptr)
        disposeBuffers();
    if (client_ != nullptr)
        jack_client_close(client_);
}

ASIOBool JackDriver::init(void*) {
    const bool ready = client_ != nullptr || openClient();
    trace_.note("init -> %d", ready ? 1 : 0);
    return ready ? ASIOTrue : ASIOFalse;
}

int32_t JackDriver::getDriverVersion() {
    return kDriverVersion;
}

ASIOError JackDriver::start() {
    ASIOError result = checkStart(client_ != nullptr, channels_ != nullptr);
    if (result == ASE_OK && serverGone_.load())
        result = ASE_HWMalfunction;
    if (result == ASE_OK && !running_.load()) {
        half_ = 0;
        positionKnown_.store(false);
        pendingXruns_.store(0);
        resetRequested_ = false;
        jumpSeen_ = false;
        cyclesRun_ = 0;
        xrunNotices_.store(0);
        skippedBlocks_.store(0);
        resyncsSent_.store(0);
        running_.store(true);
    }
    trace_.note("start -> %d", result);
    return result;
}

ASIOError JackDriver::stop() {
    const ASIOError result = client_ == nullptr ? ASE_NotPresent : ASE_OK;
    running_.store(false);
    waitForCallbacksToLeave();
    trace_.note("stop -> %d xruns=%u skipped=%u resyncs=%u", result, xrunNotices_.load(),
                skippedBlocks_.load(), resyncsSent_.load());
    return result;
}

void JackDriver::waitForCallbacksToLeave() {
    // A cycle that saw running_ before it was cleared may still be inside the
    // host; after stop() returns the host must not be called any more.
    const timespec pause = {0, 1000000};
    while (inCycle_.load() || inNotice_.load())
        nanosleep(&pause, nullptr);
}

ASIOError JackDriver::getLatencies(int32_t* inputLatency, int32_t* outputLatency) {
    int32_t input = 0;
    int32_t output = 0;
    if (client_ != nullptr)
        physicalLatencies(&input, &output);
    return answerPair(client_ != nullptr, input, output, inputLatency, outputLatency);
}

// The server's period is the only length there is: one switch per cycle.
DriverShape JackDriver::shape() const {
    const int32_t period =
        client_ != nullptr ? static_cast<int32_t>(jack_get_buffer_size(client_)) : 0;
    return DriverShape{inputs_, outputs_, period, period, period, 0};
}

// The server's rate is fixed while it runs: that rate is the only one there is.
ASIOError JackDriver::checkRate(ASIOSampleRate rate) const {
    if (client_ == nullptr)
        return ASE_NotPresent;
    return rate == static_cast<double>(jack_get_sample_rate(client_)) ? ASE_OK : ASE_NoClock;
}

ASIOError JackDriver::canSampleRate(ASIOSampleRate sampleRate) {
    const ASIOError result = checkRate(sampleRate);
    trace_.note("canSampleRate %.0f -> %d", sampleRate, result);
    return result;
}

ASIOError JackDriver::getSampleRate(ASIOSampleRate* sampleRate) {
    const ASIOError result = checkQuery(client_ != nullptr, {sampleRate});
    if (result == ASE_OK)
        *sampleRate = static_cast<double>(jack_get_sample_rate(client_));
    return result;
}

// Only the server's own rate can be "set".
ASIOError JackDriver::setSampleRate(ASIOSampleRate sampleRate) {
    const ASIOError result = checkRate(sampleRate);
    trace_.note("setSampleRate %.0f -> %d", sampleRate, result);
    return result;
}

ASIOError JackDriver::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    const ASIOError result = checkQuery(client_ != nullptr, {sPos, tStamp});
    if (result != ASE_OK)
        return result;
    uint64_t position = lastPosition_.load();
    uint64_t systemTimeNs = lastSystemTimeNs_.load();
    if (!positionKnown_.load()) {
        position = jack_frame_time(client_);
        systemTimeNs = jack_get_time() * 1000u;
    }
    splitAsioWide(position, &sPos->hi, &sPos->lo);
    splitAsioWide(systemTimeNs, &tStamp->hi, &tStamp->lo);
    return ASE_OK;
}

ASIOError JackDriver::getChannelInfo(ASIOChannelInfo* info) {
    const ASIOError result = checkChannelInfo(client_ != nullptr, shape(), info);
    if (result != ASE_OK)
        return result;
    info->isActive = ASIOFalse;
    for (int32_t i = 0; i < channelCount_; ++i)
        if ((channels_[i].isInput != 0) == (info->isInput != 0) &&
            channels_[i].number == info->channel)
            info->isActive = ASIOTrue;
    info->channelGroup = 0;
    info->type = ASIOSTInt32LSB;
    std::snprintf(info->name, sizeof info->name, "%s_%d", info->isInput ? "in" : "out",
                  static_cast<int>(info->channel) + 1);
    return ASE_OK;
}

ASIOError JackDriver::createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,
                                    int32_t bufferSize, ASIOCallbacks* callbacks) {
    ASIOError result = ASE_OK;
    if (client_ == nullptr)
        result = ASE_NotPresent;
    else if (channels_ != nullptr)
        result = ASE_InvalidMode;
    else
        result = checkBufferRequest(shape(), bufferInfos, numChannels, bufferSize, callbacks);
    if (result == ASE_OK)
        result = setUpBuffers(bufferInfos, numChannels, bufferSize, callbacks);
    trace_.note("createBuffers %d %d -> %d", static_cast<int>(numChannels),
                static_cast<int>(bufferSize), result);
    return result;
}

ASIOError JackDriver::setUpBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,
                                   int32_t bufferSize, ASIOCallbacks* callbacks) {
    if (!allocateChannels(bufferInfos, numChannels, bufferSize))
        return ASE_NoMemory;
    if (!registerPorts()) {
        releaseChannels();
        return ASE_HWMalfunction;
    }
    callbacks_ = callbacks;
    askHost();
    // Activated only now: the cycle reads the channels without a lock.
    if (jack_activate(client_) != 0) {
        releaseChannels();
        return ASE_HWMalfunction;
    }
    for (int32_t i = 0; i < numChannels; ++i) {
        bufferInfos[i].buffers[0] = channels_[i].halves[0];
        bufferInfos[i].buffers[1] = channels_[i].halves[1];
    }
    connectPorts();
    return ASE_OK;
}

ASIOError JackDriver::disposeBuffers() {
    if (channels_ == nullptr) {
        trace_.note("disposeBuffers -> %d", ASE_InvalidMode);
        return ASE_InvalidMode;
    }
    running_.store(false);
    waitForCallbacksToLeave();
    // Deactivation waits for a cycle in progress, so the halves are free after it.
    jack_deactivate(client_);
    releaseChannels();
    trace_.note("disposeBuffers -> %d", ASE_OK);
    return ASE_OK;
}
