// The JACK process cycle and JACK's notices. The cycle runs on JACK's
// real-time thread: fixed-size conversions and the host's switch only, no
// allocation, lock, I/O or waiting.
#include <chrono>
#include <cstring>
#include <thread>

#include "drivers/jack/jack_driver.h"
#include "drivers/jack/jack_samples.h"

int JackDriver::onProcess(jack_nframes_t frames, void* self) {
    static_cast<JackDriver*>(self)->process(frames);
    return 0;
}

int JackDriver::onXrun(void* self) {
    // Counted here and passed on by the next cycle, so that the host is only
    // ever called from the one thread that also calls its buffer switch.
    auto* driver = static_cast<JackDriver*>(self);
    if (driver->running_.load())
        ++driver->pendingXruns_;
    return 0;
}

void JackDriver::onShutdown(jack_status_t, const char*, void* self) {
    // No cycle will come any more, so this is the host's only news of it.
    auto* driver = static_cast<JackDriver*>(self);
    driver->serverGone_.store(true);
    driver->inNotice_.store(true);
    if (driver->running_.load() && driver->hostTakesReset_)
        driver->callbacks_->asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
    driver->inNotice_.store(false);
}

void JackDriver::process(jack_nframes_t frames) {
    // Announced before running_ is read, and stop() clears running_ before it
    // reads inCycle_: one of the two always sees the other.
    inCycle_.store(true);
    if (running_.load() && channels_ != nullptr) {
        if (static_cast<int32_t>(frames) == bufferSize_) {
            runCycle(frames);
        } else {
            refuseOtherPeriod(frames);
            reportXruns();
        }
    } else if (channels_ != nullptr) {
        silenceOutputs(frames);
    }
    inCycle_.store(false);
}

// One xrun is one event. When the frame clock jumped, the sample position
// already tells the host how many blocks went by, so a notice near the jump
// is not passed on as well (JACK may send more than one for one late cycle,
// before or after the cycle that shows the jump). A notice the clock did not
// show becomes one resync request.
void JackDriver::reportXruns() {
    const uint32_t notices = pendingXruns_.exchange(0);
    if (notices == 0)
        return;
    xrunNotices_.fetch_add(notices, std::memory_order_relaxed);
    if (jumpSeen_ && cyclesRun_ - lastJumpCycle_ <= kXrunJumpCycles)
        return;
    resyncsSent_.fetch_add(1, std::memory_order_relaxed);
    if (hostTakesResync_)
        callbacks_->asioMessage(kAsioResyncRequest, 0, nullptr, nullptr);
}

void JackDriver::holdLateCycle() {
    if (cyclesRun_ == settings_.lateCycleAt)
        std::this_thread::sleep_for(std::chrono::microseconds(settings_.lateCycleUs));
}

// Blocks the frame clock says went by without this client, counted as the
// host counts a position jump: whole buffers, and at least one.
void JackDriver::noteClockJump(jack_nframes_t step) {
    const jack_nframes_t period = static_cast<jack_nframes_t>(bufferSize_);
    const uint32_t blocks = step > period ? (step - period) / period : 0u;
    skippedBlocks_.fetch_add(blocks > 0 ? blocks : 1u, std::memory_order_relaxed);
    jumpSeen_ = true;
    lastJumpCycle_ = cyclesRun_;
}

void JackDriver::refuseOtherPeriod(jack_nframes_t frames) {
    // The server's period changed under the host's buffers: they no longer
    // fit a cycle, so the host hears silence and is asked, once, to set up again.
    silenceOutputs(frames);
    if (!resetRequested_ && hostTakesReset_)
        callbacks_->asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
    resetRequested_ = true;
}

void JackDriver::runCycle(jack_nframes_t frames) {
    const int32_t half = half_;
    for (int32_t i = 0; i < channelCount_; ++i) {
        const Channel& channel = channels_[i];
        if (channel.isInput)
            jackFloatsToInt32s(
                static_cast<const float*>(jack_port_get_buffer(channel.port, frames)),
                channel.halves[half], frames);
    }
    advancePosition();
    reportXruns();
    callHost();
    holdLateCycle();
    ++cyclesRun_;
    for (int32_t i = 0; i < channelCount_; ++i) {
        const Channel& channel = channels_[i];
        if (!channel.isInput)
            jackInt32sToFloats(channel.halves[half],
                               static_cast<float*>(jack_port_get_buffer(channel.port, frames)),
                               frames);
    }
    half_ = 1 - half;
}

void JackDriver::advancePosition() {
    // JACK's frame counter is 32 bits wide and wraps after a day at 48 kHz;
    // the position handed on keeps counting through the wrap.
    const jack_nframes_t frame = jack_last_frame_time(client_);
    const jack_nframes_t step = frame - lastFrame_;
    if (positionKnown_.load() && step != static_cast<jack_nframes_t>(bufferSize_))
        noteClockJump(step);
    if (positionKnown_.load())
        position_ += step;
    else
        position_ = frame;
    lastFrame_ = frame;
    lastPosition_.store(position_);
    lastSystemTimeNs_.store(jack_frames_to_time(client_, frame) * 1000u);
    positionKnown_.store(true);
}

void JackDriver::callHost() {
    // A host may offer only the time-info switch and still decline it.
    if (!hostTakesTimeInfo_) {
        if (callbacks_->bufferSwitch != nullptr)
            callbacks_->bufferSwitch(half_, ASIOTrue);
        return;
    }
    ASIOTime time;
    describeSwitchTime(&time, lastSystemTimeNs_.load(), position_, sampleRate_);
    callbacks_->bufferSwitchTimeInfo(&time, half_, ASIOTrue);
}

void JackDriver::silenceOutputs(jack_nframes_t frames) {
    for (int32_t i = 0; i < channelCount_; ++i)
        if (!channels_[i].isInput)
            std::memset(jack_port_get_buffer(channels_[i].port, frames), 0, sizeof(float) * frames);
}
