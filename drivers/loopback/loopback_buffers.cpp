#include "drivers/loopback/loopback_buffers.h"

#include <cstring>
#include <new>

int32_t LoopbackBuffers::loopLatency(int32_t bufferFrames) const {
    return settings_.latency > bufferFrames ? settings_.latency : bufferFrames;
}

// One zeroed block: both halves of every entry, then one delay line per input.
bool LoopbackBuffers::create(ASIOBufferInfo* infos, int32_t count, int32_t frames,
                             double sampleRate) {
    int32_t inputs = 0;
    for (int32_t i = 0; i < count; ++i)
        inputs += infos[i].isInput != ASIOFalse ? 1 : 0;
    frameBytes_ = loopbackSampleBytes(settings_.sampleType);
    frames_ = frames;
    latency_ = model_.longestLatency(settings_.latency, frames);
    if (!model_.prepare(count - inputs, frames, settings_.sampleType, sampleRate))
        return false;
    const size_t halfBytes = static_cast<size_t>(frames) * static_cast<size_t>(frameBytes_);
    const size_t lineBytes = static_cast<size_t>(latency_) * static_cast<size_t>(frameBytes_);
    const size_t total =
        halfBytes * 2u * static_cast<size_t>(count) + lineBytes * static_cast<size_t>(inputs);
    storage_ = new (std::nothrow) uint8_t[total]();
    if (storage_ == nullptr)
        return false;
    assign(infos, count);
    return true;
}

void LoopbackBuffers::assign(ASIOBufferInfo* infos, int32_t count) {
    const size_t halfBytes = static_cast<size_t>(frames_) * static_cast<size_t>(frameBytes_);
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
void LoopbackBuffers::connectOutputs() {
    for (int32_t o = 0; o < outputCount_; ++o)
        for (int32_t i = 0; i < inputCount_; ++i)
            if (inputChannel_[i] == outputChannel_[o])
                outputs_[o].line.frames = inputs_[i].line.frames;
}

void LoopbackBuffers::release() {
    delete[] storage_;
    storage_ = nullptr;
    inputCount_ = outputCount_ = 0;
}

bool LoopbackBuffers::hasBuffers(int32_t channel, bool isInput) const {
    const int32_t* channels = isInput ? inputChannel_ : outputChannel_;
    const int32_t count = isInput ? inputCount_ : outputCount_;
    for (int32_t i = 0; i < count; ++i)
        if (channels[i] == channel)
            return true;
    return false;
}

// The lines were sized for the longest loop; a run uses `frames` of them.
void LoopbackBuffers::restartLines(int32_t frames) {
    latency_ = frames;
    cursor_ = 0;
    for (int32_t o = 0; o < outputCount_; ++o)
        outputs_[o].line.length = frames;
    for (int32_t i = 0; i < inputCount_; ++i) {
        inputs_[i].line.length = frames;
        std::memset(inputs_[i].line.frames, 0,
                    static_cast<size_t>(frames) * static_cast<size_t>(frameBytes_));
        if (model_.shapesSignal())
            model_.fillSilence(inputs_[i].line.frames, frames);
    }
}

void LoopbackBuffers::fillInputs(int32_t half) {
    for (int32_t i = 0; i < inputCount_; ++i)
        if (inputs_[i].halves[half] != nullptr)
            readDelayLine(inputs_[i].line, cursor_, frames_, inputs_[i].halves[half]);
}

void LoopbackBuffers::takeOutputs(int32_t half) {
    if (model_.shapesSignal()) {
        shapeOutputs(half);
        return;
    }
    for (int32_t o = 0; o < outputCount_; ++o)
        if (outputs_[o].line.frames != nullptr && outputs_[o].halves[half] != nullptr)
            writeDelayLine(outputs_[o].line, cursor_, frames_, outputs_[o].halves[half]);
}

// Every input hears every output through the model, so each input's line is
// written whole, whether or not its own output has buffers.
void LoopbackBuffers::shapeOutputs(int32_t half) {
    const uint8_t* halves[kDriverMaxChannels];
    for (int32_t o = 0; o < outputCount_; ++o)
        halves[o] = outputs_[o].halves[half];
    model_.shapeOutputs(halves, outputChannel_, outputCount_);
    for (int32_t i = 0; i < inputCount_; ++i)
        writeDelayLine(inputs_[i].line, cursor_, frames_, model_.inputBlock(inputChannel_[i]));
}

void LoopbackBuffers::advance() {
    cursor_ = advanceDelayCursor(latency_, cursor_, frames_);
}
