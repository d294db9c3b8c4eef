// The JACK driver driven through its driver interface, with small host
// callbacks of our own, against the private JACK server that the test
// fixture starts (JACK_DEFAULT_SERVER names it).
#include <gtest/gtest.h>
#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "drivers/jack/jack_driver.h"
#include "drivers/jack/jack_samples.h"
#include "drivers/jack/jack_settings.h"
#include "platform/posix_registry_image.h"

namespace {

// --- Sample conversion -------------------------------------------------------

TEST(JackSamples, TwentyFourBitIntegersSurviveTheRoundTrip) {
    for (int64_t v = -(int64_t{1} << 31); v < (int64_t{1} << 31); v += 255 * 256 + 7 * 256) {
        const int32_t value = static_cast<int32_t>(v & ~int64_t{0xFF});
        EXPECT_EQ(jackFloatToInt32(jackInt32ToFloat(value)), value) << value;
    }
    EXPECT_EQ(jackFloatToInt32(jackInt32ToFloat(INT32_MIN)), INT32_MIN);
    EXPECT_EQ(jackFloatToInt32(jackInt32ToFloat(INT32_MAX)), INT32_MAX);
    EXPECT_EQ(jackInt32ToFloat(INT32_MIN), -1.0f);
    EXPECT_EQ(jackInt32ToFloat(1 << 24), 1.0f / 128);
}

TEST(JackSamples, FloatsOutsideTheRangeSaturate) {
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(jackFloatToInt32(1.0f), INT32_MAX);
    EXPECT_EQ(jackFloatToInt32(1.5f), INT32_MAX);
    EXPECT_EQ(jackFloatToInt32(inf), INT32_MAX);
    EXPECT_EQ(jackFloatToInt32(-1.0f), INT32_MIN);
    EXPECT_EQ(jackFloatToInt32(-1.0000001f), INT32_MIN);
    EXPECT_EQ(jackFloatToInt32(-inf), INT32_MIN);
    EXPECT_EQ(jackFloatToInt32(std::nanf("")), 0);
    EXPECT_EQ(jackFloatToInt32(std::nextafter(1.0f, 0.0f)), INT32_MAX - 127);
    EXPECT_EQ(jackFloatToInt32(0.5f), 1 << 30);
    EXPECT_EQ(jackFloatToInt32(-0.25f), -(1 << 29));
}

// --- Settings -----------------------------------------------------------------

const CLSID kTestClsid = {0x11223344u, 0x5566, 0x7788, {1, 2, 3, 4, 5, 6, 7, 8}};

std::string writeRegistry(const std::string& body) {
    const std::string path = ::testing::TempDir() + "jack_settings.reg";
    std::ofstream(path, std::ios::binary) << "Windows Registry Editor Version 5.00\n\n"
                                          << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\tandemwav\\jack\\{"
                                             "11223344-5566-7788-0102-030405060708}]\n"
                                          << body;
    return path;
}

TEST(JackSettings, ValuesOverlayTheDefaults) {
    loadRegistryImageFiles(
        {writeRegistry("\"name\"=\"JACK Loop\"\n\"client\"=\"meter\"\n"
                       "\"server\"=\"studio\"\n\"connect\"=\"LoopBack\"\n"
                       "\"inputs\"=dword:00000004\n\"traceFile\"=\"/tmp/t\"\n")});
    JackSettings s;
    readJackSettings(kTestClsid, &s);
    EXPECT_TRUE(jackSettingsExist(kTestClsid));
    EXPECT_STREQ(s.name, "JACK Loop");
    EXPECT_STREQ(s.clientName, "meter");
    EXPECT_STREQ(s.serverName, "studio");
    EXPECT_EQ(s.wiring, JackWiring::loopback);
    EXPECT_EQ(s.inputs, 4);
    EXPECT_EQ(s.outputs, kJackChannelsFromServer);
    EXPECT_STREQ(s.traceFile, "/tmp/t");
}

TEST(JackSettings, UnusableValuesKeepTheirDefaults) {
    loadRegistryImageFiles({writeRegistry(
        "\"name\"=\"a name far too long for the thirty-two characters of a driver name\"\n"
        "\"connect\"=\"sideways\"\n\"inputs\"=dword:00000081\n\"outputs\"=\"3 ports\"\n")});
    JackSettings s;
    readJackSettings(kTestClsid, &s);
    EXPECT_STREQ(s.name, "JACK");
    EXPECT_STREQ(s.clientName, "tandemwav");
    EXPECT_STREQ(s.serverName, "");
    EXPECT_EQ(s.wiring, JackWiring::physical);
    EXPECT_EQ(s.inputs, kJackChannelsFromServer);
    EXPECT_EQ(s.outputs, kJackChannelsFromServer);
    const CLSID other = {0x99u, 0, 0, {0}};
    EXPECT_FALSE(jackSettingsExist(other));
}

// --- Against the server -------------------------------------------------------

constexpr int32_t kPeriod = 256;
constexpr int kChannels = 2;
constexpr int kSwitches = 48;

// What the host side saw, written only by the driver's process thread while running.
struct HostLog {
    std::atomic<int> switches{0}; // the first kSwitches, which are logged
    std::atomic<int> calls{0};
    std::atomic<int> resyncs{0};
    std::atomic<int> resets{0};
    std::atomic<int> badHalves{0};
    std::atomic<int> lostPositions{0};
    bool timeInfo = true;
    ASIOBufferInfo infos[2 * kChannels] = {};
    std::vector<int32_t> recorded; // kSwitches blocks per channel, inputs 0 and 1
    std::vector<uint32_t> flags;
    double lastPosition = -1;
};
HostLog* hostLog = nullptr;
IASIO* hostDriver = nullptr;

int32_t patternValue(int block, int32_t frame, int channel) {
    if (frame == 0)
        return INT32_MAX;
    if (frame == 1)
        return INT32_MIN;
    const int32_t n = (block * kPeriod + frame + channel * 997) % 40000 - 20000;
    return n * 256; // 23 significant bits: exact through a float
}

void handleSwitch(int32_t half, double position, uint32_t flags) {
    HostLog& log = *hostLog;
    ++log.calls;
    const int s = log.switches.load();
    if (half != s % 2)
        ++log.badHalves;
    if (log.lastPosition >= 0 && position != log.lastPosition + kPeriod)
        ++log.lostPositions;
    log.lastPosition = position;
    if (s >= kSwitches)
        return;
    log.flags[s] = flags;
    for (int c = 0; c < kChannels; ++c) {
        const auto* in = static_cast<const int32_t*>(log.infos[c].buffers[half]);
        std::memcpy(&log.recorded[(c * kSwitches + s) * kPeriod], in, kPeriod * 4);
        auto* out = static_cast<int32_t*>(log.infos[kChannels + c].buffers[half]);
        for (int32_t i = 0; i < kPeriod; ++i)
            out[i] = patternValue(s, i, c);
    }
    log.switches.store(s + 1);
}

ASIOTime* onTimeInfoSwitch(ASIOTime* time, int32_t half, ASIOBool) {
    const ASIOTimeInfo& info = time->timeInfo;
    handleSwitch(half, asioWideValue(info.samplePosition.hi, info.samplePosition.lo), info.flags);
    return nullptr;
}

void onPlainSwitch(int32_t half, ASIOBool) {
    ASIOSamples position{};
    ASIOTimeStamp stamp{};
    const bool valid = hostDriver->getSamplePosition(&position, &stamp) == ASE_OK;
    handleSwitch(half, asioWideValue(position.hi, position.lo), valid ? 3u : 0u);
}

void onRateChange(ASIOSampleRate) {}

int32_t onMessage(int32_t selector, int32_t value, void*, double*) {
    switch (selector) {
    case kAsioSelectorSupported:
        return value == kAsioResyncRequest || value == kAsioResetRequest ||
               value == kAsioSupportsTimeInfo;
    case kAsioSupportsTimeInfo:
        return hostLog->timeInfo ? 1 : 0;
    case kAsioResyncRequest:
        ++hostLog->resyncs;
        return 1;
    case kAsioResetRequest:
        ++hostLog->resets;
        return 1;
    default:
        return 0;
    }
}

ASIOCallbacks testCallbacks = {onPlainSwitch, onRateChange, onMessage, onTimeInfoSwitch};

bool serverGiven() {
    return std::getenv("JACK_DEFAULT_SERVER") != nullptr;
}

JackSettings settingsFor(JackWiring wiring, const char* client) {
    JackSettings s;
    defaultJackSettings(&s);
    s.wiring = wiring;
    std::snprintf(s.clientName, sizeof s.clientName, "%s", client);
    return s;
}

// A client of the test's own, to look at the graph the driver made. JACK
// publishes a changed graph with a following cycle, so the looks wait for it.
template <typename Look> bool eventually(Look look) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!look()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

struct Observer {
    jack_client_t* client = jack_client_open("tandemwav-observer", JackNoStartServer, nullptr);
    ~Observer() {
        if (client != nullptr)
            jack_client_close(client);
    }
    bool connected(const std::string& a, const std::string& b) const {
        return eventually([&] {
            jack_port_t* port = jack_port_by_name(client, a.c_str());
            return port != nullptr && jack_port_connected_to(port, b.c_str()) != 0;
        });
    }
    int32_t latency(const char* name, jack_latency_callback_mode_t mode) const {
        jack_latency_range_t range = {0, 0};
        jack_port_get_latency_range(jack_port_by_name(client, name), mode, &range);
        return static_cast<int32_t>(range.max);
    }
    // -1 for a port that does not exist.
    bool hasConnections(const std::string& name, int count) const {
        return eventually([&] {
            jack_port_t* port = jack_port_by_name(client, name.c_str());
            return (port == nullptr ? -1 : jack_port_connected(port)) == count;
        });
    }
};

class JackServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!serverGiven())
            GTEST_SKIP() << "no private JACK server (JACK_DEFAULT_SERVER unset)";
    }
    void TearDown() override {
        if (driver != nullptr)
            driver->Release();
        hostDriver = nullptr;
        hostLog = nullptr;
    }
    void open(const JackSettings& settings) {
        driver = new JackDriver(kTestClsid, settings);
        hostDriver = driver;
        ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    }
    // Inputs 1-2 and outputs 1-2, in the order tandemwav asks: inputs first.
    ASIOError create(HostLog& log, int32_t bufferSize = kPeriod) {
        hostLog = &log;
        log.recorded.assign(kChannels * kSwitches * kPeriod, 0x5A5A5A5A);
        log.flags.assign(kSwitches, 0);
        for (int k = 0; k < 2 * kChannels; ++k) {
            log.infos[k].isInput = k < kChannels;
            log.infos[k].channelNum = k % kChannels;
        }
        return driver->createBuffers(log.infos, 2 * kChannels, bufferSize, &testCallbacks);
    }
    bool runUntilDone(HostLog& log) {
        if (driver->start() != ASE_OK)
            return false;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (log.switches.load() < kSwitches && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        driver->stop();
        return log.switches.load() >= kSwitches;
    }
    JackDriver* driver = nullptr;
};

