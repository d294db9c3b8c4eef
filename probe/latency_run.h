// A round-trip latency measurement: the test signal played on one output and
// recorded on one input through tandemwav's own streaming path (its buffers,
// sample conversions, stores and buffer switch), run after run, beside the
// latencies the driver reports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driversession/streaming_device.h"
#include "probe/exit_codes.h"

struct LatencyRequest {
    const char* driverName = nullptr;
    int32_t output = 0; // channel numbers from 1, as tandemwav counts them
    int32_t input = 0;
    int32_t bufferFrames = 0; // 0: the driver's preferred length (its minimum outside its limits)
    double sampleRate = 0.0;  // 0: the driver's current rate, left as it is
    int32_t runs = 3;
    double levelDb = -20.0;
    double maxLatencySeconds = 0.0; // 0: the reported round trip plus a second
    // How long the first run is repeated while no signal comes back, so that
    // a loop can be wired by hand (JACK ports, a patch bay); 0: once.
    double waitSeconds = 0.0;
};

struct LatencyRunResult {
    int32_t frames;
    double snrDb;
    bool inverted;
    uint32_t lostBlocks; // buffers the driver lost or repeated during the run
};

struct LatencyOutcome {
    int exitCode = kProbeDone;
    std::string error;                  // why the measurement failed, one line
    StreamSetup setup;                  // what the driver told of itself, as far as it got
    size_t windowFrames = 0;            // the longest round trip looked for
    bool windowTooShort = false;        // the signal came back, later than the window
    std::vector<LatencyRunResult> runs; // complete only when measured
};

LatencyOutcome measureLatency(const LatencyRequest& request);
