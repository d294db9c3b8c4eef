// What every driver of ours answers the same way, run against each of them:
// a new driver gets the whole contract by one line in kDrivers below. The JACK
// driver takes part where it is built and its test server runs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "drivers/common/driver_contract.h"
#include "drivers/loopback/loopback_driver.h"
#include "drivers/loopback/loopback_guid.h"
#ifdef TANDEM_CONTRACT_JACK
#include "drivers/jack/jack_driver.h"
#endif

namespace {

struct DriverCase {
    const char* name;
    IASIO* (*make)(); // a fresh driver, not yet initialised
    bool takesOutputReady;
};

IASIO* makeLoopback() {
    return new LoopbackDriver(kLoopbackDefaultClsid);
}

#ifdef TANDEM_CONTRACT_JACK
IASIO* makeJack() {
    JackSettings settings;
    defaultJackSettings(&settings);
    settings.wiring = JackWiring::loopback;
    std::snprintf(settings.clientName, sizeof settings.clientName, "tandemwav-contract");
    const CLSID clsid = {0x7E571C0Au, 0, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 1}};
    return new JackDriver(clsid, settings);
}
#endif

const DriverCase kDrivers[] = {
    {"Loopback", makeLoopback, LoopbackDriver::kTakesOutputReady},
#ifdef TANDEM_CONTRACT_JACK
    {"Jack", makeJack, JackDriver::kTakesOutputReady},
#endif
};

// What the host saw while the driver ran.
struct HostView {
    std::atomic<int> switches{0};
    std::atomic<int> timeInfoSwitches{0};
    std::atomic<int> badHalves{0};
    std::atomic<int> afterStop{0};
    std::atomic<bool> stopped{false};
    ASIOError outputReady = 0;
    bool takesTimeInfo = true;
};
HostView* view = nullptr;
IASIO* running = nullptr;

void onSwitch(int32_t half, ASIOBool) {
    if (half != 0 && half != 1)
        ++view->badHalves;
    if (view->stopped)
        ++view->afterStop;
    view->outputReady = running->outputReady();
    ++view->switches;
}

ASIOTime* onTimeInfoSwitch(ASIOTime* time, int32_t half, ASIOBool process) {
    const uint32_t valid = kSystemTimeValid | kSamplePositionValid | kSampleRateValid;
    if (time != nullptr && (time->timeInfo.flags & valid) == valid)
        ++view->timeInfoSwitches;
    onSwitch(half, process);
    return nullptr;
}

void onRateChange(ASIOSampleRate) {}

int32_t onMessage(int32_t selector, int32_t value, void*, double*) {
    if (selector == kAsioSelectorSupported)
        return value == kAsioSupportsTimeInfo ? 1 : 0;
    return selector == kAsioSupportsTimeInfo && view->takesTimeInfo ? 1 : 0;
}

ASIOCallbacks hostCallbacks = {onSwitch, onRateChange, onMessage, onTimeInfoSwitch};

class DriverContract : public ::testing::TestWithParam<DriverCase> {
  protected:
    void SetUp() override {
        driver = GetParam().make();
        view = &idle;
        running = driver;
    }
    void TearDown() override {
        driver->stop();
        driver->disposeBuffers();
        driver->Release();
    }
    void init() {
        if (driver->init(nullptr) != ASIOTrue)
            GTEST_SKIP() << GetParam().name << " cannot initialise here (no server?)";
        ASSERT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
        ASSERT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
    }
    // Input 0 and output 0, the halves set to junk that a refusal must clear.
    ASIOError create(int32_t frames, int32_t inputChannel = 0, int32_t outputChannel = 0) {
        infos = {{ASIOTrue, inputChannel, {this, this}}, {ASIOFalse, outputChannel, {this, this}}};
        return driver->createBuffers(infos.data(), 2, frames, &hostCallbacks);
    }
    bool halvesCleared() const {
        for (const ASIOBufferInfo& info : infos)
            if (info.buffers[0] != nullptr || info.buffers[1] != nullptr)
                return false;
        return true;
    }

    IASIO* driver = nullptr;
    HostView idle;
    int32_t inputs = 0, outputs = 0, minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
    std::vector<ASIOBufferInfo> infos;
};

TEST_P(DriverContract, BeforeInitEveryQueryIsRefused) {
    int32_t a = 0, b = 0, c = 0, d = 0;
    ASIOSampleRate rate = 0;
    ASIOClockSource clock{};
    ASIOChannelInfo info{};
    EXPECT_EQ(driver->getChannels(&a, &b), ASE_NotPresent);
    EXPECT_EQ(driver->getBufferSize(&a, &b, &c, &d), ASE_NotPresent);
    EXPECT_EQ(driver->getLatencies(&a, &b), ASE_NotPresent);
    EXPECT_EQ(driver->getSampleRate(&rate), ASE_NotPresent);
    EXPECT_EQ(driver->getClockSources(&clock, &(a = 1)), ASE_NotPresent);
    EXPECT_EQ(driver->setClockSource(0), ASE_NotPresent);
    EXPECT_EQ(driver->getChannelInfo(&info), ASE_NotPresent);
    EXPECT_EQ(create(256), ASE_NotPresent);
    EXPECT_EQ(driver->start(), ASE_NotPresent);
}