TEST_F(JackServerTest, OffersOnlyTheServersRateAndPeriod) {
    open(settingsFor(JackWiring::none, "tandemwav-format"));
    int32_t lo = 0, hi = 0, preferred = 0, granularity = -1;
    EXPECT_EQ(driver->getBufferSize(&lo, &hi, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(lo, kPeriod);
    EXPECT_EQ(hi, kPeriod);
    EXPECT_EQ(preferred, kPeriod);
    EXPECT_EQ(granularity, 0);
    ASIOSampleRate rate = 0;
    EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 48000.0);
    EXPECT_EQ(driver->canSampleRate(48000.0), ASE_OK);
    EXPECT_EQ(driver->setSampleRate(48000.0), ASE_OK);
    EXPECT_NE(driver->canSampleRate(44100.0), ASE_OK);
    EXPECT_NE(driver->setSampleRate(96000.0), ASE_OK);
    int32_t inputs = 0, outputs = 0;
    EXPECT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
    EXPECT_EQ(inputs, kJackDefaultChannels);
    EXPECT_EQ(outputs, kJackDefaultChannels);
    ASIOChannelInfo info{};
    info.channel = 2;
    info.isInput = ASIOFalse;
    EXPECT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt32LSB);
    EXPECT_STREQ(info.name, "out_3");
    info.channel = kJackDefaultChannels;
    EXPECT_NE(driver->getChannelInfo(&info), ASE_OK);
}

