#include "asiohost/asio_calls.h"

IASIO* currentDriver = nullptr;

namespace {

void setIfGiven(int32_t* out, int32_t value) {
    if (out != nullptr)
        *out = value;
}

// Without a driver, a pair of counts reads as none.
ASIOError noPair(int32_t* first, int32_t* second) {
    setIfGiven(first, 0);
    setIfGiven(second, 0);
    return ASE_NotPresent;
}

} // namespace

ASIOError ASIOInit(ASIODriverInfo* info) {
    if (info == nullptr)
        return ASE_InvalidParameter;
    info->driverVersion = 0;
    copyFieldText(info->name, sizeof info->name, "No ASIO Driver");
    if (currentDriver == nullptr)
        return ASE_NotPresent;
    if (currentDriver->init(info->sysRef) == ASIOFalse) {
        currentDriver->getErrorMessage(info->errorMessage);
        info->errorMessage[sizeof info->errorMessage - 1] = '\0';
        // Refused: the object stays with its list entry, which releases it.
        currentDriver = nullptr;
        return ASE_NotPresent;
    }
    copyFieldText(info->errorMessage, sizeof info->errorMessage, "No ASIO Driver Error");
    currentDriver->getDriverName(info->name);
    info->name[sizeof info->name - 1] = '\0';
    info->driverVersion = currentDriver->getDriverVersion();
    return ASE_OK;
}

// The object itself is the loader's to release (releaseLoadedDriver).
ASIOError ASIOExit() {
    currentDriver = nullptr;
    return ASE_OK;
}

ASIOError ASIOStart() {
    return currentDriver ? currentDriver->start() : ASE_NotPresent;
}

ASIOError ASIOStop() {
    return currentDriver ? currentDriver->stop() : ASE_NotPresent;
}

ASIOError ASIOGetChannels(int32_t* numInputChannels, int32_t* numOutputChannels) {
    return currentDriver ? currentDriver->getChannels(numInputChannels, numOutputChannels)
                         : noPair(numInputChannels, numOutputChannels);
}

ASIOError ASIOGetLatencies(int32_t* inputLatency, int32_t* outputLatency) {
    return currentDriver ? currentDriver->getLatencies(inputLatency, outputLatency)
                         : noPair(inputLatency, outputLatency);
}

ASIOError ASIOGetBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                            int32_t* granularity) {
    if (currentDriver != nullptr)
        return currentDriver->getBufferSize(minSize, maxSize, preferredSize, granularity);
    setIfGiven(minSize, 0);
    setIfGiven(maxSize, 0);
    setIfGiven(preferredSize, 0);
    setIfGiven(granularity, 0);
    return ASE_NotPresent;
}

ASIOError ASIOCanSampleRate(ASIOSampleRate sampleRate) {
    return currentDriver ? currentDriver->canSampleRate(sampleRate) : ASE_NotPresent;
}

ASIOError ASIOGetSampleRate(ASIOSampleRate* currentRate) {
    return currentDriver ? currentDriver->getSampleRate(currentRate) : ASE_NotPresent;
}

ASIOError ASIOGetClockSources(ASIOClockSource* clocks, int32_t* numSources) {
    if (currentDriver != nullptr)
        return currentDriver->getClockSources(clocks, numSources);
    setIfGiven(numSources, 0);
    return ASE_NotPresent;
}

ASIOError ASIOSetSampleRate(ASIOSampleRate sampleRate) {
    return currentDriver ? currentDriver->setSampleRate(sampleRate) : ASE_NotPresent;
}

ASIOError ASIOGetSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    return currentDriver ? currentDriver->getSamplePosition(sPos, tStamp) : ASE_NotPresent;
}

ASIOError ASIOGetChannelInfo(ASIOChannelInfo* info) {
    if (currentDriver != nullptr)
        return currentDriver->getChannelInfo(info);
    if (info != nullptr) {
        info->channelGroup = -1;
        info->type = ASIOSTInt16MSB;
        copyFieldText(info->name, sizeof info->name, "None");
    }
    return ASE_NotPresent;
}

ASIOError ASIOCreateBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                            ASIOCallbacks* callbacks) {
    if (currentDriver != nullptr)
        return currentDriver->createBuffers(bufferInfos, numChannels, bufferSize, callbacks);
    for (int32_t i = 0; bufferInfos != nullptr && i < numChannels; ++i) {
        bufferInfos[i].buffers[0] = nullptr;
        bufferInfos[i].buffers[1] = nullptr;
    }
    return ASE_NotPresent;
}

ASIOError ASIODisposeBuffers() {
    return currentDriver ? currentDriver->disposeBuffers() : ASE_NotPresent;
}

ASIOError ASIOOutputReady() {
    return currentDriver ? currentDriver->outputReady() : ASE_NotPresent;
}
