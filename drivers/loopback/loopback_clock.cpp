#include "drivers/loopback/loopback_clock.h"

#include <cmath>
#include <cstdio>
#include <system_error>

#include "drivers/loopback/loopback_priority.h"

LoopbackClock::~LoopbackClock() {
    stop();
    joinFinished();
}

void LoopbackClock::connect(const ASIOCallbacks& callbacks, bool useTimeInfo) {
    callbacks_ = callbacks;
    useTimeInfo_ = useTimeInfo;
}

void LoopbackClock::disconnect() {
    callbacks_ = ASIOCallbacks{};
    useTimeInfo_ = false;
}

void LoopbackClock::switchBeforeStart(double sampleRate) {
    sampleRate_ = sampleRate;
    publishPosition(0);
    callHost(0);
}

void LoopbackClock::position(uint64_t* samples, uint64_t* timeNs) const {
    *samples = position_.load();
    *timeNs = positionTime_.load();
}

void LoopbackClock::reportTiming() const {
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

ASIOError LoopbackClock::start(double sampleRate) {
    sampleRate_ = sampleRate;
    slip_ = 0;
    faultsArmed_ = loopbackFaultsAtStart(settings_, ++starts_);
    timing_ = SwitchTiming{0, 0, 0.0, 0.0, 0.0, "none"};
    const int32_t loop = model_.latencyForNextStart(settings_.latency, buffers_.frames());
    model_.restart();
    buffers_.restartLines(loop);
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
        thread_ = std::thread(&LoopbackClock::loop, this, firstBlock);
    } catch (const std::system_error&) {
        running_ = false;
        return ASE_HWMalfunction;
    }
    return ASE_OK;
}

void LoopbackClock::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    running_ = false;
    if (thread_.joinable() && !onClockThread())
        thread_.join();
}

void LoopbackClock::joinFinished() {
    if (!thread_.joinable())
        return;
    if (onClockThread())
        thread_.detach();
    else
        thread_.join();
}

bool LoopbackClock::onClockThread() const {
    return thread_.joinable() && thread_.get_id() == std::this_thread::get_id();
}

void LoopbackClock::loop(uint64_t firstBlock) {
    timing_.priority = raiseClockPriority();
    for (uint64_t block = firstBlock; waitForBlock(block); block = nextBlock(block))
        runBlock(block);
    restoreClockPriority();
}

// Deadlines are counted from the start, so that waking late never shifts the
// blocks after it. Block n is complete one period after its start, unless an
// early switch moved the whole run one period forward.
LoopbackClock::Clock::time_point LoopbackClock::deadlineOf(uint64_t block) const {
    const uint64_t periods = block + (settings_.earlySwitch ? 0u : 1u);
    const double seconds = static_cast<double>(periods) * buffers_.frames() / sampleRate_;
    return origin_ + std::chrono::nanoseconds(static_cast<int64_t>(std::llround(seconds * 1e9)));
}

bool LoopbackClock::waitForBlock(uint64_t block) {
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
uint64_t LoopbackClock::nextBlock(uint64_t block) {
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
void LoopbackClock::skipBlock(uint64_t block) {
    buffers_.takeOutputs(static_cast<int32_t>(block & 1u));
    buffers_.advance();
}

// Holds the switch until halfway into the period after the chosen number of
// further deadlines, so exactly that many blocks are missed.
void LoopbackClock::holdLateSwitch(uint64_t block) {
    if (!faultAt(settings_.lateSwitchAt, block))
        return;
    const Clock::time_point from = deadlineOf(block + settings_.lateSwitchBlocks);
    std::this_thread::sleep_until(from +
                                  (deadlineOf(block + settings_.lateSwitchBlocks + 1) - from) / 2);
}

bool LoopbackClock::faultAt(uint32_t faultBlock, uint64_t block) const {
    return faultsArmed_ && block == faultBlock;
}

void LoopbackClock::countSwitch(Clock::duration took) {
    const double us = std::chrono::duration<double, std::micro>(took).count();
    ++timing_.switches;
    timing_.totalUs += us;
    if (us > timing_.worstUs)
        timing_.worstUs = us;
}

// Input first, from what went out `latency` frames ago; then the host; then
// what the host left in the output half goes into the delay lines.
void LoopbackClock::runBlock(uint64_t block) {
    const int32_t half = static_cast<int32_t>(block & 1u);
    buffers_.fillInputs(half);
    publishPosition(block);
    if (settings_.message != 0 && faultAt(settings_.messageAt, block) && callbacks_.asioMessage)
        callbacks_.asioMessage(settings_.message, 0, nullptr, nullptr);
    const Clock::time_point called = Clock::now();
    callHost(faultAt(settings_.badHalfAt, block) ? 2 : half);
    holdLateSwitch(block);
    countSwitch(Clock::now() - called);
    buffers_.takeOutputs(half);
    buffers_.advance();
}

// A slip moves the reported position by one block from its block on, as a
// device does that loses or repeats a block under load.
void LoopbackClock::publishPosition(uint64_t block) {
    if (faultAt(settings_.slipSkipAt, block))
        slip_ += buffers_.frames();
    if (faultAt(settings_.slipRepeatAt, block))
        slip_ -= buffers_.frames();
    const int64_t position = static_cast<int64_t>(block) * buffers_.frames() + slip_;
    const uint64_t reported = position > 0 ? static_cast<uint64_t>(position) : 0u;
    const uint64_t now = systemTimeNs();
    position_ = reported;
    positionTime_ = now;
    describeSwitchTime(&time_, now, reported, sampleRate_);
}

void LoopbackClock::callHost(int32_t half) {
    if (useTimeInfo_)
        callbacks_.bufferSwitchTimeInfo(&time_, half, ASIOTrue);
    else if (callbacks_.bufferSwitch != nullptr)
        callbacks_.bufferSwitch(half, ASIOTrue);
}

// The multimedia clock, as ASIO hosts expect the system time, widened past its
// 49-day wrap and given in nanoseconds.
uint64_t LoopbackClock::systemTimeNs() {
    const DWORD tick = timeGetTime();
    clockMs_ += static_cast<DWORD>(tick - lastTick_);
    lastTick_ = tick;
    return clockMs_ * 1000000u;
}