TEST(JackDriverWithoutServer, InitIsRefusedWithJacksReason) {
    JackSettings s = settingsFor(JackWiring::none, "tandemwav-lonely");
    std::snprintf(s.serverName, sizeof s.serverName, "tandemwav-no-such-server");
    auto* driver = new JackDriver(kTestClsid, s);
    EXPECT_EQ(driver->init(nullptr), ASIOFalse);
    char message[124];
    std::memset(message, 'x', sizeof message);
    driver->getErrorMessage(message);
    EXPECT_EQ(std::strncmp(message, "JACK: ", 6), 0) << message;
    EXPECT_GT(std::strlen(message), 6u);
    int32_t inputs = -1, outputs = -1;
    EXPECT_EQ(driver->getChannels(&inputs, &outputs), ASE_NotPresent);
    EXPECT_EQ(driver->start(), ASE_NotPresent);
    driver->Release();
}

TEST_F(JackServerTest, WiresItsPortsAsConfigured) {
    Observer observer;
    ASSERT_NE(observer.client, nullptr);
    {
        open(settingsFor(JackWiring::physical, "tandemwav-phys"));
        int32_t inputs = 0, outputs = 0;
        driver->getChannels(&inputs, &outputs);
        EXPECT_EQ(inputs, 2); // the dummy backend's capture and playback ports
        EXPECT_EQ(outputs, 2);
        int32_t inputLatency = -1, outputLatency = -1;
        EXPECT_EQ(driver->getLatencies(&inputLatency, &outputLatency), ASE_OK);
        EXPECT_EQ(inputLatency, observer.latency("system:capture_1", JackCaptureLatency));
        EXPECT_EQ(outputLatency, observer.latency("system:playback_1", JackPlaybackLatency));
        EXPECT_GT(outputLatency, 0);
        HostLog log;
        ASSERT_EQ(create(log), ASE_OK);
        EXPECT_TRUE(observer.connected("system:capture_1", "tandemwav-phys:in_1"));
        EXPECT_TRUE(observer.connected("system:capture_2", "tandemwav-phys:in_2"));
        EXPECT_TRUE(observer.connected("tandemwav-phys:out_1", "system:playback_1"));
        EXPECT_TRUE(observer.connected("tandemwav-phys:out_2", "system:playback_2"));
        EXPECT_TRUE(observer.hasConnections("tandemwav-phys:out_1", 1));
        driver->Release();
        driver = nullptr;
    }
    {
        open(settingsFor(JackWiring::loopback, "tandemwav-loop"));
        int32_t inputLatency = -1, outputLatency = -1;
        EXPECT_EQ(driver->getLatencies(&inputLatency, &outputLatency), ASE_OK);
        EXPECT_EQ(inputLatency, 0);
        EXPECT_EQ(outputLatency, kPeriod); // the loop's delay
        HostLog log;
        ASSERT_EQ(create(log), ASE_OK);
        EXPECT_TRUE(observer.connected("tandemwav-loop:out_1", "tandemwav-loop:in_1"));
        EXPECT_TRUE(observer.connected("tandemwav-loop:out_2", "tandemwav-loop:in_2"));
        EXPECT_TRUE(observer.hasConnections("tandemwav-loop:out_1", 1));
        EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
        EXPECT_TRUE(observer.hasConnections("tandemwav-loop:out_1", -1)); // unregistered
        driver->Release();
        driver = nullptr;
    }
    open(settingsFor(JackWiring::none, "tandemwav-bare"));
    HostLog log;
    ASSERT_EQ(create(log), ASE_OK);
    // Whatever the driver would connect has had time to show by then.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(observer.hasConnections("tandemwav-bare:out_1", 0));
    EXPECT_TRUE(observer.hasConnections("tandemwav-bare:in_2", 0));
}

