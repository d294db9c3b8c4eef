// The loopback device's clock: one thread that, between start and stop,
// serves the host one buffer half per period through the buffers it is given,
// and keeps the sample position the host reads.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "asiohost/asio.h"
#include "drivers/common/call_trace.h"
#include "drivers/loopback/loopback_buffers.h"
#include "drivers/loopback/loopback_device_model.h"
#include "drivers/loopback/loopback_settings.h"

class LoopbackClock {
  public:
    LoopbackClock(const LoopbackSettings& settings, LoopbackDeviceModel& model,
                  LoopbackBuffers& buffers, const CallTrace& trace)
        : settings_(settings), model_(model), buffers_(buffers), trace_(trace) {}
    ~LoopbackClock();
    LoopbackClock(const LoopbackClock&) = delete;
    LoopbackClock& operator=(const LoopbackClock&) = delete;

    // The host's callbacks, from createBuffers until the buffers go.
    void connect(const ASIOCallbacks& callbacks, bool useTimeInfo);
    void disconnect();
    // One switch on half 0 before any start, as some drivers do.
    void switchBeforeStart(double sampleRate);

    // Every run starts from silence at sample position 0.
    ASIOError start(double sampleRate);
    // After this returns no buffer switch is running or will run, unless it is
    // called from inside one: then the clock ends as soon as that switch returns.
    void stop();
    // A clock stopped from inside its own switch is joined later, from outside.
    void joinFinished();
    bool onClockThread() const;
    bool running() const { return running_; }
    // Called by hosts from inside the buffer switch, so it never blocks.
    void position(uint64_t* samples, uint64_t* timeNs) const;
    // Read after the clock has ended, or on the clock thread itself when the
    // host stops from inside a switch.
    void reportTiming() const;

  private:
    using Clock = std::chrono::steady_clock;

    // How punctual the host was, owned by the clock thread while it runs.
    struct SwitchTiming {
        uint32_t late;
        uint64_t switches;
        double totalUs;
        double worstUs;
        double worstWakeUs; // how far past a deadline the clock thread woke
        const char* priority;
    };

    void loop(uint64_t firstBlock);
    Clock::time_point deadlineOf(uint64_t block) const;
    bool waitForBlock(uint64_t block);
    void runBlock(uint64_t block);
    uint64_t nextBlock(uint64_t block);
    void skipBlock(uint64_t block);
    void holdLateSwitch(uint64_t block);
    bool faultAt(uint32_t faultBlock, uint64_t block) const;
    void countSwitch(Clock::duration took);
    void publishPosition(uint64_t block);
    void callHost(int32_t half);
    uint64_t systemTimeNs();

    const LoopbackSettings& settings_;
    LoopbackDeviceModel& model_;
    LoopbackBuffers& buffers_;
    const CallTrace& trace_;
    ASIOCallbacks callbacks_ = {};
    bool useTimeInfo_ = false;
    double sampleRate_ = 0.0;

    // Owned by the clock thread while it runs.
    Clock::time_point origin_;
    SwitchTiming timing_ = {0, 0, 0.0, 0.0, 0.0, "none"};
    ASIOTime time_ = {};
    int64_t slip_ = 0;
    uint32_t starts_ = 0;      // of this device object, counted from 1
    bool faultsArmed_ = false; // the block faults fire in this run
    uint64_t clockMs_ = 0;
    DWORD lastTick_ = 0;

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> running_{false};
    std::atomic<uint64_t> position_{0};
    std::atomic<uint64_t> positionTime_{0};
};
