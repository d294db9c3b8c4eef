// Buffer creation and disposal of the loopback device.
#include <cstring>
#include <new>

#include "drivers/loopback/loopback_driver.h"

ASIOError LoopbackDriver::createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,
                                        int32_t bufferSize, ASIOCallbacks* callbacks) {
    trace_.note("createBuffers %d %d", numChannels, bufferSize);
    hangIfAsked("createBuffers");
    if (!initialised_)
        return ASE_NotPresent;
    if (storage_ != nullptr)
        return ASE_InvalidMode;
    const ASIOError refusal =
        checkBufferRequest(shape(), bufferInfos, numChannels, bufferSize, callbacks);
    if (refusal != ASE_OK)
        return refusal;
    if (settings_.failCreateBuffers || !allocateBuffers(bufferInfos, numChannels, bufferSize))
        return ASE_NoMemory;
    assignBuffers(bufferInfos, numChannels);
    callbacks_ = *callbacks;
    useTimeInfo_ = !settings_.plainBufferSwitch && hostTakesTimeInfo(callbacks_);
    // Some drivers call the host as soon as the buffers exist, long before start.
    if (settings_.createBuffersSwitch) {
        trace_.note("createBuffersSwitch");
        publishPosition(0);
        callHost(0);
    }
    return ASE_OK;
}

ASIOError LoopbackDriver::disposeBuffers() {
    noteCall("disposeBuffers");
    // The clock would go on writing into what is freed here.
    if (onClockThread())
        return ASE_InvalidMode;
    if (storage_ == nullptr)
        return ASE_InvalidMode;
    stopClock();
    joinFinishedClock();
    releaseBuffers();
    return ASE_OK;
}

int32_t LoopbackDriver::loopLatency(int32_t bufferFrames) const {
    return settings_.latency > bufferFrames ? settings_.latency : bufferFrames;
}

// One zeroed block: both halves of every entry, then one delay line per input.
bool LoopbackDriver::allocateBuffers(ASIOBufferInfo* infos, int32_t count, int32_t frames) {
    int32_t inputs = 0;
    for (int32_t i = 0; i < count; ++i)
        inputs += infos[i].isInput != ASIOFalse ? 1 : 0;
    frameBytes_ = loopbackSampleBytes(settings_.sampleType);
    bufferFrames_ = frames;
    latency_ = model_.longestLatency(settings_.latency, frames);
    if (!model_.prepare(count - inputs, frames, settings_.sampleType, sampleRate_))
        return false;
    const size_t halfBytes = static_cast<size_t>(frames) * static_cast<size_t>(frameBytes_);
    const size_t lineBytes = static_cast<size_t>(latency_) * static_cast<size_t>(frameBytes_);
    const size_t total =
        halfBytes * 2u * static_cast<size_t>(count) + lineBytes * static_cast<size_t>(inputs);
    storage_ = new (std::nothrow) uint8_t[total]();
    return storage_ != nullptr;
}

void LoopbackDriver::assignBuffers(ASIOBufferInfo* infos, int32_t count) {
    const size_t halfBytes = static_cast<size_t>(bufferFrames_) * static_cast<size_t>(frameBytes_);
    uint8_t* next = storage_;
    uint8_t* nextLine = storage_ + halfBytes * 2u * static_cast<size_t>(count);
    inputCount_ = outputCount_ = 0;
    for (int32_t i = 0; i < count; ++i) {
        const bool isInput = infos[i].isInput != ASIOFalse;
        LoopbackChannel& channel = isInput ? inputs_[inputCount_] : outputs_[outputCount_];
        (isInput ? inputChannel_[inputCount_++] : outputChannel_[outputCount_++]) =
            infos[i].channelNum;
        channel.halves[0] = next;
        channel.halves[1] = next + halfBytes;
        next += 2u * halfBytes;
        channel.line = DelayLine{nullptr, latency_, frameBytes_};
        if (isInput) {
            channel.line.frames = nextLine;
            nextLine += static_cast<size_t>(latency_) * static_cast<size_t>(frameBytes_);
        }
        const bool withheld = static_cast<uint32_t>(i) + 1u == settings_.nullBuffer;
        infos[i].buffers[0] = channel.halves[0];
        infos[i].buffers[1] = withheld ? nullptr : channel.halves[1];
        channel.halves[1] = withheld ? nullptr : channel.halves[1];
    }
    connectOutputs();
}

// Output i feeds the delay line of input i, when that input has buffers.
void LoopbackDriver::connectOutputs() {
    for (int32_t o = 0; o < outputCount_; ++o)
        for (int32_t i = 0; i < inputCount_; ++i)
            if (inputChannel_[i] == outputChannel_[o])
                outputs_[o].line.frames = inputs_[i].line.frames;
}

void LoopbackDriver::releaseBuffers() {
    delete[] storage_;
    storage_ = nullptr;
    inputCount_ = outputCount_ = 0;
    std::memset(&callbacks_, 0, sizeof callbacks_);
    useTimeInfo_ = false;
}

bool LoopbackDriver::channelHasBuffers(int32_t channel, bool isInput) const {
    const int32_t* channels = isInput ? inputChannel_ : outputChannel_;
    const int32_t count = isInput ? inputCount_ : outputCount_;
    for (int32_t i = 0; i < count; ++i)
        if (channels[i] == channel)
            return true;
    return false;
}
