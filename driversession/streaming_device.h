// One device played and recorded through tandemwav's own streaming path (its
// buffers, sample conversions, stores and buffer switch): the driver loaded
// and its buffers created once, on every chosen output and input, then
// started once per take. The probe's latency run and the measurement's device
// run both stream this way; each maps the failures onto its own exit codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asiohost/asio.h"
#include "driversession/driver_session.h"

// Each program maps these, in this order, onto its exit codes.
enum class StreamFailure {
    None,
    NotLoaded,
    InitRefused,
    Channels,
    BufferSize,
    SampleRate,
    CreateBuffers,
    NativeFormat,
    NoMemory,
    StartRefused,
    Interrupted,
    StoppedCallingBack,
};

struct StreamRequest {
    std::string driverName;
    int firstOutput = 1, lastOutput = 1; // channel numbers from 1
    int firstInput = 1, lastInput = 1;
    int bufferFrames = 0; // 0: the driver's preferred length
    double rate = 0.0;    // 0: the driver's current rate
    // How the messages name the device ("the driver" or its name) and the
    // channels of the buffers ("output 1 and input 2").
    std::string deviceWords = "the driver";
    std::string channelWords;
};

// What the driver said about itself once opened.
struct StreamSetup {
    std::string driverName;
    std::string driverMessage; // after a refused init
    int32_t driverVersion = 0;
    int32_t inputChannels = 0;
    int32_t outputChannels = 0;
    int32_t bufferFrames = 0;
    double rate = 0.0;
    int32_t sampleType = -1;
    ASIOError latencyResult = ASE_NotPresent;
    int32_t inputLatency = 0;
    int32_t outputLatency = 0;
    uint32_t lostBlocks = 0; // over every take so far
    int sampleBytes = 0;     // of the native integer type: 2, 3 or 4
};

class StreamingDevice {
  public:
    StreamingDevice() = default;
    // The stores are freed and the session hands the driver back.
    ~StreamingDevice();
    StreamingDevice(const StreamingDevice&) = delete;
    StreamingDevice& operator=(const StreamingDevice&) = delete;

    // Loads and initialises the driver, checks the channels, buffer and rate,
    // and creates the buffers.
    StreamFailure open(const StreamRequest& request);
    const StreamSetup& setup() const { return setup_; }
    // The last failure in one line, without "Error: " and "!".
    const std::string& error() const { return error_; }

    // One take: `material` on output `output` (the other chosen outputs
    // silent), every chosen input recorded for as long, in whole buffers,
    // one recording per input, first input first.
    StreamFailure take(int output, const std::vector<float>& material,
                       std::vector<std::vector<float>>* recordings);
    // One take of `material` on every chosen output at once, output
    // firstOutput + c from frame starts[c] on, every chosen input recorded
    // until the latest has played it.
    StreamFailure takeStaggered(const std::vector<float>& material,
                                const std::vector<int64_t>& starts,
                                std::vector<std::vector<float>>* recordings);
    // The blocks the driver lost or repeated in the last take.
    uint32_t lostInLastTake() const { return lastLost_; }
    // Buffers disposed, driver exited and released.
    void close() { session_.close(); }

  private:
    StreamFailure fail(StreamFailure failure, const std::string& error);
    StreamFailure checkDevice();
    StreamFailure createBuffers();
    StreamFailure run();

    StreamRequest request_;
    StreamSetup setup_;
    std::string error_;
    uint32_t lastLost_ = 0;
    DriverSession session_;
};
