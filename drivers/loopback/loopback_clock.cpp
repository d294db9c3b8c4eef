// The device clock of the loopback device: one thread that, between start and
// stop, serves the host one buffer half per period.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "drivers/loopback/loopback_driver.h"
#include "drivers/loopback/loopback_priority.h"

ASIOError LoopbackDriver::start() {
    noteCall("start");
    const ASIOError refusal = checkStart(initialised_, storage_ != nullptr);
    if (refusal != ASE_OK)
        return refusal;
    if (running_)
        return ASE_InvalidMode;
    if (settings_.failStart)
        return ASE_HWMalfunction;
    joinFinishedClock();
    return startClock();
}

ASIOError LoopbackDriver::stop() {
    hangIfAsked("stop");
    stopClock();
    reportTiming();
    return ASE_OK;
}

// Read after the clock has ended, or on the clock thread itself when the host
// stops from inside a switch.
void LoopbackDriver::reportTiming() {
    const double meanUs =
        timing_.switches != 0 ? timing_.totalUs / static_cast<double>(timing_.switches) : 0.0;
    trace_.note("stop late=%u worstUs=%.1f meanUs=%.1f wakeUs=%.1f priority=%s", timing_.late,
                timing_.worstUs, meanUs, timing_.worstWakeUs, timing_.priority);
    if (settings_.reportTiming)
        std::fprintf(stderr,
                     "%s: late=%u worstUs=%.1f meanUs=%.1f wakeUs=%.1f switches=%llu priority=%s\n",
                     settings_.name, timing_.late, timing_.worstUs, meanUs, timing_.worstWakeUs,
                     static_cast<unsigned long long>(timing_.switches), timing_.priority);
}

