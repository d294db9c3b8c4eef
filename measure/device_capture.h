// One device played and recorded through tandemwav's own streaming path (its
// buffers, sample conversions, stores and buffer switch), as the probe's
// latency measurement does: the driver loaded and its buffers created once,
// on every chosen output and input, then started once per take.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "probe/driver_session.h"

namespace measure {

struct DeviceRequest {
    std::string driverName;
    int firstOutput = 1, lastOutput = 1; // channel numbers from 1
    int firstInput = 1, lastInput = 1;
    int bufferFrames = 0; // 0: the driver's preferred length
    double rate = 0.0;    // 0: the driver's current rate
};

// What the driver said about itself once opened.
struct DeviceSetup {
    std::string driverName;
    int32_t driverVersion = 0;
    int32_t inputChannels = 0;
    int32_t outputChannels = 0;
    int32_t bufferFrames = 0;
    double rate = 0.0;
    bool latenciesReported = false;
    int32_t inputLatency = 0;
    int32_t outputLatency = 0;
    uint32_t lostBlocks = 0; // over every take so far
    int sampleBytes = 0;     // of the native integer type: 2, 3 or 4
};

class DeviceCapture {
  public:
    DeviceCapture() = default;
    // The stores are freed and the session hands the driver back.
    ~DeviceCapture();
    DeviceCapture(const DeviceCapture&) = delete;
    DeviceCapture& operator=(const DeviceCapture&) = delete;

    // Loads and initialises the driver, checks the channels, buffer and rate,
    // and creates the buffers. Throws Failure with the probe's codes and
    // messages that name the device, channels and rates as the probe does.
    void open(const DeviceRequest& request);
    const DeviceSetup& setup() const { return setup_; }

    // One take: `material` on output `output` (the other chosen outputs
    // silent), every chosen input recorded for as long, in whole buffers.
    // One recording per input, first input first. Throws Failure when
    // interrupted (130), when the driver refuses to start (11) or stops
    // calling back (16), or without memory (12).
    std::vector<std::vector<float>> take(int output, const std::vector<float>& material);
    // The blocks the driver lost or repeated in the last take.
    uint32_t lostInLastTake() const { return lastLost_; }

  private:
    void checkDevice();
    void createBuffers();
    void fillStores(int output, const std::vector<float>& material);
    void run();

    DeviceRequest request_;
    DeviceSetup setup_;
    uint32_t lastLost_ = 0;
    DriverSession session_;
};

} // namespace measure