// Block s of the input is block s - 1 of the output: JACK delivers a
// connection from a client's output to its own input in the next cycle.
int firstMismatch(const HostLog& log) {
    for (int c = 0; c < kChannels; ++c)
        for (int s = 0; s < kSwitches; ++s)
            for (int32_t i = 0; i < kPeriod; ++i) {
                const int32_t want = s == 0 ? 0 : patternValue(s - 1, i, c);
                if (log.recorded[(c * kSwitches + s) * kPeriod + i] != want)
                    return (c * kSwitches + s) * kPeriod + i;
            }
    return -1;
}

class JackLoopTest : public JackServerTest {
  protected:
    // One attempt; true when it went through without any xrun reported.
    bool attempt(bool timeInfo, HostLog& log) {
        open(settingsFor(JackWiring::loopback, "tandemwav-loopcheck"));
        log.timeInfo = timeInfo;
        EXPECT_EQ(create(log), ASE_OK);
        EXPECT_TRUE(runUntilDone(log));
        const int after = log.switches.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_EQ(log.switches.load(), after) << "host called after stop";
        EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
        driver->Release();
        driver = nullptr;
        return log.resyncs.load() == 0 && log.lostPositions.load() == 0;
    }
    void checkLoop(bool timeInfo) {
        // A loaded machine can make the dummy server xrun in any attempt; only
        // a loop that never runs clean points at the driver.
        constexpr int kAttempts = 5;
        std::unique_ptr<HostLog> log;
        for (int n = 1; n <= kAttempts; ++n) {
            log = std::make_unique<HostLog>();
            if (attempt(timeInfo, *log))
                break;
            std::printf("xrun during attempt %d (%d resync requests)\n", n, log->resyncs.load());
            ASSERT_LT(n, kAttempts) << "xruns in every attempt";
        }
        EXPECT_EQ(log->badHalves.load(), 0);
        EXPECT_EQ(log->resets.load(), 0);
        EXPECT_EQ(firstMismatch(*log), -1);
        const uint32_t expectedFlags =
            timeInfo ? (kSystemTimeValid | kSamplePositionValid | kSampleRateValid) : 3u;
        EXPECT_EQ(log->flags[0], expectedFlags);
        EXPECT_EQ(log->flags[kSwitches - 1], expectedFlags);
    }
};

