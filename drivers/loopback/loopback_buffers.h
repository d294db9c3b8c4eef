// The loopback device's buffers: both halves of every channel the host asked
// for, and one delay line per input that carries what its output played back
// to it. One allocation holds them all, made when the host creates buffers.
#pragma once

#include <cstdint>

#include "asiohost/asio.h"
#include "drivers/common/driver_contract.h"
#include "drivers/loopback/loopback_delay_line.h"
#include "drivers/loopback/loopback_device_model.h"
#include "drivers/loopback/loopback_settings.h"

// The two halves the host sees for one channel, and the delay line that feeds
// an input or is fed by an output (null for an output whose input channel has
// no buffers: nobody would hear it).
struct LoopbackChannel {
    uint8_t* halves[2];
    DelayLine line;
};

class LoopbackBuffers {
  public:
    LoopbackBuffers(const LoopbackSettings& settings, LoopbackDeviceModel& model)
        : settings_(settings), model_(model) {}
    ~LoopbackBuffers() { release(); }
    LoopbackBuffers(const LoopbackBuffers&) = delete;
    LoopbackBuffers& operator=(const LoopbackBuffers&) = delete;

    // Fills in the host's entries; false when the memory is not there.
    bool create(ASIOBufferInfo* infos, int32_t count, int32_t frames, double sampleRate);
    void release();
    bool exist() const { return storage_ != nullptr; }
    bool hasBuffers(int32_t channel, bool isInput) const;
    int32_t frames() const { return frames_; }
    // The whole loop for a buffer length: never shorter than one buffer.
    int32_t loopLatency(int32_t bufferFrames) const;

    // A run starts from silence at the start of lines `frames` long.
    void restartLines(int32_t frames);
    // The block that went out `latency` frames ago, into the inputs' halves.
    void fillInputs(int32_t half);
    // What the host left in the output halves, into the delay lines.
    void takeOutputs(int32_t half);
    void advance();

  private:
    void assign(ASIOBufferInfo* infos, int32_t count);
    void connectOutputs();
    void shapeOutputs(int32_t half);

    const LoopbackSettings& settings_;
    LoopbackDeviceModel& model_;
    uint8_t* storage_ = nullptr; // both halves of every channel, then the delay lines
    int32_t frames_ = 0;
    int32_t frameBytes_ = 0;
    int32_t latency_ = 0; // of the current run; the delay lines hold the longest
    int32_t cursor_ = 0;
    int32_t inputCount_ = 0;
    int32_t outputCount_ = 0;
    LoopbackChannel inputs_[kDriverMaxChannels] = {};
    LoopbackChannel outputs_[kDriverMaxChannels] = {};
    int32_t inputChannel_[kDriverMaxChannels] = {};
    int32_t outputChannel_[kDriverMaxChannels] = {};
};
