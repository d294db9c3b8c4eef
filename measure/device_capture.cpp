#include "measure/device_capture.h"

#include "driversession/driver_session.h"
#include "driversession/name_hint.h"
#include "measure/exit_codes.h"
#include "measure/failure.h"
#include "platform/interrupts.h"

namespace measure {

namespace {

// The measurement's code for each StreamFailure, in its order.
constexpr int kStreamExitCodes[] = {kDone,       kDriverNotLoaded, kDriverInit,    kChannels,
                                    kBufferSize, kSampleRate,      kCreateBuffers, kNativeFormat,
                                    kNoMemory,   kStart,           kInterrupted,   kNoSignal};

} // namespace

void DeviceCapture::open(DeviceRequest request) {
    request.deviceWords = request.driverName;
    request.channelWords = "outputs " + std::to_string(request.firstOutput) + " to " +
                           std::to_string(request.lastOutput) + " and inputs " +
                           std::to_string(request.firstInput) + " to " +
                           std::to_string(request.lastInput);
    check(device_.open(request), request.driverName);
}

std::vector<std::vector<float>> DeviceCapture::take(int output,
                                                    const std::vector<float>& material) {
    std::vector<std::vector<float>> recordings;
    check(device_.take(output, material, &recordings), "");
    return recordings;
}

std::vector<std::vector<float>> DeviceCapture::takeStaggered(const std::vector<float>& material,
                                                             const std::vector<int64_t>& starts) {
    std::vector<std::vector<float>> recordings;
    check(device_.takeStaggered(material, starts, &recordings), "");
    return recordings;
}

void DeviceCapture::check(StreamFailure failure, const std::string& name) {
    if (failure == StreamFailure::None)
        return;
    const int code = kStreamExitCodes[static_cast<int>(failure)];
    // tandemwav's words, and the driver meant when only the case was wrong.
    const std::string hint = failure == StreamFailure::NotLoaded ? driverNameHint(name) : "";
    if (failure == StreamFailure::NotLoaded)
        throw Failure(code, "Error: Failed to load ASIO driver " + name + "!" +
                                (hint.empty() ? "" : "\n" + hint));
    if (failure == StreamFailure::InitRefused)
        throw Failure(code, "Error: Failed to initialize ASIO driver!\nDriver message: " +
                                setup().driverMessage);
    if (failure == StreamFailure::Interrupted)
        throw Failure(code, "Interrupted; the driver was released.");
    throw Failure(code, "Error: " + device_.error() + "!");
}

int driveDevice(const std::function<void()>& measure, const std::function<void()>& write, bool json,
                const FailureRecord& record) {
    watchInterrupts();
    std::FILE* messages = json ? stderr : stdout;
    DriverSession::endOnSecondInterrupt(
        "Interrupted again; the driver did not return and was not released.\n", messages);
    return attempt(
        [&] {
            measure();
            endIfInterrupted();
            write();
        },
        "Error: Not enough memory for the recordings and their analysis!", messages, json, record);
}

void endIfInterrupted() {
    if (interruptRequested())
        throw Failure(kInterrupted, "Interrupted; the driver was released.");
}

} // namespace measure