TEST_F(JackLoopTest, LoopsBackExactlyOnePeriodLaterWithTimeInfo) {
    checkLoop(true);
}

TEST_F(JackLoopTest, LoopsBackExactlyOnePeriodLaterWithPlainSwitches) {
    checkLoop(false);
}

// A new period leaves the host's buffers unfit for a cycle: the host is asked
// once to reset and not called with buffers of the wrong length.
TEST_F(JackServerTest, AnotherPeriodStopsTheSwitchesAndAsksForAReset) {
    Observer observer;
    ASSERT_NE(observer.client, nullptr);
    open(settingsFor(JackWiring::loopback, "tandemwav-period"));
    HostLog log;
    ASSERT_EQ(create(log), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_TRUE(eventually([&] { return log.calls.load() >= 4; }));
    ASSERT_EQ(jack_set_buffer_size(observer.client, 2 * kPeriod), 0);
    EXPECT_TRUE(eventually([&] { return log.resets.load() == 1; }));
    const int calls = log.calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(log.calls.load(), calls);
    EXPECT_EQ(log.resets.load(), 1);
    int32_t lo = 0, hi = 0, preferred = 0, granularity = 0;
    driver->getBufferSize(&lo, &hi, &preferred, &granularity);
    EXPECT_EQ(preferred, 2 * kPeriod);
    driver->stop();
    // The server goes back to the period that the other tests expect.
    EXPECT_EQ(jack_set_buffer_size(observer.client, kPeriod), 0);
    EXPECT_TRUE(eventually([&] { return jack_get_buffer_size(observer.client) == kPeriod; }));
}

} // namespace
