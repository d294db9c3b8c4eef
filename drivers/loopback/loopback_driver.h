// The loopback ASIO device: what the host writes to output channel i comes
// back on input channel i a configured number of frames later, on a device
// clock of its own. Configured per class identifier (loopback_settings.h).
#pragma once

#include <cstdint>

#include "asiohost/asio.h"
#include "drivers/common/asio_driver.h"
#include "drivers/loopback/loopback_buffers.h"
#include "drivers/loopback/loopback_clock.h"
#include "drivers/loopback/loopback_device_model.h"
#include "drivers/loopback/loopback_settings.h"

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
    bool ready() const override { return initialised_; }
    DriverShape shape() const override { return settings_.shape; }
    DriverShape reportedShape() const override;
    void noteCall(const char* call) const override;

    bool modelAccepted();
    ASIOError checkRate(ASIOSampleRate rate, bool refuseEvery) const;
    void hangIfAsked(const char* call) const;

    LoopbackSettings settings_;
    LoopbackDeviceModel model_;
    bool initialised_;
    ASIOSampleRate sampleRate_;

    LoopbackBuffers buffers_;
    LoopbackClock clock_;
};
