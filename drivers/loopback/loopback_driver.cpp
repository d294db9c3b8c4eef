#include "drivers/loopback/loopback_driver.h"

#include <cstdio>

#include "platform/guid_text.h"

LoopbackDriver::LoopbackDriver(const CLSID& clsid)
    : AsioDriverObject(clsid), settings_(), trace_(settings_.traceFile), initialised_(false),
      errorMessage_(), sampleRate_(0.0), storage_(nullptr), bufferFrames_(0), frameBytes_(0),
      latency_(0), inputCount_(0), outputCount_(0), inputs_(), outputs_(), inputChannel_(),
      outputChannel_(), callbacks_(), useTimeInfo_(false),
      origin_(), timing_{0, 0, 0.0, 0.0, 0.0, "none"}, time_(), cursor_(0), slip_(0), clockMs_(0),
      lastTick_(0), stopRequested_(false), running_(false), position_(0), positionTime_(0) {
    readLoopbackSettings(clsid, &settings_);
    model_.configure(clsid);
    sampleRate_ = settings_.sampleRate;
    char clsidText[kGuidTextSize];
    guidToText(clsid, clsidText);
    trace_.note("create %s", clsidText);
}

LoopbackDriver::~LoopbackDriver() {
    trace_.note("release");
    stopClock();
    joinFinishedClock();
    releaseBuffers();
}

ASIOBool LoopbackDriver::init(void*) {
    trace_.note("init");
    if (settings_.failInit) {
        copyFieldText(errorMessage_, sizeof errorMessage_, settings_.initError);
        initialised_ = false;
        return ASIOFalse;
    }
    if (!modelAccepted()) {
        initialised_ = false;
        return ASIOFalse;
    }
    errorMessage_[0] = '\0';
    initialised_ = true;
    return ASIOTrue;
}

// A device model that cannot be honoured refuses init, saying which value.
bool LoopbackDriver::modelAccepted() {
    if (!model_.error().empty()) {
        copyFieldText(errorMessage_, sizeof errorMessage_, model_.error().c_str());
        return false;
    }
    if (model_.shapesSignal() && !LoopbackDeviceModel::convertsType(settings_.sampleType)) {
        copyFieldText(errorMessage_, sizeof errorMessage_,
                      "The dut settings need sampleType 16, 17, 18, 19 or 20");
        return false;
    }
    return true;
}

void LoopbackDriver::getDriverName(char* name) {
    trace_.note("getDriverName");
    if (name != nullptr)
        copyFieldText(name, 32, settings_.name);
}

int32_t LoopbackDriver::getDriverVersion() {
    trace_.note("getDriverVersion");
    return settings_.version;
}

void LoopbackDriver::getErrorMessage(char* string) {
    trace_.note("getErrorMessage");
    if (string != nullptr)
        copyFieldText(string, 124, errorMessage_);
}

ASIOError LoopbackDriver::getChannels(int32_t* numInputChannels, int32_t* numOutputChannels) {
    trace_.note("getChannels");
    if (!initialised_)
        return ASE_NotPresent;
    if (numInputChannels == nullptr || numOutputChannels == nullptr)
        return ASE_InvalidParameter;
    *numInputChannels = settings_.inputs;
    *numOutputChannels = settings_.outputs;
    return ASE_OK;
}

// The whole loop is reported, split at the buffer: the input half the host
// reads was complete one buffer ago, and the rest is the way out. A device
// configured to hide part of it leaves that out of the way out, as drivers
// with an unreported safety buffer do; the figure may then go below zero.
ASIOError LoopbackDriver::getLatencies(int32_t* inputLatency, int32_t* outputLatency) {
    trace_.note("getLatencies");
    if (!initialised_)
        return ASE_NotPresent;
    if (inputLatency == nullptr || outputLatency == nullptr)
        return ASE_InvalidParameter;
    const int32_t frames = storage_ != nullptr ? bufferFrames_ : settings_.bufferPreferred;
    *inputLatency = frames;
    *outputLatency = loopLatency(frames) - frames - settings_.hiddenLatency;
    return ASE_OK;
}

ASIOError LoopbackDriver::getBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                                        int32_t* granularity) {
    trace_.note("getBufferSize");
    if (!initialised_)
        return ASE_NotPresent;
    if (minSize == nullptr || maxSize == nullptr || preferredSize == nullptr ||
        granularity == nullptr)
        return ASE_InvalidParameter;
    *minSize = settings_.bufferMin;
    *maxSize = settings_.bufferMax;
    *preferredSize = settings_.bufferPreferred;
    *granularity = settings_.bufferGranularity;
    return ASE_OK;
}