// Every run starts from silence at sample position 0.
ASIOError LoopbackDriver::startClock() {
    cursor_ = 0;
    slip_ = 0;
    faultsArmed_ = loopbackFaultsAtStart(settings_, ++starts_);
    timing_ = SwitchTiming{0, 0, 0.0, 0.0, 0.0, "none"};
    setLoopLength(model_.latencyForNextStart(settings_.latency, bufferFrames_));
    model_.restart();
    for (int32_t i = 0; i < inputCount_; ++i) {
        std::memset(inputs_[i].line.frames, 0,
                    static_cast<size_t>(latency_) * static_cast<size_t>(frameBytes_));
        if (model_.shapesSignal())
            model_.fillSilence(inputs_[i].line.frames, latency_);
    }
    lastTick_ = timeGetTime();
    clockMs_ = lastTick_;
    position_ = 0;
    positionTime_ = systemTimeNs();
    stopRequested_ = false;
    running_ = true;
    origin_ = Clock::now();
    uint64_t firstBlock = 0;
    if (settings_.earlySwitch) {
        trace_.note("earlySwitch");
        runBlock(0);
        firstBlock = 1;
    }
    if (settings_.deadDevice)
        return ASE_OK;
    try {
        clock_ = std::thread(&LoopbackDriver::clockLoop, this, firstBlock);
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

void LoopbackDriver::clockLoop(uint64_t firstBlock) {
    timing_.priority = raiseClockPriority();
    for (uint64_t block = firstBlock; waitForBlock(block); block = nextBlock(block))
        runBlock(block);
    restoreClockPriority();
}

// Deadlines are counted from the start, so that waking late never shifts the
// blocks after it. Block n is complete one period after its start, unless an
// early switch moved the whole run one period forward.
LoopbackDriver::Clock::time_point LoopbackDriver::deadlineOf(uint64_t block) const {
    const uint64_t periods = block + (settings_.earlySwitch ? 0u : 1u);
    const double seconds = static_cast<double>(periods) * bufferFrames_ / sampleRate_;
    return origin_ + std::chrono::nanoseconds(static_cast<int64_t>(std::llround(seconds * 1e9)));
}

bool LoopbackDriver::waitForBlock(uint64_t block) {
    if (settings_.freeRunning)
        return !stopRequested_;
    const Clock::time_point deadline = deadlineOf(block);
    {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait_until(lock, deadline - std::chrono::microseconds(settings_.spinUs),
                         [this] { return stopRequested_.load(); });
    }
    while (settings_.spinUs != 0 && Clock::now() < deadline && !stopRequested_)
        std::this_thread::yield();
    const double wakeUs =
        std::chrono::duration<double, std::micro>(Clock::now() - deadline).count();
    if (wakeUs > timing_.worstWakeUs)
        timing_.worstWakeUs = wakeUs;
    return !stopRequested_;
}

// A switch is late when it returns after the next half's deadline, the moment
// the device needs the half it was filling. Hardware does not wait for it:
// every block whose deadline has passed by then goes by without the host.
uint64_t LoopbackDriver::nextBlock(uint64_t block) {
    if (settings_.freeRunning)
        return block + 1;
    const Clock::time_point now = Clock::now();
    uint64_t next = block + 1;
    if (now <= deadlineOf(next))
        return next;
    ++timing_.late;
    if (!settings_.strictTiming)
        return next;
    while (deadlineOf(next) < now)
        skipBlock(next++);
    return next;
}

// The host never sees this block's input, and the device plays what the
// output half still holds from two blocks before.
void LoopbackDriver::skipBlock(uint64_t block) {
    takeOutputs(static_cast<int32_t>(block & 1u));
    cursor_ = advanceDelayCursor(latency_, cursor_, bufferFrames_);
}

// Holds the switch until halfway into the period after the chosen number of
// further deadlines, so exactly that many blocks are missed.
void LoopbackDriver::holdLateSwitch(uint64_t block) {
    if (!faultAt(settings_.lateSwitchAt, block))
        return;
    const Clock::time_point from = deadlineOf(block + settings_.lateSwitchBlocks);
    std::this_thread::sleep_until(from +
                                  (deadlineOf(block + settings_.lateSwitchBlocks + 1) - from) / 2);
}

bool LoopbackDriver::faultAt(uint32_t faultBlock, uint64_t block) const {
    return faultsArmed_ && block == faultBlock;
}

void LoopbackDriver::countSwitch(Clock::duration took) {
    const double us = std::chrono::duration<double, std::micro>(took).count();
    ++timing_.switches;
    timing_.totalUs += us;
    if (us > timing_.worstUs)
        timing_.worstUs = us;
}

// Input first, from what went out `latency` frames ago; then the host; then
// what the host left in the output half goes into the delay lines.
void LoopbackDriver::runBlock(uint64_t block) {
    const int32_t half = static_cast<int32_t>(block & 1u);
    fillInputs(half);
    publishPosition(block);
    if (settings_.message != 0 && faultAt(settings_.messageAt, block) && callbacks_.asioMessage)
        callbacks_.asioMessage(settings_.message, 0, nullptr, nullptr);
    const Clock::time_point called = Clock::now();
    callHost(faultAt(settings_.badHalfAt, block) ? 2 : half);
    holdLateSwitch(block);
    countSwitch(Clock::now() - called);
    takeOutputs(half);
    cursor_ = advanceDelayCursor(latency_, cursor_, bufferFrames_);
}

// A slip moves the reported position by one block from its block on, as a
// device does that loses or repeats a block under load.
void LoopbackDriver::publishPosition(uint64_t block) {
    if (faultAt(settings_.slipSkipAt, block))
        slip_ += bufferFrames_;
    if (faultAt(settings_.slipRepeatAt, block))
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
    if (model_.shapesSignal()) {
        shapeOutputs(half);
        return;
    }
    for (int32_t o = 0; o < outputCount_; ++o)
        if (outputs_[o].line.frames != nullptr && outputs_[o].halves[half] != nullptr)
            writeDelayLine(outputs_[o].line, cursor_, bufferFrames_, outputs_[o].halves[half]);
}

// Every input hears every output through the model, so each input's line is
// written whole, whether or not its own output has buffers.
void LoopbackDriver::shapeOutputs(int32_t half) {
    const uint8_t* halves[kDriverMaxChannels];
    for (int32_t o = 0; o < outputCount_; ++o)
        halves[o] = outputs_[o].halves[half];
    model_.shapeOutputs(halves, outputChannel_, outputCount_);
    for (int32_t i = 0; i < inputCount_; ++i)
        writeDelayLine(inputs_[i].line, cursor_, bufferFrames_,
                       model_.inputBlock(inputChannel_[i]));
}

// The lines were sized for the longest loop; a run uses this much of them.
void LoopbackDriver::setLoopLength(int32_t frames) {
    latency_ = frames;
    for (int32_t i = 0; i < inputCount_; ++i)
        inputs_[i].line.length = frames;
    for (int32_t o = 0; o < outputCount_; ++o)
        outputs_[o].line.length = frames;
}

// The multimedia clock, as ASIO hosts expect the system time, widened past its
// 49-day wrap and given in nanoseconds.
uint64_t LoopbackDriver::systemTimeNs() {
    const DWORD tick = timeGetTime();
    clockMs_ += static_cast<DWORD>(tick - lastTick_);
    lastTick_ = tick;
    return clockMs_ * 1000000u;
}
