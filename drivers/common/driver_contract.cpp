#include "drivers/common/driver_contract.h"

#include <cstring>

#include "drivers/common/asio_driver.h"

void ContractDriver::getDriverName(char* name) {
    trace_.note("getDriverName");
    if (name != nullptr)
        copyFieldText(name, kAsioNameSize, name_);
}

void ContractDriver::getErrorMessage(char* string) {
    trace_.note("getErrorMessage");
    if (string != nullptr)
        copyFieldText(string, sizeof errorMessage_, errorMessage_);
}

ASIOError ContractDriver::getChannels(int32_t* numInputChannels, int32_t* numOutputChannels) {
    noteCall("getChannels");
    const DriverShape own = reportedShape();
    return answerPair(ready(), own.inputs, own.outputs, numInputChannels, numOutputChannels);
}

ASIOError ContractDriver::getBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                                        int32_t* granularity) {
    noteCall("getBufferSize");
    const ASIOError result = checkQuery(ready(), {minSize, maxSize, preferredSize, granularity});
    if (result == ASE_OK) {
        const DriverShape own = reportedShape();
        *minSize = own.bufferMin;
        *maxSize = own.bufferMax;
        *preferredSize = own.bufferPreferred;
        *granularity = own.bufferGranularity;
    }
    return result;
}

// The device's one clock source, its own; it alone can be set.
ASIOError ContractDriver::getClockSources(ASIOClockSource* clocks, int32_t* numSources) {
    trace_.note("getClockSources");
    const ASIOError result = checkQuery(ready(), {clocks, numSources});
    if (result != ASE_OK || *numSources < 1)
        return result != ASE_OK ? result : ASE_InvalidParameter;
    std::memset(clocks, 0, sizeof *clocks);
    clocks->associatedChannel = -1;
    clocks->associatedGroup = -1;
    clocks->isCurrentSource = ASIOTrue;
    copyFieldText(clocks->name, sizeof clocks->name, clockName_);
    *numSources = 1;
    return ASE_OK;
}

ASIOError ContractDriver::setClockSource(int32_t reference) {
    trace_.note("setClockSource %d", reference);
    return !ready() ? ASE_NotPresent : reference == 0 ? ASE_OK : ASE_InvalidParameter;
}

ASIOError ContractDriver::controlPanel() {
    trace_.note("controlPanel");
    return ASE_NotPresent;
}

ASIOError ContractDriver::future(int32_t selector, void*) {
    trace_.note("future %d", selector);
    return ASE_InvalidParameter;
}

ASIOError ContractDriver::outputReady() {
    return takesOutputReady_ ? ASE_OK : ASE_NotPresent;
}

ASIOError checkQuery(bool ready, std::initializer_list<const void*> arguments) {
    if (!ready)
        return ASE_NotPresent;
    for (const void* argument : arguments)
        if (argument == nullptr)
            return ASE_InvalidParameter;
    return ASE_OK;
}

ASIOError answerPair(bool ready, int32_t first, int32_t second, int32_t* firstOut,
                     int32_t* secondOut) {
    const ASIOError result = checkQuery(ready, {firstOut, secondOut});
    if (result == ASE_OK) {
        *firstOut = first;
        *secondOut = second;
    }
    return result;
}

ASIOError checkStart(bool ready, bool hasBuffers) {
    return !ready ? ASE_NotPresent : hasBuffers ? ASE_OK : ASE_InvalidMode;
}

namespace {

bool channelExists(const DriverShape& shape, ASIOBool isInput, int32_t channel) {
    return channel >= 0 && channel < (isInput != ASIOFalse ? shape.inputs : shape.outputs);
}

// Every channel exists and is asked for once per direction.
bool bufferEntriesValid(const DriverShape& shape, const ASIOBufferInfo* infos, int32_t count) {
    bool taken[2][kDriverMaxChannels] = {};
    for (int32_t i = 0; i < count; ++i) {
        const bool isInput = infos[i].isInput != ASIOFalse;
        const int32_t channel = infos[i].channelNum;
        if (!channelExists(shape, infos[i].isInput, channel) || taken[isInput][channel])
            return false;
        taken[isInput][channel] = true;
    }
    return true;
}

} // namespace

ASIOError checkChannelInfo(bool ready, const DriverShape& shape, const ASIOChannelInfo* info) {
    const ASIOError result = checkQuery(ready, {info});
    if (result != ASE_OK)
        return result;
    return channelExists(shape, info->isInput, info->channel) ? ASE_OK : ASE_InvalidParameter;
}

bool bufferSizeAllowed(const DriverShape& shape, int32_t frames) {
    if (frames < shape.bufferMin || frames > shape.bufferMax)
        return false;
    if (shape.bufferGranularity == -1)
        return (frames & (frames - 1)) == 0;
    if (shape.bufferGranularity <= 0)
        return frames == shape.bufferPreferred;
    return (frames - shape.bufferMin) % shape.bufferGranularity == 0;
}

ASIOError checkBufferRequest(const DriverShape& shape, ASIOBufferInfo* infos, int32_t count,
                             int32_t frames, const ASIOCallbacks* callbacks) {
    if (infos == nullptr || callbacks == nullptr || count <= 0 ||
        count > shape.inputs + shape.outputs)
        return ASE_InvalidParameter;
    for (int32_t i = 0; i < count; ++i)
        infos[i].buffers[0] = infos[i].buffers[1] = nullptr;
    if (!bufferSizeAllowed(shape, frames))
        return ASE_InvalidMode;
    return bufferEntriesValid(shape, infos, count) ? ASE_OK : ASE_InvalidParameter;
}

bool hostSupports(const ASIOCallbacks& callbacks, int32_t selector) {
    return callbacks.asioMessage != nullptr &&
           callbacks.asioMessage(kAsioSelectorSupported, selector, nullptr, nullptr) == 1;
}

bool hostTakesTimeInfo(const ASIOCallbacks& callbacks) {
    return callbacks.bufferSwitchTimeInfo != nullptr &&
           hostSupports(callbacks, kAsioSupportsTimeInfo) &&
           callbacks.asioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr) == 1;
}

void describeSwitchTime(ASIOTime* time, uint64_t systemTimeNs, uint64_t samplePosition,
                        ASIOSampleRate sampleRate) {
    std::memset(time, 0, sizeof *time);
    time->timeInfo.speed = 1.0;
    splitAsioWide(systemTimeNs, &time->timeInfo.systemTime.hi, &time->timeInfo.systemTime.lo);
    splitAsioWide(samplePosition, &time->timeInfo.samplePosition.hi,
                  &time->timeInfo.samplePosition.lo);
    time->timeInfo.sampleRate = sampleRate;
    time->timeInfo.flags = kSystemTimeValid | kSamplePositionValid | kSampleRateValid;
}
