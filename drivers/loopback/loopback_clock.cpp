// The device clock of the loopback device: one thread that, between start and
// stop, serves the host one buffer half per period.
#include <cmath>
#include <cstring>
#include <system_error>

#include "drivers/loopback/loopback_driver.h"

ASIOError LoopbackDriver::start() {
    trace_.note("start");
    if (!initialised_ || storage_ == nullptr)
        return ASE_NotPresent;
    if (running_)
        return ASE_InvalidMode;
    if (settings_.failStart)
        return ASE_HWMalfunction;
    joinFinishedClock();
    return startClock();
}

ASIOError LoopbackDriver::stop() {
    trace_.note("stop");
    stopClock();
    return ASE_OK;
}

// Every run starts from silence at sample position 0.
ASIOError LoopbackDriver::startClock() {
    cursor_ = 0;
    slip_ = 0;
    for (int32_t i = 0; i < inputCount_; ++i)
        std::memset(inputs_[i].line.frames, 0,
                    static_cast<size_t>(latency_) * static_cast<size_t>(frameBytes_));
    lastTick_ = timeGetTime();
    clockMs_ = lastTick_;
    position_ = 0;
    positionTime_ = systemTimeNs();
    stopRequested_ = false;
    running_ = true;
    const Clock::time_point origin = Clock::now();
    uint64_t firstBlock = 0;
    if (settings_.earlySwitch) {
        trace_.note("earlySwitch");
        runBlock(0);
        firstBlock = 1;
    }
    if (settings_.deadDevice)
        return ASE_OK;
    try {
        clock_ = std::thread(&LoopbackDriver::clockLoop, this, firstBlock, origin);
    } catch (const std::system_error&) {
        running_ = false;
        return ASE_HWMalfunction;
    }
    return ASE_OK;
}

// After this returns no buffer switch is running or will run, unless it is
// called from inside one: then the clock ends as soon as that switch returns.
void LoopbackDriver::stopClock() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    running_ = false;
    if (clock_.joinable() && !onClockThread())
        clock_.join();
}

// A clock stopped from inside its own switch is joined later, from outside.
void LoopbackDriver::joinFinishedClock() {
    if (!clock_.joinable())
        return;
    if (onClockThread())
        clock_.detach();
    else
        clock_.join();
}

bool LoopbackDriver::onClockThread() const {
    return clock_.joinable() && clock_.get_id() == std::this_thread::get_id();
}

void LoopbackDriver::clockLoop(uint64_t firstBlock, Clock::time_point origin) {
    for (uint64_t block = firstBlock; waitForBlock(block, origin); ++block)
        runBlock(block);
}

// Deadlines are counted from the start, so that waking late never shifts the
// blocks after it. Block n is complete one period after its start, unless an
// early switch moved the whole run one period forward.
bool LoopbackDriver::waitForBlock(uint64_t block, Clock::time_point origin) {
    if (settings_.freeRunning)
        return !stopRequested_;
    const uint64_t periods = block + (settings_.earlySwitch ? 0u : 1u);
    const double seconds = static_cast<double>(periods) * bufferFrames_ / sampleRate_;
    const auto deadline =
        origin + std::chrono::nanoseconds(static_cast<int64_t>(std::llround(seconds * 1e9)));
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_until(lock, deadline, [this] { return stopRequested_.load(); });
    return !stopRequested_;
}

// Input first, from what went out `latency` frames ago; then the host; then
// what the host left in the output half goes into the delay lines.
void LoopbackDriver::runBlock(uint64_t block) {
    const int32_t half = static_cast<int32_t>(block & 1u);
    fillInputs(half);
    publishPosition(block);
    if (settings_.message != 0 && block == settings_.messageAt && callbacks_.asioMessage)
        callbacks_.asioMessage(settings_.message, 0, nullptr, nullptr);
    callHost(block == settings_.badHalfAt ? 2 : half);
    takeOutputs(half);
    cursor_ = advanceDelayCursor(latency_, cursor_, bufferFrames_);
}

// A slip moves the reported position by one block from its block on, as a
// device does that loses or repeats a block under load.
void LoopbackDriver::publishPosition(uint64_t block) {
    if (block == settings_.slipSkipAt)
        slip_ += bufferFrames_;
    if (block == settings_.slipRepeatAt)
        slip_ -= bufferFrames_;
    const int64_t position = static_cast<int64_t>(block) * bufferFrames_ + slip_;
    const uint64_t reported = position > 0 ? static_cast<uint64_t>(position) : 0u;
    const uint64_t now = systemTimeNs();
    position_ = reported;
    positionTime_ = now;
    describeSwitchTime(&time_, now, reported, sampleRate_);
}

void LoopbackDriver::callHost(int32_t half) {
    if (useTimeInfo_)
        callbacks_.bufferSwitchTimeInfo(&time_, half, ASIOTrue);
    else if (callbacks_.bufferSwitch != nullptr)
        callbacks_.bufferSwitch(half, ASIOTrue);
}

void LoopbackDriver::fillInputs(int32_t half) {
    for (int32_t i = 0; i < inputCount_; ++i)
        if (inputs_[i].halves[half] != nullptr)
            readDelayLine(inputs_[i].line, cursor_, bufferFrames_, inputs_[i].halves[half]);
}

void LoopbackDriver::takeOutputs(int32_t half) {
    for (int32_t o = 0; o < outputCount_; ++o)
        if (outputs_[o].line.frames != nullptr && outputs_[o].halves[half] != nullptr)
            writeDelayLine(outputs_[o].line, cursor_, bufferFrames_, outputs_[o].halves[half]);
}

// The multimedia clock, as ASIO hosts expect the system time, widened past its
// 49-day wrap and given in nanoseconds.
uint64_t LoopbackDriver::systemTimeNs() {
    const DWORD tick = timeGetTime();
    clockMs_ += static_cast<DWORD>(tick - lastTick_);
    lastTick_ = tick;
    return clockMs_ * 1000000u;
}