// ASE_OK when the device runs at the rate; a refusing fault refuses every rate.
ASIOError LoopbackDriver::checkRate(ASIOSampleRate rate, bool refuseEvery) const {
    if (!initialised_)
        return ASE_NotPresent;
    if (refuseEvery || !loopbackRateListed(settings_, rate))
        return ASE_NoClock;
    return ASE_OK;
}

ASIOError LoopbackDriver::canSampleRate(ASIOSampleRate sampleRate) {
    trace_.note("canSampleRate %.10g", sampleRate);
    return checkRate(sampleRate, settings_.failCanSampleRate);
}

ASIOError LoopbackDriver::getSampleRate(ASIOSampleRate* sampleRate) {
    trace_.note("getSampleRate");
    if (!initialised_)
        return ASE_NotPresent;
    if (sampleRate == nullptr)
        return ASE_InvalidParameter;
    *sampleRate = sampleRate_;
    return ASE_OK;
}

// The clock runs at the rate it was started with; changing it under the host's
// feet would break the block timing, so a running device keeps its rate.
ASIOError LoopbackDriver::setSampleRate(ASIOSampleRate sampleRate) {
    trace_.note("setSampleRate %.10g", sampleRate);
    const ASIOError result = checkRate(sampleRate, settings_.failSetSampleRate);
    if (result != ASE_OK)
        return result;
    if (running_ && sampleRate != sampleRate_)
        return ASE_InvalidMode;
    sampleRate_ = sampleRate;
    return ASE_OK;
}

ASIOError LoopbackDriver::getClockSources(ASIOClockSource* clocks, int32_t* numSources) {
    trace_.note("getClockSources");
    if (!initialised_)
        return ASE_NotPresent;
    if (clocks == nullptr || numSources == nullptr || *numSources < 1)
        return ASE_InvalidParameter;
    describeOwnClock(clocks, "Internal");
    *numSources = 1;
    return ASE_OK;
}

ASIOError LoopbackDriver::setClockSource(int32_t reference) {
    trace_.note("setClockSource %d", reference);
    if (!initialised_)
        return ASE_NotPresent;
    return reference == 0 ? ASE_OK : ASE_InvalidParameter;
}

// Called by hosts from inside the buffer switch, so nothing here may block.
ASIOError LoopbackDriver::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    if (sPos == nullptr || tStamp == nullptr)
        return ASE_InvalidParameter;
    if (!running_)
        return ASE_SPNotAdvancing;
    const uint64_t position = position_.load();
    const uint64_t time = positionTime_.load();
    splitAsioWide(position, &sPos->hi, &sPos->lo);
    splitAsioWide(time, &tStamp->hi, &tStamp->lo);
    return ASE_OK;
}

ASIOError LoopbackDriver::getChannelInfo(ASIOChannelInfo* info) {
    if (info == nullptr) {
        trace_.note("getChannelInfo");
        return ASE_InvalidParameter;
    }
    trace_.note("getChannelInfo %d %d", info->channel, info->isInput);
    if (!initialised_)
        return ASE_NotPresent;
    const bool isInput = info->isInput != ASIOFalse;
    const int32_t channels = isInput ? settings_.inputs : settings_.outputs;
    if (info->channel < 0 || info->channel >= channels)
        return ASE_InvalidParameter;
    if (static_cast<uint32_t>(info->channel) >= settings_.failChannelInfoFrom)
        return ASE_NotPresent;
    info->isActive = channelHasBuffers(info->channel, isInput) ? ASIOTrue : ASIOFalse;
    info->channelGroup = 0;
    info->type = settings_.sampleType;
    char name[64];
    std::snprintf(name, sizeof name, "%s %d",
                  isInput ? settings_.inputNames : settings_.outputNames, info->channel + 1);
    copyFieldText(info->name, sizeof info->name, name);
    return ASE_OK;
}

ASIOError LoopbackDriver::controlPanel() {
    trace_.note("controlPanel");
    return ASE_NotPresent;
}

ASIOError LoopbackDriver::future(int32_t selector, void*) {
    trace_.note("future %d", selector);
    return ASE_InvalidParameter;
}

// The outputs are taken when the host's switch returns, so this only confirms.
ASIOError LoopbackDriver::outputReady() {
    return ASE_OK;
}
