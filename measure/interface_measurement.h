// An audio interface measured for its data sheet: per output, a take of the
// synchronized sweep and a take of silence and steady tones, both through
// tandemwav's streaming path, each retaken when the driver lost blocks.
#pragma once

#include <functional>
#include <string>

#include "measure/device_capture.h"
#include "measure/device_run.h"
#include "measure/interface_results.h"

namespace measure {

struct InterfaceRequest {
    DeviceRequest device; // outputs and inputs of equal count, paired in order
    bool quick = false;
};

// Attempts at one take before the measurement gives up on the device.
constexpr int kTakeAttempts = 4;

// Which take is next and how many there are.
using InterfaceProgress = std::function<void(int output, const char* what, int take, int takes)>;

// Throws Failure with the probe's codes for the device, kNoSignal for a pair
// that does not respond, kDamagedTake when every attempt at a take lost
// blocks, kNotFinite for a sample that is not a number, 130 when
// interrupted. `results` holds what is known so far.
void measureInterface(const InterfaceRequest& request, const InterfaceProgress& progress,
                      const RetakeNotice& retakeNotice, InterfaceResults& results);

} // namespace measure
