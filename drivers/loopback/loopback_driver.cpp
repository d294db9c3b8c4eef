#include "drivers/loopback/loopback_driver.h"

#include <cstdio>
#include <cstring>

#include "platform/guid_text.h"

LoopbackDriver::LoopbackDriver(const CLSID& clsid)
    : ContractDriver(clsid, settings_.name, settings_.traceFile, "Internal", kTakesOutputReady),
      settings_(), initialised_(false), sampleRate_(0.0), buffers_(settings_, model_),
      clock_(settings_, model_, buffers_, trace_) {
    readLoopbackSettings(clsid, &settings_);
    model_.configure(clsid, settings_.shape.inputs, settings_.shape.outputs);
    sampleRate_ = settings_.sampleRate;
    char clsidText[kGuidTextSize];
    guidToText(clsid, clsidText);
    trace_.note("create %s", clsidText);
}

LoopbackDriver::~LoopbackDriver() {
    trace_.note("release");
    clock_.stop();
    clock_.joinFinished();
}

// A driver stuck in a call, as one waiting for hardware that never answers.
void LoopbackDriver::hangIfAsked(const char* call) const {
    if (std::strcmp(settings_.hangIn, call) != 0)
        return;
    trace_.note("hang %s", call);
    for (uint32_t waited = 0; settings_.hangMs == 0 || waited < settings_.hangMs; waited += 10)
        Sleep(10);
}

ASIOBool LoopbackDriver::init(void*) {
    noteCall("init");
    if (settings_.failInit)
        copyFieldText(errorMessage_, sizeof errorMessage_, settings_.initError);
    initialised_ = !settings_.failInit && modelAccepted();
    if (initialised_)
        errorMessage_[0] = '\0';
    return initialised_ ? ASIOTrue : ASIOFalse;
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

int32_t LoopbackDriver::getDriverVersion() {
    trace_.note("getDriverVersion");
    return settings_.version;
}

// The whole loop is reported, split at the buffer: the input half the host
// reads was complete one buffer ago, and the rest is the way out. A device
// configured to hide part of it leaves that out of the way out, as drivers
// with an unreported safety buffer do; the figure may then go below zero.
ASIOError LoopbackDriver::getLatencies(int32_t* inputLatency, int32_t* outputLatency) {
    noteCall("getLatencies");
    const int32_t frames = buffers_.exist() ? buffers_.frames() : settings_.shape.bufferPreferred;
    return answerPair(initialised_, frames,
                      buffers_.loopLatency(frames) - frames - settings_.hiddenLatency, inputLatency,
                      outputLatency);
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
    const ASIOError result = checkQuery(initialised_, {sampleRate});
    if (result == ASE_OK)
        *sampleRate = sampleRate_;
    return result;
}

// The clock runs at the rate it was started with; changing it under the host's
// feet would break the block timing, so a running device keeps its rate.
ASIOError LoopbackDriver::setSampleRate(ASIOSampleRate sampleRate) {
    trace_.note("setSampleRate %.10g", sampleRate);
    const ASIOError result = checkRate(sampleRate, settings_.failSetSampleRate);
    if (result != ASE_OK)
        return result;
    if (clock_.running() && sampleRate != sampleRate_)
        return ASE_InvalidMode;
    sampleRate_ = sampleRate;
    return ASE_OK;
}

// Called by hosts from inside the buffer switch, so nothing here may block.
ASIOError LoopbackDriver::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    if (sPos == nullptr || tStamp == nullptr)
        return ASE_InvalidParameter;
    if (!clock_.running())
        return ASE_SPNotAdvancing;
    uint64_t position = 0;
    uint64_t time = 0;
    clock_.position(&position, &time);
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
    const ASIOError result = checkChannelInfo(initialised_, shape(), info);
    if (result != ASE_OK)
        return result;
    const bool isInput = info->isInput != ASIOFalse;
    if (static_cast<uint32_t>(info->channel) >= settings_.failChannelInfoFrom)
        return ASE_NotPresent;
    info->isActive = buffers_.hasBuffers(info->channel, isInput) ? ASIOTrue : ASIOFalse;
    info->channelGroup = 0;
    info->type = settings_.sampleType;
    char name[64];
    std::snprintf(name, sizeof name, "%s %d",
                  isInput ? settings_.inputNames : settings_.outputNames, info->channel + 1);
    copyFieldText(info->name, sizeof info->name, name);
    return ASE_OK;
}

ASIOError LoopbackDriver::createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,
                                        int32_t bufferSize, ASIOCallbacks* callbacks) {
    trace_.note("createBuffers %d %d", numChannels, bufferSize);
    hangIfAsked("createBuffers");
    if (!initialised_)
        return ASE_NotPresent;
    if (buffers_.exist())
        return ASE_InvalidMode;
    const ASIOError refusal =
        checkBufferRequest(shape(), bufferInfos, numChannels, bufferSize, callbacks);
    if (refusal != ASE_OK)
        return refusal;
    if (settings_.failCreateBuffers ||
        !buffers_.create(bufferInfos, numChannels, bufferSize, sampleRate_))
        return ASE_NoMemory;
    clock_.connect(*callbacks, !settings_.plainBufferSwitch && hostTakesTimeInfo(*callbacks));
    // Some drivers call the host as soon as the buffers exist, long before start.
    if (settings_.createBuffersSwitch) {
        trace_.note("createBuffersSwitch");
        clock_.switchBeforeStart(sampleRate_);
    }
    return ASE_OK;
}

ASIOError LoopbackDriver::disposeBuffers() {
    noteCall("disposeBuffers");
    // The clock would go on writing into what is freed here.
    if (clock_.onClockThread() || !buffers_.exist())
        return ASE_InvalidMode;
    clock_.stop();
    clock_.joinFinished();
    clock_.disconnect();
    buffers_.release();
    return ASE_OK;
}

ASIOError LoopbackDriver::start() {
    noteCall("start");
    const ASIOError refusal = checkStart(initialised_, buffers_.exist());
    if (refusal != ASE_OK)
        return refusal;
    if (clock_.running())
        return ASE_InvalidMode;
    if (settings_.failStart)
        return ASE_HWMalfunction;
    clock_.joinFinished();
    return clock_.start(sampleRate_);
}

ASIOError LoopbackDriver::stop() {
    hangIfAsked("stop");
    clock_.stop();
    clock_.reportTiming();
    return ASE_OK;
}

DriverShape LoopbackDriver::reportedShape() const {
    const DriverShape device = shape();
    auto reportedOr = [](const LoopbackReportedValue& reported, int32_t own) {
        return reported.given ? reported.value : own;
    };
    return DriverShape{reportedOr(settings_.reportInputs, device.inputs),
                       reportedOr(settings_.reportOutputs, device.outputs),
                       reportedOr(settings_.reportBufferMin, device.bufferMin),
                       reportedOr(settings_.reportBufferMax, device.bufferMax),
                       reportedOr(settings_.reportBufferPreferred, device.bufferPreferred),
                       reportedOr(settings_.reportBufferGranularity, device.bufferGranularity)};
}

void LoopbackDriver::noteCall(const char* call) const {
    trace_.note("%s", call);
    hangIfAsked(call);
}