TEST_P(DriverContract, MissingOutArgumentsAreRefused) {
    init();
    int32_t a = 0, b = 0, c = 0;
    ASIOClockSource clock{};
    ASIOSamples position{};
    EXPECT_EQ(driver->getChannels(&a, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->getBufferSize(&a, &b, &c, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->getLatencies(nullptr, &a), ASE_InvalidParameter);
    EXPECT_EQ(driver->getSampleRate(nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->getClockSources(nullptr, &(a = 1)), ASE_InvalidParameter);
    EXPECT_EQ(driver->getClockSources(&clock, &(a = 0)), ASE_InvalidParameter);
    EXPECT_EQ(driver->getChannelInfo(nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->getSamplePosition(&position, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->createBuffers(nullptr, 2, preferred, &hostCallbacks), ASE_InvalidParameter);
    infos = {{ASIOTrue, 0, {this, this}}};
    EXPECT_EQ(driver->createBuffers(infos.data(), 1, preferred, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->createBuffers(infos.data(), 0, preferred, &hostCallbacks),
              ASE_InvalidParameter);
    // The one clock is the device's own, and the only one that can be chosen.
    ASSERT_EQ(driver->getClockSources(&clock, &(a = 4)), ASE_OK);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(clock.isCurrentSource, ASIOTrue);
    EXPECT_NE(clock.name[0], '\0');
    EXPECT_EQ(driver->setClockSource(0), ASE_OK);
    EXPECT_EQ(driver->setClockSource(1), ASE_InvalidParameter);
}

TEST_P(DriverContract, OnlyChannelsOfTheDeviceAreServed) {
    init();
    ASSERT_GT(inputs, 0);
    ASSERT_GT(outputs, 0);
    EXPECT_LE(inputs, kDriverMaxChannels);
    EXPECT_LE(outputs, kDriverMaxChannels);
    for (const ASIOBool isInput : {ASIOTrue, ASIOFalse}) {
        const int32_t count = isInput ? inputs : outputs;
        ASIOChannelInfo info{};
        info.isInput = isInput;
        for (const int32_t channel : {-1, 0, count - 1, count}) {
            info.channel = channel;
            const bool exists = channel >= 0 && channel < count;
            EXPECT_EQ(driver->getChannelInfo(&info), exists ? ASE_OK : ASE_InvalidParameter)
                << (isInput ? "input " : "output ") << channel;
        }
    }
    EXPECT_EQ(create(preferred, inputs, 0), ASE_InvalidParameter);
    EXPECT_TRUE(halvesCleared());
    EXPECT_EQ(create(preferred, 0, -1), ASE_InvalidParameter);
    EXPECT_TRUE(halvesCleared());
    infos = {{ASIOFalse, 0, {}}, {ASIOFalse, 0, {}}};
    EXPECT_EQ(driver->createBuffers(infos.data(), 2, preferred, &hostCallbacks),
              ASE_InvalidParameter);
    std::vector<ASIOBufferInfo> tooMany(static_cast<size_t>(inputs + outputs + 1));
    EXPECT_EQ(
        driver->createBuffers(tooMany.data(), inputs + outputs + 1, preferred, &hostCallbacks),
        ASE_InvalidParameter);
}

TEST_P(DriverContract, BufferLengthsFollowTheReportedLimits) {
    init();
    EXPECT_TRUE(minSize <= preferred && preferred <= maxSize);
    EXPECT_EQ(create(minSize - 1), ASE_InvalidMode);
    EXPECT_TRUE(halvesCleared());
    EXPECT_EQ(create(maxSize + 1), ASE_InvalidMode);
    EXPECT_EQ(driver->start(), ASE_InvalidMode); // no buffers yet
    ASSERT_EQ(create(preferred), ASE_OK);
    for (const ASIOBufferInfo& info : infos)
        EXPECT_TRUE(info.buffers[0] != nullptr && info.buffers[1] != nullptr &&
                    info.buffers[0] != info.buffers[1]);
    EXPECT_EQ(create(preferred), ASE_InvalidMode);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_InvalidMode);
}

// The host that says yes to time information gets it with every switch, the
// one that declines gets bufferSwitch; outputReady answers as the driver
// declares, and no switch comes after stop.
TEST_P(DriverContract, RunsWithTheSwitchTheHostChose) {
    init();
    for (const bool timeInfo : {true, false}) {
        SCOPED_TRACE(timeInfo ? "time info" : "plain");
        HostView seen;
        seen.takesTimeInfo = timeInfo;
        view = &seen;
        ASSERT_EQ(create(preferred), ASE_OK);
        ASSERT_EQ(driver->start(), ASE_OK);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (seen.switches < 8 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_EQ(driver->stop(), ASE_OK);
        seen.stopped = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
        const int switches = seen.switches.load();
        EXPECT_GE(switches, 8);
        EXPECT_EQ(seen.timeInfoSwitches.load(), timeInfo ? switches : 0);
        EXPECT_EQ(seen.badHalves.load(), 0);
        EXPECT_EQ(seen.afterStop.load(), 0);
        EXPECT_EQ(seen.outputReady, GetParam().takesOutputReady ? ASE_OK : ASE_NotPresent);
        view = &idle;
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverContract, ::testing::ValuesIn(kDrivers),
                         [](const ::testing::TestParamInfo<DriverCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
