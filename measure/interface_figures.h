// The data sheet's figures of one (output, input) pair, read from its sweep
// take and its tone take by the definitions in docs/interface.md.
#pragma once

#include <cstdint>
#include <vector>

#include "measure/device_capture.h"
#include "measure/interface_results.h"
#include "measure/interface_tones.h"
#include "measure/results.h"

namespace measure {

// The frequency response (range, -0.5 and -3 dB points), from the pair's
// sweep analysis.
void addResponseFigures(const ChannelResult& sweep, InterfacePair& pair);

// The round trip the sweep measured, beside the driver's report, with the
// verdict `run` gives.
void addLatencyFigures(const ChannelResult& sweep, const DeviceSetup& setup, InterfacePair& pair);

// One output's tone take as every chosen input recorded it.
struct ToneTake {
    const TonePlan& plan;
    const std::vector<std::vector<float>>& inputs; // first chosen input first
    int firstInput = 1;                            // the device's number of inputs[0]
    int64_t delayFrames = 0;                       // the loop's, from the sweep
    float fullScale = 1.0f;                        // the device's largest code
    bool quick = false;
};

// Noise, dynamic range, THD+N (and against level and frequency), both IMDs
// and the crosstalk into the other inputs. pair.input names the direct input.
void addToneFigures(const ToneTake& take, InterfacePair& pair);

} // namespace measure
