// The driver object: the driver interface on the host's side, one JACK client
// on the other. Each JACK process cycle is one buffer switch, so the host's
// input and output halves of a block share a cycle and the server's clock.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>

#include "asiohost/asio.h"
#include "drivers/common/asio_driver.h"
#include "drivers/jack/jack_settings.h"

class JackDriver : public ContractDriver {
  public:
    JackDriver(const CLSID& clsid, const JackSettings& settings);
    ~JackDriver() override;

    // The driver interface (drivers/common/asio_driver.h).
    TANDEM_ASIO_OPERATIONS

    // Outputs are taken when the host's switch returns, so there is nothing
    // to hurry and outputReady is not offered.
    static constexpr bool kTakesOutputReady = false;

  private:
    struct Channel {
        bool isInput;
        int32_t number;
        jack_port_t* port;
        int32_t* halves[2];
    };

    // Opening and wiring (jack_ports.cpp).
    bool openClient();
    void countChannels();
    bool ready() const override { return client_ != nullptr; }
    DriverShape shape() const override;
    ASIOError setUpBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                           ASIOCallbacks* callbacks);
    bool allocateChannels(const ASIOBufferInfo* infos, int32_t count, int32_t bufferSize);
    bool registerPorts();
    void releaseChannels();
    void connectPorts();
    void connectPhysical();
    void connectLoopback();
    void askHost();
    void physicalLatencies(int32_t* input, int32_t* output) const;

    // The process cycle and JACK's notices (jack_cycle.cpp).
    static int onProcess(jack_nframes_t frames, void* self);
    static int onXrun(void* self);
    static void onShutdown(jack_status_t code, const char* reason, void* self);
    void process(jack_nframes_t frames);
    void runCycle(jack_nframes_t frames);
    void reportXruns();
    void holdLateCycle();
    void noteClockJump(jack_nframes_t step);
    void refuseOtherPeriod(jack_nframes_t frames);
    void advancePosition();
    void callHost();
    void silenceOutputs(jack_nframes_t frames);
    void waitForCallbacksToLeave();
    ASIOError checkRate(ASIOSampleRate rate) const;

    JackSettings settings_;

    jack_client_t* client_ = nullptr;
    double sampleRate_ = 0.0;
    int32_t inputs_ = 0;
    int32_t outputs_ = 0;

    // Fixed between createBuffers and disposeBuffers; the cycle only reads them.
    Channel* channels_ = nullptr;
    int32_t channelCount_ = 0;
    int32_t* samples_ = nullptr;
    int32_t bufferSize_ = 0;
    ASIOCallbacks* callbacks_ = nullptr;
    bool hostTakesTimeInfo_ = false;
    bool hostTakesResync_ = false;
    bool hostTakesReset_ = false;

    // Owned by the process cycle while running.
    int32_t half_ = 0;
    jack_nframes_t lastFrame_ = 0;
    uint64_t position_ = 0;
    bool resetRequested_ = false;
    static constexpr uint64_t kXrunJumpCycles = 2;
    bool jumpSeen_ = false;
    uint64_t lastJumpCycle_ = 0;
    uint64_t cyclesRun_ = 0;

    // Shared between the host's thread, the process cycle and JACK's notices.
    std::atomic<bool> running_{false};
    std::atomic<bool> inCycle_{false};
    std::atomic<bool> inNotice_{false};
    std::atomic<bool> serverGone_{false};
    std::atomic<uint32_t> pendingXruns_{0};
    // What the run's xruns came to, for the trace at stop.
    std::atomic<uint32_t> xrunNotices_{0};
    std::atomic<uint32_t> skippedBlocks_{0};
    std::atomic<uint32_t> resyncsSent_{0};
    std::atomic<bool> positionKnown_{false};
    std::atomic<uint64_t> lastPosition_{0};
    std::atomic<uint64_t> lastSystemTimeNs_{0};
};
