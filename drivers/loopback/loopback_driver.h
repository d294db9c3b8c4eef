// The loopback ASIO device: what the host writes to output channel i comes
// back on input channel i a configured number of frames later, on a device
// clock of its own. Configured per class identifier (loopback_settings.h).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "asiohost/asio.h"
#include "drivers/common/asio_driver.h"
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

class LoopbackDriver : public ContractDriver {
  public:
    explicit LoopbackDriver(const CLSID& clsid);
    ~LoopbackDriver() override;

    // The driver interface (drivers/common/asio_driver.h).
    TANDEM_ASIO_OPERATIONS

    // The outputs are taken when the host's switch returns, so outputReady
    // only confirms.
    static constexpr bool kTakesOutputReady = true;

  private:
    using Clock = std::chrono::steady_clock;

    bool ready() const override { return initialised_; }
    DriverShape shape() const override;
    DriverShape reportedShape() const override;
    void noteCall(const char* call) const override;

    // Buffer set-up (loopback_buffers.cpp).
    int32_t loopLatency(int32_t bufferFrames) const;
    bool allocateBuffers(ASIOBufferInfo* infos, int32_t count, int32_t frames);
    void assignBuffers(ASIOBufferInfo* infos, int32_t count);
    void connectOutputs();
    void releaseBuffers();
    bool channelHasBuffers(int32_t channel, bool isInput) const;

    // The device clock (loopback_clock.cpp).
    ASIOError startClock();
    void stopClock();
    void joinFinishedClock();
    bool onClockThread() const;
    void clockLoop(uint64_t firstBlock);
    Clock::time_point deadlineOf(uint64_t block) const;
    bool waitForBlock(uint64_t block);
    void runBlock(uint64_t block);
    uint64_t nextBlock(uint64_t block);
    void skipBlock(uint64_t block);
    void holdLateSwitch(uint64_t block);
    bool faultAt(uint32_t faultBlock, uint64_t block) const;
    void countSwitch(Clock::duration took);
    void reportTiming();
    void publishPosition(uint64_t block);
    void callHost(int32_t half);
    void fillInputs(int32_t half);
    void takeOutputs(int32_t half);
    void shapeOutputs(int32_t half);
    void setLoopLength(int32_t frames);
    uint64_t systemTimeNs();

    bool modelAccepted();
    ASIOError checkRate(ASIOSampleRate rate, bool refuseEvery) const;
    void hangIfAsked(const char* call) const;

    LoopbackSettings settings_;
    LoopbackDeviceModel model_;
    bool initialised_;
    ASIOSampleRate sampleRate_;

    uint8_t* storage_; // both halves of every channel, then the delay lines
    int32_t bufferFrames_;
    int32_t frameBytes_;
    int32_t latency_; // of the current run; the delay lines hold the longest
    int32_t inputCount_;
    int32_t outputCount_;
    LoopbackChannel inputs_[kDriverMaxChannels];
    LoopbackChannel outputs_[kDriverMaxChannels];
    int32_t inputChannel_[kDriverMaxChannels];
    int32_t outputChannel_[kDriverMaxChannels];
    ASIOCallbacks callbacks_;
    bool useTimeInfo_;

    // How punctual the host was, owned by the clock thread while it runs.
    struct SwitchTiming {
        uint32_t late;
        uint64_t switches;
        double totalUs;
        double worstUs;
        double worstWakeUs; // how far past a deadline the clock thread woke
        const char* priority;
    };

    // Owned by the clock thread while it runs.
    Clock::time_point origin_;
    SwitchTiming timing_;
    ASIOTime time_;
    int32_t cursor_;
    int64_t slip_;
    uint32_t starts_;  // of this device object, counted from 1
    bool faultsArmed_; // the block faults fire in this run
    uint64_t clockMs_;
    DWORD lastTick_;

    std::thread clock_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> stopRequested_;
    std::atomic<bool> running_;
    std::atomic<uint64_t> position_;
    std::atomic<uint64_t> positionTime_;
};
