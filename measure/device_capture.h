// The driver session's streaming device under the measurement's exit codes
// and words: the device and channels named as a run names them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "driversession/streaming_device.h"
#include "measure/failure.h"

namespace measure {

using DeviceRequest = StreamRequest;
using DeviceSetup = StreamSetup;

class DeviceCapture {
  public:
    // Throws Failure with the probe's codes and messages.
    void open(DeviceRequest request);
    const DeviceSetup& setup() const { return device_.setup(); }
    uint32_t lostInLastTake() const { return device_.lostInLastTake(); }
    // One recording per input, first input first. Throws Failure when
    // interrupted (130), when the driver refuses to start (11) or stops
    // calling back (16), or without memory (12).
    std::vector<std::vector<float>> take(int output, const std::vector<float>& material);

    // Every chosen output at once, output firstOutput + c from frame starts[c].
    std::vector<std::vector<float>> takeStaggered(const std::vector<float>& material,
                                                  const std::vector<int64_t>& starts);

  private:
    void check(StreamFailure failure, const std::string& name);

    StreamingDevice device_;
};

// A command that drives a device: Ctrl+C raises a flag that the takes look
// at, and a second one ends the program where the driver does not return.
// `measure` is attempted (failure.h), then `write` unless interrupted.
int driveDevice(const std::function<void()>& measure, const std::function<void()>& write, bool json,
                const FailureRecord& record);
// Failure(130) once an interrupt was asked for: the driver is released by then.
void endIfInterrupted();

} // namespace measure
